// The test object's use of its class's identification settings: the default compare type, one
// description row from the live object, and the identification algorithms that narrow a list of
// candidates or describe the object.
#include <string>
#include <utility>
#include <vector>
#include "com/ComError.h"
#include "com/ComSafeArray.h"
#include "host/RackServices.h"
#include "tables/KorBSTR.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/TestObjectGuard.h"
#include "testobject/describing/StoredValueTest.h"
#include "testobject/settings/ClassSettingsReaders.h"
#include "testobject/settings/DescriptionTable.h"
#include "testobject/settings/HostObjects.h"
#include "testobject/settings/SettingsTable.h"

namespace {

constexpr long kNotRead = -1;
constexpr DWORD kAlgorithmDescriptionFlag = 0x200;
constexpr DWORD kDescriptionFlags = 0x610;
constexpr long kDefaultDescribedFlags = 0x228;
constexpr ULONG kAlgorithmTableColumns = 6;
constexpr long kKindNarrows = 1;
constexpr long kKindDecisive = 2;
constexpr wchar_t kAbsentAlgorithmProgId[] = L"Quorvel.WebFilterAlgorithm";

// Shared by every test object of the process.
long g_defaultCompareType = kNotRead;

// The value of name in section of node, converted to VT_I4; false when either step fails.
bool ReadNumber(IKorSettings* node, const wchar_t* section, const wchar_t* name, long* number) {
    kcom::CComBSTR s(section), n(name);
    kcom::CComVariant value;
    if (FAILED(node->GetValue(s, n, value.Put(), 0, 0)) || FAILED(value.ChangeType(VT_I4))) return false;
    *number = value.lVal;
    return true;
}

HRESULT ReadText(IKorSettings* node, const wchar_t* name, kcom::CComVariant& value) {
    kcom::CComBSTR self(L""), n(name);
    return node->GetValue(self, n, value.Put(), 0, 0);
}

ULONG RowsOf(SAFEARRAY* list) noexcept {
    CKorSafeArray view;
    view.Attach(list, false);
    return view.GetRowCount();
}

// The algorithm of progId, given the rack when it takes one.
HRESULT CreateAlgorithm(const wchar_t* progId, IObjectRack* rack, IIdentificationAlgorithm** out) {
    return CreateHostObject(progId, __uuidof(IIdentificationAlgorithm), rack, reinterpret_cast<IUnknown**>(out));
}

}  // namespace

void CComTestObject::ForgetDefaultPropertyCompareType() noexcept { g_defaultCompareType = kNotRead; }

long CComTestObject::GetDefaultPropertyCompareType() {
    if (g_defaultCompareType != kNotRead) return g_defaultCompareType;
    try {
        kcom::CComPtr<IKorSettings> options = TestOptions();
        if (!options) return 0;
        kcom::CComPtr<IKorSettings> classNode;
        if (SUCCEEDED(GetClassOptions(classNode.Put())) && classNode) {
            kcom::CComBSTR info(L"info"), packageName(L"Package");
            kcom::CComVariant package;
            if (SUCCEEDED(classNode->GetValue(info, packageName, package.Put(), 0, 0)) && package.vt == VT_BSTR) {
                g_defaultCompareType = 0;
                std::wstring section = L"Packages\\";
                if (package.bstrVal) section.append(package.bstrVal, ::SysStringLen(package.bstrVal));
                section += L"\\Settings";
                long number = 0;
                if (ReadNumber(options, section.c_str(), L"DefaultPropertyCompareType", &number))
                    g_defaultCompareType = number;
            }
        }
        if (g_defaultCompareType >= 0) return g_defaultCompareType;
        const UINT format = m_runtimeIdFormat ? m_runtimeIdFormat : GetClipboardFormat();
        if (format != ::RegisterClipboardFormatW(L"FormaShelHalonotRegilim")) return 0;
        g_defaultCompareType = 0;
        long number = 0;
        if (ReadNumber(options, L"Packages\\StdPackage\\Settings", L"DefaultPropertyCompareType", &number))
            g_defaultCompareType = number;
        return g_defaultCompareType;
    } catch (...) {
        return 0;
    }
}

