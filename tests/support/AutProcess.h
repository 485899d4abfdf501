#pragma once
// Runs the application-under-test program for one test: writes its scenario, starts it, waits
// (bounded) until it is ready, and ends it again; no process outlives the object.
#include <windows.h>
#include <map>
#include <string>
#include <vector>
#include "com/Handles.h"
#include "contracts/Pelluce.h"

class CAutProcess {
public:
    CAutProcess() = default;
    ~CAutProcess() { Stop(); }
    CAutProcess(const CAutProcess&) = delete;
    CAutProcess& operator=(const CAutProcess&) = delete;

    // hook false: the program runs without Quillon, so nothing answers requests.
    HRESULT Start(const std::wstring& scenario, bool hook = true, DWORD readyTimeoutMs = 30000);
    void Stop();

    HWND Window(const std::wstring& name) const;
    DWORD ProcessId() const { return pid_; }
    DWORD ThreadId() const { return tid_; }
    ULONG_PTR NotifyAddress() const { return nmhdr_; }

    // The hook's own records, read through the carrier.
    LONG HookCount(const wchar_t* requestName) const;
    std::vector<std::wstring> HookLog() const;
    void ResetHook() const;
    // The hook records the application's input to a window of this process (null stops).
    HRESULT Record(HWND target) const;

private:
    long Control(const wchar_t* message, CAcxParamHelper& params) const;

    kcom::CHandle process_;
    DWORD pid_ = 0;
    DWORD tid_ = 0;
    ULONG_PTR nmhdr_ = 0;
    std::map<std::wstring, HWND> windows_;
    std::wstring scenarioPath_, publishPath_;
};
