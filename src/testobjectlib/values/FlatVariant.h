#pragma once
// The flat VARIANT pack: a self-contained little-endian byte image of a VARIANT.
//   u16 vt (VT_BYREF kept); then by type: the raw scalar bytes; the 16 bytes of a DECIMAL as it
//   overlays the VARIANT; u32 byte length and UTF-16LE text without terminator for a BSTR; the
//   array form for VT_ARRAY. VT_EMPTY and VT_NULL are the type word alone.
// Array form: u16 element vt, u32 dimension count d, d x (u32 count, i32 lower bound) from
//   dimension 1, u16 fFeatures, then the elements in memory order (raw bytes, texts, or packs).
// A value that cannot be packed packs as the two bytes FF FF.
#include <windows.h>
#include <oleauto.h>

// Byte size of the pack of v. An unsupported value sets 2 (its FF FF mark) and gives E_INVALIDARG.
HRESULT FlatVariantSize(const VARIANT& v, ULONG* size) noexcept;
// Byte size of the array form of psa; E_INVALIDARG when an element cannot be packed.
HRESULT FlatArraySize(SAFEARRAY* psa, ULONG* size) noexcept;

// Packs v into one buffer of the COM task allocator that the caller owns.
// An unsupported value gives the buffer FF FF, size 2 and E_INVALIDARG.
HRESULT PackVariantFlat(const VARIANT& v, BYTE** buffer, ULONG* size) noexcept;

// Unpacks at most size bytes of data into out (initialised first). consumed receives the bytes
// read. Short data, an FF FF mark or any type word that cannot be built give E_FAIL and leave
// out VT_EMPTY; the stored counts are checked against size before anything is allocated.
HRESULT UnpackVariantFlat(VARIANT* out, const BYTE* data, ULONG size, ULONG* consumed) noexcept;
