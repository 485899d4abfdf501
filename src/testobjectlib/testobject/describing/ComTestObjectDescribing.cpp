// Describing the control from its run-time object: the identification properties of the class's
// settings with their live values, narrowed by assistive properties, the identification algorithms
// and, as a last resort, an ordinal property; and the small description services around it.
#include <set>
#include <string>
#include <vector>
#include "com/ComError.h"
#include "errors/TestObjectError.h"
#include "host/RackServices.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/TestObjectGuard.h"
#include "testobject/describing/StoredValueTest.h"
#include "testobject/identification/CandidateLists.h"
#include "testobject/settings/ClassSettingsReaders.h"
#include "testobject/settings/Selectors.h"
#include "values/ValueComparison.h"
#include "win32/WindowServices.h"

namespace {

constexpr ULONG kDescriptionFlags = 0x610;  // identification, third description bit, last resort
constexpr ULONG kIdentificationFlag = 0x10;
constexpr ULONG kThirdDescriptionFlag = 0x200;
constexpr ULONG kExpressionFlag = 0x100;
constexpr long kDefaultDescribedFlags = 0x58;
constexpr long kOrdinalFlags = 0x448;
constexpr DWORD kExtraDescriptionMask = 0x2000;

// Columns of a description table.
enum : LONG { kName, kValue, kFlags, kType, kCompareType, kPropertyData };

std::wstring TextOf(BSTR b) { return b ? std::wstring(b, ::SysStringLen(b)) : std::wstring(); }

kcom::CComVariant Cell(const CKorSafeArray& table, ULONG row, LONG column) {
    kcom::CComVariant v;
    if (column < static_cast<LONG>(table.GetColumnCount())) table.GetElement(v.Put(), static_cast<LONG>(row), column);
    return v;
}

void PutCell(CKorSafeArray& table, ULONG row, LONG column, const VARIANT& value) {
    kcom::ThrowIfFailed(table.PutElement(const_cast<VARIANT*>(&value), static_cast<LONG>(row), column));
}

// A VT_I4 cell's number, else the fallback.
long NumberOr(const VARIANT& v, long fallback) {
    kcom::CComVariant n;
    return SUCCEEDED(::VariantChangeType(&n, const_cast<VARIANT*>(&v), 0, VT_I4)) ? n.lVal : fallback;
}

// One row of a description being built.
struct DescribedRow {
    kcom::CComBSTR name;
    kcom::CComVariant value;
    long flags = 0;
    long type = 0;
    long compareType = 0;
};

}  // namespace

// ---- Building the description ------------------------------------------------------------------

HRESULT CComTestObject::ITestObject_BuildDescription() {
    if (m_outer) {
        kcom::CComPtr<ITestObject> outer = Outer<ITestObject>();
        return outer ? outer->BuildDescription() : E_NOINTERFACE;
    }
    return Handle2Desc();
}

HRESULT CComTestObject::Handle2Desc() { return Internal_Handle2Desc(false, nullptr); }

HRESULT CComTestObject::Handle2DescForObject() {
    return TestObjectGuard([&] {
        CKorPtrSafeArray names;
        HRESULT hr = ITestObjectInfo_GetProps(&names.psa, kDescriptionFlags);
        if (FAILED(hr)) return hr;
        hr = Internal_Handle2Desc(true, names.psa);
        if (FAILED(hr)) return hr;
        for (ULONG r = 0; r < names.GetRowCount(); ++r) {
            kcom::CComBSTR name = NameAt(names.psa, r);
            ULONG flags = 0;
            if (name.Length() == 0 || FAILED(ITestObjectInfo_InternalGetPropFlags(name, &flags)) ||
                (flags & kDescriptionFlags))
                continue;
            long zero[3] = {0, 0, 0};
            ITestObjectInfo_put_PropExpr(name, &zero[0], &zero[1], &zero[2], kcom::CComVariant());
        }
        return S_OK;
    });
}

