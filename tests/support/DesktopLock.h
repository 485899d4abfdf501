#pragma once
// The desktop (foreground, z-order, screen, cursor) is one for every process of the Wine session.
// Under ctest, kestrune_test's desktop locks (tests/CMakeLists.txt) keep the test programs apart on
// it and tell each case what it holds in KESTRUNE_DESKTOP; a program run by hand is alone there.
#include <windows.h>
#include <cstdio>
#include <cwchar>

enum class DesktopHeld { None, Windows, Alone };

inline DesktopHeld HeldDesktop() noexcept {
    wchar_t held[8] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"KESTRUNE_DESKTOP", held, 8);
    if (n == 0) return DesktopHeld::Alone;  // run by hand
    if (n < 8 && wcscmp(held, L"alone") == 0) return DesktopHeld::Alone;
    if (n < 8 && wcscmp(held, L"windows") == 0) return DesktopHeld::Windows;
    return DesktopHeld::None;
}

// Reports a case that uses more of the desktop than it holds. Test programs make it a test failure
// (TestMain.cpp); another program ends with the reason.
inline void (*g_desktopRefused)(const char* why) = [](const char* why) {
    std::fprintf(stderr, "%s\n", why);
    ::ExitProcess(3);
};

// Held by a case that looks at the foreground, the z-order or the screen, or sends real input: no
// other case shows or activates a window meanwhile (it is one of its program's DESKTOP cases).
class DesktopLock {
public:
    DesktopLock() {
        if (HeldDesktop() != DesktopHeld::Alone)
            g_desktopRefused("this case needs the desktop to itself, but it is not among its program's "
                             "DESKTOP cases (tests/CMakeLists.txt)");
    }
    DesktopLock(const DesktopLock&) = delete;
    DesktopLock& operator=(const DesktopLock&) = delete;
};
