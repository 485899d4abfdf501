' The replay of a recorded test against a fresh start of the application under test. The main job
' puts the recorded test into this frame where the two marker lines stand: each recorded object is
' a new test object loaded from the description saved while recording, and finds its control again
' by it; each recorded step runs between Begin and Finish, which check in the controls' own input
' logs that the input landed on the step's control and on no other. Prints a line per step and
' "RESULT <replayed> <passed> <failed>"; ends with 0 when every step passed, 1 when one failed, 2
' when the replay could not begin. The frame is UTF-8; the main job writes the replay in the ANSI
' code page, in which cscript reads it.
'
'   cscript replay.vbs <folder of the *.desc descriptions>
Option Explicit
Dim fso, folder, h, main, controls, replayed, passed, failed, stepCode, stepChecks

Set fso = CreateObject("Scripting.FileSystemObject")
folder = WScript.Arguments(0)
' The controls by the captions their recorded objects are named after, with their input logs.
Set controls = CreateObject("Scripting.Dictionary")
controls.Add "Hello", "ctl"
controls.Add "Seven", "main:7"
controls.Add "Eight", "main:8"
controls.Add "Cancel", "main:9"
controls.Add "Übernehmen", "main:10"
replayed = 0 : passed = 0 : failed = 0

Sub Check(what)
  If Err.Number <> 0 Then
    WScript.Echo "cannot replay: " & what & " (0x" & Hex(Err.Number) & " " & Err.Description & ")"
    WScript.Quit 2
  End If
End Sub

' A new test object from the description saved under its name.
Function Load(name)
  On Error Resume Next
  Set Load = h.LoadTestObject(fso.BuildPath(folder, name & ".desc"), name, main)
  Check "loading " & name & ".desc"
End Function

' The input entries a recorded step must leave, in order, in its control's log.
Function Expected(code)
  Dim name, method, args, a
  name = Left(code, InStr(code, ".") - 1)
  method = Mid(code, InStr(code, ".") + 1)
  args = Mid(method, InStr(method, " ") + 1)
  method = Left(method, InStr(method, " ") - 1)
  a = Split(Replace(args, " ", ""), ",")
  Select Case method
    Case "Click": Expected = Array(name, "WM_LBUTTONDOWN " & a(0) & "," & a(1) & " | WM_LBUTTONUP " & a(0) & "," & a(1))
    Case "DblClick": Expected = Array(name, "WM_LBUTTONDBLCLK " & a(0) & "," & a(1) & " | WM_LBUTTONUP " & a(0) & "," & a(1))
    Case Else: Expected = Array(name, method & "?")
  End Select
End Function

' The entries typing leaves: each key down, its character, its key up.
Function Typed(text)
  Dim i, key, entries
  For i = 1 To Len(text)
    key = Hex(Asc(UCase(Mid(text, i, 1))))
    If i > 1 Then entries = entries & " | "
    entries = entries & "WM_KEYDOWN 0x" & key & " | WM_CHAR 0x" & Hex(Asc(Mid(text, i, 1))) & " | WM_KEYUP 0x" & key
  Next
  Typed = entries
End Function

' The log with each key's character before its release: a loaded application may take the
' release from its queue before the character its key-down posted, and both were typed.
Function KeysInOrder(log)
  Dim swap
  Set swap = CreateObject("VBScript.RegExp")
  swap.Global = True
  swap.Pattern = "WM_KEYUP (0x[0-9A-F]+) \| WM_CHAR (0x[0-9A-F]+)"
  KeysInOrder = swap.Replace(log, "WM_CHAR $2 | WM_KEYUP $1")
End Function

' Before a step: its code, and pairs of (object, entries its control's log must show); Empty for
' a recorded step, whose checks follow from its code.
Sub Begin(code, checks)
  stepCode = code
  If IsEmpty(checks) Then checks = Expected(code)
  stepChecks = checks
  h.Clear
  Err.Clear
End Sub

' After a step, with the error it raised, if any.
Sub Finish(number, description)
  Dim i, key, log, touched, why
  If number <> 0 Then why = "0x" & Hex(number) & " " & description
  Set touched = CreateObject("Scripting.Dictionary")
  For i = 0 To UBound(stepChecks) Step 2
    key = controls(stepChecks(i))
    touched(key) = True
    log = h.ControlLog(key)
    If IsEmpty(why) And InStr(KeysInOrder(log), stepChecks(i + 1)) = 0 Then
      why = stepChecks(i) & " did not get " & stepChecks(i + 1) & " (its input: " & log & ")"
    End If
  Next
  For Each key In controls.Items
    If IsEmpty(why) And Not touched.Exists(key) And InStr(h.ControlLog(key), "BUTTON") > 0 Then
      why = key & " got input of this step: " & h.ControlLog(key)
    End If
  Next
  replayed = replayed + 1
  If IsEmpty(why) Then
    passed = passed + 1
    WScript.Echo "pass  " & stepCode
  Else
    failed = failed + 1
    WScript.Echo "FAIL  " & stepCode & ": " & why
  End If
End Sub

On Error Resume Next
Set h = CreateObject("KorTest.Host")
Check "creating the host"
h.Start
Check "starting the application under test"
Set main = h.Window("main")
Check "the application's window"

' @OBJECTS@

' @STEPS@

' Beyond the recording: typing into the windowed control, and a drag from it onto a windowless one.
Begin "Hello.Type ""kestrune""", Array("Hello", Typed("kestrune"))
Hello.Type "kestrune"
Finish Err.Number, Err.Description
Begin "Hello.Drag 30, 20 : Seven.Drop 50, 15", Array("Hello", "WM_LBUTTONDOWN 30,20", "Seven", "WM_LBUTTONUP 50,15")
Hello.Drag 30, 20 : Seven.Drop 50, 15
Finish Err.Number, Err.Description

' An image of a windowless control, where the package finds it in its container.
Err.Clear
Seven.CaptureBitmap fso.BuildPath(folder, "Seven.png"), True
Check "capturing the control's image"

WScript.Echo "RESULT " & replayed & " " & passed & " " & failed
If failed > 0 Then WScript.Quit 1
WScript.Quit 0
