#pragma once
// The hook side of the Quillon stand-in, as the application-under-test program and the tests
// reach it. Outside what the package sees of Quillon.
#include <windows.h>
#include <unknwn.h>

#ifdef QUILLON_BUILD
#define QUILLON_API __declspec(dllexport)
#else
#define QUILLON_API __declspec(dllimport)
#endif

struct QuillonStubWindow {
    const wchar_t* name;
    HWND window;
};

// Requests the tests send through the same carrier to read and reset the hook's records:
//   COUNT: A = request <NAME> (VT_BSTR) → result = requests of that name seen so far
//   LOG:   → A = VT_ARRAY|VT_BSTR, one line per recorded request, result = the line count
//   RESET: counts, log and cookie-from-point tries back to zero
inline constexpr wchar_t kQuillonStubCountMessage[] = L"QuillonStub_msg_COUNT";
inline constexpr wchar_t kQuillonStubLogMessage[] = L"QuillonStub_msg_LOG";
inline constexpr wchar_t kQuillonStubResetMessage[] = L"QuillonStub_msg_RESET";
// A reply line's stall (hang=MS) begins: the hook sets the event of this name followed by its
// process id, when a test racing the stall has made one.
inline constexpr wchar_t kQuillonStubStallEvent[] = L"Local\\QuillonStub_Stall_";
// The hook records the application's input as the host's recorder gets it:
//   RECORD: window = a window of the recording process, which takes each record as WM_COPYDATA
//           (dwData kQuillonStubWindowRecord or kQuillonStubWindowlessRecord); window 0 stops
inline constexpr wchar_t kQuillonStubRecordMessage[] = L"QuillonStub_msg_RECORD";
inline constexpr ULONG_PTR kQuillonStubWindowRecord = 1;      // 32 bytes: window @8, message @12,
                                                              // wParam @16, lParam @24
inline constexpr ULONG_PTR kQuillonStubWindowlessRecord = 2;  // 24 bytes: container @4, cookie @8,
                                                              // message @12, wParam @16, lParam @20
// A container's own hit test of its windowless controls, sent to a window of the application
// with wParam = QuillonStubHitTest*; TRUE when a control is under the point.
inline constexpr wchar_t kContainerHitTestMessage[] = L"KestruneAut_HitTest";
struct QuillonStubHitTest {
    POINT client;    // in: the point in the container's client coordinates
    LONG cookie;     // out
    POINT relative;  // out: the point relative to the control
};

extern "C" {
// Reads the scenario, names its windows and hooks the calling thread (WH_CALLWNDPROC).
typedef HRESULT (*PFN_QuillonStub_StartHook)(const wchar_t* scenarioPath, const QuillonStubWindow* windows,
                                             ULONG count);
QUILLON_API HRESULT QuillonStub_StartHook(const wchar_t* scenarioPath, const QuillonStubWindow* windows,
                                          ULONG count);
QUILLON_API void QuillonStub_StopHook();
// A live test control (IKorTestControlSite) whose facts the hook answers from then on.
typedef HRESULT (*PFN_QuillonStub_AddControl)(IUnknown* control);
QUILLON_API HRESULT QuillonStub_AddControl(IUnknown* control);
// Switched calls run so far by the thread-context switcher.
QUILLON_API LONG QuillonStub_GetSwitchCount();
}
