// The control created by name from JScript, against the machine's own
// instrumentation service: every category answers a whole count and its
// captions; the counts of the categories that map to one class agree with the
// service; what registration wrote. (The grid's shape, the errors a script sees
// and by-reference arguments are live.vbs's.)
// Ends with WScript.Quit(0) only when every check passed.
var passed = 0, failed = 0;
function check(ok, what) {
  if (ok) { passed++; } else { failed++; WScript.Echo("FAIL: " + what); }
}
function errorNumber(e) { return e.number & 0xFFFF; }
function expectError(number, what, call) {
  try { call(); check(false, what + ": no error raised"); }
  catch (e) { check(errorNumber(e) == number, what + ": error " + errorNumber(e) + " " + e.description + ", expected " + number); }
}

// Row captions below "Index" (row 1) for each category, in grid order.
var categories = [
  ["CPU", ["Manufacturer", "Name", "Version", "MAX Clock Speed", "Socket Designation"]],
  ["Memory", ["SLOTs", "Capacity"]],
  ["Display", ["Horizontal Resolution", "Vertical Resolution", "Chip Type", "RAM Size"]],
  ["HDD", ["Model", "Size", "Serial No", "Firmware Revision"]],
  ["CD,DVD", ["Model", "Serial No", "Firmware Revision"]],
  ["Modem", ["Attached To", "Caption", "Description", "Device ID", "Device Type"]],
  ["Bluetooth", ["Description", "MAC Address", "Manufacturer", "Name"]],
  ["Battery Pack", ["Serial No", "Capacity"]],
  ["Docking Station", ["Docking Reference Number", "Status"]],
  ["Network Adapter", ["Adapter Type", "Description", "IP Address", "MAC Address", "Manufacturer", "Name"]],
  ["External Monitor", ["Manufacturer", "Model", "Serial No"]]
];
// Categories whose count is the instance count of one class.
var countedClass = { "CPU": "CIM_Processor", "HDD": "Win32_DiskDrive" };

try {
  var ctl = new ActiveXObject("BRVPartsInf.BRVPartsCtl");
  check(ctl.StartupError === "", "start-up error: " + ctl.StartupError);

  var service = new ActiveXObject("WbemScripting.SWbemLocator").ConnectServer(".", "root\\cimv2");
  var report = [];
  for (var i = 0; i < categories.length; i++) {
    var name = categories[i][0], captions = categories[i][1];
    var count;
    try { count = ctl.SetSelectItem(name, 1); }
    catch (e) { check(false, name + ": SetSelectItem raised " + errorNumber(e) + " " + e.description); continue; }
    report.push(name + "=" + count);
    check(typeof count == "number" && count >= 0 && count == Math.floor(count), name + ": count " + count);
    for (var r = 0; r < captions.length; r++) {
      check(ctl.TextMatrix(r + 2, 0) == captions[r], name + ": row " + (r + 2) + " caption " + ctl.TextMatrix(r + 2, 0) + ", expected " + captions[r]);
    }
    if (countedClass[name]) {
      var expected = service.ExecQuery("select * from " + countedClass[name]).Count;
      check(count == expected, name + ": count " + count + ", the service has " + expected);
    }
    if (count > 0) check(ctl.TextMatrix(1, 1) == "1", name + ": instance shown " + ctl.TextMatrix(1, 1));
  }
  WScript.Echo("counts from the service: " + report.join(", "));

  expectError(381, "TextMatrix before the first column", function () { ctl.TextMatrix(0, -1); });
  var resources = new ActiveXObject("BRVPartsInf.clsResources");
  check(resources.GetResourceString("202") == "Value", "message 202 given as text");

  // What registration wrote.
  var shell = new ActiveXObject("WScript.Shell");
  var clsid = shell.RegRead("HKCR\\BRVPartsInf.BRVPartsCtl\\CLSID\\");
  check(clsid == "{2AC50EA5-755A-4553-B48B-A1C7FA95D214}", "control class id " + clsid);
  check(shell.RegRead("HKCR\\CLSID\\" + clsid + "\\InprocServer32\\ThreadingModel") == "Apartment", "threading model");
  check(shell.RegRead("HKCR\\BRVPartsInf.clsResources\\CLSID\\") == "{5E6C78FB-708A-404E-8066-B3F5A51DD955}",
        "provider class id");
} catch (e) {
  check(false, "unexpected error " + (e.number >>> 0).toString(16) + ": " + e.description);
}
WScript.Echo("live.js: " + passed + " passed, " + failed + " failed");
WScript.Quit(failed == 0 && passed > 0 ? 0 : 1);
