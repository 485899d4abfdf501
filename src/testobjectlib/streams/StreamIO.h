#pragma once
// Checked little-endian reads and writes on an IStream. Stored streams are untrusted: every
// length read from one is checked against what the stream still holds before it is used.
#include <windows.h>
#include <objidl.h>
#include <oleauto.h>
#include <vector>

// Writes all of the bytes; a write that reports fewer bytes than asked gives E_FAIL.
HRESULT StreamWrite(IStream* stream, const void* data, ULONG size) noexcept;
// Reads exactly size bytes; fewer (the end of the stream) give E_FAIL.
HRESULT StreamRead(IStream* stream, void* data, ULONG size) noexcept;

template <class T>
HRESULT StreamWriteValue(IStream* stream, const T& value) noexcept {
    return StreamWrite(stream, &value, sizeof(T));
}
template <class T>
HRESULT StreamReadValue(IStream* stream, T* value) noexcept {
    return StreamRead(stream, value, sizeof(T));
}

// Bytes between the current position and the end; false when the stream cannot tell.
bool StreamRemaining(IStream* stream, ULONGLONG* remaining) noexcept;

// Reads a block of a stored length. A length beyond what the stream holds gives E_FAIL
// before anything is allocated; a stream that cannot tell its size is read in chunks.
HRESULT StreamReadBlock(IStream* stream, ULONG size, std::vector<BYTE>& out);

// BSTR stream form: u32 byte count including the 2-byte terminator (0 for a null BSTR),
// then the UTF-16LE characters and the terminator.
HRESULT StreamWriteBstr(IStream* stream, BSTR text) noexcept;
// A count that is odd, 2-byte short or larger than the stream gives E_FAIL.
HRESULT StreamReadBstr(IStream* stream, BSTR* text);
