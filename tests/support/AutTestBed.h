#pragma once
// The test bed of the ActiveX test object: a container window with one windowed and three
// windowless test controls in the application under test, reached from this process through
// the hook and through the controls' own IDispatch.
//
//   window "main"  class KorTestContainer, 400 x 300 at screen (40, 40)
//   control "ctl"  KorTest.WndCtl, user type "Kor Test Control", child of main at (10,10),
//                  101 x 41; Caption "Hello", Text "Alpha"
//   main:7         KorTest.WlsButton, user type "Kor Test Button", (20,80)-(120,110), "Seven"
//   main:8         KorTest.WlsLabel, (150,80)-(250,110), Caption "Eight"
//   main:9         Forms.CommandButton.1, (270,80)-(350,110), Caption "Cancel"
//
// Every control has the properties Text, Caption, Value, Enabled, Name, Height, ListCount,
// Item(index) and the method AddItem(text); hidden members drive it: InputLog (one line per
// input message it handled, "WM_LBUTTONDOWN 50,20" in its own coordinates, "WM_KEYDOWN 0x41",
// "WM_SETFOCUS"), ClearInputLog, Visible and Move(left, top, width, height). Its events
// (DKorTestControlEvents): Clicked(x, y) on a left button-up, Changed() when Text, Caption or
// Value is set. The windowed control's window procedure logs its own input; the container hands
// a windowless control the mouse messages inside its rectangle and the keys after a click on it.
#include <windows.h>
#include <string>
#include <vector>
#include "AutProcess.h"
#include "com/ComVariant.h"
#include "contracts/QuillonRequests.h"

inline constexpr wchar_t kAutControlsScenario[] = LR"(
window main KorTestContainer text="Kor Test Container" rect=40,40,400,300
control ctl KorTest.WndCtl parent=main rect=10,10,101,41 caption=Hello text=Alpha usertype="Kor Test Control"
windowless main 7 KorTest.WlsButton rect=20,80,100,30 caption=Seven usertype="Kor Test Button"
windowless main 8 KorTest.WlsLabel rect=150,80,100,30 caption=Eight
windowless main 9 Forms.CommandButton.1 rect=270,80,80,30 caption=Cancel
)";

// One hook request to a window of the application; the send result (negative: not delivered).
long AutRequest(EQuillonRequest request, HWND window, CAcxParamHelper& params, LONG cookie = 0);

// The control's IDispatch as the hook marshals it (HWND2IDISPATCH_MSG); window is the control's
// own window, or the container of a windowless control with its cookie.
HRESULT AutControlDispatch(HWND window, LONG cookie, IDispatch** out);

// Calls through an IDispatch by name, as a script client does.
HRESULT DispGet(IDispatch* object, const wchar_t* name, VARIANT* value, std::vector<kcom::CComVariant> args = {});
HRESULT DispPut(IDispatch* object, const wchar_t* name, const kcom::CComVariant& value);
HRESULT DispCall(IDispatch* object, const wchar_t* name, std::vector<kcom::CComVariant> args, VARIANT* result);
// The control's input log, one entry per line.
std::vector<std::wstring> InputLog(IDispatch* control);
