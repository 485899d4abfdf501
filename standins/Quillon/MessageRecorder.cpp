#include "MessageRecorder.h"
#include <windowsx.h>
#include <cstring>
#include "QuillonStub.h"

namespace {

bool IsRecorded(UINT message) {
    return (message >= WM_LBUTTONDOWN && message <= WM_MBUTTONDBLCLK) || (message >= 0x100 && message <= 0x108) ||
           message == WM_SETFOCUS || message == WM_COMMAND || message == WM_NOTIFY;
}

void Put(BYTE* record, size_t at, DWORD value) { std::memcpy(record + at, &value, sizeof value); }

DWORD Handle(HWND window) { return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window)); }

}  // namespace

void CMessageRecorder::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!target_ || sending_ || !window || !IsRecorded(message)) return;
    BYTE record[32] = {};
    Put(record, 8, Handle(window));
    Put(record, 12, message);
    Put(record, 16, static_cast<DWORD>(wParam));
    Put(record, 24, static_cast<DWORD>(lParam));
    Send(kQuillonStubWindowRecord, record, sizeof record);
    if (message < WM_LBUTTONDOWN || message > WM_MBUTTONDBLCLK) return;

    static const UINT hitTest = ::RegisterWindowMessageW(kContainerHitTestMessage);
    QuillonStubHitTest query{{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, 0, {}};
    if (!::SendMessageW(window, hitTest, reinterpret_cast<WPARAM>(&query), 0) || !query.cookie) return;
    BYTE windowless[24] = {};
    Put(windowless, 4, Handle(window));
    Put(windowless, 8, static_cast<DWORD>(query.cookie));
    Put(windowless, 12, message);
    Put(windowless, 16, static_cast<DWORD>(wParam));
    Put(windowless, 20, static_cast<DWORD>(MAKELPARAM(query.relative.x, query.relative.y)));
    Send(kQuillonStubWindowlessRecord, windowless, sizeof windowless);
}

void CMessageRecorder::Send(ULONG_PTR kind, const void* data, DWORD size) {
    COPYDATASTRUCT copy{kind, size, const_cast<void*>(data)};
    DWORD_PTR answer = 0;
    sending_ = true;
    if (!::SendMessageTimeoutW(target_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_NORMAL, 10000, &answer) &&
        !::IsWindow(target_))
        target_ = nullptr;  // the recording process is gone
    sending_ = false;
}
