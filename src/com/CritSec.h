#pragma once
#include <windows.h>

namespace kcom {

class CComCriticalSection {
public:
    CComCriticalSection() noexcept { ::InitializeCriticalSection(&cs_); }
    ~CComCriticalSection() { ::DeleteCriticalSection(&cs_); }
    CComCriticalSection(const CComCriticalSection&) = delete;
    CComCriticalSection& operator=(const CComCriticalSection&) = delete;
    void Lock() noexcept { ::EnterCriticalSection(&cs_); }
    void Unlock() noexcept { ::LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};

class CComCritSecLock {
public:
    explicit CComCritSecLock(CComCriticalSection& cs) noexcept : cs_(cs) { cs_.Lock(); }
    ~CComCritSecLock() { cs_.Unlock(); }
    CComCritSecLock(const CComCritSecLock&) = delete;
    CComCritSecLock& operator=(const CComCritSecLock&) = delete;

private:
    CComCriticalSection& cs_;
};

}  // namespace kcom
