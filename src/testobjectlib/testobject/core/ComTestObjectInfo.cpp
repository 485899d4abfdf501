// The property accessors of a test object. A plain form goes to the outer object when one is set,
// else to the own Internal form; an Internal form works on the own collection and, when that
// fails, on the inner object.
#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>
#include "com/ComError.h"
#include "com/ComSafeArray.h"
#include "tables/KorBSTR.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/OuterCalls.h"
#include "testobject/core/TestObjectGuard.h"
#include "testobject/settings/SettingsTable.h"
#include "win32/WindowServices.h"

namespace {

constexpr DWORD kAddedPropertyFlags = 0x58;

// The plain form's target: the outer object's accessor, or the own Internal form.
template <class OuterCall, class OwnCall>
HRESULT OuterFirst(IUnknown* outer, OuterCall&& outerCall, OwnCall&& own) {
    if (!outer) return own();
    kcom::CComPtr<ITestObjectInfo> info;
    if (FAILED(kcom::QueryTo(outer, info.Put())) || !info) return E_NOINTERFACE;
    return outerCall(info.get());
}

// The Internal form: the own collection first, then the inner object's same Internal accessor.
template <class OwnCall, class InnerCall>
HRESULT OwnThenInner(IUnknown* inner, OwnCall&& own, InnerCall&& innerCall) {
    const HRESULT hr = kcom::Guard(own);
    if (SUCCEEDED(hr) || !inner) return hr;
    kcom::CComPtr<ITestObjectInfo> info;
    if (FAILED(kcom::QueryTo(inner, info.Put())) || !info) return hr;
    return innerCall(info.get());
}

DWORD* AsDword(long* p) noexcept { return reinterpret_cast<DWORD*>(p); }

// Reads a record into the caller's words: the type travels as a long.
HRESULT ReadRecord(CPropertiesCollection& collection, bool evaluated, BSTR name, long* flags, long* type,
                   long* compareType, VARIANT* data, VARIANT* value) {
    if (!value) return E_POINTER;
    kcom::CComVariant read;
    USHORT t = type ? static_cast<USHORT>(*type) : 0;
    HRESULT hr = evaluated
        ? collection.Get(name, read.Put(), AsDword(flags), type ? &t : nullptr, AsDword(compareType), data)
        : collection.GetExpr(name, read.Put(), AsDword(flags), type ? &t : nullptr, AsDword(compareType), data);
    if (FAILED(hr)) return hr;
    if (type) *type = t;
    read.Detach(value);
    return hr;
}

HRESULT StoreRecord(CPropertiesCollection& collection, BSTR name, long* flags, long* type, long* compareType,
                    VARIANT* data, VARIANT value) {
    USHORT t = type ? static_cast<USHORT>(*type) : 0;
    return collection.Set(name, value, AsDword(flags), type ? &t : nullptr, AsDword(compareType), data);
}

bool SameBstr(BSTR a, BSTR b) noexcept { return CComTestObject::BstrEqual(a, b); }

// Another object's table as rows; a table of neither VARIANT nor text cells is refused like a
// failed answer (no rows), so that no cell is read as a kind it is not.
std::vector<SettingsRow> RowsOf(SAFEARRAY* psa) {
    std::vector<SettingsRow> rows;
    if (FAILED(ReadSettingsTable(psa, rows))) rows.clear();
    return rows;
}

// The row whose name cell equals name exactly, or rows.size().
size_t FindName(const std::vector<SettingsRow>& rows, const VARIANT& name) {
    for (size_t i = 0; i < rows.size(); ++i)
        if (VariantEqualExact(rows[i].name, name)) return i;
    return rows.size();
}

SAFEARRAY* TableOf(std::vector<SettingsRow>& rows) {
    CKorSafeArray table(static_cast<ULONG>(rows.size()), 2, VT_VARIANT);
    for (size_t r = 0; r < rows.size(); ++r) {
        kcom::ThrowIfFailed(table.PutElement(&rows[r].name, static_cast<LONG>(r), 0));
        kcom::ThrowIfFailed(table.PutElement(&rows[r].value, static_cast<LONG>(r), 1));
    }
    return table.Detach();
}

}  // namespace