HRESULT CComTestObject::ApplyDescriptionSettings(BSTR name, IUnknown* patternManager, const long* context,
                                                 long* type, long* compareType, VARIANT* value) {
    if (!type || !compareType || !value) return E_POINTER;
    kcom::CComPtr<IKorPropertyPatternMgr> patterns;
    if (patternManager) kcom::QueryTo(patternManager, patterns.Put());
    *type = 0;
    *compareType = GetDefaultPropertyCompareType();
    ::VariantClear(value);
    HRESULT hr = DispTestObject_QueryValue(name, nullptr, value);
    if (FAILED(hr)) return hr;
    if (value->vt == VT_EMPTY) return S_OK;
    *type = value->vt;
    if (value->vt != VT_BSTR) return S_OK;
    return kcom::Guard([&] {
        if (value->bstrVal) {
            CKorBSTR text(kcom::CComBSTR(value->bstrVal, ::SysStringLen(value->bstrVal)));
            text.TrimLeft();
            text.TrimRight();
            ::SysFreeString(value->bstrVal);
            value->bstrVal = text.Detach();
        }
        if (patterns) patterns->ApplyPattern(context ? *context : 0, name, value, compareType);
        return S_OK;
    });
}

HRESULT CComTestObject::GetAlgorithmList(std::vector<std::wstring>& names,
                                         kcom::CComPtr<IKorSettings>& algorithmNode) {
    names.clear();
    algorithmNode = nullptr;
    if (!Rack()) return E_FAIL;
    return TestObjectGuard([&] {
        kcom::CComPtr<IKorSettings> classNode, description, algorithms;
        if (FAILED(GetClassOptions(classNode.Put())) || !classNode) return E_FAIL;
        if (FAILED(OpenChildNode(classNode, L"Description", description.Put())) ||
            FAILED(OpenChildNode(description, L"Algorithm", algorithms.Put())))
            return S_FALSE;
        kcom::CComVariant disable;
        if (SUCCEEDED(ReadText(algorithms, L"Disable", disable)) && disable.vt != VT_EMPTY &&
            SUCCEEDED(disable.ChangeType(VT_BOOL)) && disable.boolVal != VARIANT_FALSE)
            return S_FALSE;
        kcom::CComBSTR self(L"");
        kcom::CComSafeArray children;
        std::vector<SettingsRow> rows;
        if (FAILED(algorithms->GetSubKeys(self, children.Put())) || FAILED(ReadSettingsTable(children, rows)))
            return S_FALSE;
        for (const SettingsRow& row : rows)
            if (const wchar_t* child = TextOf(row.name)) names.emplace_back(child, ::SysStringLen(row.name.bstrVal));
        if (names.empty()) return S_FALSE;
        algorithmNode = algorithms;
        return S_OK;
    });
}

HRESULT CComTestObject::GetConfiguredAlgorithmProgId(BSTR* progId) {
    if (!progId) return E_POINTER;
    *progId = nullptr;
    std::vector<std::wstring> names;
    kcom::CComPtr<IKorSettings> algorithms;
    HRESULT hr = GetAlgorithmList(names, algorithms);
    if (hr == S_FALSE) return S_FALSE;
    if (FAILED(hr)) return E_FAIL;
    return kcom::Guard([&] {
        for (const std::wstring& name : names) {
            kcom::CComPtr<IKorSettings> child;
            if (FAILED(OpenChildNode(algorithms, name.c_str(), child.Put()))) continue;
            kcom::CComVariant value;
            HRESULT read = ReadText(child, L"ProgID", value);
            if (FAILED(read)) return read;
            if (value.vt != VT_BSTR) return read;
            if (::SysStringLen(value.bstrVal) == 0) return E_FAIL;
            *progId = value.bstrVal;
            value.vt = VT_EMPTY;
            return S_OK;
        }
        return E_FAIL;
    });
}

