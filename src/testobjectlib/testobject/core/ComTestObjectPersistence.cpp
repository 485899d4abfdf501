// The persisted description of a test object:
//   the marker "@@@T.O. Version@@@" as a counted string, u32 version, the inner object's own
//   stream, the property collection, from version 4 the algorithm text (counted string), from
//   version 11 the use-algorithm flag (u32).
// A stream without the marker is version 1. A stored description is untrusted: Load reads into
// temporaries and changes the object only when every step has succeeded.
#include <cstring>
#include <memory>
#include <utility>
#include <vector>
#include "com/ComError.h"
#include "streams/StreamIO.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/TestObjectGuard.h"

namespace {

constexpr wchar_t kVersionMarker[] = L"@@@T.O. Version@@@";
constexpr ULONG kMarkerLimit = 1048576;
constexpr DWORD kFirstVersionWithAlgorithm = 4;
constexpr DWORD kFirstVersionWithAlgorithmFlag = 11;

HRESULT Position(IStream* stream, ULARGE_INTEGER* at) noexcept {
    LARGE_INTEGER zero{};
    return stream->Seek(zero, STREAM_SEEK_CUR, at);
}

HRESULT SeekTo(IStream* stream, ULARGE_INTEGER at) noexcept {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(at.QuadPart);
    return stream->Seek(to, STREAM_SEEK_SET, nullptr);
}

// The version the stream starts with, or 1 (stream rewound) when it has no readable marker.
DWORD ReadVersion(IStream* stream, ULARGE_INTEGER start) {
    ULONG count = 0;
    if (SUCCEEDED(StreamReadValue(stream, &count)) && count != 1 && count <= kMarkerLimit) {
        SeekTo(stream, start);
        kcom::CComBSTR marker;
        DWORD version = 0;
        const UINT markerLength = static_cast<UINT>(std::wcslen(kVersionMarker));
        if (SUCCEEDED(StreamReadBstr(stream, marker.Put())) && marker.Length() == markerLength &&
            std::memcmp(marker.c_str(), kVersionMarker, markerLength * sizeof(wchar_t)) == 0 &&
            SUCCEEDED(StreamReadValue(stream, &version)))
            return version;
    }
    SeekTo(stream, start);
    return 1;
}

// What the inner object keeps, so that a failed load can put it back.
class CInnerBackup {
public:
    explicit CInnerBackup(IPersistStreamInit* inner) noexcept : m_inner(inner) {
        if (!m_inner || FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, m_saved.Put())) ||
            FAILED(m_inner->Save(m_saved, FALSE)))
            m_saved.Release();
    }
    void Restore() noexcept {
        if (!m_saved) return;
        LARGE_INTEGER zero{};
        if (SUCCEEDED(m_saved->Seek(zero, STREAM_SEEK_SET, nullptr))) m_inner->Load(m_saved);
    }

private:
    kcom::CComPtr<IPersistStreamInit> m_inner;
    kcom::CComPtr<IStream> m_saved;
};

}  // namespace

HRESULT CComTestObject::IsDirty() { return m_dirty ? S_OK : S_FALSE; }

// ---- Save --------------------------------------------------------------------------------------

