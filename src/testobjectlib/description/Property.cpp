#include "description/Property.h"
#include <cwchar>
#include <string>
#include <vector>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComPtr.h"
#include "com/Handles.h"
#include "host.h"
#include "tables/KorBSTR.h"
#include "streams/StreamIO.h"
#include "streams/TaggedFields.h"
#include "values/ValueComparison.h"
#include "values/ValueConversion.h"
#include "values/ValueStream.h"
#include "contracts/Drevak.h"

namespace {

// The host's class of relations collections.
constexpr wchar_t kRelationsCollectionProgId[] = L"ZQ.TORelationsCollection";

void CopyVariant(VARIANT* out, const VARIANT& in) {
    kcom::ThrowIfFailed(::VariantCopy(out, const_cast<VARIANT*>(&in)));
}

}  // namespace

CProperty::~CProperty() = default;

void CProperty::CopyFieldsOut(DWORD* flags, USHORT* type, DWORD* compareType) const noexcept {
    if (flags) *flags = m_flags;
    if (type) *type = m_type;
    if (compareType) *compareType = m_compareType;
}

HRESULT CProperty::Set(const VARIANT* value, const DWORD* flags, const USHORT* type, const DWORD* compareType,
                       const VARIANT* propData) {
    if (flags) m_flags = *flags;
    if (type)
        m_type = *type;
    else if (value && !(m_flags & PROP_EXPRESSION))
        m_type = V_VT(value);
    if (compareType) m_compareType = *compareType;
    if (m_type == VT_ERROR) m_type = VT_EMPTY;
    if (value && value != this) CopyVariant(this, *value);
    if (!(m_flags & PROP_EXPRESSION) && m_type != VT_EMPTY && m_type != vt) {
        const VARTYPE to = m_type == VT_NULL ? static_cast<VARTYPE>(VT_BSTR) : m_type;
        ::VariantChangeType(this, this, 0, to);  // a value that does not convert is kept as it is
    }
    if (propData && propData != &m_propData) CopyVariant(&m_propData, *propData);
    return S_OK;
}

HRESULT CProperty::Get(VARIANT* out, DWORD* flags, USHORT* type, DWORD* compareType, VARIANT* propData) {
    CopyFieldsOut(flags, type, compareType);
    if (out) CopyVariant(out, *this);
    if (propData) CopyVariant(propData, m_propData);
    return S_OK;
}

HRESULT CProperty::GetValue(VARIANT* out, DWORD* flags, USHORT* type, DWORD* compareType, VARIANT* propData) {
    CopyFieldsOut(flags, type, compareType);
    if (propData) CopyVariant(propData, m_propData);
    kcom::CComPtr<IObjectRack> rack;
    IDispatch* dispatch = nullptr;
    if (m_owner) {
        m_owner->GetRack(rack.Put());
        dispatch = m_owner->GetOwnerDispatch();
    }
    return ConvertByParamType(rack, dispatch, this, m_flags, m_type, m_compareType, out);
}

HRESULT CProperty::Compare(VARIANT actual) {
    kcom::CComVariant expected;
    HRESULT hr = GetValue(&expected, nullptr, nullptr, nullptr, nullptr);
    if (FAILED(hr)) return hr;
    kcom::CComVariant found(actual);
    if (found.vt == VT_EMPTY) found = kcom::CComVariant(L"");
    if (found.vt != expected.vt) {
        hr = ChangeValueType(&found, expected.vt);
        if (FAILED(hr)) return hr;
    }
    if (expected.vt != VT_BSTR) return CompareVariantValues(expected, found) ? S_OK : E_FAIL;
    BSTR expectedText = expected.bstrVal;
    BSTR foundText = found.bstrVal;
    CKorBSTR expectedFlat, foundFlat;
    if (!(m_compareType & CMP_IGNORE_SPACE)) {
        // Line breaks are not part of a recorded value; the white-space rule removes them itself.
        if (expectedText && SUCCEEDED(expectedFlat.CopyRemovingChars(L"\n\r", expectedText))) expectedText = expectedFlat;
        if (foundText && SUCCEEDED(foundFlat.CopyRemovingChars(L"\n\r", foundText))) foundText = foundFlat;
    }
    VARIANT_BOOL match = VARIANT_FALSE;
    hr = MatchValuePattern(expectedText, foundText, static_cast<long>(m_compareType), &match);
    return SUCCEEDED(hr) && match == VARIANT_TRUE ? S_OK : E_FAIL;
}

