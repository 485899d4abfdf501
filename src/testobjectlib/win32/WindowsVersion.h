#pragma once
// The Windows version as one code number.
#include <windows.h>

// The code of a reported version; `previous` is the answer for platforms and versions that leave
// the code unchanged.
int WindowsVersionCodeFor(const OSVERSIONINFOEXW& info, int previous) noexcept;

// The code of the running system, computed once per process; 3 when the version cannot be read.
int GetWindowsVersionCode() noexcept;