// ---- Names -------------------------------------------------------------------------------------

HRESULT CComTestObject::ITestObjectInfo_GetProps(SAFEARRAY** names, ULONG flags) {
    if (!names) return E_POINTER;
    *names = nullptr;
    return kcom::Guard([&] {
        std::vector<kcom::CComBSTR> rows;
        if (kcom::CComPtr<ITestObjectInfo> inner = Inner<ITestObjectInfo>()) {
            kcom::CComSafeArray innerNames;
            if (SUCCEEDED(inner->GetProps(innerNames.Put(), flags))) {
                for (SettingsRow& row : RowsOf(innerNames)) {
                    if (row.name.vt != VT_BSTR) continue;
                    rows.push_back(kcom::CComBSTR::Take(std::exchange(row.name.bstrVal, nullptr)));
                }
            }
        }
        // The own names are unique already: each is looked up among the inner object's names only.
        const auto inner = static_cast<std::ptrdiff_t>(rows.size());
        for (const auto& [name, record] : m_properties.Records()) {
            if (!(record->m_flags & flags)) continue;
            const auto same = [&name](const kcom::CComBSTR& row) { return SameBstr(row, name); };
            if (std::none_of(rows.begin(), rows.begin() + inner, same)) rows.push_back(name);
        }
        CKorPtrSafeArray table(static_cast<ULONG>(rows.size()), 1, VT_BSTR);
        for (size_t r = 0; r < rows.size(); ++r) {
            BSTR name = rows[r];
            kcom::ThrowIfFailed(table.PutElement(&name, static_cast<LONG>(r), 0));
        }
        *names = table.Detach();
        return S_OK;
    });
}

HRESULT CComTestObject::ITestObjectInfo_GetRTAttribs(SAFEARRAY** names, BSTR type) {
    if (!names) return E_POINTER;
    *names = nullptr;
    return kcom::Guard([&] {
        std::vector<SettingsRow> rows;
        if (m_innerRuntimeAttributes) {
            if (kcom::CComPtr<ITestObjectInfo> inner = Inner<ITestObjectInfo>()) {
                kcom::CComSafeArray innerRows;
                if (SUCCEEDED(inner->GetRTAttribs(innerRows.Put(), type))) rows = RowsOf(innerRows);
            }
        }
        auto merge = [&](const wchar_t* name, const VARIANT& flag) {
            kcom::CComVariant key(name);
            const size_t at = FindName(rows, key);
            if (at == rows.size()) rows.push_back({std::move(key), kcom::CComVariant(flag)});
            else rows[at].value = flag;
        };
        if (const RuntimeAttributeEntry* entry = GetRuntimeAttributeTable()) {
            const kcom::CComBSTR wanted(type ? type : L"");
            for (; entry->name && *entry->name; ++entry) {
                kcom::CComBSTR entryType(entry->type ? entry->type : L"");
                if (!SameBstr(entryType, wanted)) continue;
                merge(entry->name, kcom::CComVariant((entry->flag & 0xFF) != 0));
            }
        } else {
            if (!Rack()) return E_FAIL;
            kcom::CComPtr<IKorSettings> node;
            HRESULT hr = GetClassOptions(node.Put());
            if (FAILED(hr)) return hr;
            std::wstring section = L"RuntimeAttributes";
            if (type && ::SysStringLen(type) > 0) section.append(L"\\").append(type, ::SysStringLen(type));
            kcom::CComBSTR key(section.c_str());
            kcom::CComSafeArray values;
            if (SUCCEEDED(node->GetValues(key, values.Put()))) {
                for (auto& [name, value] : RowsOf(values)) {
                    if (name.vt != VT_BSTR) continue;
                    kcom::CComVariant flag;
                    if (FAILED(::VariantChangeType(&flag, &value, 0, VT_BOOL))) flag = kcom::CComVariant(false);
                    merge(name.bstrVal, flag);
                }
            }
        }
        *names = TableOf(rows);
        return S_OK;
    });
}

