// The control created by name from JScript with BRVPARTS_SNAPSHOT naming
// tests\data\windows\fixture.json: exact counts for a few categories, as the
// captured inventory has them (HostTest reads their cells), and the error box
// of a class that fails going to the BRVPARTS_MSGBOX_LOG file instead of the
// screen.
// Ends with WScript.Quit(0) only when every check passed.
var passed = 0, failed = 0;
function check(ok, what) {
  if (ok) { passed++; } else { failed++; WScript.Echo("FAIL: " + what); }
}

function expectCount(ctl, category, instance, count) {
  var got;
  try { got = ctl.SetSelectItem(category, instance); }
  catch (e) { check(false, category + " " + instance + ": raised " + (e.number & 0xFFFF) + " " + e.description); return; }
  check(got === count, category + " " + instance + ": count " + got + ", expected " + count);
}

try {
  var shell = new ActiveXObject("WScript.Shell");
  var env = shell.Environment("PROCESS");
  check(env("BRVPARTS_SNAPSHOT") != "", "BRVPARTS_SNAPSHOT is not set");
  var ctl = new ActiveXObject("BRVPartsInf.BRVPartsCtl");

  var counts = [["CPU", 1, 2], ["CPU", 2, 2], ["HDD", 1, 2], ["HDD", 2, 2], ["Network Adapter", 1, 1],
                ["Battery Pack", 1, 1], ["CD,DVD", 1, 0], ["Docking Station", 1, 0], ["Display", 1, 0]];
  for (var i = 0; i < counts.length; i++) expectCount(ctl, counts[i][0], counts[i][1], counts[i][2]);

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
