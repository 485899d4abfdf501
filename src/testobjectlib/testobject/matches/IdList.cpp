#include "testobject/matches/IdList.h"
#include "com/ComVariant.h"

ULONG IdListRows(SAFEARRAY* list) noexcept {
    return list && list->cDims >= 1 ? list->rgsabound[0].cElements : 0;
}

ULONG IdListColumns(SAFEARRAY* list) noexcept {
    if (!list || list->cDims < 1) return 0;
    return list->cDims == 1 ? 1 : list->rgsabound[1].cElements;
}

HRESULT IdListObject(SAFEARRAY* list, ULONG row, ULONG column, IUnknown** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (row >= IdListRows(list) || column >= IdListColumns(list) || list->cDims > 2) return E_INVALIDARG;
    LONG index[2];
    if (list->cDims == 1) {
        index[0] = static_cast<LONG>(row) + list->rgsabound[0].lLbound;
    } else {
        index[0] = static_cast<LONG>(column) + list->rgsabound[1].lLbound;
        index[1] = static_cast<LONG>(row) + list->rgsabound[0].lLbound;
    }
    VARTYPE vt = VT_EMPTY;
    HRESULT hr = ::SafeArrayGetVartype(list, &vt);
    if (FAILED(hr)) return hr;
    IUnknown* object = nullptr;
    if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        hr = ::SafeArrayGetElement(list, index, &object);  // add-ref'd by the copy
        if (FAILED(hr)) return hr;
    } else if (vt == VT_VARIANT) {
        kcom::CComVariant cell;
        hr = ::SafeArrayGetElement(list, index, cell.Put());
        if (FAILED(hr)) return hr;
        if ((cell.vt == VT_UNKNOWN || cell.vt == VT_DISPATCH) && cell.punkVal) {
            object = cell.punkVal;
            object->AddRef();
        }
    } else {
        return DISP_E_BADVARTYPE;
    }
    *out = object;
    return object ? S_OK : S_FALSE;
}
