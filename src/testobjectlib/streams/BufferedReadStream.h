#pragma once
// A read view of a stored stream that fills a buffer in large reads, so that a parser reading a
// few bytes (or one) at a time costs one IStream::Read per buffer. It is an IStream itself:
// objects persisted inside the data load through it, and Seek and Stat answer as the source
// would. A source that cannot tell its position is read straight through, without read-ahead.
#include <windows.h>
#include <objidl.h>
#include "com/ComObject.h"
#include "com/ComPtr.h"

class CBufferedReadStream : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IStream {
public:
    BEGIN_COM_MAP(CBufferedReadStream)
        COM_INTERFACE_ENTRY(IStream)
        COM_INTERFACE_ENTRY(ISequentialStream)
    END_COM_MAP()

    void Init(IStream* source) noexcept;
    // Puts the source just behind the last byte handed out and reads straight through from then on.
    void GiveBack() noexcept;

    STDMETHOD(Read)(void* data, ULONG size, ULONG* read) noexcept override;
    STDMETHOD(Write)(const void* data, ULONG size, ULONG* written) noexcept override;
    STDMETHOD(Seek)(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) noexcept override;
    STDMETHOD(SetSize)(ULARGE_INTEGER size) noexcept override;
    STDMETHOD(CopyTo)(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read, ULARGE_INTEGER* written) noexcept override;
    STDMETHOD(Commit)(DWORD flags) noexcept override;
    STDMETHOD(Revert)() noexcept override;
    STDMETHOD(LockRegion)(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) noexcept override;
    STDMETHOD(UnlockRegion)(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) noexcept override;
    STDMETHOD(Stat)(STATSTG* stat, DWORD flags) noexcept override;
    STDMETHOD(Clone)(IStream** copy) noexcept override;

private:
    static constexpr ULONG kBufferSize = 8192;
    kcom::CComPtr<IStream> m_source;
    bool m_readAhead = false;
    ULONGLONG m_base = 0;  // source position of m_buffer[0]; the source stands at m_base + m_filled
    ULONG m_filled = 0;
    ULONG m_cursor = 0;
    BYTE m_buffer[kBufferSize];
};

// The buffered view of source for one load. At the end of the scope the source stands where the
// loader stopped reading, as if it had read the source itself; without a view (no memory), the
// loader reads the source directly.
class CBufferedReader {
public:
    explicit CBufferedReader(IStream* source) noexcept;
    ~CBufferedReader();
    CBufferedReader(const CBufferedReader&) = delete;
    CBufferedReader& operator=(const CBufferedReader&) = delete;
    IStream* get() const noexcept { return m_stream; }

private:
    kcom::CComPtr<IStream> m_hold;
    CBufferedReadStream* m_view = nullptr;
    IStream* m_stream;
};