HRESULT CComTestObject::FoundObjectForDescription(IUnknown** runtimeObject) {
    *runtimeObject = nullptr;
    if (!Rack()) return E_FAIL;
    kcom::CComVariant found;
    kcom::CComBSTR name(L"objectid");
    ITestObjectInfo_get_Prop(name, nullptr, nullptr, nullptr, found.Put());
    if (found.vt != VT_UNKNOWN || !found.punkVal) return KOR_E_NO_RUNTIME_ID;
    kcom::CComPtr<IKorQuery> engine;
    if (FAILED(GetRackService(Rack(), RackName::StdPackageQueryEngine, engine.Put()))) return E_FAIL;
    *runtimeObject = found.punkVal;
    found.punkVal->AddRef();
    return S_OK;
}

HRESULT CComTestObject::PrepareDescription(BSTR name, bool wasIdentifying, long flags, IUnknown* patternManager,
                                           long* type, long* compareType, VARIANT* value) {
    kcom::CComVariant live;
    HRESULT hr = ApplyDescriptionSettings(name, patternManager, nullptr, type, compareType, live.Put());
    if (FAILED(hr)) return hr;
    ::VariantClear(value);
    if (live.vt == VT_EMPTY) return S_OK;
    if (wasIdentifying) {
        long storedFlags = 0, storedType = 0, storedCompareType = 0;
        kcom::CComVariant data, stored;
        kcom::CComPtr<IDispatch> own;
        GetOwnDispatch(own.Put());
        if (SUCCEEDED(ITestObjectInfo_get_PropExpr2(name, &storedFlags, &storedType, &storedCompareType, &data,
                                                    stored.Put())) &&
            StoredValueHolds(Rack(), own, *compareType, storedFlags, storedType, storedCompareType, stored, live)) {
            // The pattern or parameter text stays, with its compare type; the row queries with
            // what it stands for now.
            long kept = flags | storedFlags;
            hr = ITestObjectInfo_put_PropExpr2(name, &kept, nullptr, &storedCompareType, &data, stored);
            *compareType = storedCompareType;
            return SUCCEEDED(hr) ? stored.Detach(value) : hr;
        }
    }
    hr = ITestObjectInfo_put_PropExpr(name, &flags, type, compareType, live);
    return SUCCEEDED(hr) ? live.Detach(value) : hr;
}

HRESULT CComTestObject::NarrowByAssistive(const VARIANT& expected, BSTR name, long compareType, long type,
                                          CKorSafeArray& candidates, CKorSafeArray& narrowed) {
    const ULONG count = CandidateCount(candidates.psa);
    std::vector<kcom::CComPtr<IUnknown>> kept;
    for (ULONG i = 0; i < count; ++i) {
        kcom::CComPtr<IUnknown> candidate;
        CandidateObject(candidates.psa, i, candidate.Put());
        if (!candidate) continue;
        CKorSafeArray row(1, 2, VT_VARIANT);
        PutCell(row, 0, kName, kcom::CComVariant(static_cast<const wchar_t*>(name)));
        HRESULT hr = QueryRuntimeValues(candidate, row.psa);
        if (FAILED(hr)) return hr;
        VARIANT_BOOL equal = VARIANT_FALSE;
        hr = CompareTypedValues(expected, Cell(row, 0, kValue), compareType, &equal, static_cast<VARTYPE>(type),
                                VT_EMPTY);
        if (FAILED(hr)) return hr;
        if (equal == VARIANT_TRUE) kept.push_back(candidate);
    }
    narrowed.Create(static_cast<ULONG>(kept.size()), 1, VT_VARIANT);
    for (size_t i = 0; i < kept.size(); ++i) PutCell(narrowed, static_cast<ULONG>(i), 0, kcom::CComVariant(kept[i].get()));
    return S_OK;
}

