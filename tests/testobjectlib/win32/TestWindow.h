#pragma once
// A plain top-level window that counts the messages it receives.
#include <windows.h>
#include <map>
#include "DesktopLock.h"

class TestWindow {
public:
    explicit TestWindow(DWORD exStyle = 0, DWORD style = WS_POPUP, HWND parent = nullptr) {
        static const ATOM atom = [] {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = &TestWindow::Proc;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"KestruneTestWindow";
            return ::RegisterClassW(&wc);
        }();
        hwnd_ = ::CreateWindowExW(exStyle, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom)), L"test", style, 10,
                                  10, 200, 150, parent, nullptr, ::GetModuleHandleW(nullptr), this);
    }
    ~TestWindow() { if (hwnd_) ::DestroyWindow(hwnd_); }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    int Count(UINT message) const {
        auto it = counts_.find(message);
        return it == counts_.end() ? 0 : it->second;
    }
    WPARAM LastWParam(UINT message) const {
        auto it = wparams_.find(message);
        return it == wparams_.end() ? 0 : it->second;
    }
    // A message that makes the window take the foreground itself.
    UINT foregroundMessage = 0;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_NCCREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        }
        auto* self = reinterpret_cast<TestWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self) {
            ++self->counts_[msg];
            self->wparams_[msg] = wp;
            if (self->foregroundMessage && msg == self->foregroundMessage) {
                ::SetForegroundWindow(reinterpret_cast<HWND>(wp));
                return 1;
            }
        }
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    HWND hwnd_ = nullptr;
    std::map<UINT, int> counts_;
    std::map<UINT, WPARAM> wparams_;
};
