// The window under a point on the application's own layouts: container windows and a window laid
// out right to left.
#include "AcxFactoryFixture.h"
#include "factory/WindowUnderPoint.h"

class WindowUnderPoint : public AcxFactoryFixture {
protected:
    std::wstring At(const wchar_t* name, long dx, long dy, bool descend = true) {
        const POINT p = AcxFactoryFixture::At(name, dx, dy);
        return NameOf(CWindowUnderPoint::WindowFromPointDeep(p.x, p.y, descend));
    }
};

TEST_F(WindowUnderPoint, ContainersGiveWayToTheVisibleSiblingUnderThePoint) {
    DesktopLock desktop;
    ::SetWindowPos(W(L"main"), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(L"page", At(L"page", 10, 10));  // the tab control lies above its page
    EXPECT_EQ(L"tab", At(L"tab", 5, 5));      // beside the page
    EXPECT_EQ(L"kid", At(L"kid", 5, 5));
    EXPECT_EQ(L"main", At(L"kid", 5, 5, false));
    EXPECT_EQ(L"main", At(L"main", 390, 290));
}

TEST_F(WindowUnderPoint, ARightToLeftWindowIsSearchedWhereItsChildrenAreShown) {
    DesktopLock desktop;
    ::SetWindowPos(W(L"main"), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // The child placed at the start of the line shows at the window's right edge.
    EXPECT_EQ(L"rtlkid", At(L"rtl", 100, 10));
    EXPECT_EQ(L"rtl", At(L"rtl", 10, 10));
    EXPECT_EQ(L"rtlkid", NameOf(::WindowFromPoint(AcxFactoryFixture::At(L"rtl", 100, 10))));
}