HRESULT CComTestObject::Internal_Handle2Desc(bool redescribe, SAFEARRAY* names) {
    return TestObjectGuard([&]() -> HRESULT {
        kcom::CComPtr<IUnknown> runtimeObject;
        HRESULT hr = FoundObjectForDescription(runtimeObject.Put());
        if (FAILED(hr)) return hr;
        kcom::CComPtr<IObjectRack> rack = Rack();
        kcom::CComPtr<IKorQuery> engine;
        GetRackService(rack, RackName::StdPackageQueryEngine, engine.Put());
        kcom::CComBSTR className;
        hr = GetTestObjectClass(className.Put());
        if (FAILED(hr)) return hr;

        kcom::CComBSTR variant;
        if (FAILED(GetUserMappedClassInternal(variant.Put())) || variant.Length() == 0) variant.Empty();
        CKorSafeArray settings;
        hr = ReadClassSettingKind3(rack, className, &settings.psa, variant, 0xFFFFFFFF);
        if (FAILED(hr)) return hr;

        std::set<std::wstring> wereIdentifying;
        if (redescribe) {
            for (ULONG r = 0; names && r < names->rgsabound[0].cElements; ++r) {
                kcom::CComBSTR name = NameAt(names, r);
                ULONG flags = 0;
                if (name.IsNull() || FAILED(ITestObjectInfo_InternalGetPropFlags(name, &flags))) continue;
                if (flags & kIdentificationFlag) wereIdentifying.insert(TextOf(name));
                if (flags & kThirdDescriptionFlag)
                    ITestObjectInfo_put_PropExpr(name, nullptr, nullptr, nullptr, kcom::CComVariant());
                ITestObjectInfo_InternalSetPropFlags(name, flags & kExpressionFlag);
            }
            m_useAlgorithm = 0;
            m_algorithm = L"";
            m_algorithmAbsent = 0;
        }

        kcom::CComPtr<IDispatch> own;
        GetOwnDispatch(own.Put());
        kcom::CComPtr<IUnknown> patternManager;
        GetRackService(rack, RackName::PropertyPatternMgr, IID_IUnknown, reinterpret_cast<void**>(patternManager.Put()));

        // Describes one property: the live value, or under a re-description the stored one when it
        // still stands for it. The row's value is what the query engine is to match. A failure to
        // read the live value of a new description is the caller's to return; any other failure
        // only leaves the row out.
        auto describe = [&](BSTR name, long flags, DescribedRow& row, HRESULT* unreadable) -> HRESULT {
            row.name = kcom::CComBSTR(name, ::SysStringLen(name));
            row.flags = flags;
            if (!redescribe) {
                HRESULT applied = ApplyDescriptionSettings(name, patternManager, nullptr, &row.type, &row.compareType,
                                                           row.value.Put());
                if (FAILED(applied)) {
                    *unreadable = applied;
                    return applied;
                }
                if (row.value.vt == VT_EMPTY) return S_OK;
                return ITestObjectInfo_put_PropExpr(name, &row.flags, &row.type, &row.compareType, row.value);
            }
            const bool was = wereIdentifying.count(TextOf(name)) > 0;
            HRESULT prepared = PrepareDescription(name, was, flags, patternManager, &row.type, &row.compareType,
                                                  row.value.Put());
            if (FAILED(prepared) || row.value.vt == VT_EMPTY) return prepared;
            kcom::CComVariant converted;
            ULONG stored = 0;
            ITestObjectInfo_InternalGetPropFlags(name, &stored);
            if (SUCCEEDED(ConvertByParamType(rack, own, &row.value, stored, static_cast<VARTYPE>(row.type),
                                             static_cast<DWORD>(row.compareType), converted.Put())))
                row.value = converted;
            return prepared;
        };

        // The class's identification properties, each described; the rows that got a value stay.
        std::vector<DescribedRow> rows;
        const ULONG settingRows = settings.GetRowCount();
        const bool flagsColumn = settings.GetColumnCount() > 2;
        for (ULONG r = 0; r < settingRows; ++r) {
            kcom::CComVariant name = Cell(settings, r, kName);
            if (name.vt != VT_BSTR) continue;
            const long flags = flagsColumn ? NumberOr(Cell(settings, r, kFlags), kDefaultDescribedFlags)
                                           : kDefaultDescribedFlags;
            DescribedRow row;
            HRESULT unreadable = S_OK;
            hr = describe(name.bstrVal, flags, row, &unreadable);
            if (FAILED(unreadable)) return unreadable;
            if (SUCCEEDED(hr) && row.value.vt != VT_EMPTY) rows.push_back(std::move(row));
        }

        CKorSafeArray description(static_cast<ULONG>(rows.size()), 5, VT_VARIANT);
        for (size_t r = 0; r < rows.size(); ++r) {
            const ULONG row = static_cast<ULONG>(r);
            PutCell(description, row, kName, kcom::CComVariant(static_cast<const wchar_t*>(rows[r].name)));
            PutCell(description, row, kValue, rows[r].value);
            PutCell(description, row, kFlags, kcom::CComVariant(rows[r].flags));
            PutCell(description, row, kType, kcom::CComVariant(rows[r].type));
            PutCell(description, row, kCompareType, kcom::CComVariant(rows[r].compareType));
        }

        kcom::CComVariant parent;
        kcom::CComBSTR parentName(L"parent");
        m_properties.Get(parentName, parent.Put(), nullptr, nullptr, nullptr, nullptr);
        QueryIdInfo noWait{0, 0};
        CKorSafeArray candidates;
        hr = engine->QueryIdFromContainer(description.psa, parent.vt == VT_DISPATCH ? parent.pdispVal : nullptr,
                                          &candidates.psa, &noWait, GetQueryFilter());
        if (FAILED(hr)) return hr;
        if (CandidateCount(candidates.psa) == 0) return KOR_E_IDENTIFICATION_FAILED;

        if (CandidateCount(candidates.psa) > 1) {
            CKorSafeArray assistive;
            ReadClassSettingKind0(rack, className, &assistive.psa, variant);
            for (ULONG a = 0; a < assistive.GetRowCount(); ++a) {
                kcom::CComBSTR name = NameAt(assistive.psa, a);
                if (name.IsNull()) continue;
                DescribedRow row;
                HRESULT unreadable = S_OK;
                describe(name, kDefaultDescribedFlags, row, &unreadable);
                if (FAILED(unreadable) || row.value.vt == VT_EMPTY) continue;
                CKorSafeArray narrowed;
                hr = NarrowByAssistive(row.value, name, row.compareType, row.type, candidates, narrowed);
                if (FAILED(hr)) return hr;
                const ULONG left = CandidateCount(narrowed.psa);
                if (left == 0) break;
                candidates = std::move(narrowed);
                if (left == 1) break;
            }
        }

        CKorSafeArray narrowed;
        hr = DescribeWithAlgorithms(runtimeObject, candidates.psa, &narrowed.psa, redescribe ? TRUE : FALSE);
        if (FAILED(hr)) return hr;
        if (hr == S_OK && narrowed.psa) candidates = std::move(narrowed);
        if (CandidateCount(candidates.psa) > 1) AddOrdinalProperty(className, variant, candidates.psa, runtimeObject);
        return AddExtraDescription();
    });
}