// ---- Fill operations ---------------------------------------------------------------------------

HRESULT CComTestObject::FillValues(SAFEARRAY** table, int mode, bool values) {
    if (!table || !*table) return E_POINTER;
    CKorSafeArray rows;
    rows.Attach(*table, false);
    const LONG count = static_cast<LONG>(rows.GetRowCount());
    const LONG columns = static_cast<LONG>(rows.GetColumnCount());
    if (mode == 1) {
        for (LONG r = 0; r < count; ++r) {
            TestObjectGuard([&] {
                kcom::CComVariant name;
                if (FAILED(rows.GetElement(name.Put(), r, 0)) || name.vt != VT_BSTR) return S_OK;
                long flags = 0, type = 0, compareType = 0;
                kcom::CComVariant data, value;
                HRESULT hr = values
                    ? ITestObjectInfo_get_Prop2(name.bstrVal, &flags, &type, &compareType, &data, value.Put())
                    : ITestObjectInfo_get_PropExpr2(name.bstrVal, &flags, &type, &compareType, &data, value.Put());
                if (FAILED(hr)) return hr;
                if (value.vt == VT_BSTR && !IsBlankString(value.bstrVal)) {
                    CKorBSTR text(value.bstrVal, ::SysStringLen(value.bstrVal));
                    text.TrimLeft();
                    text.TrimRight();
                    ::SysFreeString(value.bstrVal);
                    value.bstrVal = text.Detach();
                }
                rows.PutElement(&value, r, 1);
                const long words[3] = {flags, type, compareType};
                for (LONG c = 2; c < 5 && c < columns; ++c) {
                    kcom::CComVariant word(words[c - 2]);
                    rows.PutElement(&word, r, c);
                }
                if (columns > 5) rows.PutElement(&data, r, 5);
                return S_OK;
            });
        }
        return S_OK;
    }
    return TestObjectGuard([&] {
        kcom::CComPtr<IUnknown> object;
        HRESULT hr = ITestObject_FindObjectId(object.Put(), nullptr);
        if (FAILED(hr)) return hr;
        CKorSafeArray query(static_cast<ULONG>(count), 3, VT_VARIANT);
        for (LONG r = 0; r < count; ++r) {
            kcom::CComVariant name;
            rows.GetElement(name.Put(), r, 0);
            kcom::ThrowIfFailed(query.PutElement(&name, r, 0));
        }
        hr = QueryRuntimeValues(object, query.psa);
        for (LONG r = 0; r < count && columns > 1; ++r) {
            kcom::CComVariant value;
            query.GetElement(value.Put(), r, 1);
            rows.PutElement(&value, r, 1);
        }
        return hr;
    });
}

HRESULT CComTestObject::ITestObjectInfo_FillPropsValues(SAFEARRAY** table) { return FillValues(table, 1, true); }
HRESULT CComTestObject::ITestObjectInfo_FillPropsExpr(SAFEARRAY** table) { return FillValues(table, 1, false); }
HRESULT CComTestObject::ITestObjectInfo_FillRTAttribsValues(SAFEARRAY** table) { return FillValues(table, 0, true); }

// ---- Flags, compare types and types ------------------------------------------------------------

HRESULT CComTestObject::ITestObjectInfo_InternalSetPropFlags(BSTR name, ULONG flags) {
    return OwnThenInner(m_inner, [&] { return m_properties.SetPropFlags(name, flags); },
                        [&](ITestObjectInfo* i) { return i->InternalSetPropFlags(name, flags); });
}

HRESULT CComTestObject::ITestObjectInfo_InternalGetPropFlags(BSTR name, ULONG* flags) {
    return OwnThenInner(m_inner, [&] { return m_properties.GetPropFlags(name, flags); },
                        [&](ITestObjectInfo* i) { return i->InternalGetPropFlags(name, flags); });
}

