#include "description/PropertiesCollection.h"
#include <cstring>
#include <utility>
#include "com/ComError.h"
#include "com/ComPtr.h"
#include "com/Handles.h"
#include "tables/KorBSTR.h"
#include "description/PropertyFactory.h"
#include "streams/BufferedReadStream.h"
#include "streams/StreamIO.h"
#include "streams/TaggedFields.h"

namespace {

constexpr BYTE kMarker[9] = {'@', '@', 'F', 'F', 'F', 'F', '@', '@', 0};
constexpr wchar_t kTrailerName[] = L".EndOfCollection";

// Reads byte by byte (from a buffered view) up to the end of the next marker; false at the end of
// the stream.
// A byte that breaks a partial match is not tried again as the first marker byte.
bool SkipToMarker(IStream* stream) noexcept {
    size_t matched = 0;
    while (matched < sizeof kMarker) {
        BYTE b = 0;
        ULONG read = 0;
        if (FAILED(stream->Read(&b, 1, &read)) || read != 1) return false;
        matched = b == kMarker[matched] ? matched + 1 : 0;
    }
    return true;
}

void WriteRecordHead(IStream* stream, BSTR name, const char* className, DWORD version) {
    const ULONG classBytes = static_cast<ULONG>(std::strlen(className) + 1);
    kcom::ThrowIfFailed(StreamWrite(stream, kMarker, sizeof kMarker));
    kcom::ThrowIfFailed(StreamWriteBstr(stream, name));
    kcom::ThrowIfFailed(StreamWriteValue(stream, classBytes));
    kcom::ThrowIfFailed(StreamWrite(stream, className, classBytes));
    kcom::ThrowIfFailed(StreamWriteValue(stream, version));
}

// Appends what a scratch memory stream holds.
HRESULT AppendScratch(IStream* target, IStream* scratch) noexcept {
    STATSTG stat{};
    HRESULT hr = scratch->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) return hr;
    HGLOBAL memory = nullptr;
    hr = ::GetHGlobalFromStream(scratch, &memory);
    if (FAILED(hr)) return hr;
    kcom::CGlobalLock<BYTE> bytes(memory);
    if (!bytes.get()) return E_OUTOFMEMORY;
    return StreamWrite(target, bytes.get(), static_cast<ULONG>(stat.cbSize.QuadPart));
}

HRESULT ResetScratch(IStream* scratch) noexcept {
    ULARGE_INTEGER zeroSize{};
    LARGE_INTEGER zero{};
    HRESULT hr = scratch->SetSize(zeroSize);
    return SUCCEEDED(hr) ? scratch->Seek(zero, STREAM_SEEK_SET, nullptr) : hr;
}

}  // namespace

CPropertiesCollection::~CPropertiesCollection() = default;

CProperty* CPropertiesCollection::Find(BSTR name) const noexcept {
    auto it = m_map.find(name);
    return it == m_map.end() ? nullptr : it->second.get();
}

HRESULT CPropertiesCollection::Add(BSTR name, CProperty* property, DWORD flags) {
    std::unique_ptr<CProperty> owned(property);
    if (!owned) {
        owned.reset(new (std::nothrow) CProperty(m_owner));
        if (!owned) return E_OUTOFMEMORY;
    }
    owned->m_flags = flags;
    return Insert(name, owned.release());
}

HRESULT CPropertiesCollection::Insert(BSTR name, CProperty* property) {
    if (!property) return E_POINTER;
    std::unique_ptr<CProperty> owned(property);
    return kcom::Guard([&] {
        auto it = m_map.find(name);
        if (it == m_map.end()) {
            m_map.emplace(name ? kcom::CComBSTR(name, ::SysStringLen(name)) : kcom::CComBSTR(), std::move(owned));
        } else if (it->second.get() != property) {
            it->second = std::move(owned);
        } else {
            owned.release();  // the record already held under its name
        }
        return S_OK;
    });
}

