#include "testobject/identification/CandidateLists.h"
#include "com/ComVariant.h"
#include "tables/KorSafeArray.h"

ULONG CandidateCount(SAFEARRAY* candidates) noexcept {
    if (!candidates || candidates->cDims == 0) return 0;
    ULONG count = 1;
    for (USHORT d = 0; d < candidates->cDims; ++d) count *= candidates->rgsabound[d].cElements;
    return count;
}

HRESULT CandidateObject(SAFEARRAY* candidates, ULONG index, IUnknown** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    VARTYPE vt = VT_EMPTY;
    if (index >= CandidateCount(candidates) || FAILED(::SafeArrayGetVartype(candidates, &vt)) || vt != VT_VARIANT)
        return E_INVALIDARG;
    VARIANT* cells = nullptr;
    HRESULT hr = ::SafeArrayAccessData(candidates, reinterpret_cast<void**>(&cells));
    if (FAILED(hr)) return hr;
    const VARIANT& cell = cells[index];
    if ((cell.vt == VT_UNKNOWN || cell.vt == VT_DISPATCH) && cell.punkVal) {
        *object = cell.punkVal;
        (*object)->AddRef();
    }
    ::SafeArrayUnaccessData(candidates);
    return *object ? S_OK : S_FALSE;
}

kcom::CComBSTR NameAt(SAFEARRAY* names, ULONG row) {
    VARTYPE vt = VT_EMPTY;
    if (!names || FAILED(::SafeArrayGetVartype(names, &vt))) return kcom::CComBSTR();
    if (vt == VT_BSTR) {
        CKorPtrSafeArray table;
        table.Attach(names, false);
        kcom::CComBSTR name;
        table.GetElement(name.Put(), static_cast<LONG>(row), 0);
        return name;
    }
    CKorSafeArray table;
    table.Attach(names, false);
    kcom::CComVariant cell;
    if (vt != VT_VARIANT || FAILED(table.GetElement(cell.Put(), static_cast<LONG>(row), 0)) || cell.vt != VT_BSTR)
        return kcom::CComBSTR();
    kcom::CComBSTR name;
    *name.Put() = cell.bstrVal;
    cell.vt = VT_EMPTY;  // handed over
    return name;
}