HRESULT CProperty::StoreOwnerText(HRESULT (IPropertyOwner::*read)(BSTR*)) {
    kcom::CComBSTR text;
    HRESULT hr = (m_owner->*read)(text.Put());
    if (FAILED(hr)) return hr;
    kcom::CComVariant value;
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = text.Detach();
    return Set(&value, nullptr, nullptr, nullptr, nullptr);
}

namespace {

kcom::CComPtr<ITORelationsCollection> RelationsOf(const VARIANT& v) noexcept {
    kcom::CComPtr<ITORelationsCollection> relations;
    if (V_VT(&v) == VT_DISPATCH && v.pdispVal)
        v.pdispVal->QueryInterface(__uuidof(ITORelationsCollection), reinterpret_cast<void**>(relations.Put()));
    return relations;
}

// A relations collection becomes its own copy; any other value is copied as it is.
HRESULT CopyRelations(const VARIANT& in, VARIANT* out) {
    kcom::CComPtr<ITORelationsCollection> relations = RelationsOf(in);
    if (!relations) {
        CopyVariant(out, in);
        return S_OK;
    }
    kcom::CComPtr<ITORelationsCollection> copy;
    if (FAILED(relations->Clone(copy.Put())) || !copy) return E_FAIL;
    return kcom::CComVariant(copy.get()).Detach(out);
}

}  // namespace

HRESULT CKorObjectRelationsProperty::Set(const VARIANT* value, const DWORD*, const USHORT* type,
                                         const DWORD* compareType, const VARIANT* propData) {
    const DWORD flags = PROP_RELATIONS | PROP_NEW_RECORD;
    if (!value) return CProperty::Set(nullptr, &flags, type, compareType, propData);
    kcom::CComVariant copy;
    HRESULT hr = CopyRelations(*value, &copy);
    if (FAILED(hr)) return hr;
    return CProperty::Set(&copy, &flags, type, compareType, propData);
}

HRESULT CKorObjectRelationsProperty::Get(VARIANT* out, DWORD* flags, USHORT* type, DWORD* compareType,
                                         VARIANT* propData) {
    const bool asStored = type && *type == 0x4000;
    kcom::CComVariant stored;
    HRESULT hr = CProperty::Get(&stored, flags, type, compareType, propData);
    if (FAILED(hr)) return hr;
    if (asStored) {
        if (out) CopyVariant(out, stored);
        return S_OK;
    }
    if (stored.vt != VT_EMPTY) return out ? CopyRelations(stored, out) : S_OK;
    // Nothing stored yet: a new, empty collection, handed out only through a type word.
    if (!type) return E_FAIL;
    CLSID clsid;
    hr = ::CLSIDFromProgID(kRelationsCollectionProgId, &clsid);
    if (FAILED(hr)) return hr;
    kcom::CComPtr<IDispatch> created;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                            IID_IDispatch, reinterpret_cast<void**>(created.Put()));
    if (FAILED(hr)) return hr;
    if (out) kcom::CComVariant(created.get()).Detach(out);
    *type = VT_DISPATCH;
    return S_OK;
}

HRESULT CKorObjectRelationsProperty::GetValue(VARIANT* out, DWORD* flags, USHORT* type, DWORD* compareType,
                                              VARIANT* propData) {
    return Get(out, flags, type, compareType, propData);
}

HRESULT CKorObjectRelationsProperty::Compare(VARIANT actual) {
    kcom::CComPtr<ITORelationsCollection> found = RelationsOf(actual);
    kcom::CComPtr<ITORelationsCollection> held = RelationsOf(*this);
    if (!found && !held) return CProperty::Compare(actual);
    if (found && held) return held->Compare(found) == S_OK ? S_OK : E_FAIL;
    // One side only: equal when that collection is empty and the other side holds nothing.
    ITORelationsCollection* one = found ? found.get() : held.get();
    const VARIANT& other = found ? static_cast<const VARIANT&>(*this) : actual;
    long count = -1;
    if (FAILED(one->get_Count(&count))) return E_FAIL;
    return count == 0 && V_VT(&other) == VT_EMPTY ? S_OK : E_FAIL;
}

