#pragma once
// Bringing windows forward, and small text checks shared with them.
#include <windows.h>

// The message that asks the foreground window's owner to hand the foreground over.
inline constexpr wchar_t kKorSetForegroundMessage[] =
    L"D1042039-036C-48bc-8F69-2FCF1F93966B#KorSetForegroundWindow";

// Brings the window's nearest non-child ancestor (or itself) to the foreground.
void ForceForegroundWindow(HWND window) noexcept;
// The same with a given version code (see GetWindowsVersionCode).
void ForceForegroundWindowFor(HWND window, int versionCode) noexcept;

// Lifts the window's top-level ancestor to the top of the z-order, repaints it and pumps the
// thread's messages for 50 ms. A window that was topmost stays topmost.
void RaiseWindowToTop(HWND window) noexcept;

// True for null, empty or all-white-space text.
bool IsBlankString(const wchar_t* text) noexcept;
// Removes leading and trailing white space in place.
void TrimString(wchar_t* text) noexcept;