namespace {

using RecordRead = HRESULT (CProperty::*)(VARIANT*, DWORD*, USHORT*, DWORD*, VARIANT*);

HRESULT ReadRecord(CProperty* p, RecordRead read, VARIANT* value, DWORD* flags, USHORT* type, DWORD* compareType,
                   VARIANT* propData) {
    if (value) ::VariantClear(value);
    if (!p) return E_INVALIDARG;
    return kcom::Guard([&] { return (p->*read)(value, flags, type, compareType, propData); });
}

}  // namespace

HRESULT CPropertiesCollection::Get(BSTR name, VARIANT* value, DWORD* flags, USHORT* type, DWORD* compareType,
                                   VARIANT* propData) {
    return ReadRecord(Find(name), &CProperty::GetValue, value, flags, type, compareType, propData);
}

HRESULT CPropertiesCollection::GetExpr(BSTR name, VARIANT* value, DWORD* flags, USHORT* type, DWORD* compareType,
                                       VARIANT* propData) {
    return ReadRecord(Find(name), &CProperty::Get, value, flags, type, compareType, propData);
}

HRESULT CPropertiesCollection::Set(BSTR name, VARIANT value, DWORD* flags, USHORT* type, DWORD* compareType,
                                   VARIANT* propData) {
    CProperty* p = Find(name);
    if (!p) return E_INVALIDARG;
    return kcom::Guard([&] { return p->Set(&value, flags, type, compareType, propData); });
}

template <class F>
HRESULT CPropertiesCollection::WithRecord(BSTR name, F&& use) {
    CProperty* p = Find(name);
    return p ? use(*p) : E_FAIL;
}

HRESULT CPropertiesCollection::GetPropFlags(BSTR name, DWORD* flags) {
    if (!flags) return E_INVALIDARG;
    return WithRecord(name, [&](CProperty& p) { *flags = p.m_flags; return S_OK; });
}

HRESULT CPropertiesCollection::GetPropCompareType(BSTR name, DWORD* compareType) {
    if (!compareType) return E_INVALIDARG;
    return WithRecord(name, [&](CProperty& p) { *compareType = p.m_compareType; return S_OK; });
}

HRESULT CPropertiesCollection::GetPropType(BSTR name, USHORT* type) {
    if (!type) return E_INVALIDARG;
    return WithRecord(name, [&](CProperty& p) { *type = p.m_type; return S_OK; });
}

HRESULT CPropertiesCollection::SetPropFlags(BSTR name, DWORD flags) {
    return WithRecord(name, [&](CProperty& p) { p.m_flags = flags; return S_OK; });
}

HRESULT CPropertiesCollection::SetPropCompareType(BSTR name, DWORD compareType) {
    return WithRecord(name, [&](CProperty& p) { p.m_compareType = compareType; return S_OK; });
}

HRESULT CPropertiesCollection::SetPropType(BSTR name, USHORT type) {
    return WithRecord(name, [&](CProperty& p) { p.m_type = type; return S_OK; });
}

HRESULT CPropertiesCollection::GetPropData(BSTR name, VARIANT* data) {
    if (!data) return E_INVALIDARG;
    return WithRecord(name, [&](CProperty& p) { return ::VariantCopy(data, &p.m_propData); });
}

HRESULT CPropertiesCollection::SetPropData(BSTR name, VARIANT data) {
    return WithRecord(name, [&](CProperty& p) { return ::VariantCopy(&p.m_propData, &data); });
}

HRESULT CPropertiesCollection::Compare(BSTR name, VARIANT actual) {
    return WithRecord(name, [&](CProperty& p) { return kcom::Guard([&] { return p.Compare(actual); }); });
}

