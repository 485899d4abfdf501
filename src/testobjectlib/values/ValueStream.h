#pragma once
// The property value form: how one property value is written into, and read back from, the
// property collection stream.
//   u16 vt; then for VT_ARRAY a u32 length and the flat pack of the whole VARIANT; the raw bytes
//   of a scalar (VT_I8/VT_UI8 with 8); the OLE persisted form of an object (CLSID_NULL for a
//   null one); nothing for VT_NULL; otherwise the value as text: u32 byte count including the
//   terminator (0 for a null text) and the UTF-16LE characters with the terminator.
#include <windows.h>
#include <objidl.h>
#include <oleauto.h>

// The whole value form of a value without VT_ARRAY. E_INVALIDARG for a null stream.
HRESULT WriteVariantToStream(const VARIANT& value, IStream* stream) noexcept;
// The array blob with its u32 length. E_POINTER for a null stream.
HRESULT WritePackedArrayValue(const VARIANT& value, IStream* stream) noexcept;
// Reads the u32 length and the blob; the unpack must consume exactly that length.
HRESULT ReadPackedArrayValue(VARIANT* value, IStream* stream) noexcept;

// The value form of value, type word first.
HRESULT SaveVariantValue(const VARIANT& value, IStream* stream) noexcept;
// Reads one value form into value (cleared first). The older form, of records before the
// current version, has no array blob and accepts an object whose class is not registered.
HRESULT LoadVariantValue(VARIANT* value, IStream* stream, bool olderForm = false) noexcept;
