#pragma once
// The module: its instance, its type library and the lock count that DllCanUnloadNow reads.
#include <windows.h>
#include <oaidl.h>
#include <string>
#include "ComPtr.h"
#include "CritSec.h"

namespace kcom {

class CComModule {
public:
    // hInstance null: the module that holds this code (a test program links the package's code
    // statically and carries the same type library resource).
    void Init(HINSTANCE instance, const GUID* libid) noexcept;
    void Term() noexcept;

    LONG Lock() noexcept { return ::InterlockedIncrement(&locks_); }
    LONG Unlock() noexcept { return ::InterlockedDecrement(&locks_); }
    LONG GetLockCount() const noexcept { return locks_; }

    HINSTANCE GetModuleInstance() const noexcept { return instance_; }
    const GUID& GetLibId() const noexcept { return libid_; }
    std::wstring GetModulePath() const;
    // The module's file name without its folder.
    std::wstring GetModuleFileNameOnly() const;

    // The embedded type library (resource TYPELIB 1), loaded once.
    HRESULT GetTypeLib(ITypeLib** out) noexcept;
    HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out) noexcept;

    CComCriticalSection& GetLock() noexcept { return cs_; }

private:
    HINSTANCE instance_ = nullptr;
    GUID libid_ = GUID_NULL;
    volatile LONG locks_ = 0;
    CComCriticalSection cs_;
    CComPtr<ITypeLib> typeLib_;
};

CComModule& Module() noexcept;

}  // namespace kcom
