#pragma once
// One property of any test object, and one value of a test-object class's settings section.
#include <windows.h>
#include <oaidl.h>
#include "host.h"
#include "kestrune.h"

// The object's Prop getter through ITestObjectInfo; E_NOINTERFACE without it (null object too).
// The three words are passed through as given.
HRESULT GetTestObjectProp(IUnknown* object, BSTR name, VARIANT* value, long* flags, long* type,
                          long* compareType) noexcept;
// The object's PropExpr setter; the caller keeps the value.
HRESULT PutTestObjectPropExpr(IUnknown* object, BSTR name, const VARIANT* value, long* flags, long* type,
                              long* compareType) noexcept;

// GetValue(key, valueName or "(Default)", out, 0, 0) with key "Test Objects\<class>\<subKey>",
// or "Test Objects\<class>" without a sub-key.
HRESULT ReadTestObjectKey(BSTR className, IKorSettings* settings, const wchar_t* subKey, const wchar_t* valueName,
                          VARIANT* out) noexcept;
// The same on the rack's "TestOptions".
HRESULT ReadTestObjectSetting(BSTR className, IObjectRack* rack, const wchar_t* subKey, const wchar_t* valueName,
                              VARIANT* out) noexcept;
// The class's "CLSID" text as a CLSID; E_FAIL unless it reads as text.
HRESULT ReadClsid(BSTR className, CLSID* out, IObjectRack* rack) noexcept;
