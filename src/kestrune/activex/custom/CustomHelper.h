#pragma once
// The helper object a custom record or replay object gets from its test object: the test
// object's dispatch interface, its call-backs and a few host services.
//
// The helper holds its owner and the owner's default dispatch interface without references: the
// owner holds the custom objects and they hold the helper, so a counted link would keep the test
// object alive for ever. The owner detaches the helper when it lets its custom objects go; a
// custom object that keeps the helper longer gets errors from it from then on.
#include <windows.h>
#include <oaidl.h>
#include <new>
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "host.h"
#include "host/TestObjectSettings.h"
#include "kestrune.h"

// The container's GetDispatch under its own name, so that a helper can also offer
// IKorAXUtilities, whose GetDispatch means the control's.
struct IKorCustomSupportContainerShim : public IKorCustomSupportContainer {
    STDMETHOD(GetDispatch)(IDispatch** out) final { return GetHelperDispatch(out); }
    virtual HRESULT GetHelperDispatch(IDispatch** out) = 0;
};

template <class T>
class CCustomHelper : public IKorCustomSupportContainerShim, public IKorUtilities, public IDispatch {
public:
    virtual ~CCustomHelper() = default;

    // Owner and dispatch interface are borrowed; both stay valid until Detach.
    void Attach(T* owner, IDispatch* ownerDispatch) noexcept {
        m_owner = owner;
        m_ownerDispatch = ownerDispatch;
    }
    void Detach() noexcept {
        m_owner = nullptr;
        m_ownerDispatch = nullptr;
    }
    bool IsAttached() const noexcept { return m_owner != nullptr; }

    // Whether the host's settings give the test-object class a valid "CLSID".
    bool LoadCustomClsid(BSTR className) {
        if (!m_owner) return false;
        kcom::CComPtr<IObjectRack> rack;
        if (FAILED(m_owner->GetRack(rack.Put())) || !rack) return false;
        CLSID clsid;
        return ReadClsid(className, &clsid, rack) == S_OK;
    }

    // ---- IKorCustomSupportContainer ---------------------------------------------------------
    HRESULT GetHelperDispatch(IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return static_cast<IKorUtilities*>(this)->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out));
    }
    STDMETHOD(QueryTestObject)(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!m_owner) return E_FAIL;
        if (::IsEqualIID(riid, __uuidof(IKorCustomSupportContainer)) || ::IsEqualIID(riid, IID_IDispatch))
            return E_FAIL;
        if (::IsEqualIID(riid, IID_IUnknown)) {
            *out = static_cast<IKorCustomSupportContainer*>(this);
            static_cast<IUnknown*>(*out)->AddRef();
            return S_OK;
        }
        if (::IsEqualIID(riid, __uuidof(IKorDeviceReplay))) {
            kcom::CComPtr<IUnknown> engine;
            const HRESULT hr = m_owner->GetReplayEngine(L"DeviceReplayEngine", engine.Put());
            if (FAILED(hr)) return hr;
            if (!engine) return E_FAIL;
            return engine->QueryInterface(riid, out);
        }
        if (::IsEqualIID(riid, __uuidof(IObjectRack)))
            return m_owner->GetRack(reinterpret_cast<IObjectRack**>(out));
        return E_NOTIMPL;
    }

    // ---- IKorUtilities: the owner's ------------------------------------------------------------
    STDMETHOD(RecordStep)(BSTR method, VARIANT args, long stepKind) override {
        return m_owner ? Utilities()->RecordStep(method, args, stepKind) : E_FAIL;
    }
    STDMETHOD(PrepareForAction)(long bits) override { return m_owner ? Utilities()->PrepareForAction(bits) : E_FAIL; }
    STDMETHOD(ReportStep)(BSTR first, BSTR second, VARIANT args) override {
        return m_owner ? Utilities()->ReportStep(first, second, args) : E_FAIL;
    }
    STDMETHOD(ReportFailure)(HRESULT hr) override { return m_owner ? Utilities()->ReportFailure(hr) : E_FAIL; }
    STDMETHOD(GetWindowHandle)(long* window) override {
        return m_owner ? Utilities()->GetWindowHandle(window) : E_FAIL;
    }
    STDMETHOD(GetTestOption)(BSTR section, BSTR key, VARIANT* value) override {
        if (!value) return E_POINTER;
        ::VariantInit(value);
        return m_owner ? Utilities()->GetTestOption(section, key, value) : E_FAIL;
    }

    // ---- IDispatch: the owner's default dispatch interface -------------------------------------
    STDMETHOD(GetTypeInfoCount)(UINT* count) override {
        return m_ownerDispatch ? m_ownerDispatch->GetTypeInfoCount(count) : E_FAIL;
    }
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) override {
        return m_ownerDispatch ? m_ownerDispatch->GetTypeInfo(index, lcid, info) : E_FAIL;
    }
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return m_ownerDispatch ? m_ownerDispatch->GetIDsOfNames(riid, names, count, lcid, ids) : E_FAIL;
    }
    STDMETHOD(Invoke)(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excepInfo, UINT* argErr) override {
        return m_ownerDispatch ? m_ownerDispatch->Invoke(id, riid, lcid, flags, params, result, excepInfo, argErr)
                               : E_FAIL;
    }

