// Interim value rules for the record tests until the matcher's own land: exact equality,
// plain text matching without patterns, and evaluation without parameter texts.
#include <windows.h>
#include <oleauto.h>
#include <string>
#include "datamodel/ValueConversion.h"
#include "host.h"

bool CompareVariantValues(const VARIANT& a, const VARIANT& b) {
    if (V_VT(&a) != V_VT(&b)) return false;
    if (V_VT(&a) & VT_ARRAY) return CompareArrayValues(a, b);
    if (V_VT(&a) == VT_NULL) return true;
    return ::VarCmp(const_cast<VARIANT*>(&a), const_cast<VARIANT*>(&b), LOCALE_USER_DEFAULT, 0) == VARCMP_EQ;
}

HRESULT MatchValuePattern(BSTR expected, BSTR actual, long compareType, VARIANT_BOOL* result) {
    *result = VARIANT_FALSE;
    if (!expected || !actual) {
        *result = !expected && !actual ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    if (compareType & 0x9) return E_FAIL;
    auto strip = [&](BSTR s) {
        std::wstring t(s, ::SysStringLen(s));
        if (compareType & 0x2) std::erase_if(t, [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; });
        return t;
    };
    std::wstring e = strip(expected), a = strip(actual);
    BSTR be = ::SysAllocStringLen(e.data(), static_cast<UINT>(e.size()));
    BSTR ba = ::SysAllocStringLen(a.data(), static_cast<UINT>(a.size()));
    HRESULT cmp = ::VarBstrCmp(be, ba, LOCALE_SYSTEM_DEFAULT, (compareType & 0x4) ? 0 : NORM_IGNORECASE);
    ::SysFreeString(be);
    ::SysFreeString(ba);
    *result = cmp == VARCMP_EQ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT ConvertByParamType(IObjectRack*, IDispatch*, const VARIANT* value, DWORD flags, VARTYPE declaredType,
                           DWORD compareType, VARIANT* result) {
    if (!result) return E_INVALIDARG;
    if (flags & 0x100) return E_FAIL;
    VARIANT v;
    ::VariantInit(&v);
    HRESULT hr = ::VariantCopy(&v, const_cast<VARIANT*>(value));
    if (SUCCEEDED(hr) && !(compareType & 0x10) && declaredType != VT_EMPTY && declaredType != V_VT(&v))
        hr = ChangeValueType(&v, declaredType);
    if (FAILED(hr)) {
        ::VariantClear(&v);
        return hr;
    }
    ::VariantClear(result);
    *result = v;
    return S_OK;
}