void CComTestObject::AddOrdinalProperty(BSTR className, BSTR variant, SAFEARRAY* candidates, IUnknown* runtimeObject) {
    TestObjectGuard([&] {
        kcom::CComPtr<IObjectRack> rack = Rack();
        kcom::CComBSTR name;
        if (ReadClassSettingKind5(rack, className, name.Put(), variant) != S_OK || IsBlankString(name))
            name = L"index";
        kcom::CComPtr<IUnknown> created;
        kcom::CComPtr<IKorSelector> selector;
        if (FAILED(CreateSelector(rack, name, created.Put())) || FAILED(created.QueryInterface(selector.Put())) ||
            !selector)
            return S_OK;
        kcom::CComVariant value;
        if (FAILED(selector->GetValue(candidates, runtimeObject, value.Put()))) return S_OK;
        long flags = kOrdinalFlags;
        return ITestObjectInfo_put_PropExpr(name, &flags, nullptr, nullptr, value);
    });
}

HRESULT CComTestObject::AddExtraDescription() {
    kcom::CComPtr<IUnknown> runtimeObject;
    HRESULT hr = FoundObjectForDescription(runtimeObject.Put());
    if (FAILED(hr)) return hr;
    CKorSafeArray listed;
    if (FAILED(FillDescription(&listed.psa, kExtraDescriptionMask))) return KOR_E_IDENTIFICATION_FAILED;
    const ULONG count = listed.GetRowCount();
    CKorSafeArray table(count, 5, VT_VARIANT);
    for (ULONG r = 0; r < count; ++r) {
        kcom::CComVariant name = Cell(listed, r, 0);
        if (name.vt == VT_BSTR) PutCell(table, r, kName, name);
    }
    hr = QueryRuntimeValues(runtimeObject, table.psa);
    if (FAILED(hr)) return hr;
    for (ULONG r = 0; r < count; ++r) {
        kcom::CComVariant name = Cell(table, r, kName);
        kcom::CComVariant value = Cell(table, r, kValue);
        if (name.vt != VT_BSTR || value.vt == VT_EMPTY) continue;
        long flags = NumberOr(Cell(listed, r, 2), 0);
        ITestObjectInfo_put_PropExpr(name.bstrVal, &flags, nullptr, nullptr, value);
    }
    return hr;
}

