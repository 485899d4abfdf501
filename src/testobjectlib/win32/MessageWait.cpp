#include "win32/MessageWait.h"

DWORD WaitPumpingMessages(DWORD count, const HANDLE* handles, DWORD timeoutMs, DWORD wakeMask,
                          UINT* stopMessage) noexcept {
    const DWORD start = ::GetTickCount();
    const auto timedOut = [&] { return timeoutMs != INFINITE && ::GetTickCount() - start >= timeoutMs; };
    for (;;) {
        DWORD result;
        if (timeoutMs == INFINITE) {
            result = ::MsgWaitForMultipleObjects(count, handles, FALSE, INFINITE, wakeMask);
        } else {
            const DWORD elapsed = ::GetTickCount() - start;
            result = elapsed >= timeoutMs
                         ? WAIT_TIMEOUT
                         : ::MsgWaitForMultipleObjects(count, handles, FALSE, timeoutMs - elapsed, wakeMask);
        }
        if (result != WAIT_OBJECT_0 + count) {
            if (result == WAIT_TIMEOUT && stopMessage) *stopMessage = kWaitTimedOutMessage;
            return result;
        }
        // The wait wakes only for input that arrived since the queue was last looked at, so
        // everything already queued is taken now rather than one message per wake.
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                if (stopMessage) *stopMessage = WM_QUIT;
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                return result;
            }
            if (stopMessage && msg.message == *stopMessage) return result;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
            if (timedOut()) break;  // a flood of messages must not outlast the time-out
        }
    }
}

DWORD PumpMessagesFor(DWORD ms) noexcept {
    WaitPumpingMessages(0, nullptr, ms, 0xFF, nullptr);
    return kWaitTimedOutMessage;
}
