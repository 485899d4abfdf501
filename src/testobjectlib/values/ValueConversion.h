#pragma once
// The package's VARIANT type change and the element-wise equality of table arrays.
#include <windows.h>
#include <oleauto.h>

// Changes source (or, without one, target itself) to vt into target. With a separator, a
// one-column table array (VT_I4, VT_BSTR or VT_VARIANT cells) becomes the text of its rows
// joined by the separator, and a text becomes such an array with one row per segment.
HRESULT ChangeValueType(VARIANT* target, VARTYPE vt, const VARIANT* source = nullptr, BSTR separator = nullptr);

// True when a and b are arrays of the same type (VT_I4, VT_BSTR or VT_VARIANT cells), of the
// same shape, with equal cells: integers by value, texts ordinally, VARIANTs exactly.
bool CompareArrayValues(const VARIANT& a, const VARIANT& b);