HRESULT CComTestObject::ITestObjectInfo_InternalSetPropCompareType(BSTR name, ULONG compareType) {
    return OwnThenInner(m_inner, [&] { return m_properties.SetPropCompareType(name, compareType); },
                        [&](ITestObjectInfo* i) { return i->InternalSetPropCompareType(name, compareType); });
}

HRESULT CComTestObject::ITestObjectInfo_InternalGetPropCompareType(BSTR name, ULONG* compareType) {
    return OwnThenInner(m_inner, [&] { return m_properties.GetPropCompareType(name, compareType); },
                        [&](ITestObjectInfo* i) { return i->InternalGetPropCompareType(name, compareType); });
}

HRESULT CComTestObject::ITestObjectInfo_InternalSetPropType(BSTR name, USHORT type) {
    return OwnThenInner(m_inner, [&] { return m_properties.SetPropType(name, type); },
                        [&](ITestObjectInfo* i) { return i->InternalSetPropType(name, type); });
}

HRESULT CComTestObject::ITestObjectInfo_InternalGetPropType(BSTR name, USHORT* type) {
    return OwnThenInner(m_inner, [&] { return m_properties.GetPropType(name, type); },
                        [&](ITestObjectInfo* i) { return i->InternalGetPropType(name, type); });
}

HRESULT CComTestObject::ITestObjectInfo_SetPropFlags(BSTR name, ULONG flags) {
    return OuterFirst(m_outer, [&](ITestObjectInfo* o) { return o->SetPropFlags(name, flags); },
                      [&] { return ITestObjectInfo_InternalSetPropFlags(name, flags); });
}

HRESULT CComTestObject::ITestObjectInfo_GetPropFlags(BSTR name, ULONG* flags) {
    return OuterFirst(m_outer, [&](ITestObjectInfo* o) { return o->GetPropFlags(name, flags); },
                      [&] { return ITestObjectInfo_InternalGetPropFlags(name, flags); });
}

HRESULT CComTestObject::ITestObjectInfo_SetPropCompareType(BSTR name, ULONG compareType) {
    return OuterFirst(m_outer, [&](ITestObjectInfo* o) { return o->SetPropCompareType(name, compareType); },
                      [&] { return ITestObjectInfo_InternalSetPropCompareType(name, compareType); });
}

HRESULT CComTestObject::ITestObjectInfo_GetPropCompareType(BSTR name, ULONG* compareType) {
    return OuterFirst(m_outer, [&](ITestObjectInfo* o) { return o->GetPropCompareType(name, compareType); },
                      [&] { return ITestObjectInfo_InternalGetPropCompareType(name, compareType); });
}

HRESULT CComTestObject::ITestObjectInfo_SetPropType(BSTR name, USHORT type) {
    return OuterFirst(m_outer, [&](ITestObjectInfo* o) { return o->SetPropType(name, type); },
                      [&] { return ITestObjectInfo_InternalSetPropType(name, type); });
}

HRESULT CComTestObject::ITestObjectInfo_GetPropType(BSTR name, USHORT* type) {
    return OuterFirst(m_outer, [&](ITestObjectInfo* o) { return o->GetPropType(name, type); },
                      [&] { return ITestObjectInfo_InternalGetPropType(name, type); });
}

// ---- Values and expressions --------------------------------------------------------------------

HRESULT CComTestObject::ITestObjectInfo_get_InternalProp(BSTR name, long* flags, long* type, long* compareType,
                                                         VARIANT* value) {
    return OwnThenInner(
        m_inner, [&] { return ReadRecord(m_properties, true, name, flags, type, compareType, nullptr, value); },
        [&](ITestObjectInfo* i) { return i->get_InternalProp(name, flags, type, compareType, value); });
}

HRESULT CComTestObject::ITestObjectInfo_get_InternalPropExpr(BSTR name, long* flags, long* type, long* compareType,
                                                             VARIANT* value) {
    return OwnThenInner(
        m_inner, [&] { return ReadRecord(m_properties, false, name, flags, type, compareType, nullptr, value); },
        [&](ITestObjectInfo* i) { return i->get_InternalPropExpr(name, flags, type, compareType, value); });
}

