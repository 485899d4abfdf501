#include "testobject/settings/DescriptionTable.h"
#include <vector>
#include "com/ComError.h"
#include "com/ComPtr.h"
#include "com/ComSafeArray.h"
#include "testobject/settings/SettingsTable.h"

HRESULT NewDescriptionTable(SAFEARRAY* names, ULONG columns, CKorSafeArray& table) noexcept {
    return kcom::Guard([&] {
        std::vector<SettingsRow> rows;
        if (FAILED(ReadSettingsTable(names, rows))) return E_FAIL;
        table.Create(static_cast<ULONG>(rows.size()), columns, VT_VARIANT);
        for (size_t r = 0; r < rows.size(); ++r)
            kcom::ThrowIfFailed(table.PutElement(&rows[r].name, static_cast<LONG>(r), 0));
        return S_OK;
    });
}

HRESULT BuildDescriptionTable(IUnknown* object, SAFEARRAY** out, DWORD flags, bool values) noexcept {
    if (!object || !out) return E_POINTER;
    *out = nullptr;
    kcom::CComPtr<ITestObjectInfo> info;
    if (FAILED(kcom::QueryTo(object, info.Put())) || !info) return E_NOINTERFACE;
    return kcom::Guard([&] {
        kcom::CComSafeArray names;
        HRESULT hr = info->GetProps(names.Put(), flags);
        if (FAILED(hr)) return hr;
        CKorSafeArray table;
        hr = NewDescriptionTable(names, kDescriptionColumns, table);
        if (FAILED(hr)) return hr;
        // The callee may hand back another array in place of the one it is given.
        SAFEARRAY* filled = table.Detach();
        hr = values ? info->FillPropsValues(&filled) : info->FillPropsExpr(&filled);
        table.Attach(filled, true);
        if (FAILED(hr)) return hr;
        *out = table.Detach();
        return S_OK;
    });
}
