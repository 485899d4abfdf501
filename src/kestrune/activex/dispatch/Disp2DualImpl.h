#pragma once
// The default dispatch interface of the ActiveX test object: names and type information are the
// `ActiveX` dispinterface's; a call goes, unchanged, to the Invoke of the interface that
// implements its DISPID, found on the object's identity. GetPropertyByName, GetObject,
// ReplayDoClick and DISPID 0x54 are deliberately not routed.
#include <windows.h>
#include <oaidl.h>
#include "com/ComPtr.h"
#include "com/DispatchImpl.h"
#include "kestrune.h"

// The interface that serves a DISPID of the default dispatch interface; null for none.
const IID* DefaultDispatchRoute(DISPID id) noexcept;

template <class T>
class Disp2DualImpl : public IDispatch {
public:
    STDMETHOD(GetTypeInfoCount)(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT index, LCID, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return Holder().Get(out);
    }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        HRESULT hr = kcom::CheckNames(names, count, ids);
        if (FAILED(hr)) return hr;
        kcom::CComPtr<ITypeInfo> info;
        hr = Holder().Get(info.Put());
        if (FAILED(hr)) return hr;
        return ::DispGetIDsOfNames(info, names, count, ids);
    }
    STDMETHOD(Invoke)(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excepInfo, UINT* argErr) override {
        const HRESULT checked = kcom::BeginInvoke(params, excepInfo, result);
        if (FAILED(checked)) return checked;
        const IID* route = DefaultDispatchRoute(id);
        if (!route) return DISP_E_MEMBERNOTFOUND;
        IUnknown* identity = static_cast<T*>(this)->GetControllingUnknown();
        kcom::CComPtr<IDispatch> target;
        if (!identity || FAILED(identity->QueryInterface(*route, reinterpret_cast<void**>(target.Put()))) || !target)
            return E_UNEXPECTED;
        return target->Invoke(id, riid, lcid, flags, params, result, excepInfo, argErr);
    }

private:
    static kcom::CTypeInfoHolder& Holder() noexcept {
        static kcom::CTypeInfoHolder holder(&DIID_ActiveX);
        return holder;
    }
};
