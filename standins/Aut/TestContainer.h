#pragma once
// The window behind test containers and windowed test controls. It paints the windowless
// controls it holds and hands each the mouse input inside its rectangle (and the keys while it
// has the windowless focus), as a windowless site does; the rest goes to its own windowed
// control, if it is one.
#include <windows.h>
#include <vector>
#include "TestControl.h"

class CTestContainer {
public:
    // The classes kTestContainerClass and kTestControlClass.
    static HRESULT RegisterClasses(HINSTANCE instance);
    // Null for a window of another class, or one that is gone.
    static CTestContainer* Of(HWND window);

    void SetOwner(CTestControlObject* control) { owner_ = control; }
    // Later controls lie above earlier ones.
    void Add(CTestControlObject* windowless) { windowless_.emplace_back(windowless); }

private:
    explicit CTestContainer(HWND window) : window_(window) {}
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool Forward(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    CTestControl* Hit(POINT p) const;
    // The container's own hit test, as the recorder asks it.
    static UINT HitTestMessage();
    BOOL HitTest(struct QuillonStubHitTest& query) const;
    void FocusWindowless(CTestControl* control);

    HWND window_;
    kcom::CComPtr<CTestControlObject> owner_;
    std::vector<kcom::CComPtr<CTestControlObject>> windowless_;
    CTestControl* focus_ = nullptr;
};
