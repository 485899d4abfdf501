#pragma once
// IDispatch of a dual interface, answered from the module's embedded type library.
#include <windows.h>
#include <oaidl.h>
#include "com/ComModule.h"
#include "com/ComPtr.h"
#include "com/CritSec.h"
#include "com/TypeInfoCall.h"
#include "com/TypeInfoDesc.h"

namespace kcom {

// The start of every IDispatch::Invoke of the package. The result and the EXCEPINFO are out
// parameters: they start empty, whatever the caller left in them, so that nothing later frees or
// fills over the caller's garbage. Arguments that break the IDispatch contract are refused here
// instead of being read further on; a pointer to freed memory stays the caller's fault.
inline HRESULT BeginInvoke(const DISPPARAMS* params, EXCEPINFO* excepInfo, VARIANT* result) noexcept {
    if (excepInfo) *excepInfo = EXCEPINFO{};
    if (result) ::VariantInit(result);
    if (!params || (params->cArgs && !params->rgvarg) || (params->cNamedArgs && !params->rgdispidNamedArgs))
        return E_POINTER;
    for (UINT i = 0; i < params->cArgs; ++i)
        if ((params->rgvarg[i].vt & VT_BYREF) && !params->rgvarg[i].byref) return E_POINTER;
    return params->cNamedArgs > params->cArgs ? E_INVALIDARG : S_OK;
}

// The same for IDispatch::GetIDsOfNames.
inline HRESULT CheckNames(const LPOLESTR* names, UINT count, const DISPID* ids) noexcept {
    return !ids || (count && !names) ? E_POINTER : S_OK;
}

// The type information of one interface, loaded on first use and kept for the process.
class CTypeInfoHolder {
public:
    explicit CTypeInfoHolder(const IID* iid) noexcept : iid_(iid) {}
    // The description clients see: for a dual interface its dispatch half.
    HRESULT Get(ITypeInfo** out) noexcept {
        if (!out) return E_POINTER;
        *out = nullptr;
        CComCritSecLock lock(cs_);
        HRESULT hr = Load();
        return FAILED(hr) ? hr : info_.CopyTo(out);
    }
    // The description calls are made through: for a dual interface its vtable half. Invoking
    // through the dispatch half would make oleaut32 call IDispatch::Invoke of the object again.
    HRESULT GetForInvoke(ITypeInfo** out) noexcept {
        if (!out) return E_POINTER;
        *out = nullptr;
        CComCritSecLock lock(cs_);
        HRESULT hr = Load();
        return FAILED(hr) ? hr : invokeInfo_.CopyTo(out);
    }

private:
    HRESULT Load() noexcept {
        if (invokeInfo_) return S_OK;
        CComPtr<ITypeInfo> info;
        HRESULT hr = Module().GetTypeInfoOfGuid(*iid_, info.Put());
        if (FAILED(hr)) return hr;
        CTypeAttr attr;
        hr = GetTypeAttr(info, attr);
        if (FAILED(hr)) return hr;
        CComPtr<ITypeInfo> vtableHalf = info;
        if (attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL)) {
            HREFTYPE ref = 0;
            hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
            if (SUCCEEDED(hr)) hr = info->GetRefTypeInfo(ref, vtableHalf.Put());
            if (FAILED(hr)) return hr;
        }
        info_ = info;
        invokeInfo_ = vtableHalf;
        return S_OK;
    }

    const IID* iid_;
    CComCriticalSection cs_;
    CComPtr<ITypeInfo> info_;
    CComPtr<ITypeInfo> invokeInfo_;
};

template <class Itf, const IID* piid>
class IDispatchImpl : public Itf {
public:
    STDMETHOD(GetTypeInfoCount)(UINT* count) noexcept override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT index, LCID, ITypeInfo** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return Holder().Get(out);
    }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override {
        HRESULT hr = CheckNames(names, count, ids);
        if (FAILED(hr)) return hr;
        CComPtr<ITypeInfo> info;
        hr = Holder().Get(info.Put());
        if (FAILED(hr)) return hr;
        return ::DispGetIDsOfNames(info, names, count, ids);
    }
    STDMETHOD(Invoke)(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT* argErr) noexcept override {
        if (!::IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        HRESULT hr = BeginInvoke(params, excep, result);
        if (FAILED(hr)) return hr;
        CComPtr<ITypeInfo> info;
        hr = Holder().GetForInvoke(info.Put());
        if (FAILED(hr)) return hr;
        return CTypeInfoCall(info, id, flags, *params, result).Invoke(static_cast<Itf*>(this), excep, argErr);
    }

protected:
    static CTypeInfoHolder& Holder() noexcept {
        static CTypeInfoHolder holder(piid);
        return holder;
    }
};

}  // namespace kcom
