#pragma once
// Input to a window of the application under test as the host's engines deliver it. Messages
// are posted, never sent: a control that fires an event into this process while this thread
// is blocked in a cross-process send would wait for the send's time-out. After posting, this
// thread pumps until the window's thread has taken the input, so events it fires are served.
#include <windows.h>
#include <string>
#include <vector>

namespace standin {

// A click's mouse button: 0 left, 1 right, 2 middle.
enum class MouseButton { Left = 0, Right = 1, Middle = 2 };

MouseButton ButtonOf(long code) noexcept;

// Posts each message to the window, then pumps (bounded) until its thread is idle again.
void PostInput(HWND window, const std::vector<MSG>& messages);

// Button down and up (down, up, double-click, up for a double click) at a client point.
void PostClick(HWND window, POINT client, MouseButton button, bool doubleClick);
// One button half of a drag: the press at the start, the move and release at the drop.
void PostDragStart(HWND window, POINT client, MouseButton button);
void PostDrop(HWND window, POINT client, MouseButton button);
void PostMouseMove(HWND window, POINT client);
// Each character of the text: its key down and up (the window's message loop makes the character), or
// the character itself when it needs a modifier or has no key.
void PostText(HWND window, const std::wstring& text);

// Real input through the system's own queue: the cursor moves to the screen point, the button
// goes down and up there (twice for a double click), and the cursor goes back. Answers the
// first failure.
HRESULT SendRealClick(POINT screen, MouseButton button, bool doubleClick);

}  // namespace standin
