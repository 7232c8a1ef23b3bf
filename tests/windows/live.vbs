' The control from VBScript, against the machine's own instrumentation
' service: arguments passed by reference (variables) and by value, the 16-bit
' count, the errors a script sees, and the string provider.
' Ends with WScript.Quit 0 only when every check passed.
Option Explicit
Dim passed, failed, ctl, category, instance, count, resources
passed = 0
failed = 0

' Counts a check that holds only when the previous statement left the error
' `number` (0: none), and clears the error.
Sub Check(ok, number, what)
  If ok And Err.Number = number Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAIL: " & what & ": error " & Err.Number & " " & Err.Description & ", expected " & number
  End If
  Err.Clear
End Sub

On Error Resume Next
Set ctl = CreateObject("BRVPartsInf.BRVPartsCtl")
Check True, 0, "creating the control"
' Variables go by reference, and come back unchanged; the count is an Integer.
category = "HDD"
instance = 1
count = ctl.SetSelectItem(category, instance)
Check TypeName(count) = "Integer" And count >= 0 And category = "HDD" And instance = 1, 0, _
      "HDD: count " & TypeName(count) & " " & count & ", arguments " & category & ", " & instance
' Literals go by value; an Integer instance, and numeric text.
count = ctl.SetSelectItem("CPU", CInt(1))
Check count = ctl.SetSelectItem("CPU", "1"), 0, "CPU with an Integer and with a text instance"
' An unknown member (the names that might read the grid are checks.js's).
ctl.NoSuchMember
Check True, 438, "an unknown member"
count = ctl.SetSelectItem("CPU")
Check True, 5, "SetSelectItem without an instance"
count = ctl.SetSelectItem("CPU", Null)
Check Err.Number <> 0, Err.Number, "SetSelectItem with a Null instance raises"
Set resources = CreateObject("BRVPartsInf.clsResources")
Check resources.GetResourceString(211) = "<Empty>", 0, "the string provider's message 211"
count = resources.GetResourceString(99999)
Check True, 5, "an unknown message number"

WScript.Echo "live.vbs: " & passed & " passed, " & failed & " failed"
If failed = 0 And passed > 0 Then WScript.Quit 0
WScript.Quit 1