HRESULT CProperty::SaveValue(IStream* stream) noexcept { return SaveVariantValue(*this, stream); }

HRESULT CProperty::LoadValue(IStream* stream) noexcept { return LoadVariantValue(this, stream); }

namespace {

// Property data behind the tagged fields: u32 length and the packer's bytes. A value the
// packer refuses is stored as length 0, so that the record stays readable.
void SavePropertyData(const VARIANT& data, IStream* stream) noexcept {
    kcom::CCoTaskMem<void> blob;
    ULONG size = 0;
    if (PackVariant(data, blob.Put(), &size) < 0 || !blob) size = 0;
    if (SUCCEEDED(StreamWriteValue(stream, size)) && size) StreamWrite(stream, blob.get(), size);
}

// A short or damaged property data leaves the data empty; the record still loads.
void LoadPropertyData(VARIANT* data, IStream* stream) {
    ULONG size = 0;
    if (FAILED(StreamReadValue(stream, &size)) || size == 0) return;
    std::vector<BYTE> blob;
    if (FAILED(StreamReadBlock(stream, size, blob))) return;
    kcom::CComVariant value;
    ULONG consumed = size;
    if (UnpackVariant(blob.data(), &value, &consumed) < 0 || consumed != size) return;
    value.Detach(data);
}

}  // namespace

HRESULT CProperty::Save(IStream* stream) {
    if (!stream) return E_POINTER;
    HRESULT hr = SaveValue(stream);
    if (FAILED(hr)) return hr;
    return kcom::Guard([&] {
        CTaggedFieldWriter fields(stream);
        fields.Field<DWORD>(m_flags);
        fields.Field<USHORT>(m_type);
        fields.Field<DWORD>(m_compareType);
        SavePropertyData(m_propData, stream);
        fields.End();
        return S_OK;
    });
}

HRESULT CProperty::Load(IStream* stream) {
    if (!stream) return E_POINTER;
    HRESULT hr = LoadedVersion() >= 5 ? LoadValue(stream) : LoadVariantValue(this, stream, true);
    if (FAILED(hr)) return hr;
    return kcom::Guard([&] { return LoadRecordFields(stream); });
}

HRESULT CProperty::LoadRecordFields(IStream* stream) {
    const DWORD version = LoadedVersion();
    CTaggedFieldReader fields(stream);
    fields.Field(&m_flags);
    fields.Field(&m_type);
    if (version >= 3) fields.Field(&m_compareType);
    if (version >= 4) LoadPropertyData(&m_propData, stream);
    fields.End();
    if (version < 3) UpgradeBeforeVersion3();
    return S_OK;
}

// Before version 3 the type word carried the compare type, and expression texts named only a
// data-table cell.
void CProperty::UpgradeBeforeVersion3() {
    const USHORT old = m_type;
    m_compareType = (old >> 7) & CMP_IGNORE_SPACE;
    if ((old & 0xFF) == 0x65) {
        m_compareType |= CMP_REGEXP;
        m_type = VT_EMPTY;
    } else {
        m_type = old & 0xFF;
    }
    if ((m_flags & PROP_EXPRESSION) && vt == VT_BSTR) {
        std::wstring text = L"DataTable(\"";
        text.append(bstrVal ? bstrVal : L"", ::SysStringLen(bstrVal));
        text += (m_flags & PROP_OLD_LOCAL_SHEET) ? L"\",dtLocalSheet)" : L"\",dtGlobalSheet)";
        *static_cast<kcom::CComVariant*>(this) = kcom::CComVariant(text.c_str());
        m_flags &= ~static_cast<DWORD>(PROP_OLD_LOCAL_SHEET);
        m_type = VT_EMPTY;
    }
}
