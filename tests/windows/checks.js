// The control and the string provider from JScript, created by name as a page
// does, run by scripts/test-windows.sh in the mode its first argument names:
//   live               counts against the machine's own service, no name reads the grid, the registry
//   localized HEX HEX  messages 201 and 202 in the user's language (UTF-16 code units in hexadecimal)
//   snapshot           a failing class's box goes to the BRVPARTS_MSGBOX_LOG file
//   unregistered       after DllUnregisterServer nothing is left
// Ends with WScript.Quit(0) only when every check passed.
var passed = 0, failed = 0, mode = WScript.Arguments(0);
function check(ok, what) {
  if (ok) { passed++; } else { failed++; WScript.Echo("FAIL: " + mode + ": " + what); }
}
// The error number a call raises (its low word, as a script sees it), -1 when none.
function raised(call) {
  try { call(); return -1; } catch (e) { return e.number & 0xFFFF; }
}
// The keys of tests/data/windows/registry.txt: with their values while the
// classes are registered, gone after unregistration.
function checkRegistry(registered) {
  var fso = new ActiveXObject("Scripting.FileSystemObject");
  var file = fso.GetParentFolderName(WScript.ScriptFullName) + "\\..\\data\\windows\\registry.txt";
  var lines = fso.OpenTextFile(file, 1).ReadAll().split(/\r?\n/);
  for (var i = 0; i < lines.length; i++) {
    var entry = lines[i].split("\t"), value = null;
    if (entry[0] == "" || entry[0].charAt(0) == "#") continue;
    raised(function () { value = shell.RegRead(entry[0]); });
    check(registered ? entry.length < 2 || (value !== null && new RegExp(entry[1]).test(value)) : value === null,
          entry[0] + " is " + value);
  }
}
try {
  var shell = new ActiveXObject("WScript.Shell");
  if (mode == "live") {
    var ctl = new ActiveXObject("BRVPartsInf.BRVPartsCtl"), report = [];
    var service = new ActiveXObject("WbemScripting.SWbemLocator").ConnectServer(".", "root\\cimv2");
    var countedClass = { "CPU": "CIM_Processor", "HDD": "Win32_DiskDrive" };
    var categories = ["CPU", "Memory", "Display", "HDD", "CD,DVD", "Modem", "Bluetooth", "Battery Pack",
                      "Docking Station", "Network Adapter", "External Monitor"];
    for (var i = 0; i < categories.length; i++) {
      var name = categories[i], count = null, error = raised(function () { count = ctl.SetSelectItem(name, 1); });
      var expected = countedClass[name] ? service.ExecQuery("select * from " + countedClass[name]).Count : count;
      check(error < 0 && count === Math.floor(count) && count >= 0 && count == expected,
            name + ": error " + error + ", count " + count + ", the service has " + expected);
      report.push(name + "=" + count);
    }
    WScript.Echo("counts from the service: " + report.join(", "));
    // No name a page might try reads a cell: as a property, a method, or put.
    var gridNames = ["Rows", "Cols", "TextMatrix", "StartupError", "Text", "TextArray", "Clip", "Row", "Col",
                     "MSHFlexGrid1", "Grid", "Value", "Item", "CellText", "FormatString", "Controls", "Object"];
    for (var n = 0; n < gridNames.length; n++) {
      var member = gridNames[n];
      check(raised(function () { if (ctl[member] === undefined) throw { number: 438 }; }) == 438 &&
            raised(function () { ctl[member](1, 1); }) == 438 && raised(function () { ctl[member] = 1; }) >= 0,
            member + " reads or takes something");
    }
    check(new ActiveXObject("BRVPartsInf.clsResources").GetResourceString("202") == "Value", "message 202 given as text");
    checkRegistry(true);
  } else if (mode == "localized") {
    var resources = new ActiveXObject("BRVPartsInf.clsResources");
    for (var m = 201; m <= 202; m++) {
      var want = WScript.Arguments(m - 200).replace(/\s*([0-9a-f]+)\s*/g, function (all, unit) {
        return String.fromCharCode(parseInt(unit, 16));
      });
      var text = resources.GetResourceString(m);
      check(want != "" && text == want, "message " + m + " is " + escape(text) + ", expected " + escape(want));
    }
  } else if (mode == "snapshot") {
    var env = shell.Environment("PROCESS"), log = env("BRVPARTS_MSGBOX_LOG");
    var fso = new ActiveXObject("Scripting.FileSystemObject");
    if (fso.FileExists(log)) fso.DeleteFile(log);
    check(env("BRVPARTS_SNAPSHOT") != "" && raised(function () {
      new ActiveXObject("BRVPartsInf.BRVPartsCtl").SetSelectItem("Modem", 1);
    }) < 0, "BRVPARTS_SNAPSHOT is not set, or Modem raised");
    var boxes = fso.FileExists(log) ? fso.OpenTextFile(log, 1).ReadAll() : "";
    check(boxes.indexOf("Parts Information - Error: ") == 0, "the Modem error box was not logged: [" + boxes + "]");
  } else if (mode == "unregistered") {
    var progIds = ["BRVPartsInf.BRVPartsCtl", "BRVPartsInf.clsResources"];
    for (var p = 0; p < progIds.length; p++) {
      check(raised(function () { new ActiveXObject(progIds[p]); }) >= 0, progIds[p] + " can still be created");
    }
    checkRegistry(false);
  } else {
    check(false, "unknown mode");
  }
} catch (e) {
  check(false, "unexpected error " + (e.number >>> 0).toString(16) + ": " + e.description);
}
WScript.Echo("checks.js: " + passed + " passed, " + failed + " failed");
WScript.Quit(failed == 0 && passed > 0 ? 0 : 1);