HRESULT CComTestObject::ITestObjectInfo_put_InternalPropExpr(BSTR name, long* flags, long* type, long* compareType,
                                                             VARIANT value) {
    return OwnThenInner(
        m_inner, [&] { return StoreRecord(m_properties, name, flags, type, compareType, nullptr, value); },
        [&](ITestObjectInfo* i) { return i->put_InternalPropExpr(name, flags, type, compareType, value); });
}

HRESULT CComTestObject::ITestObjectInfo_get_Prop(BSTR name, long* flags, long* type, long* compareType,
                                                 VARIANT* value) {
    return OuterFirst(m_outer, [&](ITestObjectInfo* o) { return o->get_Prop(name, flags, type, compareType, value); },
                      [&] { return ITestObjectInfo_get_InternalProp(name, flags, type, compareType, value); });
}

HRESULT CComTestObject::ITestObjectInfo_get_PropExpr(BSTR name, long* flags, long* type, long* compareType,
                                                     VARIANT* value) {
    return OuterFirst(
        m_outer, [&](ITestObjectInfo* o) { return o->get_PropExpr(name, flags, type, compareType, value); },
        [&] { return ITestObjectInfo_get_InternalPropExpr(name, flags, type, compareType, value); });
}

// A name that neither the collection nor the inner object knows becomes a new plain property.
HRESULT CComTestObject::PutExprAdding(BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                                      VARIANT value) {
    return kcom::Guard([&] {
        HRESULT hr = m_properties.Add(name, nullptr, kAddedPropertyFlags);
        if (FAILED(hr)) return hr;
        return StoreRecord(m_properties, name, flags, type, compareType, data, value);
    });
}

HRESULT CComTestObject::ITestObjectInfo_put_PropExpr(BSTR name, long* flags, long* type, long* compareType,
                                                     VARIANT value) {
    return OuterFirst(
        m_outer, [&](ITestObjectInfo* o) { return o->put_PropExpr(name, flags, type, compareType, value); },
        [&] {
            HRESULT hr = ITestObjectInfo_put_InternalPropExpr(name, flags, type, compareType, value);
            return hr == E_INVALIDARG ? PutExprAdding(name, flags, type, compareType, nullptr, value) : hr;
        });
}

HRESULT CComTestObject::ITestObjectInfo_InternalCompare(BSTR name, VARIANT value) {
    return OwnThenInner(m_inner, [&] { return m_properties.Compare(name, value); },
                        [&](ITestObjectInfo* i) { return i->InternalCompare(name, value); });
}

HRESULT CComTestObject::ITestObjectInfo_Compare(BSTR name, VARIANT value) {
    return OuterFirst(m_outer, [&](ITestObjectInfo* o) { return o->Compare(name, value); },
                      [&] { return ITestObjectInfo_InternalCompare(name, value); });
}

HRESULT CComTestObject::ITestObjectInfo_SnapShotHandlerCtl(GUID* control) {
    return OuterFirst(m_outer, [&](ITestObjectInfo* o) { return o->SnapShotHandlerCtl(control); }, [&] {
        if (!control) return E_POINTER;
        *control = GUID{};
        return S_OK;
    });
}

// ---- Property data and the second forms --------------------------------------------------------

HRESULT CComTestObject::ITestObjectInfo_InternalSetPropData(BSTR name, VARIANT data) {
    HRESULT hr = kcom::Guard([&] { return m_properties.SetPropData(name, data); });
    if (SUCCEEDED(hr) || !m_inner) return hr;
    const HRESULT inner = OuterCalls::InternalSetPropData(m_inner, name, data);
    return inner == E_NOINTERFACE ? hr : inner;
}

