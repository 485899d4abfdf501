#pragma once
// The tables a settings node answers (child names, values), read defensively: the host's table
// is outside input.
#include <windows.h>
#include <oleauto.h>
#include <vector>
#include "com/ComVariant.h"

struct SettingsRow {
    kcom::CComVariant name;   // column 0
    kcom::CComVariant value;  // column 1; empty for a one-column table
};

// The rows of a one- or two-dimensional table of VARIANT or BSTR cells. A null table has no rows;
// any other kind of table is E_FAIL.
HRESULT ReadSettingsTable(SAFEARRAY* table, std::vector<SettingsRow>& rows);

// True for a two-dimensional table whose cells are VARIANTs (readable with CKorSafeArray).
bool HoldsVariantCells(SAFEARRAY* table) noexcept;

// The text of a VT_BSTR value; null for anything else.
inline const wchar_t* TextOf(const VARIANT& v) noexcept { return v.vt == VT_BSTR ? v.bstrVal : nullptr; }