HRESULT CPropertiesCollection::Save(IStream* stream) {
    if (!stream) return E_POINTER;
    return kcom::Guard([&] {
        CTaggedFieldWriter header(stream);
        header.Field<DWORD>(kPropertiesCollectionVersion);
        HRESULT hr = WriteCollectionToStream(stream);
        if (FAILED(hr)) return hr;
        header.End();
        return S_OK;
    });
}

HRESULT CPropertiesCollection::Load(IStream* source) {
    if (!source) return E_POINTER;
    // The records are read in small pieces, the markers byte by byte: all through one buffer.
    CBufferedReader reader(source);
    IStream* stream = reader.get();
    return kcom::Guard([&] {
        CTaggedFieldReader header(stream);
        DWORD version = 0;
        header.Field(&version);
        if (version > kPropertiesCollectionVersion) return E_INVALIDARG;
        HRESULT hr = ReadCollectionFromStream(stream);
        if (FAILED(hr)) return hr;
        header.End();
        return S_OK;
    });
}

// Each record is written to a scratch stream first and appended only whole: a record that
// cannot be saved is left out and never leaves a partial record in front of the next one.
HRESULT CPropertiesCollection::WriteCollectionToStream(IStream* stream) {
    kcom::CComPtr<IStream> scratch;
    HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, scratch.Put());
    if (FAILED(hr)) return hr;
    for (const auto& [name, property] : m_map) {
        if ((property->m_flags & PROP_NOT_SAVED) || property->vt == VT_EMPTY) continue;
        const char* className = property->GetClassName();
        if (std::strlen(className) + 1 > dynamic::kClassNameSize) continue;
        kcom::ThrowIfFailed(ResetScratch(scratch));
        HRESULT recordHr = kcom::Guard([&] {
            WriteRecordHead(scratch, name, className, property->m_persistVersion);
            return property->Save(scratch);
        });
        if (FAILED(recordHr)) continue;
        kcom::ThrowIfFailed(AppendScratch(stream, scratch));
    }
    kcom::ThrowIfFailed(StreamWrite(stream, kMarker, sizeof kMarker));
    kcom::CComBSTR trailer(kTrailerName);
    kcom::ThrowIfFailed(StreamWriteBstr(stream, trailer));
    return S_OK;
}

HRESULT CPropertiesCollection::ReadCollectionFromStream(IStream* stream) {
    const kcom::CComBSTR trailer(kTrailerName);
    HRESULT last = S_OK;
    while (SkipToMarker(stream)) {
        // A record head that does not read whole (or names a class longer than the writer ever
        // writes) is searched again from just behind its marker, so that the head of a record
        // cut short cannot swallow the marker of the next one.
        LARGE_INTEGER zero{};
        ULARGE_INTEGER afterMarker{};
        const bool canRewind = SUCCEEDED(stream->Seek(zero, STREAM_SEEK_CUR, &afterMarker));
        auto rewind = [&] {
            LARGE_INTEGER to{};
            to.QuadPart = static_cast<LONGLONG>(afterMarker.QuadPart);
            if (canRewind) stream->Seek(to, STREAM_SEEK_SET, nullptr);
        };
        kcom::CComBSTR name;
        if (FAILED(StreamReadBstr(stream, name.Put()))) {
            rewind();
            continue;
        }
        if (NoCaseBstrEqual(name, trailer)) return last;
        ULONG classBytes = 0;
        char className[dynamic::kClassNameSize] = {};
        DWORD version = 0;
        if (FAILED(StreamReadValue(stream, &classBytes)) || classBytes > sizeof className ||
            FAILED(StreamRead(stream, className, classBytes)) || FAILED(StreamReadValue(stream, &version))) {
            rewind();
            continue;
        }
        std::unique_ptr<CProperty> record(dynamic::CreateByName(className, m_owner));
        if (!record) continue;
        record->m_loadedVersion = version;
        last = record->Load(stream);
        if (FAILED(last)) return last;
        kcom::ThrowIfFailed(Insert(name, record.release()));
    }
    return last;
}
