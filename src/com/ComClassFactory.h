#pragma once
// Class objects: the ordinary factory, the singleton factory, and the cached object that both
// are built from so that the module's own cache never keeps the DLL loaded.
#include <windows.h>
#include <unknwn.h>
#include <atomic>
#include <new>
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/CritSec.h"

namespace kcom {

// An object held by a cache: the cache's own reference does not hold the module, every further
// reference does (the module counts only what the outside world holds).
template <class Base>
class CComObjectCached final : public Base {
public:
    ~CComObjectCached() override {
        this->refCount_ = -(LONG_MAX / 2);
        this->FinalRelease();
    }
    STDMETHOD_(ULONG, AddRef)() noexcept override {
        LONG n = ::InterlockedIncrement(&this->refCount_);
        if (n == 2) Module().Lock();
        return static_cast<ULONG>(n);
    }
    STDMETHOD_(ULONG, Release)() noexcept override {
        LONG n = ::InterlockedDecrement(&this->refCount_);
        if (n == 0) delete this;
        else if (n == 1) Module().Unlock();
        return static_cast<ULONG>(n);
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) noexcept override {
        return this->_InternalQueryInterface(iid, ppv);
    }
};

// Creation of a cached object: never aggregated; FinalConstruct, then the interface asked for.
template <class T>
struct CComCachedCreator {
    static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** ppv) noexcept {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* p = new (std::nothrow) CComObjectCached<T>();
        if (!p) return E_OUTOFMEMORY;
        p->refCount_ = 1;
        HRESULT hr = p->FinalConstruct();
        if (SUCCEEDED(hr)) hr = p->QueryInterface(iid, ppv);
        p->Release();  // a success leaves the one reference *ppv holds: the cache's own
        return hr;
    }
};

// The ordinary class factory over one creator (aggregation as the creator allows).
class CComClassFactory : public CComObjectRootEx<CComMultiThreadModel>, public IClassFactory {
public:
    BEGIN_COM_MAP(CComClassFactory)
        COM_INTERFACE_ENTRY(IClassFactory)
    END_COM_MAP()

    void SetCreator(CreatorFn creator) noexcept { creator_ = creator; }

    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** ppv) noexcept override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer && !::IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        if (!creator_) return CLASS_E_CLASSNOTAVAILABLE;
        return creator_(outer, iid, ppv);
    }
    STDMETHOD(LockServer)(BOOL lock) noexcept override {
        if (lock) Module().Lock();
        else Module().Unlock();
        return S_OK;
    }

protected:
    CreatorFn creator_ = nullptr;
};

// One object per process: created by the first request, held until the factory goes, and handed
// to every request. A failed creation is remembered and answers every later request.
class CComClassFactorySingleton : public CComClassFactory {
public:
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** ppv) noexcept override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (!creator_) return CLASS_E_CLASSNOTAVAILABLE;
        if (!created_.load(std::memory_order_acquire)) {
            CComCritSecLock lock(cs_);
            if (!created_.load(std::memory_order_relaxed)) {
                createResult_ = creator_(nullptr, IID_IUnknown, reinterpret_cast<void**>(object_.Put()));
                created_.store(true, std::memory_order_release);  // publishes the result and the object
            }
        }
        if (createResult_ != S_OK) return createResult_;
        return object_->QueryInterface(iid, ppv);
    }
    void FinalRelease() noexcept { object_.Release(); }

private:
    CComCriticalSection cs_;
    std::atomic<bool> created_{false};
    HRESULT createResult_ = S_OK;
    CComPtr<IUnknown> object_;
};

// Builds the class object of one map entry around its creator; the reference handed out is the
// cache's own.
template <class Factory>
HRESULT CreateClassObject(CreatorFn creator, IUnknown** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* p = new (std::nothrow) CComObjectCached<Factory>();
    if (!p) return E_OUTOFMEMORY;
    p->SetCreator(creator);
    p->refCount_ = 1;
    *out = static_cast<IClassFactory*>(p);
    return S_OK;
}

}  // namespace kcom
