#include "TestContainer.h"
#include <windowsx.h>
#include <new>
#include "QuillonStub.h"

HRESULT CTestContainer::RegisterClasses(HINSTANCE instance) {
    for (const wchar_t* name : {kTestContainerClass, kTestControlClass}) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = Proc;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = name;
        if (!::RegisterClassExW(&wc)) return HRESULT_FROM_WIN32(::GetLastError());
    }
    return S_OK;
}

CTestContainer* CTestContainer::Of(HWND window) {
    if (!::IsWindow(window) || reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC)) != Proc)
        return nullptr;
    return reinterpret_cast<CTestContainer*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK CTestContainer::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CTestContainer*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE:
        self = new (std::nothrow) CTestContainer(window);
        if (!self) return FALSE;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        break;
    case WM_NCDESTROY:
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete self;
        self = nullptr;
        break;
    case WM_PAINT:
        if (self) {
            self->Paint();
            return 0;
        }
        break;
    default:
        if (self && message == HitTestMessage() && wParam)
            return self->HitTest(*reinterpret_cast<QuillonStubHitTest*>(wParam));
        if (self && self->Forward(message, wParam, lParam)) return 0;
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

bool CTestContainer::Forward(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_MOUSEFIRST && message <= WM_MBUTTONDBLCLK) {
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (CTestControl* hit = Hit(p)) {
            if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN)
                FocusWindowless(hit);
            hit->OnInput(message, wParam, p.x - hit->Rect().left, p.y - hit->Rect().top);
            return true;
        }
        if (!owner_) return false;
        owner_->OnInput(message, wParam, p.x, p.y);
        return true;
    }
    const bool key = message >= WM_KEYDOWN && message <= WM_CHAR;
    if (key && focus_) {
        focus_->OnInput(message, wParam, 0, 0);
        return true;
    }
    if (!owner_ || !(key || message == WM_SETFOCUS || message == WM_KILLFOCUS)) return false;
    owner_->OnInput(message, wParam, 0, 0);
    return true;
}

UINT CTestContainer::HitTestMessage() {
    static const UINT message = ::RegisterWindowMessageW(kContainerHitTestMessage);
    return message;
}

BOOL CTestContainer::HitTest(QuillonStubHitTest& query) const {
    CTestControl* hit = Hit(query.client);
    if (!hit) return FALSE;
    query.cookie = hit->Cookie();
    query.relative = {query.client.x - hit->Rect().left, query.client.y - hit->Rect().top};
    return TRUE;
}

CTestControl* CTestContainer::Hit(POINT p) const {
    for (auto it = windowless_.rbegin(); it != windowless_.rend(); ++it)
        if ((*it)->IsVisible() && ::PtInRect(&(*it)->Rect(), p)) return it->get();
    return nullptr;
}

void CTestContainer::FocusWindowless(CTestControl* control) {
    if (control == focus_) return;
    if (focus_) focus_->OnInput(WM_KILLFOCUS, 0, 0, 0);
    focus_ = control;
    focus_->OnInput(WM_SETFOCUS, 0, 0, 0);
}

void CTestContainer::Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(window_, &ps);
    ::SetBkMode(dc, TRANSPARENT);
    if (owner_) {
        RECT client;
        ::GetClientRect(window_, &client);
        ::DrawTextW(dc, owner_->CaptionText().c_str(), -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    for (auto& control : windowless_) {
        if (!control->IsVisible()) continue;
        RECT r = control->Rect();
        ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
        ::FrameRect(dc, &r, ::GetSysColorBrush(COLOR_WINDOWFRAME));
        ::DrawTextW(dc, control->CaptionText().c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    ::EndPaint(window_, &ps);
}
