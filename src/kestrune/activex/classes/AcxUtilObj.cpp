#include "activex/classes/AcxUtilObj.h"
#include "com/ComError.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "com/DispatchImpl.h"
#include "environment/AcxHandler.h"
#include "environment/ObjectMap.h"

extern const kcom::CreatorFn AcxUtilObjCreator = &kcom::CComCreator<CAcxUtilObj>::CreateInstance;

namespace {

constexpr DISPID kFireEvent = 1;

kcom::CTypeInfoHolder& Holder() noexcept {
    static kcom::CTypeInfoHolder holder(&DIID_AcxUtil);
    return holder;
}

// A script passes variables by reference, as VARIANTs that point at the value.
const VARIANT& Plain(const VARIANT& value) noexcept {
    if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal) return Plain(*value.pvarVal);
    return value;
}

// The control object: an object (also by reference), or nothing (empty, null).
HRESULT ObjectArg(const VARIANT& given, kcom::CComPtr<IDispatch>& out) {
    const VARIANT& v = Plain(given);
    switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return S_OK;
    case VT_DISPATCH:
        out = v.pdispVal;
        return S_OK;
    case VT_BYREF | VT_DISPATCH:
        out = v.ppdispVal ? *v.ppdispVal : nullptr;
        return S_OK;
    case VT_UNKNOWN:
    case VT_BYREF | VT_UNKNOWN: {
        IUnknown* unknown = v.vt == VT_UNKNOWN ? v.punkVal : (v.ppunkVal ? *v.ppunkVal : nullptr);
        if (unknown && FAILED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out.Put()))))
            return DISP_E_TYPEMISMATCH;
        return S_OK;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// The arguments: an array of VARIANT (also by reference); left out, none.
HRESULT ArgsArg(const VARIANT& given, SAFEARRAY*& out) {
    const VARIANT& v = Plain(given);
    out = nullptr;
    if (v.vt == VT_EMPTY || (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND)) return S_OK;
    if (v.vt == (VT_ARRAY | VT_VARIANT)) out = v.parray;
    else if (v.vt == (VT_BYREF | VT_ARRAY | VT_VARIANT)) out = v.pparray ? *v.pparray : nullptr;
    else return DISP_E_TYPEMISMATCH;
    return S_OK;
}

}  // namespace

STDMETHODIMP CAcxUtilObj::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP CAcxUtilObj::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return Holder().Get(info);
}

STDMETHODIMP CAcxUtilObj::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (FAILED(kcom::CheckNames(names, count, ids))) return E_POINTER;
    kcom::CComPtr<ITypeInfo> info;
    const HRESULT hr = Holder().Get(info.Put());
    if (FAILED(hr)) return hr;
    return ::DispGetIDsOfNames(info, names, count, ids);
}

STDMETHODIMP CAcxUtilObj::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* excepInfo, UINT* argErr) {
    if (const HRESULT checked = kcom::BeginInvoke(params, excepInfo, result); FAILED(checked)) return checked;
    if (id != kFireEvent || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs) return DISP_E_NONAMEDARGS;
    if (params->cArgs < 2 || params->cArgs > 3) return DISP_E_BADPARAMCOUNT;
    return kcom::Guard([&]() -> HRESULT {
        // DISPPARAMS hold the last argument first.
        const UINT count = params->cArgs;
        auto failAt = [&](UINT position, HRESULT hr) {
            if (argErr) *argErr = count - 1 - position;
            return hr;
        };
        kcom::CComPtr<IDispatch> object;
        HRESULT hr = ObjectArg(params->rgvarg[count - 1], object);
        if (FAILED(hr)) return failAt(0, hr);
        if (!object) return FireEvent(nullptr, nullptr, nullptr);  // refused whatever the name is
        kcom::CComVariant name;
        if (FAILED(hr = ::VariantCopyInd(&name, const_cast<VARIANT*>(&Plain(params->rgvarg[count - 2])))) ||
            FAILED(hr = name.ChangeType(VT_BSTR)))
            return failAt(1, DISP_E_TYPEMISMATCH);
        SAFEARRAY* args = nullptr;
        if (count == 3 && FAILED(hr = ArgsArg(params->rgvarg[0], args))) return failAt(2, hr);
        return FireEvent(object, name.bstrVal, args);
    });
}

HRESULT CAcxUtilObj::FireEvent(IDispatch* object, BSTR eventName, SAFEARRAY* args) noexcept {
    if (!object || !eventName || !::SysStringLen(eventName)) return E_INVALIDARG;
    return kcom::Guard([&] {
        CAcxHandler handler;
        handler.Attach(object);
        return handler.FireEvent(eventName, args);
    });
}
