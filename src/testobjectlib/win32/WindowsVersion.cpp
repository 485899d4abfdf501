#include "win32/WindowsVersion.h"

int WindowsVersionCodeFor(const OSVERSIONINFOEXW& info, int previous) noexcept {
    const DWORD major = info.dwMajorVersion;
    const DWORD minor = info.dwMinorVersion;
    const bool workstation = info.wProductType == VER_NT_WORKSTATION;
    switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32_WINDOWS:
        if (major != 4) return previous;
        if (minor == 0) return 1;
        if (minor == 10) return 2;
        return 6;
    case VER_PLATFORM_WIN32_NT:
        switch (major) {
        case 3: return 3;
        case 4: return 4;
        case 5: return minor == 0 ? 5 : minor == 1 ? 7 : 8;
        case 6:
            if (minor == 0) return workstation ? 9 : 10;
            if (minor == 1) return workstation ? 11 : 12;
            return 999;
        case 7: case 8: case 9: case 10: return 999;
        default: return 8;
        }
    default:
        return previous;
    }
}

int GetWindowsVersionCode() noexcept {
    static int code = [] {
        OSVERSIONINFOEXW info = {};
        info.dwOSVersionInfoSize = sizeof(info);
        if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return 3;
        return WindowsVersionCodeFor(info, 0);
    }();
    return code;
}