HRESULT CComTestObject::CreateAlgorithmFromNode(IKorSettings* node, IIdentificationAlgorithm** out, BSTR* progId) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (progId) *progId = nullptr;
    if (!node) return E_INVALIDARG;
    return TestObjectGuard([&] {
        kcom::CComVariant value;
        HRESULT hr = ReadText(node, L"ProgID", value);
        if (FAILED(hr)) return hr;
        if (value.vt != VT_BSTR || !value.bstrVal) return E_FAIL;
        if (progId) *progId = kcom::CComBSTR(value.bstrVal, ::SysStringLen(value.bstrVal)).Detach();
        return CreateAlgorithm(value.bstrVal, Rack(), out);
    });
}

HRESULT CComTestObject::RunIdentificationAlgorithm(SAFEARRAY* candidatesIn, CKorSafeArray* candidatesOut,
                                                   BOOL lastAttempt) {
    if (!candidatesOut) return E_POINTER;
    return TestObjectGuard([&] {
        if (m_algorithmAbsent) {
            kcom::CComBSTR name(L"Algorithm");
            kcom::CComVariant value;
            if (FAILED(ITestObjectInfo_get_Prop(name, nullptr, nullptr, nullptr, value.Put()))) return S_FALSE;
            m_algorithm = kAbsentAlgorithmProgId;
        }
        if (!m_useAlgorithm || m_algorithm.Length() == 0 || IsReplayAlgorithmDisabled()) return S_FALSE;

        kcom::CComPtr<IIdentificationAlgorithm> algorithm;
        HRESULT hr = CreateAlgorithm(m_algorithm.c_str(), Rack(), algorithm.Put());
        if (FAILED(hr)) return hr;
        long kind = 0;
        hr = algorithm->GetKind(&kind);
        if (FAILED(hr)) return hr;
        if (kind == kKindNarrows && !candidatesIn) return E_INVALIDARG;

        kcom::CComSafeArray names;
        hr = ITestObjectInfo_GetProps(names.Put(), kAlgorithmDescriptionFlag);
        if (FAILED(hr)) return hr;
        CKorSafeArray description;
        hr = NewDescriptionTable(names, kAlgorithmTableColumns, description);
        if (FAILED(hr)) return hr;
        hr = ITestObjectInfo_FillPropsValues(&description.psa);
        if (FAILED(hr)) return hr;
        kcom::CComPtr<IDispatch> own;
        hr = GetOwnDispatch(own.Put());
        if (FAILED(hr)) return hr;

        SAFEARRAY* filtered = nullptr;
        kcom::CComPtr<IIdentificationAlgorithm4> a4;
        kcom::CComPtr<IIdentificationAlgorithm3> a3;
        kcom::CComPtr<IIdentificationAlgorithm2> a2;
        kcom::CComVariant state;
        if (SUCCEEDED(algorithm.QueryInterface(a4.Put())) && a4)
            hr = a4->Filter4(candidatesIn, own, description.psa, GetQueryFilter(), &filtered, state.Put());
        else if (SUCCEEDED(algorithm.QueryInterface(a3.Put())) && a3)
            hr = a3->Filter3(candidatesIn, own, description.psa, GetQueryFilter(), &filtered);
        else if (SUCCEEDED(algorithm.QueryInterface(a2.Put())) && a2)
            hr = a2->Filter2(candidatesIn, own, description.psa, &filtered);
        else
            hr = algorithm->Filter(candidatesIn, description.psa, &filtered);
        CKorSafeArray result;
        result.Attach(filtered, true);
        *candidatesOut = std::move(result);
        if (a4 && hr == S_OK && (lastAttempt || RowCount(*candidatesOut) == 1))
            a4->OnIdentified(own, static_cast<long>(RowsOf(candidatesIn)), state);
        return hr;
    });
}

namespace {

kcom::CComVariant CellOf(const CKorSafeArray& table, LONG row, LONG column) {
    kcom::CComVariant cell;
    if (static_cast<ULONG>(column) < table.GetColumnCount()) table.GetElement(cell.Put(), row, column);
    return cell;
}

}  // namespace

