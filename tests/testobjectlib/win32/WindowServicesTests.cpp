// Version codes, foreground activation through a peer window on another thread, z-order, text.
#include <gtest/gtest.h>
#include <atomic>
#include <thread>
#include "com/Handles.h"
#include "win32/TestWindow.h"
#include "win32/MessageWait.h"
#include "win32/WindowServices.h"
#include "win32/WindowsVersion.h"

namespace {

OSVERSIONINFOEXW Version(DWORD platform, DWORD major, DWORD minor, BYTE product = VER_NT_WORKSTATION) {
    OSVERSIONINFOEXW v = {};
    v.dwOSVersionInfoSize = sizeof(v);
    v.dwPlatformId = platform;
    v.dwMajorVersion = major;
    v.dwMinorVersion = minor;
    v.wProductType = product;
    return v;
}

TEST(WindowsVersion, MapsEveryRowOfTheTable) {
    const DWORD w9x = VER_PLATFORM_WIN32_WINDOWS, nt = VER_PLATFORM_WIN32_NT, ws = VER_NT_WORKSTATION;
    struct Row { DWORD platform, major, minor; BYTE product; int unknown, code; };
    const Row rows[] = {
        {w9x, 3, 95, ws, 0, 0}, {w9x, 3, 95, ws, 42, 42}, {w9x, 4, 0, ws, 0, 1}, {w9x, 4, 10, ws, 0, 2},
        {w9x, 4, 90, ws, 0, 6}, {nt, 3, 51, ws, 0, 3}, {nt, 4, 0, ws, 0, 4}, {nt, 5, 0, ws, 0, 5},
        {nt, 5, 1, ws, 0, 7}, {nt, 5, 2, ws, 0, 8}, {nt, 6, 0, ws, 0, 9}, {nt, 6, 0, VER_NT_SERVER, 0, 10},
        {nt, 6, 1, ws, 0, 11}, {nt, 6, 1, VER_NT_DOMAIN_CONTROLLER, 0, 12}, {nt, 6, 2, ws, 0, 999},
        {nt, 7, 0, ws, 0, 999}, {nt, 10, 0, ws, 0, 999}, {nt, 11, 0, ws, 0, 8}, {nt, 2, 0, ws, 0, 8},
        {VER_PLATFORM_WIN32s, 4, 0, ws, 5, 5}};
    for (const Row& r : rows)
        EXPECT_EQ(WindowsVersionCodeFor(Version(r.platform, r.major, r.minor, r.product), r.unknown), r.code)
            << r.platform << " " << r.major << "." << r.minor << " " << int(r.product);
}

TEST(WindowsVersion, RunningSystemGivesOneStableCode) {
    OSVERSIONINFOEXW v = {};
    v.dwOSVersionInfoSize = sizeof(v);
    ASSERT_TRUE(::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v)));
    EXPECT_EQ(GetWindowsVersionCode(), WindowsVersionCodeFor(v, 0));
    EXPECT_EQ(GetWindowsVersionCode(), GetWindowsVersionCode());
}

// Long enough that only a hang runs into it.
constexpr DWORD kHangMs = 20000;

// Dispatches this thread's messages until the condition holds; false when it never did.
template <class Condition>
bool PumpUntil(Condition condition) {
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start >= kHangMs) return false;
        PumpMessagesFor(5);
    }
    return true;
}

constexpr UINT kRound = WM_APP + 5;

// A window on its own thread that holds the foreground and hands it over on request.
class ForegroundPeer {
public:
    ForegroundPeer() {
        ready_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        done_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        thread_ = std::thread([this] { Run(); });
        ::WaitForSingleObject(ready_, kHangMs);
    }
    ~ForegroundPeer() {
        ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        // The peer's window going away moves the activation, which talks to this thread's windows.
        HANDLE done = done_.get();
        WaitPumpingMessages(1, &done, kHangMs, QS_ALLINPUT, nullptr);
        thread_.join();
    }
    HWND hwnd() const { return hwnd_; }
    int requests() const { return requests_; }
    HWND lastTarget() const { return lastTarget_; }
    // Brings the peer's loop round after everything sent or posted to it so far: the counts then
    // hold all of it.
    bool ComeRound() {
        const int before = rounds_;
        ::PostMessageW(hwnd_, kRound, 0, 0);
        return PumpUntil([&] { return rounds_ > before; });
    }

private:
    void Run() {
        threadId_ = ::GetCurrentThreadId();
        RunWindow();
        ::SetEvent(done_);
    }
    void RunWindow() {
        TestWindow w;
        w.foregroundMessage = ::RegisterWindowMessageW(kKorSetForegroundMessage);
        hwnd_ = w.hwnd();
        ::ShowWindow(hwnd_, SW_SHOW);
        ::SetForegroundWindow(hwnd_);
        ::SetEvent(ready_);
        MSG msg;
        // Sent requests bypass the loop; the counts are taken when a posted message brings it round.
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::DispatchMessageW(&msg);
            requests_ = w.Count(w.foregroundMessage);
            lastTarget_ = reinterpret_cast<HWND>(w.LastWParam(w.foregroundMessage));
            if (msg.message == kRound) ++rounds_;
        }
    }
    kcom::CHandle ready_;
    kcom::CHandle done_;
    std::thread thread_;
    std::atomic<DWORD> threadId_{0};
    std::atomic<HWND> hwnd_{nullptr};
    std::atomic<int> requests_{0};
    std::atomic<HWND> lastTarget_{nullptr};
    std::atomic<int> rounds_{0};
};