// ---- The class's description list ---------------------------------------------------------------

HRESULT CComTestObject::FillDescription(SAFEARRAY** rows, DWORD mask) {
    if (!rows) return E_POINTER;
    *rows = nullptr;
    kcom::CComBSTR className;
    if (FAILED(GetTestObjectClass(className.Put()))) return E_FAIL;
    return TestObjectGuard([&] {
        CKorSafeArray listed;
        HRESULT hr = ReadClassDescriptionList(Rack(), className, &listed.psa, mask);
        if (FAILED(hr)) return hr;
        std::vector<std::pair<kcom::CComVariant, kcom::CComVariant>> kept;
        for (ULONG r = 0; r < listed.GetRowCount(); ++r) {
            kcom::CComVariant name = Cell(listed, r, 0);
            kcom::CComVariant flags = Cell(listed, r, 1);
            if (name.vt != VT_BSTR || ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, name.bstrVal, -1,
                                                       L"(Default)", -1) == CSTR_EQUAL)
                continue;
            if (flags.vt != VT_I4 || !(static_cast<DWORD>(flags.lVal) & mask)) continue;
            kept.emplace_back(std::move(name), std::move(flags));
        }
        CKorSafeArray table(static_cast<ULONG>(kept.size()), 3, VT_VARIANT);
        for (size_t r = 0; r < kept.size(); ++r) {
            PutCell(table, static_cast<ULONG>(r), 0, kept[r].first);
            PutCell(table, static_cast<ULONG>(r), 2, kept[r].second);
        }
        *rows = table.Detach();
        return S_OK;
    });
}

HRESULT CComTestObject::ReadClassDescriptionList(IObjectRack* rack, BSTR className, SAFEARRAY** out, DWORD mask) {
    *out = nullptr;
    kcom::CComPtr<IKorSettings> options;
    if (FAILED(GetRackService(rack, RackName::TestOptions, options.Put()))) return E_FAIL;
    std::wstring path = L"Test Objects\\" + TextOf(className) + L"\\Description";
    kcom::CComBSTR section(path.c_str());
    CKorSafeArray values;
    HRESULT hr = options->GetValues(section, &values.psa);
    if (FAILED(hr)) return hr;
    if (mask == 0xFFFFFFFF) {
        *out = values.Detach();
        return hr;
    }
    std::vector<ULONG> kept;
    for (ULONG r = 0; r < values.GetRowCount(); ++r) {
        kcom::CComVariant flags = Cell(values, r, 1);
        if (flags.vt == VT_I4 && (static_cast<DWORD>(flags.lVal) & mask)) kept.push_back(r);
    }
    CKorSafeArray table(static_cast<ULONG>(kept.size()), 2, VT_VARIANT);
    for (size_t r = 0; r < kept.size(); ++r) {
        PutCell(table, static_cast<ULONG>(r), 0, Cell(values, kept[r], 0));
        PutCell(table, static_cast<ULONG>(r), 1, Cell(values, kept[r], 1));
    }
    *out = table.Detach();
    return S_OK;
}

