#include "win32/WindowServices.h"
#include <cwchar>
#include <cwctype>
#include "win32/MessageWait.h"
#include "win32/WindowsVersion.h"

namespace {

UINT ForegroundMessage() noexcept {
    static const UINT message = ::RegisterWindowMessageW(kKorSetForegroundMessage);
    return message;
}

bool IsChild(HWND window) noexcept { return (::GetWindowLongW(window, GWL_STYLE) & WS_CHILD) != 0; }

// Places a window in the z-order through a deferred positioning of one window.
void PlaceWindow(HWND window, HWND after) noexcept {
    HDWP pos = ::BeginDeferWindowPos(2);
    if (!pos) return;
    pos = ::DeferWindowPos(pos, window, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (pos) ::EndDeferWindowPos(pos);  // a failed DeferWindowPos has already freed the handle
}

}  // namespace

void ForceForegroundWindow(HWND window) noexcept { ForceForegroundWindowFor(window, GetWindowsVersionCode()); }

void ForceForegroundWindowFor(HWND window, int versionCode) noexcept {
    HWND target = window;
    while (target && IsChild(target)) {
        HWND parent = ::GetParent(target);
        if (!parent) break;
        target = parent;
    }
    HWND foreground = ::GetForegroundWindow();
    if (foreground && foreground != target) {
        DWORD_PTR answer = 0;
        ::SendMessageTimeoutW(foreground, ForegroundMessage(), reinterpret_cast<WPARAM>(target), 0,
                              SMTO_ABORTIFHUNG, 500, &answer);
        if (::GetForegroundWindow() == target) return;
    }
    if (versionCode < 5 && versionCode != 2) {
        ::SetForegroundWindow(target);
        return;
    }
    // Later systems refuse the foreground to a process that is not active; lift the lock for the
    // one call and put the user's setting back.
    DWORD lockTimeout = 0;
    const bool haveLock = ::SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &lockTimeout, 0) != FALSE;
    if (haveLock) ::SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    ::SetForegroundWindow(target);
    if (haveLock)
        ::SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(static_cast<UINT_PTR>(lockTimeout)), 0);
}

void RaiseWindowToTop(HWND window) noexcept {
    if (!window || ::GetTopWindow(nullptr) == window) return;
    HWND top = window;
    while (HWND parent = ::GetParent(top)) top = parent;
    if (::GetTopWindow(nullptr) == top) return;
    const bool wasTopmost = (::GetWindowLongW(top, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    PlaceWindow(top, HWND_TOPMOST);
    // Dropping back to the normal band would strip a topmost window of its own setting.
    if (!wasTopmost) PlaceWindow(top, HWND_NOTOPMOST);
    ::SendMessageW(top, WM_PAINT, 0, 0);
    PumpMessagesFor(50);
}

bool IsBlankString(const wchar_t* text) noexcept {
    if (!text) return true;
    for (; *text; ++text)
        if (!std::iswspace(*text)) return false;
    return true;
}

void TrimString(wchar_t* text) noexcept {
    if (!text) return;
    wchar_t* begin = text;
    while (*begin && std::iswspace(*begin)) ++begin;
    size_t length = std::wcslen(begin);
    while (length > 0 && std::iswspace(begin[length - 1])) --length;
    std::wmemmove(text, begin, length);
    text[length] = L'\0';
}
