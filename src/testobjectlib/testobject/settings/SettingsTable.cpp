#include "testobject/settings/SettingsTable.h"
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "tables/KorSafeArray.h"

bool HoldsVariantCells(SAFEARRAY* table) noexcept {
    VARTYPE vt = VT_EMPTY;
    return table && ::SafeArrayGetDim(table) == 2 && SUCCEEDED(::SafeArrayGetVartype(table, &vt)) &&
           vt == VT_VARIANT && table->cbElements == sizeof(VARIANT);
}

HRESULT ReadSettingsTable(SAFEARRAY* table, std::vector<SettingsRow>& rows) {
    rows.clear();
    if (!table) return S_OK;
    const UINT dims = ::SafeArrayGetDim(table);
    VARTYPE vt = VT_EMPTY;
    if (dims < 1 || dims > 2 || FAILED(::SafeArrayGetVartype(table, &vt))) return E_FAIL;
    // A cell is read by copying cbElements bytes: only cells of the expected size are read.
    const bool variants = vt == VT_VARIANT && table->cbElements == sizeof(VARIANT);
    const bool texts = vt == VT_BSTR && table->cbElements == sizeof(BSTR);
    if (!variants && !texts) return E_FAIL;

    return kcom::Guard([&] {
        CKorSafeArray cells;
        cells.Attach(table, false);
        CKorPtrSafeArray names;
        names.Attach(table, false);
        const ULONG count = cells.GetRowCount();
        const LONG columns = cells.GetColumnCount() > 1 ? 2 : 1;
        rows.reserve(count);
        for (ULONG r = 0; r < count; ++r) {
            SettingsRow row;
            for (LONG c = 0; c < columns; ++c) {
                kcom::CComVariant& cell = c == 0 ? row.name : row.value;
                if (variants) {
                    kcom::ThrowIfFailed(cells.GetElement(cell.Put(), static_cast<LONG>(r), c));
                    continue;
                }
                kcom::CComBSTR text;
                kcom::ThrowIfFailed(names.GetElement(text.Put(), static_cast<LONG>(r), c));
                cell.vt = VT_BSTR;
                cell.bstrVal = text.Detach();
            }
            rows.push_back(std::move(row));
        }
        return S_OK;
    });
}