protected:
    // The helper's own interfaces; E_NOINTERFACE for the rest, which the shell asks the owner for.
    virtual HRESULT HelperQueryInterface(REFIID iid, void** out) noexcept {
        if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, __uuidof(IKorCustomSupportContainer))) {
            *out = static_cast<IKorCustomSupportContainer*>(this);
        } else if (::IsEqualIID(iid, __uuidof(IKorUtilities))) {
            *out = static_cast<IKorUtilities*>(this);
        } else if (::IsEqualIID(iid, IID_IDispatch) && m_ownerDispatch) {
            *out = static_cast<IDispatch*>(this);
        } else {
            return E_NOINTERFACE;
        }
        static_cast<IUnknown*>(*out)->AddRef();
        return S_OK;
    }
    IKorUtilities* Utilities() const noexcept { return static_cast<IKorUtilities*>(m_owner); }
    IUnknown* OwnerIdentity() const noexcept { return m_owner ? m_owner->GetControllingUnknown() : nullptr; }

    T* m_owner = nullptr;
    IDispatch* m_ownerDispatch = nullptr;
};

// IKorAXUtilities's GetDispatch under its own name, beside the container's.
struct IKorAXUtilitiesShim : public IKorAXUtilities {
    STDMETHOD(GetDispatch)(IDispatch** control) final { return GetControlDispatch(control); }
    virtual HRESULT GetControlDispatch(IDispatch** control) = 0;
};

// The helper of an ActiveX test object: also the direct work on the control.
template <class T>
class CCustomActiveXHelper : public CCustomHelper<T>, public IKorAXUtilitiesShim {
public:
    STDMETHOD(GetProgID)(BSTR* progId) override { return Ax() ? Ax()->GetProgID(progId) : E_FAIL; }
    STDMETHOD(GetPropertyByName)(BSTR name, VARIANT* value) override {
        return Ax() ? Ax()->GetPropertyByName(name, value) : E_FAIL;
    }
    STDMETHOD(SetProperty)(BSTR name, VARIANT value) override { return Ax() ? Ax()->SetProperty(name, value) : E_FAIL; }
    STDMETHOD(InvokeMethod)(BSTR method, SAFEARRAY** args, VARIANT* result) override {
        return Ax() ? Ax()->InvokeMethod(method, args, result) : E_FAIL;
    }
    STDMETHOD(InvokeUserMessage)(BSTR first, BSTR second, SAFEARRAY** args, VARIANT* result) override {
        return Ax() ? Ax()->InvokeUserMessage(first, second, args, result) : E_FAIL;
    }
    HRESULT GetControlDispatch(IDispatch** control) override {
        return Ax() ? Ax()->GetDispatch(control) : E_FAIL;
    }

protected:
    HRESULT HelperQueryInterface(REFIID iid, void** out) noexcept override {
        if (this->m_owner && ::IsEqualIID(iid, __uuidof(IKorAXUtilities))) {
            *out = static_cast<IKorAXUtilities*>(this);
            static_cast<IUnknown*>(*out)->AddRef();
            return S_OK;
        }
        return CCustomHelper<T>::HelperQueryInterface(iid, out);
    }
    IKorAXUtilities* Ax() const noexcept { return static_cast<IKorAXUtilities*>(this->m_owner); }
};

// The reference-counting shell of a helper: it deletes itself at 0, and an interface the helper
// does not answer is the owner's.
template <class X>
class CUnknownHleper final : public X {
public:
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
    STDMETHOD_(ULONG, Release)() override {
        const LONG n = ::InterlockedDecrement(&m_refs);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        // Its identity stays answerable once orphaned; everything else needs the owner.
        if (!this->m_owner && !::IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
        const HRESULT hr = this->HelperQueryInterface(iid, out);
        if (hr != E_NOINTERFACE) return hr;
        IUnknown* owner = this->OwnerIdentity();
        return owner ? owner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    IUnknown* Identity() noexcept { return static_cast<IKorCustomSupportContainer*>(this); }

private:
    volatile LONG m_refs = 0;
};
