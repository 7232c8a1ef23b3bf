// After DllUnregisterServer: neither class can be created by name and none of
// the registry keys registration wrote is left.
// Ends with WScript.Quit(0) only when every check passed.
var passed = 0, failed = 0;
function check(ok, what) {
  if (ok) { passed++; } else { failed++; WScript.Echo("FAIL: " + what); }
}

var progIds = ["BRVPartsInf.BRVPartsCtl", "BRVPartsInf.clsResources"];
var keys = ["HKCR\\BRVPartsInf.BRVPartsCtl\\", "HKCR\\BRVPartsInf.clsResources\\",
            "HKCR\\CLSID\\{2AC50EA5-755A-4553-B48B-A1C7FA95D214}\\",
            "HKCR\\CLSID\\{5E6C78FB-708A-404E-8066-B3F5A51DD955}\\",
            "HKCR\\TypeLib\\{263092AE-3279-49A1-B5DD-45792663996F}\\"];
try {
  for (var i = 0; i < progIds.length; i++) {
    try { new ActiveXObject(progIds[i]); check(false, progIds[i] + " can still be created"); } catch (e) { check(true); }
  }
  var shell = new ActiveXObject("WScript.Shell");
  for (var k = 0; k < keys.length; k++) {
    try { shell.RegRead(keys[k]); check(false, keys[k] + " is still registered"); } catch (e) { check(true); }
  }
} catch (e) {
  check(false, "unexpected error " + (e.number >>> 0).toString(16) + ": " + e.description);
}
WScript.Echo("unregistered.js: " + passed + " passed, " + failed + " failed");
WScript.Quit(failed == 0 && passed > 0 ? 0 : 1);
