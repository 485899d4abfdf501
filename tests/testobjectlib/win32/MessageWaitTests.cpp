// The message-pumping wait against the real message queue.
#include <gtest/gtest.h>
#include <thread>
#include "com/Handles.h"
#include "win32/TestWindow.h"
#include "win32/MessageWait.h"

namespace {

constexpr UINT kPing = WM_APP + 1;
constexpr UINT kStop = WM_APP + 2;

// Drops whatever an earlier step left in the thread's queue.
void FlushQueue() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {}
}

TEST(MessageWait, ZeroTimeoutReturnsAtOnceWithoutDispatching) {
    TestWindow w;
    FlushQueue();
    ::PostMessageW(w.hwnd(), kPing, 0, 0);
    DWORD start = ::GetTickCount();
    EXPECT_EQ(PumpMessagesFor(0), 275u);
    EXPECT_LT(::GetTickCount() - start, 50u);
    EXPECT_EQ(w.Count(kPing), 0);
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, w.hwnd(), kPing, kPing, PM_REMOVE));
}

TEST(MessageWait, DispatchesEveryQueuedMessageAndRunsOutOfTime) {
    TestWindow w;
    FlushQueue();
    for (int i = 0; i < 3; ++i) ::PostMessageW(w.hwnd(), kPing, i, 0);
    UINT stop = kStop;
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(WaitPumpingMessages(0, nullptr, 40, 0xFF, &stop), static_cast<DWORD>(WAIT_TIMEOUT));
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_GE(elapsed, 30u);  // tick granularity
    EXPECT_LT(elapsed, 1000u);
    EXPECT_EQ(stop, 275u);
    EXPECT_EQ(w.Count(kPing), 3);
}

TEST(MessageWait, DispatchesMessagesThatArriveDuringTheWait) {
    TestWindow w;
    FlushQueue();
    HWND target = w.hwnd();
    std::thread poster([target] {
        for (int i = 0; i < 3; ++i) {
            ::Sleep(10);
            ::PostMessageW(target, kPing, i, 0);
        }
    });
    EXPECT_EQ(PumpMessagesFor(150), 275u);
    poster.join();
    EXPECT_EQ(w.Count(kPing), 3);
}

TEST(MessageWait, QuitEndsTheWaitAndIsPostedAgainWithItsCode) {
    FlushQueue();
    ::PostQuitMessage(7);
    UINT stop = 0;
    DWORD start = ::GetTickCount();
    EXPECT_EQ(WaitPumpingMessages(0, nullptr, 5000, 0xFF, &stop), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_LT(::GetTickCount() - start, 1000u);
    EXPECT_EQ(stop, static_cast<UINT>(WM_QUIT));
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST(MessageWait, StopMessageEndsTheWaitUndispatched) {
    TestWindow w;
    FlushQueue();
    ::PostMessageW(w.hwnd(), kPing, 0, 0);
    ::PostMessageW(w.hwnd(), kStop, 0, 0);
    ::PostMessageW(w.hwnd(), kPing, 1, 0);
    UINT stop = kStop;
    EXPECT_EQ(WaitPumpingMessages(0, nullptr, 5000, 0xFF, &stop), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(stop, kStop);
    EXPECT_EQ(w.Count(kPing), 1);
    EXPECT_EQ(w.Count(kStop), 0);
    FlushQueue();
}

TEST(MessageWait, EndsWhenAHandleIsSignalled) {
    kcom::CHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE h = event.get();
    std::thread setter([h] {
        ::Sleep(20);
        ::SetEvent(h);
    });
    DWORD start = ::GetTickCount();
    EXPECT_EQ(WaitPumpingMessages(1, &h, 5000, 0xFF, nullptr), static_cast<DWORD>(WAIT_OBJECT_0));
    setter.join();
    EXPECT_LT(::GetTickCount() - start, 1000u);
}

}  // namespace
