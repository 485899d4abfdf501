#include "factory/WindowUnderPoint.h"
#include <cwchar>

namespace {

// Windows change while they are walked; these caps only stop a walk that never ends.
constexpr int kMaxDepth = 256;
constexpr int kMaxSiblings = 4096;

using RealChildWindowFromPointFn = HWND(WINAPI*)(HWND, POINT);

RealChildWindowFromPointFn ResolveRealChildWindowFromPoint() {
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    if (!user32) return nullptr;
    return reinterpret_cast<RealChildWindowFromPointFn>(
        reinterpret_cast<void (*)()>(::GetProcAddress(user32, "RealChildWindowFromPoint")));
}

bool HasStyle(HWND window, LONG style) { return (::GetWindowLongW(window, GWL_STYLE) & style) != 0; }

// Whether the platform's conversion of client coordinates already runs right to left for the
// window: then the points it hands back need no mirroring of their own.
bool ConversionIsMirrored(HWND window) {
    POINT origin{0, 0}, next{1, 0};
    return ::ClientToScreen(window, &origin) && ::ClientToScreen(window, &next) && next.x < origin.x;
}

}  // namespace

HWND CWindowUnderPoint::RealChildWindowFromPointRtl(HWND window, long x, long y) {
    static const RealChildWindowFromPointFn realChild = ResolveRealChildWindowFromPoint();
    if (!realChild) return nullptr;
    if ((::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) && !ConversionIsMirrored(window)) {
        RECT client{};
        ::GetClientRect(window, &client);
        x = client.right - x;
    }
    return realChild(window, POINT{x, y});
}

HWND CWindowUnderPoint::DescendChild(HWND window, long x, long y) {
    for (int depth = 0; window && depth < kMaxDepth; ++depth) {
        POINT p{x, y};
        ::ScreenToClient(window, &p);
        HWND child = RealChildWindowFromPointRtl(window, p.x, p.y);
        if (!child || child == window) break;
        window = child;
    }
    return window;
}

bool CWindowUnderPoint::IsContainerClass(HWND window) {
    wchar_t name[128] = {};
    if (::GetClassNameW(window, name, 128) <= 0) return false;
    return _wcsicmp(name, L"SysTabControl32") == 0 || _wcsicmp(name, L"Static") == 0 ||
           std::wcsstr(name, L"TabStrip") || std::wcsstr(name, L"Centura:GPGroup");
}

HWND CWindowUnderPoint::WindowFromPointDeep(long x, long y, bool descend) {
    const POINT point{x, y};
    HWND window = ::WindowFromPoint(point);
    for (int depth = 0; window && depth < kMaxDepth; ++depth) {
        HWND parent = ::GetParent(window);
        if (!parent || !HasStyle(window, WS_CHILD)) break;
        window = parent;
    }
    if (!descend || !window || window == ::GetDesktopWindow()) return window;

    HWND found = DescendChild(window, x, y);
    if (!found) return window;
    if (!IsContainerClass(found)) return found;
    // The pages of a container lie beside it, lower in the z-order: the visible one under the
    // point is what the user sees.
    HWND sibling = ::GetWindow(found, GW_HWNDNEXT);
    for (int count = 0; sibling && count < kMaxSiblings; ++count, sibling = ::GetWindow(sibling, GW_HWNDNEXT)) {
        RECT r{};
        if (!HasStyle(sibling, WS_VISIBLE) || !::GetWindowRect(sibling, &r) || !::PtInRect(&r, point)) continue;
        found = sibling;
        if (::GetWindow(sibling, GW_HWNDNEXT) && IsContainerClass(sibling)) continue;
        if (HWND deepest = DescendChild(sibling, x, y)) return deepest;
    }
    return found;
}
