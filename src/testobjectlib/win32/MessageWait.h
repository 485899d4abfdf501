#pragma once
// Waits that keep the calling thread's messages flowing.
#include <windows.h>

// The stop-message value written when a wait ran out of time.
inline constexpr UINT kWaitTimedOutMessage = 275;

// Waits for one of the handles, the time-out or the stop message (*stopMessage on entry) while
// translating and dispatching every message of the thread. On a time-out *stopMessage becomes
// 275; a WM_QUIT ends the wait, becomes *stopMessage and is posted again with its exit code.
// Answers WAIT_TIMEOUT, count + WAIT_OBJECT_0 when it ended on a message, or the handle's result.
DWORD WaitPumpingMessages(DWORD count, const HANDLE* handles, DWORD timeoutMs, DWORD wakeMask,
                          UINT* stopMessage) noexcept;

// Dispatches the thread's messages for ms milliseconds; always answers 275.
DWORD PumpMessagesFor(DWORD ms) noexcept;
