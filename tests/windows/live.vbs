' The control from VBScript, against the machine's own instrumentation
' service: arguments passed by reference (variables) and by value, the 16-bit
' count, the errors a script sees, and the string provider.
' Ends with WScript.Quit 0 only when every check passed.
Option Explicit
Dim passed, failed
passed = 0
failed = 0

Sub Check(ok, what)
  If ok Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAIL: " & what
  End If
End Sub

' Checks the error the previous statement left (0: none) and clears it.
Sub CheckError(number, what)
  Check Err.Number = number, what & ": error " & Err.Number & " " & Err.Description & ", expected " & number
  Err.Clear
End Sub

On Error Resume Next
Dim ctl, category, instance, count, names, i, cell
Set ctl = CreateObject("BRVPartsInf.BRVPartsCtl")
CheckError 0, "creating the control"

names = Array("CPU", "Memory", "Display", "HDD", "CD,DVD", "Modem", "Bluetooth", _
              "Battery Pack", "Docking Station", "Network Adapter", "External Monitor")
For i = 0 To UBound(names)
  ' Variables go by reference.
  category = names(i)
  instance = 1
  count = ctl.SetSelectItem(category, instance)
  CheckError 0, category
  Check TypeName(count) = "Integer", category & ": count is a " & TypeName(count)
  Check count >= 0, category & ": count " & count
  Check category = names(i) And instance = 1, category & ": arguments changed to " & category & ", " & instance
Next

' Literals go by value; an Integer instance, and numeric text.
count = ctl.SetSelectItem("CPU", CInt(1))
CheckError 0, "CPU with an Integer instance"
Check count = ctl.SetSelectItem("CPU", "1"), "CPU with a text instance"
CheckError 0, "CPU with a text instance"

' An unknown member (the names that might read the grid are live.js's).
ctl.NoSuchMember
CheckError 438, "an unknown member"
count = ctl.SetSelectItem("CPU")
CheckError 5, "SetSelectItem without an instance"
count = ctl.SetSelectItem("CPU", Null)
Check Err.Number <> 0, "SetSelectItem with a Null instance raises"
Err.Clear

Dim resources
Set resources = CreateObject("BRVPartsInf.clsResources")
CheckError 0, "creating the string provider"
Check resources.GetResourceString(211) = "<Empty>", "message 211 " & resources.GetResourceString(211)
cell = resources.GetResourceString(99999)
CheckError 5, "an unknown message number"

WScript.Echo "live.vbs: " & passed & " passed, " & failed & " failed"
If failed = 0 And passed > 0 Then WScript.Quit 0
WScript.Quit 1
