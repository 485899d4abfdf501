#pragma once
// The module: its instance, its type library and the lock count that DllCanUnloadNow reads.
#include <windows.h>
#include <oaidl.h>
#include <string>
#include "com/ComPtr.h"
#include "com/CritSec.h"

namespace kcom {

// Creates an object of one class: (outer unknown or null, interface, out).
using CreatorFn = HRESULT (*)(IUnknown* outer, REFIID iid, void** ppv);
// Builds a class object around a creator; the reference handed out is the module's cache.
using ClassObjectFn = HRESULT (*)(CreatorFn creator, IUnknown** out);
// Registers (reg TRUE) or unregisters one class from its registry script.
using UpdateRegistryFn = HRESULT (*)(UINT scriptId, BOOL reg, REFCLSID clsid);

// One class of the server. The creator is read through a pointer so that a class which is not
// part of this build can leave it null: the class then stays registered but is not available.
struct ObjectMapEntry {
    const CLSID* clsid;
    const CreatorFn* creator;
    ClassObjectFn classObject;
    UINT scriptId;
    UpdateRegistryFn updateRegistry;
    IUnknown* cachedClassObject;  // created on first request, released by Term
};

class CComModule {
public:
    // hInstance null: the module that holds this code (a test program links the package's code
    // statically and carries the same type library resource).
    void Init(HINSTANCE instance, const GUID* libid) noexcept;
    void Init(ObjectMapEntry* map, size_t count, HINSTANCE instance, const GUID* libid) noexcept;
    // Releases the cached class objects (and what they hold) and the type library.
    void Term() noexcept;

    // Class-object look-up over the object map, in map order.
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) noexcept;
    // Every class in map order; registration stops at the first failure, unregistration does not.
    HRESULT RegisterClasses() noexcept;
    void UnregisterClasses() noexcept;

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
    ObjectMapEntry* map_ = nullptr;
    size_t mapCount_ = 0;
    HINSTANCE instance_ = nullptr;
    GUID libid_ = GUID_NULL;
    volatile LONG locks_ = 0;
    CComCriticalSection cs_;
    CComPtr<ITypeLib> typeLib_;
};

CComModule& Module() noexcept;

}  // namespace kcom
