#pragma once
#include <windows.h>
#include "com/Handles.h"

// Serialises the tests of all test programs that move the foreground or the z-order: the desktop
// is shared by every process of the Wine session.
class DesktopLock {
public:
    DesktopLock() : mutex_(::CreateMutexW(nullptr, FALSE, L"Local\\KestruneTestDesktopLock")) {
        if (mutex_) owned_ = ::WaitForSingleObject(mutex_, 60000) != WAIT_TIMEOUT;
    }
    ~DesktopLock() {
        if (owned_) ::ReleaseMutex(mutex_);
    }
    DesktopLock(const DesktopLock&) = delete;
    DesktopLock& operator=(const DesktopLock&) = delete;

private:
    kcom::CHandle mutex_;
    bool owned_ = false;
};