HRESULT CComTestObject::DescribeWithAlgorithms(IUnknown*, SAFEARRAY* candidates, SAFEARRAY** narrowed,
                                               BOOL keepExpressions) {
    if (!narrowed) return E_POINTER;
    *narrowed = nullptr;
    std::vector<std::wstring> names;
    kcom::CComPtr<IKorSettings> algorithms;
    HRESULT hr = GetAlgorithmList(names, algorithms);
    if (hr == S_FALSE) return S_FALSE;
    if (FAILED(hr) || !algorithms) return E_FAIL;

    return TestObjectGuard([&] {
        CKorSafeArray working;
        if (candidates) working.CopyFrom(candidates);
        const ULONG initialRows = RowCount(working);
        CKorSafeArray rows;
        kcom::CComBSTR acceptedProgId;
        long acceptedKind = 0;
        HRESULT acceptedStatus = S_FALSE;
        for (const std::wstring& name : names) {
            kcom::CComPtr<IKorSettings> child;
            if (FAILED(OpenChildNode(algorithms, name.c_str(), child.Put()))) continue;
            kcom::CComPtr<IIdentificationAlgorithm> algorithm;
            kcom::CComBSTR progId;
            if (FAILED(CreateAlgorithmFromNode(child, algorithm.Put(), progId.Put()))) continue;
            long kind = 0;
            algorithm->GetKind(&kind);
            kcom::CComPtr<IDispatch> own;
            if (FAILED(GetOwnDispatch(own.Put()))) return E_NOINTERFACE;
            SAFEARRAY* described = nullptr;
            SAFEARRAY* narrowedByAlgorithm = nullptr;
            HRESULT status = algorithm->Describe(candidates, own, child, &described, &narrowedByAlgorithm);
            CKorSafeArray describedRows, narrowedRows;
            describedRows.Attach(described, true);
            narrowedRows.Attach(narrowedByAlgorithm, true);
            const bool accepted = SUCCEEDED(status) && status != S_FALSE &&
                                  (kind != kKindNarrows || RowCount(narrowedRows) < RowCount(working));
            if (!accepted) continue;
            working = std::move(narrowedRows);
            rows = std::move(describedRows);
            acceptedProgId = std::move(progId);
            acceptedKind = kind;
            acceptedStatus = status;
            if (kind == kKindDecisive || RowCount(working) == 1) break;
        }
        if (acceptedKind == 0 || (acceptedKind == kKindNarrows && RowCount(working) >= initialRows)) return S_FALSE;

        m_algorithm = std::move(acceptedProgId);
        m_useAlgorithm = 1;
        const bool readable = HoldsVariantCells(rows.psa);
        kcom::CComPtr<IDispatch> own;
        GetOwnDispatch(own.Put());
        for (ULONG r = 0; readable && r < RowCount(rows); ++r) {
            const LONG row = static_cast<LONG>(r);
            kcom::CComVariant name = CellOf(rows, row, 0);
            if (name.vt != VT_BSTR) continue;
            kcom::CComVariant flagsCell = CellOf(rows, row, 2), compareCell = CellOf(rows, row, 4);
            long newFlags = flagsCell.vt == VT_I4 ? flagsCell.lVal : kDefaultDescribedFlags;
            long newCompareType = compareCell.vt == VT_I4 ? compareCell.lVal : 0;
            kcom::CComVariant data = CellOf(rows, row, 5), value = CellOf(rows, row, 1);

            long flags = 0, type = 0, compareType = 0;
            kcom::CComVariant currentData, expression;
            const bool read = SUCCEEDED(ITestObjectInfo_get_PropExpr2(name.bstrVal, &flags, &type, &compareType,
                                                                      &currentData, expression.Put()));
            if (read && keepExpressions && !(flags & kDescriptionFlags) &&
                StoredValueHolds(Rack(), own, newCompareType, flags, type, compareType, expression, value)) {
                long kept = newFlags | flags;
                ITestObjectInfo_put_PropExpr2(name.bstrVal, &kept, nullptr, &compareType, &data, expression);
            } else {
                ITestObjectInfo_put_PropExpr2(name.bstrVal, &newFlags, nullptr, &newCompareType, &data, value);
            }
        }
        *narrowed = working.Detach();
        // Later algorithms that were not taken do not change the answer: the object was described.
        return acceptedStatus;
    });
}