TEST(ForceForeground, AsksTheForegroundOwnerToHandOverToTheTopLevelAncestor) {
    DesktopLock lock;
    TestWindow target;
    TestWindow child(0, WS_CHILD | WS_VISIBLE, target.hwnd());
    ::ShowWindow(target.hwnd(), SW_SHOW);
    ForegroundPeer peer;
    ::SetForegroundWindow(peer.hwnd());
    ASSERT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == peer.hwnd(); }));

    DWORD lockBefore = 0, lockAfter = 1;
    ::SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &lockBefore, 0);
    ForceForegroundWindow(child.hwnd());
    ASSERT_TRUE(peer.ComeRound());
    ::SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &lockAfter, 0);

    EXPECT_EQ(peer.requests(), 1);
    EXPECT_EQ(peer.lastTarget(), target.hwnd());
    EXPECT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == target.hwnd(); }));
    EXPECT_EQ(lockAfter, lockBefore);
}

TEST(ForceForeground, SendsNothingWhenTheTargetIsAlreadyInFront) {
    DesktopLock lock;
    ForegroundPeer peer;
    TestWindow target;
    ::ShowWindow(target.hwnd(), SW_SHOW);
    ::SetForegroundWindow(target.hwnd());
    ASSERT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == target.hwnd(); }));
    ForceForegroundWindowFor(target.hwnd(), 4);
    ForceForegroundWindowFor(target.hwnd(), 999);
    ASSERT_TRUE(peer.ComeRound());
    EXPECT_EQ(peer.requests(), 0);
    EXPECT_EQ(::GetForegroundWindow(), target.hwnd());
}

// True when a comes before b in the z-order of the desktop's children.
bool IsAbove(HWND a, HWND b) {
    for (HWND w = ::GetTopWindow(nullptr); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
        if (w == a) return true;
        if (w == b) return false;
    }
    return false;
}

TEST(RaiseWindowToTop, LiftsTheTopLevelAncestorAboveOthers) {
    DesktopLock lock;
    TestWindow lower;
    TestWindow child(0, WS_CHILD | WS_VISIBLE, lower.hwnd());
    ::ShowWindow(lower.hwnd(), SW_SHOWNOACTIVATE);
    TestWindow upper;
    ::ShowWindow(upper.hwnd(), SW_SHOWNOACTIVATE);
    ::SetWindowPos(upper.hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_TRUE(IsAbove(upper.hwnd(), lower.hwnd()));
    RaiseWindowToTop(child.hwnd());
    EXPECT_TRUE(IsAbove(lower.hwnd(), upper.hwnd()));
    EXPECT_EQ(::GetWindowLongW(lower.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_GE(lower.Count(WM_PAINT), 1);
}

TEST(RaiseWindowToTop, KeepsATopmostWindowTopmost) {
    DesktopLock lock;
    TestWindow lower(WS_EX_TOPMOST);
    ::ShowWindow(lower.hwnd(), SW_SHOWNOACTIVATE);
    TestWindow upper(WS_EX_TOPMOST);
    ::ShowWindow(upper.hwnd(), SW_SHOWNOACTIVATE);
    ::SetWindowPos(upper.hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_TRUE(IsAbove(upper.hwnd(), lower.hwnd()));
    RaiseWindowToTop(lower.hwnd());
    EXPECT_TRUE(IsAbove(lower.hwnd(), upper.hwnd()));
    EXPECT_NE(::GetWindowLongW(lower.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
}

TEST(TextChecks, BlankAndTrim) {
    EXPECT_TRUE(IsBlankString(nullptr));
    EXPECT_TRUE(IsBlankString(L""));
    EXPECT_TRUE(IsBlankString(L" \t\r\n"));
    EXPECT_FALSE(IsBlankString(L"  x "));
    wchar_t a[] = L" \t hello world \r\n";
    TrimString(a);
    EXPECT_STREQ(a, L"hello world");
    wchar_t b[] = L"   ";
    TrimString(b);
    EXPECT_STREQ(b, L"");
    wchar_t c[] = L"x";
    TrimString(c);
    EXPECT_STREQ(c, L"x");
    TrimString(nullptr);
}

}  // namespace
