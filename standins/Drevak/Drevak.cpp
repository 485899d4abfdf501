// Stand-in of the VARIANT packer: its packed layout is the package's flat VARIANT pack.
#include "contracts/Drevak.h"
#include "values/FlatVariant.h"
#include "com/Handles.h"

DREVAK_API long __cdecl PackVariant(VARIANT value, void** blob, ULONG* size) {
    if (!blob || !size) return E_POINTER;
    *blob = nullptr;
    kcom::CCoTaskMem<BYTE> data;
    HRESULT hr = PackVariantFlat(value, data.Put(), size);
    if (FAILED(hr)) {
        *size = 0;
        return hr;
    }
    *blob = data.Detach();
    return hr;
}

DREVAK_API long __cdecl UnpackVariant(const void* blob, VARIANT* value, ULONG* size) {
    if (!blob || !value || !size) return E_POINTER;
    ULONG consumed = 0;
    HRESULT hr = UnpackVariantFlat(value, static_cast<const BYTE*>(blob), *size, &consumed);
    *size = consumed;
    return hr;
}