// ---- Description services ----------------------------------------------------------------------

HRESULT CComTestObject::ITestObject7_HasDescription(IUnknown* reserved, VARIANT_BOOL* result) {
    if (reserved) return E_NOTIMPL;
    if (!result) return E_POINTER;
    if (m_outer) {
        kcom::CComPtr<ITestObject7> outer = Outer<ITestObject7>();
        return outer ? outer->HasDescription(reserved, result) : E_NOINTERFACE;
    }
    *result = VARIANT_FALSE;
    CKorPtrSafeArray names;
    HRESULT hr = ITestObjectInfo_GetProps(&names.psa, kDescriptionFlags);
    if (FAILED(hr)) return hr;
    *result = names.GetRowCount() > 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT CComTestObject::ITestObject5_GetLogicalNameForReport(BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (m_outer) {
        kcom::CComPtr<ITestObject5> outer = Outer<ITestObject5>();
        return outer ? outer->GetLogicalNameForReport(name) : E_NOINTERFACE;
    }
    return TestObjectGuard([&] {
        kcom::CComBSTR logical;
        if (SUCCEEDED(ITestObject_GetLogicalName(logical.Put())) && logical.Length() > 0) {
            *name = logical.Detach();
            return S_OK;
        }
        kcom::CComBSTR shown;
        kcom::CComBSTR property;
        GetTagQueryPropertyName(property.Put());
        if (property.Length() > 0) {
            kcom::CComVariant found;
            kcom::CComBSTR idName(L"objectid");
            ITestObjectInfo_get_Prop(idName, nullptr, nullptr, nullptr, found.Put());
            kcom::CComVariant value;
            if (found.vt == VT_UNKNOWN && found.punkVal &&
                SUCCEEDED(QueryObjValue(value.Put(), found.punkVal, property)) && value.vt != VT_EMPTY &&
                SUCCEEDED(value.ChangeType(VT_BSTR)))
                shown = value.bstrVal;
        }
        if (shown.IsNull()) GetTestObjectClass(shown.Put());
        const std::wstring text = L"[ " + TextOf(shown) + L" ]";
        *name = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *name ? S_OK : E_OUTOFMEMORY;
    });
}

HRESULT CComTestObject::ITestObject5_PutDescription(SAFEARRAY* rows) {
    if (m_outer) {
        kcom::CComPtr<ITestObject5> outer = Outer<ITestObject5>();
        return outer ? outer->PutDescription(rows) : E_NOINTERFACE;
    }
    if (!rows) return E_POINTER;
    return TestObjectGuard([&] {
        CKorSafeArray table;
        table.Attach(rows, false);
        HRESULT hr = S_OK;
        for (ULONG r = 0; r < table.GetRowCount(); ++r) {
            kcom::CComVariant value = Cell(table, r, kValue);
            if (value.vt == VT_EMPTY) continue;
            kcom::CComVariant name = Cell(table, r, kName);
            kcom::CComVariant data = Cell(table, r, kPropertyData);
            kcom::CComVariant flagsCell = Cell(table, r, kFlags), typeCell = Cell(table, r, kType),
                              compareCell = Cell(table, r, kCompareType);
            long flags = flagsCell.vt == VT_I4 ? flagsCell.lVal : kDefaultDescribedFlags;
            long type = typeCell.vt == VT_I4 ? typeCell.lVal : 0;
            long compareType = compareCell.vt == VT_I4 ? compareCell.lVal : 0;
            hr = name.vt == VT_BSTR
                ? ITestObjectInfo_put_PropExpr2(name.bstrVal, &flags, &type, &compareType, &data, value)
                : E_INVALIDARG;
        }
        return hr;
    });
}
