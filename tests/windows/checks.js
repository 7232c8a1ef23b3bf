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
var classIds = { "BRVPartsInf.BRVPartsCtl": "{2AC50EA5-755A-4553-B48B-A1C7FA95D214}",
                 "BRVPartsInf.clsResources": "{5E6C78FB-708A-404E-8066-B3F5A51DD955}" };
var typeLibId = "{263092AE-3279-49A1-B5DD-45792663996F}", typeLib = "HKCR\\TypeLib\\" + typeLibId + "\\";
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
    var key = "HKCR\\CLSID\\" + classIds["BRVPartsInf.BRVPartsCtl"] + "\\";
    var written = [["HKCR\\BRVPartsInf.BRVPartsCtl\\CLSID\\", classIds["BRVPartsInf.BRVPartsCtl"]],
                   ["HKCR\\BRVPartsInf.clsResources\\CLSID\\", classIds["BRVPartsInf.clsResources"]],
                   [key + "InprocServer32\\ThreadingModel", "Apartment"], [key + "Control\\", ""],
                   [key + "Version\\", "1.0"], [key + "TypeLib\\", typeLibId],
                   [typeLib + "1.0\\", "BRVPartsInf"]];
    for (var w = 0; w < written.length; w++) {
      check(shell.RegRead(written[w][0]) === written[w][1], written[w][0] + " is " + shell.RegRead(written[w][0]));
    }
    check(parseInt(shell.RegRead(key + "MiscStatus\\1\\"), 10) > 0, "misc status");
    check(/BRVPartsInf\.ocx, 1$/.test(shell.RegRead(key + "ToolboxBitmap32\\")), "toolbox picture");
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
    for (var progId in classIds) {
      var keys = ["HKCR\\" + progId + "\\", "HKCR\\CLSID\\" + classIds[progId] + "\\", typeLib];
      check(raised(function () { new ActiveXObject(progId); }) >= 0, progId + " can still be created");
      for (var k = 0; k < keys.length; k++) {
        check(raised(function () { shell.RegRead(keys[k]); }) >= 0, keys[k] + " is still registered");
      }
    }
  } else {
    check(false, "unknown mode");
  }
} catch (e) {
  check(false, "unexpected error " + (e.number >>> 0).toString(16) + ": " + e.description);
}
WScript.Echo("checks.js: " + passed + " passed, " + failed + " failed");
WScript.Quit(failed == 0 && passed > 0 ? 0 : 1);
