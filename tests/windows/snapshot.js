// The control created by name from JScript with BRVPARTS_SNAPSHOT naming
// tests\windows\fixture.json: exact counts and values for a few categories, as
// the captured inventory has them, and the error box of a class that fails
// going to the BRVPARTS_MSGBOX_LOG file instead of the screen.
// Ends with WScript.Quit(0) only when every check passed.
var passed = 0, failed = 0;
function check(ok, what) {
  if (ok) { passed++; } else { failed++; WScript.Echo("FAIL: " + what); }
}

// Selects an instance and compares the count and the whole value column
// (captions in column 0, values in column 1, from row 1 on).
function expectTable(ctl, category, instance, count, rows) {
  var got;
  try { got = ctl.SetSelectItem(category, instance); }
  catch (e) { check(false, category + " " + instance + ": raised " + (e.number & 0xFFFF) + " " + e.description); return; }
  check(got == count, category + " " + instance + ": count " + got + ", expected " + count);
  for (var i = 0; i < rows.length; i++) {
    var caption = ctl.TextMatrix(i + 1, 0), value = ctl.TextMatrix(i + 1, 1);
    check(caption == rows[i][0] && value == rows[i][1],
          category + " " + instance + ": row " + (i + 1) + " is " + caption + " = " + value +
          ", expected " + rows[i][0] + " = " + rows[i][1]);
  }
  // Rows past the category's own hold no text.
  for (var r = rows.length + 1; r < ctl.Rows; r++) {
    var rest = ctl.TextMatrix(r, 0) + ctl.TextMatrix(r, 1);
    check(rest.replace(/\s/g, "") == "", category + " " + instance + ": row " + r + " holds [" + rest + "]");
  }
}

try {
  var shell = new ActiveXObject("WScript.Shell");
  var env = shell.Environment("PROCESS");
  check(env("BRVPARTS_SNAPSHOT") != "", "BRVPARTS_SNAPSHOT is not set");
  var ctl = new ActiveXObject("BRVPartsInf.BRVPartsCtl");

  expectTable(ctl, "CPU", 1, 2, [
    ["Index", "1"], ["Manufacturer", "GenuineIntel"], ["Name", "Intel(R) Xeon(R) E-2276M CPU @ 2.80GHz"],
    ["Version", "Model 158 Stepping 13"], ["MAX Clock Speed", "4700"], ["Socket Designation", "U3E1"]]);
  // A null value shows as the empty text.
  expectTable(ctl, "CPU", 2, 2, [
    ["Index", "2"], ["Manufacturer", "GenuineIntel"], ["Name", "Intel(R) Xeon(R) E-2276M CPU @ 2.80GHz"],
    ["Version", "<Empty>"], ["MAX Clock Speed", "4700"], ["Socket Designation", "U3E2"]]);
  // Sizes past 32 bits, as text (as the service gives 64-bit values) and as a number;
  // a property that fails to read shows as the empty text.
  expectTable(ctl, "HDD", 1, 2, [
    ["Index", "1"], ["Model", "KXG60ZNV1T02 NVMe"], ["Size", "1024209543168"],
    ["Serial No", "Y9LS10ABCDEF"], ["Firmware Revision", "AGGA4104"]]);
  expectTable(ctl, "HDD", 2, 2, [
    ["Index", "2"], ["Model", "Ext USB Disk"], ["Size", "2000398934016"],
    ["Serial No", "<Empty>"], ["Firmware Revision", "0001"]]);
  // The configuration is found by its object path; its address list shows its first address.
  expectTable(ctl, "Network Adapter", 1, 1, [
    ["Index", "1"], ["Adapter Type", "Ethernet 802.3"], ["Description", "Intel(R) Wi-Fi 6 AX201 160MHz"],
    ["IP Address", "10.20.30.40"], ["MAC Address", "F8:E4:E3:01:02:03"], ["Manufacturer", "Intel Corporation"],
    ["Name", "Intel(R) Wi-Fi 6 AX201 160MHz"]]);
  expectTable(ctl, "Battery Pack", 1, 1, [["Index", "1"], ["Serial No", "1A2B"], ["Capacity", "90000"]]);

  // A class the service refuses: the control shows its error box, which the
  // test run sends to the log instead of the screen.
  var log = env("BRVPARTS_MSGBOX_LOG");
  var fso = new ActiveXObject("Scripting.FileSystemObject");
  if (fso.FileExists(log)) fso.DeleteFile(log);
  try { ctl.SetSelectItem("Modem", 1); } catch (e) { check(false, "Modem raised " + (e.number & 0xFFFF) + " " + e.description); }
  var boxes = fso.FileExists(log) ? fso.OpenTextFile(log, 1).ReadAll() : "";
  check(boxes.indexOf("Parts Information - Error: ") == 0, "the Modem error box was not logged: [" + boxes + "]");
} catch (e) {
  check(false, "unexpected error " + (e.number >>> 0).toString(16) + ": " + e.description);
}
WScript.Echo("snapshot.js: " + passed + " passed, " + failed + " failed");
WScript.Quit(failed == 0 && passed > 0 ? 0 : 1);
