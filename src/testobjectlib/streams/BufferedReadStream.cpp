#include "streams/BufferedReadStream.h"
#include <algorithm>
#include <cstring>

void CBufferedReadStream::Init(IStream* source) noexcept {
    m_source = source;
    LARGE_INTEGER zero{};
    ULARGE_INTEGER position{};
    m_readAhead = source && SUCCEEDED(source->Seek(zero, STREAM_SEEK_CUR, &position));
    m_base = position.QuadPart;
}

void CBufferedReadStream::GiveBack() noexcept {
    if (!m_readAhead) return;
    m_readAhead = false;
    if (m_cursor != m_filled) {
        LARGE_INTEGER back{};
        back.QuadPart = -static_cast<LONGLONG>(m_filled - m_cursor);
        m_source->Seek(back, STREAM_SEEK_CUR, nullptr);
    }
    m_base += m_cursor;
    m_filled = m_cursor = 0;
}

STDMETHODIMP CBufferedReadStream::Read(void* data, ULONG size, ULONG* read) noexcept {
    if (read) *read = 0;
    if (!m_readAhead) return m_source->Read(data, size, read);
    if (!data && size) return STG_E_INVALIDPOINTER;
    BYTE* out = static_cast<BYTE*>(data);
    ULONG done = 0;
    HRESULT hr = S_OK;
    while (done < size) {
        if (m_cursor == m_filled) {
            m_base += m_filled;
            m_cursor = m_filled = 0;
            ULONG got = 0;
            if (size - done >= kBufferSize) {  // a large read goes straight to the caller
                hr = m_source->Read(out + done, size - done, &got);
                m_base += got;
                done += got;
                break;
            }
            hr = m_source->Read(m_buffer, kBufferSize, &got);
            m_filled = std::min(got, kBufferSize);
            if (FAILED(hr) || m_filled == 0) break;
            continue;
        }
        const ULONG n = std::min(size - done, m_filled - m_cursor);
        std::memcpy(out + done, m_buffer + m_cursor, n);
        m_cursor += n;
        done += n;
    }
    if (read) *read = done;
    if (FAILED(hr)) return hr;
    return done == size ? S_OK : hr;  // a short read answers as the source answered it
}

STDMETHODIMP CBufferedReadStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) noexcept {
    if (!m_readAhead) return m_source->Seek(move, origin, position);
    if (origin == STREAM_SEEK_SET || origin == STREAM_SEEK_CUR) {
        const LONGLONG from = origin == STREAM_SEEK_SET ? 0 : static_cast<LONGLONG>(m_base + m_cursor);
        const LONGLONG target = from + move.QuadPart;
        if (target >= static_cast<LONGLONG>(m_base) && target <= static_cast<LONGLONG>(m_base + m_filled)) {
            m_cursor = static_cast<ULONG>(target - static_cast<LONGLONG>(m_base));
            if (position) position->QuadPart = static_cast<ULONGLONG>(target);
            return S_OK;
        }
    }
    // Beyond the buffer: the source seeks from where the caller stands, and the buffer starts anew.
    GiveBack();
    HRESULT hr = m_source->Seek(move, origin, position);
    LARGE_INTEGER zero{};
    ULARGE_INTEGER now{};
    m_readAhead = SUCCEEDED(m_source->Seek(zero, STREAM_SEEK_CUR, &now));
    m_base = now.QuadPart;
    return hr;
}

STDMETHODIMP CBufferedReadStream::Stat(STATSTG* stat, DWORD flags) noexcept { return m_source->Stat(stat, flags); }

// A read view: nothing is written through it.
STDMETHODIMP CBufferedReadStream::Write(const void*, ULONG, ULONG* written) noexcept {
    if (written) *written = 0;
    return STG_E_ACCESSDENIED;
}
STDMETHODIMP CBufferedReadStream::SetSize(ULARGE_INTEGER) noexcept { return STG_E_ACCESSDENIED; }
STDMETHODIMP CBufferedReadStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) noexcept {
    return E_NOTIMPL;
}
STDMETHODIMP CBufferedReadStream::Commit(DWORD) noexcept { return S_OK; }
STDMETHODIMP CBufferedReadStream::Revert() noexcept { return S_OK; }
STDMETHODIMP CBufferedReadStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept {
    return STG_E_INVALIDFUNCTION;
}
STDMETHODIMP CBufferedReadStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept {
    return STG_E_INVALIDFUNCTION;
}
STDMETHODIMP CBufferedReadStream::Clone(IStream** copy) noexcept {
    if (copy) *copy = nullptr;
    return E_NOTIMPL;
}

CBufferedReader::CBufferedReader(IStream* source) noexcept : m_stream(source) {
    kcom::CComObject<CBufferedReadStream>* view = nullptr;
    if (!source || FAILED(kcom::CComObject<CBufferedReadStream>::CreateInstance(&view))) return;
    view->Init(source);
    m_hold = static_cast<IStream*>(view);
    m_view = view;
    m_stream = view;
}

CBufferedReader::~CBufferedReader() {
    if (m_view) m_view->GiveBack();
}
