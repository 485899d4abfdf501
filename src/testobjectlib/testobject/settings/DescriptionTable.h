#pragma once
// Description tables of test objects: rows of name, value, flags, declared type, compare type
// (and property data where a sixth column is asked for), read through ITestObjectInfo.
#include <windows.h>
#include <oleauto.h>
#include "kestrune.h"
#include "tables/KorSafeArray.h"

inline constexpr ULONG kDescriptionColumns = 5;

// A table of names.size() rows and `columns` VARIANT columns, each name of the GetProps answer
// as VT_BSTR in column 0. The names are a table of BSTR or VARIANT cells; any other is E_FAIL.
HRESULT NewDescriptionTable(SAFEARRAY* names, ULONG columns, CKorSafeArray& table) noexcept;

// GetProps(flags) of the object, then FillPropsValues (values) or FillPropsExpr into a rows x 5
// table. E_POINTER for a null object or out, E_NOINTERFACE without ITestObjectInfo.
HRESULT BuildDescriptionTable(IUnknown* object, SAFEARRAY** out, DWORD flags, bool values) noexcept;
