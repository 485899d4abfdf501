#include "testobject/matching/VariantEqualNoCase.h"
#include "com/ComVariant.h"
#include "tables/KorBSTR.h"

bool VariantEqualNoCase(const VARIANT& a, const VARIANT& b) noexcept {
    if (a.vt == VT_BSTR && b.vt == VT_BSTR)
        // A lookup by name compares most rows of a table; the row it finds holds the same characters.
        return SameCharacters(a.bstrVal, b.bstrVal) ||
               ::VarBstrCmp(a.bstrVal, b.bstrVal, LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE) ==
                   static_cast<HRESULT>(VARCMP_EQ);
    if (a.vt == VT_BSTR || b.vt == VT_BSTR) return false;
    return VariantEqualExact(a, b);
}

LONG FindRowNoCase(const CKorSafeArray& table, const VARIANT& value, LONG column) noexcept {
    const ULONG rows = table.psa ? table.GetRowCount() : 0;
    for (ULONG r = 0; r < rows; ++r) {
        kcom::CComVariant cell;
        if (FAILED(table.GetElement(cell.Put(), static_cast<LONG>(r), column))) return -1;
        if (VariantEqualNoCase(cell, value)) return static_cast<LONG>(r);
    }
    return -1;
}
