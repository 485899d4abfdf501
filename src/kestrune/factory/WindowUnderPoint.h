#pragma once
// The window under a screen point as the factory sees it: the deepest child of the top-level
// window there, with container windows (tab controls, group frames) looked through to the
// visible sibling under the point.
#include <windows.h>

class CWindowUnderPoint {
public:
    // Without descend, the top-level window under the point.
    static HWND WindowFromPointDeep(long x, long y, bool descend);
    // The deepest child of window at the screen point; window itself when no child is there.
    static HWND DescendChild(HWND window, long x, long y);
    // The child at a point in the window's client coordinates, as RealChildWindowFromPoint gives
    // it, with the x of a right-to-left window measured from its right edge; null when the
    // platform lacks that function.
    static HWND RealChildWindowFromPointRtl(HWND window, long x, long y);
    // Tab controls, static frames and group windows, whose pages lie beside them, not inside.
    static bool IsContainerClass(HWND window);
};
