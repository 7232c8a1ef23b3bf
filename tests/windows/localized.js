// The texts in the user's interface language: run with LC_ALL set to another
// language, given the expected texts of messages 201 and 202 (the grid's
// header) as UTF-16 code units in hexadecimal, since Wine's command line only
// carries the locale's own characters. The string provider must answer them
// (HostTest checks that the control's header shows them).
// Ends with WScript.Quit(0) only when every check passed.
var passed = 0, failed = 0;
function check(ok, what) {
  if (ok) { passed++; } else { failed++; WScript.Echo("FAIL: " + what); }
}
function decode(hex) {
  var text = "", units = hex.split(/\s+/);
  for (var i = 0; i < units.length; i++) {
    if (units[i] != "") text += String.fromCharCode(parseInt(units[i], 16));
  }
  return text;
}
function codes(text) {
  var out = [];
  for (var i = 0; i < text.length; i++) out.push(text.charCodeAt(i).toString(16));
  return out.join(" ");
}

try {
  var item = decode(WScript.Arguments(0)), value = decode(WScript.Arguments(1));
  check(item != "" && value != "", "no expected texts given");
  var resources = new ActiveXObject("BRVPartsInf.clsResources");
  check(resources.GetResourceString(201) == item, "message 201 is " + codes(resources.GetResourceString(201)) + ", expected " + codes(item));
  check(resources.GetResourceString(202) == value, "message 202 is " + codes(resources.GetResourceString(202)) + ", expected " + codes(value));
} catch (e) {
  check(false, "unexpected error " + (e.number >>> 0).toString(16) + ": " + e.description);
}
WScript.Echo("localized.js: " + passed + " passed, " + failed + " failed");
WScript.Quit(failed == 0 && passed > 0 ? 0 : 1);
