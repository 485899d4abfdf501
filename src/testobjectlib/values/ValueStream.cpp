#include "values/ValueStream.h"
#include <ocidl.h>
#include "com/ComPtr.h"
#include "com/Handles.h"
#include "com/ComVariant.h"
#include "values/FlatVariant.h"
#include "streams/StreamIO.h"
#include <vector>

namespace {

// Raw bytes of the scalars of the value form; VT_DECIMAL travels as text here.
ULONG ValueScalarBytes(VARTYPE vt) noexcept {
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_BOOL: case VT_UI2: return 2;
    case VT_I4: case VT_R4: case VT_ERROR: case VT_UI4: case VT_INT: case VT_UINT: return 4;
    case VT_R8: case VT_CY: case VT_DATE: case VT_I8: case VT_UI8: return 8;
    default: return 0;
    }
}

BYTE* ValueBytes(VARIANT* v) noexcept { return reinterpret_cast<BYTE*>(v) + 8; }
const BYTE* ValueBytes(const VARIANT* v) noexcept { return reinterpret_cast<const BYTE*>(v) + 8; }

HRESULT WriteObject(IUnknown* object, IStream* stream) noexcept {
    if (!object) return ::WriteClassStm(stream, CLSID_NULL);
    kcom::CComPtr<IPersistStream> persist;
    HRESULT hr = object->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(persist.Put()));
    if (FAILED(hr)) {
        // IPersistStreamInit begins with the IPersistStream slots, which is all OleSaveToStream calls.
        kcom::CComPtr<IPersistStreamInit> init;
        hr = object->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(init.Put()));
        if (FAILED(hr)) return hr;
        return ::OleSaveToStream(reinterpret_cast<IPersistStream*>(init.get()), stream);
    }
    return ::OleSaveToStream(persist, stream);
}

// A short read is a damaged stream, whatever the stream itself answered.
HRESULT ReadExact(IStream* stream, void* data, ULONG size) noexcept {
    HRESULT hr = StreamRead(stream, data, size);
    return FAILED(hr) ? E_FAIL : S_OK;
}

}  // namespace

HRESULT WriteVariantToStream(const VARIANT& value, IStream* stream) noexcept {
    if (!stream) return E_INVALIDARG;
    const VARTYPE vt = V_VT(&value);
    if (vt & VT_ARRAY) return E_INVALIDARG;
    HRESULT hr = StreamWriteValue<USHORT>(stream, vt);
    if (FAILED(hr) || vt == VT_NULL) return hr;
    if (ULONG bytes = ValueScalarBytes(vt)) return StreamWrite(stream, ValueBytes(&value), bytes);
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) return WriteObject(value.punkVal, stream);
    if (vt == VT_BSTR) return StreamWriteBstr(stream, value.bstrVal);
    kcom::CComVariant text;
    hr = ::VariantChangeType(&text, const_cast<VARIANT*>(&value), VARIANT_NOVALUEPROP, VT_BSTR);
    return FAILED(hr) ? hr : StreamWriteBstr(stream, text.bstrVal);
}

HRESULT WritePackedArrayValue(const VARIANT& value, IStream* stream) noexcept {
    if (!stream) return E_POINTER;
    kcom::CCoTaskMem<BYTE> pack;
    ULONG size = 0;
    HRESULT hr = PackVariantFlat(value, pack.Put(), &size);
    if (SUCCEEDED(hr)) {
        hr = StreamWriteValue(stream, size);
        if (SUCCEEDED(hr)) hr = StreamWrite(stream, pack.get(), size);
    }
    return hr;
}

HRESULT ReadPackedArrayValue(VARIANT* value, IStream* stream) noexcept {
    if (!stream) return E_POINTER;
    if (!value) return E_POINTER;
    ::VariantClear(value);
    ULONG size = 0;
    if (FAILED(ReadExact(stream, &size, sizeof size))) return E_FAIL;
    try {
        std::vector<BYTE> blob;
        if (size == 0 || FAILED(StreamReadBlock(stream, size, blob))) return E_FAIL;
        ULONG consumed = 0;
        if (FAILED(UnpackVariantFlat(value, blob.data(), size, &consumed))) return E_FAIL;
        if (consumed != size) {
            ::VariantClear(value);
            return E_FAIL;
        }
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT SaveVariantValue(const VARIANT& value, IStream* stream) noexcept {
    if (!stream) return E_POINTER;
    if ((V_VT(&value) & VT_BYREF) && !(V_VT(&value) & VT_ARRAY)) {
        // A referenced value is stored as the value itself: its type word could not be rebuilt
        // from the text form, and the record would stop every later record from loading.
        kcom::CComVariant plain;
        HRESULT hr = ::VariantCopyInd(&plain, const_cast<VARIANT*>(&value));
        if (FAILED(hr)) return hr;
        return (V_VT(&plain) & VT_BYREF) ? E_INVALIDARG : SaveVariantValue(plain, stream);
    }
    if (!(V_VT(&value) & VT_ARRAY)) return WriteVariantToStream(value, stream);
    HRESULT hr = StreamWriteValue<USHORT>(stream, V_VT(&value));
    return FAILED(hr) ? hr : WritePackedArrayValue(value, stream);
}

HRESULT LoadVariantValue(VARIANT* value, IStream* stream, bool olderForm) noexcept {
    if (!value || !stream) return E_POINTER;
    ::VariantClear(value);
    USHORT vt = 0;
    if (FAILED(ReadExact(stream, &vt, sizeof vt))) return E_FAIL;
    if ((vt & VT_ARRAY) && !olderForm) return ReadPackedArrayValue(value, stream);
    if (vt > VT_EMPTY && vt < 24) {
        if (vt == VT_NULL) {
            V_VT(value) = VT_NULL;
            return S_OK;
        }
        if (ULONG bytes = ValueScalarBytes(vt)) {
            if (FAILED(ReadExact(stream, ValueBytes(value), bytes))) {
                ::VariantInit(value);
                return E_FAIL;
            }
            V_VT(value) = vt;
            return S_OK;
        }
        if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
            kcom::CComPtr<IUnknown> object;
            HRESULT hr = ::OleLoadFromStream(stream, vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown,
                                             reinterpret_cast<void**>(object.Put()));
            if (FAILED(hr)) {
                object.Release();  // a failed load may still have handed something out
                if (olderForm && hr != REGDB_E_CLASSNOTREG) return hr;
            }
            V_VT(value) = vt;
            value->punkVal = object.Detach();
            return S_OK;
        }
    }
    kcom::CComVariant stored;
    HRESULT hr;
    try {
        hr = StreamReadBstr(stream, &stored.bstrVal);
    } catch (...) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) return hr == E_OUTOFMEMORY ? hr : E_FAIL;
    V_VT(&stored) = VT_BSTR;
    if (vt == VT_BSTR) return stored.Detach(value);
    return ::VariantChangeType(value, &stored, 0, vt);
}
