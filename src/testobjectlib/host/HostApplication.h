#pragma once
// Services of the host application object: its message box, main window and installation folder.
#include <windows.h>
#include <string>

// The host's message box; without the host's application class, MessageBoxW with the caption
// "Nimbel" when none is given. Answers the host's answer, or -1 when it gives none.
int HostMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) noexcept;

// The host's main window; null on any failure or an empty value.
HWND GetHostWindowHandle() noexcept;

// The host's installation folder, read once and kept when it is text. True when not empty.
bool GetInstallationDir(std::wstring& out);
