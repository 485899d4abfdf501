#pragma once
// Object templates: interface maps, interlocked counts, plain and aggregatable creation.
#include <windows.h>
#include <unknwn.h>
#include <new>
#include "com/ComModule.h"

namespace kcom {

// State every COM class carries: the count and, when aggregated, the outer unknown.
class CComObjectRootBase {
public:
    virtual ~CComObjectRootBase() = default;
    HRESULT FinalConstruct() noexcept { return S_OK; }
    void FinalRelease() noexcept {}

    // The identity the object shows to the world: the outer unknown when aggregated.
    IUnknown* GetControllingUnknown() noexcept { return outerUnknown_ ? outerUnknown_ : OwnIdentity(); }

    volatile LONG refCount_ = 0;
    IUnknown* outerUnknown_ = nullptr;  // not counted: the outer owns us

protected:
    virtual IUnknown* OwnIdentity() noexcept = 0;
};

// Both threading models count with interlocked operations; nothing else differs here.
struct CComSingleThreadModel {};
struct CComMultiThreadModel {};
template <class ThreadModel>
class CComObjectRootEx : public CComObjectRootBase {};

// Interface map. The first entry answers IUnknown and so gives the object its identity.
#define BEGIN_COM_MAP(cls)                                                             \
public:                                                                                \
    IUnknown* OwnIdentity() noexcept override {                                        \
        void* unk = nullptr;                                                           \
        _MapQueryInterface(IID_IUnknown, &unk, false);                                 \
        return static_cast<IUnknown*>(unk);                                            \
    }                                                                                  \
    HRESULT _InternalQueryInterface(REFIID iid, void** ppv) noexcept {                 \
        return _MapQueryInterface(iid, ppv, true);                                     \
    }                                                                                  \
    HRESULT _MapQueryInterface(REFIID iid, void** ppv, bool addRef) noexcept {         \
        if (!ppv) return E_POINTER;                                                    \
        *ppv = nullptr;                                                                \
        const bool wantUnknown = ::IsEqualIID(iid, IID_IUnknown);

#define KCOM_MAP_HIT(expr)                                                             \
    {                                                                                  \
        IUnknown* mapHit = reinterpret_cast<IUnknown*>(expr);                          \
        *ppv = mapHit;                                                                 \
        if (addRef) mapHit->AddRef();                                                  \
        return S_OK;                                                                   \
    }

#define COM_INTERFACE_ENTRY(itf)                                                       \
    if (wantUnknown || ::IsEqualIID(iid, __uuidof(itf))) KCOM_MAP_HIT(static_cast<itf*>(this))

#define COM_INTERFACE_ENTRY_IID(iidv, itf)                                             \
    if (wantUnknown || ::IsEqualIID(iid, iidv)) KCOM_MAP_HIT(static_cast<itf*>(this))

// An interface reached through one chosen base (IDispatch of a class with several duals).
#define COM_INTERFACE_ENTRY2(itf, via)                                                 \
    if (wantUnknown || ::IsEqualIID(iid, __uuidof(itf)))                               \
        KCOM_MAP_HIT(static_cast<itf*>(static_cast<via*>(this)))

#define COM_INTERFACE_ENTRY2_IID(iidv, itf, via)                                       \
    if (wantUnknown || ::IsEqualIID(iid, iidv))                                        \
        KCOM_MAP_HIT(static_cast<itf*>(static_cast<via*>(this)))

// Every interface not answered so far goes to an aggregated inner object.
#define COM_INTERFACE_ENTRY_AGGREGATE_BLIND(punk)                                      \
    if (!wantUnknown && (punk) && addRef) {                                            \
        HRESULT aggregateHr = (punk)->QueryInterface(iid, ppv);                        \
        if (SUCCEEDED(aggregateHr)) return aggregateHr;                                \
        *ppv = nullptr;                                                                \
    }

#define END_COM_MAP()                                                                  \
    return E_NOINTERFACE;                                                              \
    }

// A standalone object: its own count, holds the module.
template <class Base>
class CComObject final : public Base {
public:
    CComObject() noexcept { Module().Lock(); }
    ~CComObject() override {
        this->refCount_ = -(LONG_MAX / 2);  // re-entrant Release in FinalRelease must not delete again
        this->FinalRelease();
        Module().Unlock();
    }
    STDMETHOD_(ULONG, AddRef)() noexcept override { return ::InterlockedIncrement(&this->refCount_); }
    STDMETHOD_(ULONG, Release)() noexcept override {
        LONG n = ::InterlockedDecrement(&this->refCount_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) noexcept override {
        return this->_InternalQueryInterface(iid, ppv);
    }

    // A new object with count 0 after FinalConstruct; deleted when FinalConstruct fails.
    static HRESULT CreateInstance(CComObject** out) noexcept {
        if (!out) return E_POINTER;
        *out = nullptr;
        auto* p = new (std::nothrow) CComObject();
        if (!p) return E_OUTOFMEMORY;
        p->refCount_ = 1;  // keeps FinalConstruct's own QueryInterface/Release pairs harmless
        HRESULT hr = p->FinalConstruct();
        p->refCount_ = 0;
        if (FAILED(hr)) { delete p; return hr; }
        *out = p;
        return S_OK;
    }
};

// An object that does not hold the module (class objects, cached singletons).
template <class Base>
class CComObjectNoLock final : public Base {
public:
    ~CComObjectNoLock() override {
        this->refCount_ = -(LONG_MAX / 2);
        this->FinalRelease();
    }
    STDMETHOD_(ULONG, AddRef)() noexcept override { return ::InterlockedIncrement(&this->refCount_); }
    STDMETHOD_(ULONG, Release)() noexcept override {
        LONG n = ::InterlockedDecrement(&this->refCount_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) noexcept override {
        return this->_InternalQueryInterface(iid, ppv);
    }
};

// The inner object of an aggregate: its IUnknown delegates to the outer object.
template <class Base>
class CComContainedObject final : public Base {
public:
    explicit CComContainedObject(IUnknown* outer) noexcept { this->outerUnknown_ = outer; }
    STDMETHOD_(ULONG, AddRef)() noexcept override { return this->outerUnknown_->AddRef(); }
    STDMETHOD_(ULONG, Release)() noexcept override { return this->outerUnknown_->Release(); }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) noexcept override {
        return this->outerUnknown_->QueryInterface(iid, ppv);
    }
};

// The aggregatable object: this IUnknown is the non-delegating inner unknown.
template <class Base>
class CComAggObject final : public IUnknown {
public:
    explicit CComAggObject(IUnknown* outer) noexcept : contained_(outer) { Module().Lock(); }
    virtual ~CComAggObject() {
        refCount_ = -(LONG_MAX / 2);
        contained_.FinalRelease();
        Module().Unlock();
    }
    STDMETHOD_(ULONG, AddRef)() noexcept override { return ::InterlockedIncrement(&refCount_); }
    STDMETHOD_(ULONG, Release)() noexcept override {
        LONG n = ::InterlockedDecrement(&refCount_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) noexcept override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (::IsEqualIID(iid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return contained_._InternalQueryInterface(iid, ppv);
    }
    HRESULT FinalConstruct() noexcept { return contained_.FinalConstruct(); }
    Base* Contained() noexcept { return &contained_; }

private:
    volatile LONG refCount_ = 0;
    CComContainedObject<Base> contained_;
};

// Creation as a class factory does it: aggregatable when an outer unknown is given, then
// FinalConstruct, then the interface asked for; the object is deleted when either fails.
template <class T>
struct CComCreator {
    static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** ppv) noexcept {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) {
            auto* p = new (std::nothrow) CComAggObject<T>(outer);
            if (!p) return E_OUTOFMEMORY;
            p->AddRef();
            HRESULT hr = p->FinalConstruct();
            if (SUCCEEDED(hr)) hr = p->QueryInterface(iid, ppv);
            p->Release();  // deletes on failure; otherwise *ppv holds the one reference
            return hr;
        }
        auto* p = new (std::nothrow) CComObject<T>();
        if (!p) return E_OUTOFMEMORY;
        p->AddRef();
        HRESULT hr = p->FinalConstruct();
        if (SUCCEEDED(hr)) hr = p->QueryInterface(iid, ppv);
        p->Release();
        return hr;
    }
};

// Plain creation only: an outer unknown is refused.
template <class T>
struct CComCreatorNoAggregation {
    static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** ppv) noexcept {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return CComCreator<T>::CreateInstance(nullptr, iid, ppv);
    }
};

// Creates a plain object of T and hands out interface I.
template <class T, class I>
HRESULT CreateObject(I** out) noexcept {
    return CComCreator<T>::CreateInstance(nullptr, __uuidof(I), reinterpret_cast<void**>(out));
}

// The class-level companion: CLSID and creator.
template <class T, const CLSID* pclsid>
class CComCoClass {
public:
    using _CreatorClass = CComCreator<T>;
    static const CLSID& GetObjectCLSID() noexcept { return *pclsid; }
};

}  // namespace kcom
