// The message-pumping wait against the real message queue.
#include <gtest/gtest.h>
#include <thread>
#include "com/Handles.h"
#include "win32/TestWindow.h"
#include "win32/MessageWait.h"

namespace {

constexpr UINT kPing = WM_APP + 1;
constexpr UINT kStop = WM_APP + 2;
constexpr UINT kSync = WM_APP + 3;
// A time-out that no wait ending on an event comes near, however slow the machine: a wait that runs
// into it instead fails a bound of half of it.
constexpr DWORD kLongMs = 30000;

// Drops whatever an earlier step left in the thread's queue.
void FlushQueue() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {}
}

// Posts a message to this thread after kLongMs unless the step is over by then: a wait that should
// have ended by itself ends on it, and fails, rather than hanging the case.
class LatePost {
public:
    explicit LatePost(UINT message) : over_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        thread_ = std::thread([over = over_.get(), to = ::GetCurrentThreadId(), message] {
            if (::WaitForSingleObject(over, kLongMs) == WAIT_TIMEOUT) ::PostThreadMessageW(to, message, 0, 0);
        });
    }
    ~LatePost() {
        ::SetEvent(over_);
        thread_.join();
    }

private:
    kcom::CHandle over_;
    std::thread thread_;
};

TEST(MessageWait, ZeroTimeoutReturnsAtOnceWithoutDispatching) {
    TestWindow w;
    FlushQueue();
    ::PostMessageW(w.hwnd(), kPing, 0, 0);
    LatePost quit(WM_QUIT);  // what a zero taken for "no time-out" would wait for
    DWORD start = ::GetTickCount();
    EXPECT_EQ(PumpMessagesFor(0), 275u);
    EXPECT_LT(::GetTickCount() - start, kLongMs / 2);
    EXPECT_EQ(w.Count(kPing), 0);
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, w.hwnd(), kPing, kPing, PM_REMOVE));
}

TEST(MessageWait, DispatchesEveryQueuedMessageAndRunsOutOfTime) {
    TestWindow w;
    FlushQueue();
    for (int i = 0; i < 3; ++i) ::PostMessageW(w.hwnd(), kPing, i, 0);
    UINT stop = kStop;
    LatePost late(kStop);  // ends a wait that overran its time-out as a stop instead
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(WaitPumpingMessages(0, nullptr, 40, 0xFF, &stop), static_cast<DWORD>(WAIT_TIMEOUT));
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_GE(elapsed, 30u);  // tick granularity
    EXPECT_LT(elapsed, kLongMs / 2);
    EXPECT_EQ(stop, 275u);
    EXPECT_EQ(w.Count(kPing), 3);
}

TEST(MessageWait, DispatchesMessagesThatArriveDuringTheWait) {
    TestWindow w;
    FlushQueue();
    HWND target = w.hwnd();
    std::thread poster([target] {
        // A sent message is taken only while the wait looks at the queue: the posts come during it.
        ::SendMessageTimeoutW(target, kSync, 0, 0, SMTO_NORMAL, kLongMs, nullptr);
        for (int i = 0; i < 3; ++i) {
            ::Sleep(10);
            ::PostMessageW(target, kPing, i, 0);
        }
        ::PostMessageW(target, kStop, 0, 0);
    });
    UINT stop = kStop;
    EXPECT_EQ(WaitPumpingMessages(0, nullptr, kLongMs, 0xFF, &stop), static_cast<DWORD>(WAIT_OBJECT_0));
    poster.join();
    EXPECT_EQ(stop, kStop);
    EXPECT_EQ(w.Count(kSync), 1);
    EXPECT_EQ(w.Count(kPing), 3);
}

TEST(MessageWait, QuitEndsTheWaitAndIsPostedAgainWithItsCode) {
    FlushQueue();
    ::PostQuitMessage(7);
    UINT stop = 0;
    DWORD start = ::GetTickCount();
    EXPECT_EQ(WaitPumpingMessages(0, nullptr, kLongMs, 0xFF, &stop), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_LT(::GetTickCount() - start, kLongMs / 2);
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
    // What the stop left queued is taken by the next wait, though nothing new arrives.
    EXPECT_EQ(WaitPumpingMessages(0, nullptr, 100, 0xFF, &stop), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(w.Count(kPing), 2);
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
    EXPECT_EQ(WaitPumpingMessages(1, &h, kLongMs, 0xFF, nullptr), static_cast<DWORD>(WAIT_OBJECT_0));
    setter.join();
    EXPECT_LT(::GetTickCount() - start, kLongMs / 2);
}

}  // namespace
