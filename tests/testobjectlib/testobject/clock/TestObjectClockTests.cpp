// The process's clock: the system's by default, a test's own while one is installed.
#include <gtest/gtest.h>
#include "FakeClock.h"
#include "testobject/clock/TestObjectClock.h"

namespace {

TEST(TestObjectClock, SystemClockWaitsForRealAndDispatchesMessages) {
    CTestObjectClock& clock = CTestObjectClock::Current();
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_USER + 7, 0, 0);
    const DWORD start = clock.TickCount();
    clock.PumpWait(60);
    const DWORD elapsed = clock.TickCount() - start;
    EXPECT_GE(elapsed, 45u);
    EXPECT_LT(elapsed, 3000u);
    MSG msg;
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_USER + 7, WM_USER + 7, PM_REMOVE));  // dispatched by the wait
    EXPECT_EQ(CTestObjectClock::DoubleClickTime(), ::GetDoubleClickTime());
}

TEST(TestObjectClock, AnInstalledClockServesUntilItEnds) {
    CTestObjectClock* system = &CTestObjectClock::Current();
    {
        CFakeClock outer(0xFFFFFF00);
        {
            CFakeClock inner(5);
            inner.UseDoubleClickTime(123);
            EXPECT_EQ(&CTestObjectClock::Current(), &inner);
            EXPECT_EQ(CTestObjectClock::DoubleClickTime(), 123u);
        }
        EXPECT_EQ(&CTestObjectClock::Current(), &outer);
        EXPECT_EQ(CTestObjectClock::DoubleClickTime(), ::GetDoubleClickTime());
        CTestObjectClock::Current().PumpWait(0x100);  // wraps like the tick count
        EXPECT_EQ(outer.TickCount(), 0u);
    }
    EXPECT_EQ(&CTestObjectClock::Current(), system);
}

TEST(TestObjectClock, FindDelayWaitsTheContextsDelayAndNeverForever) {
    CFakeClock clock;
    EXPECT_EQ(WaitFindDelay(QueryIdInfo{10000, 500}), S_OK);
    EXPECT_EQ(WaitFindDelay(QueryIdInfo{-1, -1}), S_OK);
    EXPECT_EQ(clock.Pumps(), (std::vector<DWORD>{500, 0}));
    EXPECT_EQ(clock.TickCount(), 500u);
}

}  // namespace
