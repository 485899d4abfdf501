#include "values/RegExpMatcher.h"

namespace {

RegExpMatcher::ClsidLookup g_clsidLookup = &::CLSIDFromProgID;

}  // namespace

RegExpMatcher::ClsidLookup RegExpMatcher::SetClsidLookup(ClsidLookup lookup) noexcept {
    ClsidLookup previous = g_clsidLookup;
    g_clsidLookup = lookup ? lookup : &::CLSIDFromProgID;
    return previous;
}

RegExpMatcher::RegExpMatcher() noexcept {
    CLSID clsid;
    if (SUCCEEDED(g_clsidLookup(L"VBScript.RegExp", &clsid)))
        regExp_.CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER);
}

HRESULT RegExpMatcher::SetIgnoreCase(VARIANT_BOOL ignoreCase) noexcept {
    if (!regExp_) return E_POINTER;
    return regExp_->put_IgnoreCase(ignoreCase);
}

HRESULT RegExpMatcher::SetPattern(BSTR pattern) noexcept {
    if (!regExp_) return E_POINTER;
    return regExp_->put_Pattern(pattern);
}

HRESULT RegExpMatcher::Test(BSTR text, VARIANT_BOOL* result) noexcept {
    if (!result) return E_POINTER;
    *result = VARIANT_FALSE;
    if (!regExp_) return E_POINTER;
    return regExp_->Test(text, result);
}

HRESULT RegExpMatcher::IsFullMatch(BSTR text, VARIANT_BOOL* result) noexcept {
    if (!result) return E_POINTER;
    if (!text) return E_INVALIDARG;
    if (!regExp_) return E_POINTER;
    *result = VARIANT_FALSE;

    kcom::CComPtr<IDispatch> matchesDisp;
    HRESULT hr = regExp_->Execute(text, matchesDisp.Put());
    if (FAILED(hr)) return hr;
    kcom::CComQIPtr<IMatchCollection> matches(static_cast<IUnknown*>(matchesDisp.get()));
    if (!matches) return E_FAIL;

    LONG count = 0;
    hr = matches->get_Count(&count);
    if (FAILED(hr)) return hr;
    if (count != 1) return S_OK;

    kcom::CComPtr<IDispatch> itemDisp;
    hr = matches->get_Item(0, itemDisp.Put());
    if (FAILED(hr)) return hr;
    kcom::CComQIPtr<IMatch> match(static_cast<IUnknown*>(itemDisp.get()));
    if (!match) return E_FAIL;

    LONG first = -1;
    hr = match->get_FirstIndex(&first);
    if (FAILED(hr)) return hr;
    if (first != 0) return S_OK;

    LONG length = -1;
    hr = match->get_Length(&length);
    if (FAILED(hr)) return hr;
    if (length >= 0 && static_cast<UINT>(length) == ::SysStringLen(text)) *result = VARIANT_TRUE;
    return S_OK;
}
