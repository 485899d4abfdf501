#include "testobject/clock/TestObjectClock.h"
#include <atomic>
#include "win32/MessageWait.h"

namespace {

CTestObjectClock g_systemClock;
std::atomic<CTestObjectClock*> g_clock{nullptr};
std::atomic<UINT> g_doubleClickTime{::GetDoubleClickTime()};

}  // namespace

DWORD CTestObjectClock::TickCount() noexcept { return ::GetTickCount(); }

void CTestObjectClock::PumpWait(DWORD ms) noexcept { PumpMessagesFor(ms); }

void CTestObjectClock::Sleep(DWORD ms) noexcept { ::Sleep(ms); }

CTestObjectClock& CTestObjectClock::Current() noexcept {
    CTestObjectClock* clock = g_clock.load();
    return clock ? *clock : g_systemClock;
}

CTestObjectClock* CTestObjectClock::Install(CTestObjectClock* clock) noexcept {
    CTestObjectClock* previous = g_clock.exchange(clock);
    return previous ? previous : &g_systemClock;
}

UINT CTestObjectClock::DoubleClickTime() noexcept { return g_doubleClickTime.load(); }

void CTestObjectClock::SetDoubleClickTime(UINT ms) noexcept { g_doubleClickTime.store(ms); }

HRESULT WaitFindDelay(const QueryIdInfo& context) noexcept {
    CTestObjectClock::Current().PumpWait(context.delay > 0 ? static_cast<DWORD>(context.delay) : 0);
    return S_OK;
}