// Only the fields that Load reads for the version written, so that a description loaded from an
// older version and saved again stays readable.
HRESULT CComTestObject::SaveFields(IStream* stream) {
    kcom::CComBSTR marker(kVersionMarker);
    HRESULT hr = StreamWriteBstr(stream, marker);
    if (SUCCEEDED(hr)) hr = StreamWriteValue(stream, m_version);
    if (FAILED(hr)) return hr;
    if (kcom::CComPtr<IPersistStreamInit> inner = Inner<IPersistStreamInit>()) {
        hr = inner->Save(stream, TRUE);
        if (FAILED(hr)) return hr;
    }
    hr = m_properties.Save(stream);
    if (FAILED(hr)) return hr;
    if (m_version >= kFirstVersionWithAlgorithm) {
        hr = StreamWriteBstr(stream, m_algorithm);
        if (FAILED(hr)) return hr;
    }
    if (m_version >= kFirstVersionWithAlgorithmFlag) hr = StreamWriteValue(stream, m_useAlgorithm);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CComTestObject::Save(IStream* stream, BOOL clearDirty) {
    if (!stream) return E_INVALIDARG;
    return TestObjectGuard([&] {
        // The fields go to a stream of its own first: a failure leaves the caller's stream as it was.
        kcom::CComPtr<ILockBytes> bytes;
        kcom::CComPtr<IStorage> storage;
        kcom::CComPtr<IStream> scratch;
        if (FAILED(::CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.Put())) || !bytes ||
            FAILED(::StgCreateDocfileOnILockBytes(bytes, STGM_SHARE_EXCLUSIVE | STGM_READWRITE | STGM_CREATE, 0,
                                                   storage.Put())) ||
            !storage ||
            FAILED(storage->CreateStream(L"Tmp", STGM_SHARE_EXCLUSIVE | STGM_READWRITE | STGM_CREATE, 0, 0,
                                         scratch.Put())) ||
            !scratch)
            return E_UNEXPECTED;
        HRESULT hr = SaveFields(scratch);
        if (FAILED(hr)) return hr;
        ULARGE_INTEGER size{};
        hr = Position(scratch, &size);
        if (FAILED(hr)) return hr;
        if (size.QuadPart > 0xFFFFFFFFull) return STG_E_MEDIUMFULL;
        LARGE_INTEGER zero{};
        hr = scratch->Seek(zero, STREAM_SEEK_SET, nullptr);
        if (FAILED(hr)) return hr;
        std::vector<BYTE> fields(static_cast<size_t>(size.QuadPart));
        hr = StreamRead(scratch, fields.data(), static_cast<ULONG>(fields.size()));
        if (FAILED(hr)) return hr;
        // One write; a stream that takes only part of it is cut back to what it held.
        ULARGE_INTEGER start{};
        STATSTG before{};
        const bool canRewind = SUCCEEDED(Position(stream, &start));
        const bool knowsSize = SUCCEEDED(stream->Stat(&before, STATFLAG_NONAME));
        hr = StreamWrite(stream, fields.data(), static_cast<ULONG>(fields.size()));
        if (FAILED(hr)) {
            if (knowsSize) stream->SetSize(before.cbSize);
            if (canRewind) SeekTo(stream, start);
            return hr;
        }
        m_dirty = clearDirty ? 0 : 1;
        return S_OK;
    });
}

// ---- Load --------------------------------------------------------------------------------------

HRESULT CComTestObject::Load(IStream* stream) {
    if (!stream) return E_INVALIDARG;
    ULARGE_INTEGER start{};
    HRESULT hr = Position(stream, &start);
    if (FAILED(hr)) return hr;
    kcom::CComPtr<IPersistStreamInit> inner = Inner<IPersistStreamInit>();
    CInnerBackup backup(inner);
    bool innerLoaded = false;
    hr = TestObjectGuard([&] {
        const DWORD version = ReadVersion(stream, start);
        const DWORD objectVersion = m_version;
        if (version < objectVersion) {
            BOOL proceed = TRUE;
            HRESULT hook = BeforeLoadOldVersion(version, stream, &proceed);
            if (FAILED(hook) || !proceed) return hook;
        }
        if (inner) {
            innerLoaded = true;
            HRESULT loaded = inner->Load(stream);
            if (FAILED(loaded)) return loaded;
        }
        CPropertiesCollection loaded(&m_ownerLink);
        HRESULT result = loaded.Load(stream);
        if (FAILED(result)) return result;
        kcom::CComBSTR algorithm(m_algorithm);
        BYTE algorithmAbsent = m_algorithmAbsent;
        if (version >= kFirstVersionWithAlgorithm) {
            result = StreamReadBstr(stream, algorithm.Put());
            if (FAILED(result)) return result;
        } else {
            algorithmAbsent = 1;
        }
        DWORD useAlgorithm = 0;
        if (version >= kFirstVersionWithAlgorithmFlag) {
            result = StreamReadValue(stream, &useAlgorithm);
            if (FAILED(result)) return result;
        } else {
            useAlgorithm = version < kFirstVersionWithAlgorithm || algorithm.Length() > 0 ? 1 : 0;
        }
        // A hook that stops the load without failing keeps what was read, but the object stays dirty.
        bool clean = true;
        if (version < objectVersion) {
            BOOL proceed = TRUE;
            HRESULT hook = AfterLoadOldVersion(version, stream, &proceed);
            if (FAILED(hook)) return hook;
            if (!proceed) {
                clean = false;
                result = hook;
            }
        }
        // Every step has succeeded: the loaded records join the description.
        std::vector<std::pair<kcom::CComBSTR, std::unique_ptr<CProperty>>> records;
        records.reserve(loaded.m_map.size());
        for (auto& [name, record] : loaded.m_map) records.emplace_back(name, std::move(record));
        for (auto& [name, record] : records) kcom::ThrowIfFailed(m_properties.Insert(name, record.release()));
        if (version < kTestObjectVersion) m_oldVersion = 1;
        m_algorithm = std::move(algorithm);
        m_algorithmAbsent = algorithmAbsent;
        m_useAlgorithm = useAlgorithm;
        if (clean) m_dirty = 0;
        return result;
    });
    if (FAILED(hr)) {
        SeekTo(stream, start);
        if (innerLoaded) backup.Restore();
    }
    return hr;
}
