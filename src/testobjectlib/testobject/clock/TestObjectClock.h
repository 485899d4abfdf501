#pragma once
// The test object's one source of time. Every time-out, delay and wait of the test object goes
// through the process's clock, so that a test can put a clock of its own in its place.
#include <windows.h>
#include "host.h"

class CTestObjectClock {
public:
    CTestObjectClock() = default;
    CTestObjectClock(const CTestObjectClock&) = delete;
    CTestObjectClock& operator=(const CTestObjectClock&) = delete;
    virtual ~CTestObjectClock() = default;

    // Milliseconds since an arbitrary start, wrapping at 2^32 like GetTickCount.
    virtual DWORD TickCount() noexcept;
    // Waits ms milliseconds while the thread's messages are dispatched.
    virtual void PumpWait(DWORD ms) noexcept;
    // Waits ms milliseconds without dispatching anything.
    virtual void Sleep(DWORD ms) noexcept;

    // The process's clock: the system's unless another one is installed.
    static CTestObjectClock& Current() noexcept;
    // Makes `clock` the process's clock (null: the system's again) and answers the one it
    // replaces. The caller keeps `clock` alive while it is installed.
    static CTestObjectClock* Install(CTestObjectClock* clock) noexcept;

    // The system's double-click time, read once when the library is loaded.
    static UINT DoubleClickTime() noexcept;
    static void SetDoubleClickTime(UINT ms) noexcept;
};

// The pause between two search attempts: the context's delay on the process's clock. A negative
// delay (the unresolved default) waits nothing rather than forever.
HRESULT WaitFindDelay(const QueryIdInfo& context) noexcept;