HRESULT CComTestObject::ITestObjectInfo_InternalGetPropData(BSTR name, VARIANT* data) {
    HRESULT hr = kcom::Guard([&] { return m_properties.GetPropData(name, data); });
    if (SUCCEEDED(hr) || !m_inner) return hr;
    const HRESULT inner = OuterCalls::InternalGetPropData(m_inner, name, data);
    return inner == E_NOINTERFACE ? hr : inner;
}

HRESULT CComTestObject::ITestObjectInfo_SetPropData(BSTR name, VARIANT data) {
    if (m_outer) return OuterCalls::SetPropData(m_outer, name, data);
    return ITestObjectInfo_InternalSetPropData(name, data);
}

HRESULT CComTestObject::ITestObjectInfo_GetPropData(BSTR name, VARIANT* data) {
    if (m_outer) return OuterCalls::GetPropData(m_outer, name, data);
    return ITestObjectInfo_InternalGetPropData(name, data);
}

HRESULT CComTestObject::ITestObjectInfo_get_InternalProp2(BSTR name, long* flags, long* type, long* compareType,
                                                          VARIANT* data, VARIANT* value) {
    HRESULT hr = kcom::Guard([&] { return ReadRecord(m_properties, true, name, flags, type, compareType, data, value); });
    if (SUCCEEDED(hr) || !m_inner) return hr;
    const HRESULT inner = OuterCalls::GetInternalProp2(m_inner, name, flags, type, compareType, data, value);
    return inner == E_NOINTERFACE ? hr : inner;
}

HRESULT CComTestObject::ITestObjectInfo_get_InternalPropExpr2(BSTR name, long* flags, long* type, long* compareType,
                                                              VARIANT* data, VARIANT* value) {
    HRESULT hr =
        kcom::Guard([&] { return ReadRecord(m_properties, false, name, flags, type, compareType, data, value); });
    if (SUCCEEDED(hr) || !m_inner) return hr;
    const HRESULT inner = OuterCalls::GetInternalPropExpr2(m_inner, name, flags, type, compareType, data, value);
    return inner == E_NOINTERFACE ? hr : inner;
}

HRESULT CComTestObject::ITestObjectInfo_put_InternalPropExpr2(BSTR name, long* flags, long* type, long* compareType,
                                                              VARIANT* data, VARIANT value) {
    HRESULT hr = kcom::Guard([&] { return StoreRecord(m_properties, name, flags, type, compareType, data, value); });
    if (SUCCEEDED(hr) || !m_inner) return hr;
    const HRESULT inner = OuterCalls::PutInternalPropExpr2(m_inner, name, flags, type, compareType, data, value);
    return inner == E_NOINTERFACE ? hr : inner;
}

HRESULT CComTestObject::ITestObjectInfo_get_Prop2(BSTR name, long* flags, long* type, long* compareType,
                                                  VARIANT* data, VARIANT* value) {
    if (m_outer) return OuterCalls::GetProp2(m_outer, name, flags, type, compareType, data, value);
    return ITestObjectInfo_get_InternalProp2(name, flags, type, compareType, data, value);
}

HRESULT CComTestObject::ITestObjectInfo_get_PropExpr2(BSTR name, long* flags, long* type, long* compareType,
                                                      VARIANT* data, VARIANT* value) {
    if (m_outer) return OuterCalls::GetPropExpr2(m_outer, name, flags, type, compareType, data, value);
    return ITestObjectInfo_get_InternalPropExpr2(name, flags, type, compareType, data, value);
}

HRESULT CComTestObject::ITestObjectInfo_put_PropExpr2(BSTR name, long* flags, long* type, long* compareType,
                                                      VARIANT* data, VARIANT value) {
    if (m_outer) return OuterCalls::PutPropExpr2(m_outer, name, flags, type, compareType, data, value);
    HRESULT hr = ITestObjectInfo_put_InternalPropExpr2(name, flags, type, compareType, data, value);
    return hr == E_INVALIDARG ? PutExprAdding(name, flags, type, compareType, data, value) : hr;
}

HRESULT CComTestObject::ITestObjectInfo_get_Version(ULONG* version) {
    if (!version) return E_POINTER;
    *version = m_version;
    return S_OK;
}
