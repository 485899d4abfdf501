#include "streams/StreamIO.h"
#include <algorithm>
#include <cstring>
#include <new>

HRESULT StreamWrite(IStream* stream, const void* data, ULONG size) noexcept {
    if (!stream) return E_POINTER;
    if (size == 0) return S_OK;
    ULONG written = 0;
    HRESULT hr = stream->Write(data, size, &written);
    if (FAILED(hr)) return hr;
    return written == size ? S_OK : E_FAIL;
}

HRESULT StreamRead(IStream* stream, void* data, ULONG size) noexcept {
    if (!stream) return E_POINTER;
    if (size == 0) return S_OK;
    ULONG read = 0;
    HRESULT hr = stream->Read(data, size, &read);
    if (FAILED(hr)) return hr;
    return read == size ? S_OK : E_FAIL;
}

bool StreamRemaining(IStream* stream, ULONGLONG* remaining) noexcept {
    STATSTG stat{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return false;
    LARGE_INTEGER zero{};
    ULARGE_INTEGER pos{};
    if (FAILED(stream->Seek(zero, STREAM_SEEK_CUR, &pos))) return false;
    *remaining = stat.cbSize.QuadPart > pos.QuadPart ? stat.cbSize.QuadPart - pos.QuadPart : 0;
    return true;
}

HRESULT StreamReadBlock(IStream* stream, ULONG size, std::vector<BYTE>& out) {
    if (!stream) return E_POINTER;
    out.clear();
    ULONGLONG remaining = 0;
    if (StreamRemaining(stream, &remaining)) {
        if (size > remaining) return E_FAIL;
        out.resize(size);
        return StreamRead(stream, out.data(), size);
    }
    // Size unknown: grow only as data actually arrives.
    constexpr ULONG kChunk = 64 * 1024;
    while (out.size() < size) {
        ULONG chunk = std::min<ULONG>(kChunk, size - static_cast<ULONG>(out.size()));
        size_t at = out.size();
        out.resize(at + chunk);
        HRESULT hr = StreamRead(stream, out.data() + at, chunk);
        if (FAILED(hr)) { out.clear(); return hr; }
    }
    return S_OK;
}

HRESULT StreamWriteBstr(IStream* stream, BSTR text) noexcept {
    ULONG bytes = text ? ::SysStringLen(text) * 2 + 2 : 0;
    HRESULT hr = StreamWriteValue(stream, bytes);
    if (FAILED(hr) || !text) return hr;
    return StreamWrite(stream, text, bytes);  // the BSTR's own terminator follows its characters
}

HRESULT StreamReadBstr(IStream* stream, BSTR* text) {
    *text = nullptr;
    ULONG bytes = 0;
    HRESULT hr = StreamReadValue(stream, &bytes);
    if (FAILED(hr)) return hr;
    if (bytes == 0) return S_OK;
    if (bytes < 2 || (bytes & 1)) return E_FAIL;
    std::vector<BYTE> data;
    hr = StreamReadBlock(stream, bytes, data);
    if (FAILED(hr)) return hr;
    BSTR b = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(data.data()), bytes / 2 - 1);
    if (!b) return E_OUTOFMEMORY;
    *text = b;
    return S_OK;
}
