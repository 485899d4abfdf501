#include "win32/MessageWait.h"

DWORD WaitPumpingMessages(DWORD count, const HANDLE* handles, DWORD timeoutMs, DWORD wakeMask,
                          UINT* stopMessage) noexcept {
    const DWORD start = ::GetTickCount();
    const auto timedOut = [&] { return timeoutMs != INFINITE && ::GetTickCount() - start >= timeoutMs; };
    // Without MWMO_INPUTAVAILABLE the wait wakes only for input that arrived since the queue was
    // last looked at: what an earlier wait left queued (at its stop message or its time-out) would
    // wait for the next message, and a caller blocked on its answer sends none.
    const auto wait = [&](DWORD ms) {
        return ::MsgWaitForMultipleObjectsEx(count, handles, ms, wakeMask, MWMO_INPUTAVAILABLE);
    };
    for (;;) {
        DWORD result;
        if (timeoutMs == INFINITE) {
            result = wait(INFINITE);
        } else {
            const DWORD elapsed = ::GetTickCount() - start;
            result = elapsed >= timeoutMs ? WAIT_TIMEOUT : wait(timeoutMs - elapsed);
        }
        if (result != WAIT_OBJECT_0 + count) {
            if (result == WAIT_TIMEOUT && stopMessage) *stopMessage = kWaitTimedOutMessage;
            return result;
        }
        // Everything already queued is taken now rather than one message per wake.
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
