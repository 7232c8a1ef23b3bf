// The control created by name from JScript, against the machine's own
// instrumentation service: every category answers a whole count; the counts
// of the categories that map to one class agree with the service; no name a
// script tries reads the grid; what registration wrote. (The errors a script
// sees and by-reference arguments are live.vbs's; the cells are read natively
// by HostTest.)
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

var categories = ["CPU", "Memory", "Display", "HDD", "CD,DVD", "Modem", "Bluetooth", "Battery Pack",
                  "Docking Station", "Network Adapter", "External Monitor"];
// Names a page might try to read the grid by: each must fail, as a property,
// as a method with a row and a column, and as a put.
var gridNames = ["Rows", "Cols", "TextMatrix", "StartupError", "Text", "TextArray", "Clip", "Row", "Col",
                 "MSHFlexGrid1", "Grid", "Value", "Item", "CellText", "FormatString", "Controls", "Object"];
// Categories whose count is the instance count of one class.
var countedClass = { "CPU": "CIM_Processor", "HDD": "Win32_DiskDrive" };

try {
  var ctl = new ActiveXObject("BRVPartsInf.BRVPartsCtl");

  var service = new ActiveXObject("WbemScripting.SWbemLocator").ConnectServer(".", "root\\cimv2");
  var report = [];
  for (var i = 0; i < categories.length; i++) {
    var name = categories[i];
    var count;
    try { count = ctl.SetSelectItem(name, 1); }
    catch (e) { check(false, name + ": SetSelectItem raised " + errorNumber(e) + " " + e.description); continue; }
    report.push(name + "=" + count);
    check(typeof count == "number" && count >= 0 && count == Math.floor(count), name + ": count " + count);
    if (countedClass[name]) {
      var expected = service.ExecQuery("select * from " + countedClass[name]).Count;
      check(count == expected, name + ": count " + count + ", the service has " + expected);
    }
  }
  WScript.Echo("counts from the service: " + report.join(", "));

  // A category is showing (the last one): still no name reads a cell.
  for (var n = 0; n < gridNames.length; n++) {
    var member = gridNames[n], got;
    expectError(438, member + " read", function () { got = ctl[member]; if (got === undefined) throw { number: 438 }; });
    expectError(438, member + "(1, 1)", function () { ctl[member](1, 1); });
    try { ctl[member] = 1; check(false, member + " put: no error raised"); } catch (e) { check(true); }
  }
  var resources = new ActiveXObject("BRVPartsInf.clsResources");
  check(resources.GetResourceString("202") == "Value", "message 202 given as text");

  // What registration wrote.
  var shell = new ActiveXObject("WScript.Shell");
  var clsid = shell.RegRead("HKCR\\BRVPartsInf.BRVPartsCtl\\CLSID\\");
  check(clsid == "{2AC50EA5-755A-4553-B48B-A1C7FA95D214}", "control class id " + clsid);
  check(shell.RegRead("HKCR\\CLSID\\" + clsid + "\\InprocServer32\\ThreadingModel") == "Apartment", "threading model");
  check(shell.RegRead("HKCR\\BRVPartsInf.clsResources\\CLSID\\") == "{5E6C78FB-708A-404E-8066-B3F5A51DD955}",
        "provider class id");
  // What marks a control, and its type library.
  var key = "HKCR\\CLSID\\" + clsid + "\\";
  var typeLib = "{263092AE-3279-49A1-B5DD-45792663996F}";
  check(shell.RegRead(key + "Control\\") === "", "the Control key");
  check(shell.RegRead(key + "Version\\") == "1.0", "version");
  check(shell.RegRead(key + "TypeLib\\") == typeLib, "type library");
  check(parseInt(shell.RegRead(key + "MiscStatus\\1\\"), 10) > 0, "misc status");
  check(/BRVPartsInf\.ocx, 1$/.test(shell.RegRead(key + "ToolboxBitmap32\\")), "toolbox picture");
  check(shell.RegRead("HKCR\\TypeLib\\" + typeLib + "\\1.0\\") == "BRVPartsInf", "the type library is registered");
} catch (e) {
  check(false, "unexpected error " + (e.number >>> 0).toString(16) + ": " + e.description);
}
WScript.Echo("live.js: " + passed + " passed, " + failed + " failed");
WScript.Quit(failed == 0 && passed > 0 ? 0 : 1);
