#pragma once
// The hook's recorder: the application's input as its GUI thread gets it, each message handed
// to the recording process as a window record, and a mouse message over a windowless control
// also as a windowless record with the cookie of the container's own hit test.
#include <windows.h>

class CMessageRecorder {
public:
    // A window of the recording process takes the records from now on; null stops.
    void SetTarget(HWND target) noexcept { target_ = target; }
    // Every message the thread gets or is sent; only input, focus, commands and notifications
    // are recorded.
    void OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void Send(ULONG_PTR kind, const void* data, DWORD size);

    HWND target_ = nullptr;
    bool sending_ = false;  // messages that arrive while a record is on its way stay unrecorded
};
