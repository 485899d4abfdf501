#pragma once
// Whole-text matching through the system's "VBScript.RegExp" component.
#include <windows.h>
#include <oleauto.h>
#include "com/ComPtr.h"

// Version-1 interfaces of the regular-expression component; no platform header declares them.
MIDL_INTERFACE("3F4DACA0-160D-11D2-A8E9-00104B365C9F")
IRegExp : public IDispatch {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Pattern(BSTR* pattern) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Pattern(BSTR pattern) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IgnoreCase(VARIANT_BOOL* ignoreCase) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IgnoreCase(VARIANT_BOOL ignoreCase) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Global(VARIANT_BOOL* global) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Global(VARIANT_BOOL global) = 0;
    virtual HRESULT STDMETHODCALLTYPE Execute(BSTR source, IDispatch** matches) = 0;
    virtual HRESULT STDMETHODCALLTYPE Test(BSTR source, VARIANT_BOOL* match) = 0;
    virtual HRESULT STDMETHODCALLTYPE Replace(BSTR source, BSTR replacement, BSTR* result) = 0;
};
__CRT_UUID_DECL(IRegExp, 0x3F4DACA0, 0x160D, 0x11D2, 0xA8, 0xE9, 0x00, 0x10, 0x4B, 0x36, 0x5C, 0x9F)

MIDL_INTERFACE("3F4DACA1-160D-11D2-A8E9-00104B365C9F")
IMatch : public IDispatch {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Value(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FirstIndex(LONG* index) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Length(LONG* length) = 0;
};
__CRT_UUID_DECL(IMatch, 0x3F4DACA1, 0x160D, 0x11D2, 0xA8, 0xE9, 0x00, 0x10, 0x4B, 0x36, 0x5C, 0x9F)

MIDL_INTERFACE("3F4DACA2-160D-11D2-A8E9-00104B365C9F")
IMatchCollection : public IDispatch {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Item(LONG index, IDispatch** match) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** enumerator) = 0;
};
__CRT_UUID_DECL(IMatchCollection, 0x3F4DACA2, 0x160D, 0x11D2, 0xA8, 0xE9, 0x00, 0x10, 0x4B, 0x36, 0x5C, 0x9F)

// Owns one regular-expression object. Creation failures are silent: every operation of a
// matcher without an object answers E_POINTER. Global stays at its default (off), so Execute
// yields at most the first match.
class RegExpMatcher {
public:
    RegExpMatcher() noexcept;
    RegExpMatcher(const RegExpMatcher&) = delete;
    RegExpMatcher& operator=(const RegExpMatcher&) = delete;

    bool HasObject() const noexcept { return static_cast<bool>(regExp_); }
    HRESULT SetIgnoreCase(VARIANT_BOOL ignoreCase) noexcept;
    HRESULT SetPattern(BSTR pattern) noexcept;
    // True only when the first match starts at the first character and covers the whole text.
    HRESULT IsFullMatch(BSTR text, VARIANT_BOOL* result) noexcept;
    // True when the pattern matches anywhere in the text.
    HRESULT Test(BSTR text, VARIANT_BOOL* result) noexcept;

    // The ProgID-to-CLSID lookup that creation goes through; replaceable so that a missing
    // component can be reproduced.
    using ClsidLookup = HRESULT(WINAPI*)(LPCOLESTR progId, LPCLSID clsid);
    static ClsidLookup SetClsidLookup(ClsidLookup lookup) noexcept;

private:
    kcom::CComPtr<IRegExp> regExp_;
};
