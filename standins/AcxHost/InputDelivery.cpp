#include "InputDelivery.h"
#include "com/Handles.h"

namespace standin {

namespace {

constexpr int kMaxRounds = 100;  // 10 ms each: an input is taken well within a second
constexpr int kMinRounds = 2;    // the target thread must have woken for the input first

struct ButtonMessages {
    UINT down, up, dblclk;
    WPARAM flag;
};

ButtonMessages MessagesOf(MouseButton button) noexcept {
    switch (button) {
    case MouseButton::Right: return {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, MK_RBUTTON};
    case MouseButton::Middle: return {WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK, MK_MBUTTON};
    default: return {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, MK_LBUTTON};
    }
}

MSG Message(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    return msg;
}

LPARAM At(POINT client) noexcept { return MAKELPARAM(static_cast<short>(client.x), static_cast<short>(client.y)); }

void PumpOnce() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// Pumps until the window's thread waits for input again (its process reports idle) or the
// bound is reached; a window of this process only needs this thread's queue emptied.
void PumpUntilTaken(HWND window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid == ::GetCurrentProcessId()) {
        PumpOnce();
        return;
    }
    kcom::CHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid));
    for (int round = 0; round < kMaxRounds; ++round) {
        PumpOnce();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        if (round + 1 < kMinRounds) continue;
        if (!process || ::WaitForInputIdle(process.get(), 0) != WAIT_TIMEOUT) break;
    }
    PumpOnce();
}

}  // namespace

MouseButton ButtonOf(long code) noexcept {
    if (code == 1) return MouseButton::Right;
    if (code == 2) return MouseButton::Middle;
    return MouseButton::Left;
}

void PostInput(HWND window, const std::vector<MSG>& messages) {
    for (const MSG& msg : messages) ::PostMessageW(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    PumpUntilTaken(window);
}

void PostClick(HWND window, POINT client, MouseButton button, bool doubleClick) {
    const ButtonMessages m = MessagesOf(button);
    std::vector<MSG> input{Message(window, m.down, m.flag, At(client)), Message(window, m.up, 0, At(client))};
    if (doubleClick) {
        input.push_back(Message(window, m.dblclk, m.flag, At(client)));
        input.push_back(Message(window, m.up, 0, At(client)));
    }
    PostInput(window, input);
}

void PostDragStart(HWND window, POINT client, MouseButton button) {
    const ButtonMessages m = MessagesOf(button);
    PostInput(window, {Message(window, m.down, m.flag, At(client))});
}

void PostDrop(HWND window, POINT client, MouseButton button) {
    const ButtonMessages m = MessagesOf(button);
    PostInput(window, {Message(window, WM_MOUSEMOVE, m.flag, At(client)), Message(window, m.up, 0, At(client))});
}

void PostMouseMove(HWND window, POINT client) { PostInput(window, {Message(window, WM_MOUSEMOVE, 0, At(client))}); }

void PostText(HWND window, const std::wstring& text) {
    for (wchar_t ch : text) {
        const SHORT scan = ::VkKeyScanW(ch);
        // A key without modifiers goes down and up; the window's own message loop translates it
        // into the character, taken before the key goes up. Other characters come as characters.
        if (scan == -1 || (scan & 0xFF00)) {
            PostInput(window, {Message(window, WM_CHAR, ch, 1)});
            continue;
        }
        const WPARAM vk = static_cast<WPARAM>(scan & 0xFF);
        const LPARAM code = static_cast<LPARAM>(::MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC)) << 16;
        PostInput(window, {Message(window, WM_KEYDOWN, vk, code | 1)});
        PostInput(window, {Message(window, WM_KEYUP, vk, code | static_cast<LPARAM>(0xC0000001))});
    }
}

HRESULT SendRealClick(POINT screen, MouseButton button, bool doubleClick) {
    // The cursor goes back where it was: a window that appears under it gets a mouse move, and
    // other tests' windows appear at the same place.
    POINT before{};
    ::GetCursorPos(&before);
    struct Restore {
        POINT at;
        ~Restore() { ::SetCursorPos(at.x, at.y); }
    } restore{before};
    if (!::SetCursorPos(screen.x, screen.y)) return HRESULT_FROM_WIN32(::GetLastError());
    DWORD down = MOUSEEVENTF_LEFTDOWN, up = MOUSEEVENTF_LEFTUP;
    if (button == MouseButton::Right) down = MOUSEEVENTF_RIGHTDOWN, up = MOUSEEVENTF_RIGHTUP;
    if (button == MouseButton::Middle) down = MOUSEEVENTF_MIDDLEDOWN, up = MOUSEEVENTF_MIDDLEUP;
    INPUT input[4] = {};
    const UINT count = doubleClick ? 4 : 2;
    for (UINT i = 0; i < count; ++i) {
        input[i].type = INPUT_MOUSE;
        input[i].mi.dwFlags = (i % 2) ? up : down;
    }
    if (::SendInput(count, input, sizeof(INPUT)) != count) return HRESULT_FROM_WIN32(::GetLastError());
    const HWND target = ::WindowFromPoint(screen);
    if (target) PumpUntilTaken(target);
    return S_OK;
}

}  // namespace standin
