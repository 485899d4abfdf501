// Script methods that look at the live object over time: whether it exists, waiting for a
// property value, and checking one.
#include <shlwapi.h>
#include <cwchar>
#include <string>
#include <vector>
#include "com/ComError.h"
#include "host/ResourceStrings.h"
#include "tables/KorSafeArray.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/reporting/ReportTexts.h"
#include "values/ValueConversion.h"

namespace {

constexpr HRESULT kWaitPropertyFailed = static_cast<HRESULT>(0x8004020E);
constexpr wchar_t kSettingInfoKey[] = L"Software\\Quorvel Interactive\\Ardenvale Professional\\KorTest\\SettingInfo\\";

// A script argument's value: a reference, of whatever type, is taken as what it refers to, so that
// it compares as that value and no report row points into the caller's memory.
kcom::CComVariant ArgumentValue(const VARIANT& value) {
    kcom::CComVariant copy;
    kcom::ThrowIfFailed(copy.CopyInd(value));
    return copy;
}

// One column of report arguments.
CKorSafeArray ArgumentRows(std::initializer_list<const VARIANT*> values) {
    CKorSafeArray rows(static_cast<ULONG>(values.size()), 1, VT_VARIANT);
    LONG row = 0;
    for (const VARIANT* v : values) kcom::ThrowIfFailed(rows.PutElement(const_cast<VARIANT*>(v), row++, 0));
    return rows;
}

bool EqualsNoCase(BSTR name, const wchar_t* text) noexcept {
    return name && ::SysStringLen(name) == std::wcslen(text) && _wcsicmp(name, text) == 0;
}

// The names of a ITestObjectInfo::GetProps answer.
std::vector<kcom::CComBSTR> PropNames(SAFEARRAY* names) {
    CKorPtrSafeArray list;
    list.Attach(names, true);
    std::vector<kcom::CComBSTR> out;
    const ULONG count = list.psa ? list.GetRowCount() : 0;
    for (ULONG r = 0; r < count; ++r) {
        kcom::CComBSTR name;
        if (SUCCEEDED(list.GetElement(name.Put(), static_cast<LONG>(r), 0))) out.push_back(std::move(name));
    }
    return out;
}

// The text of a value in a check message: true/false in words, texts quoted, others converted.
std::wstring CheckText(const VARIANT& value) {
    if (value.vt == VT_BOOL) return value.boolVal ? L"True" : L"False";
    if (value.vt == VT_BSTR) {
        std::wstring text(L"\"");
        if (value.bstrVal) text.append(value.bstrVal, ::SysStringLen(value.bstrVal));
        return text + L"\"";
    }
    kcom::CComVariant converted;
    if (FAILED(ChangeValueType(&converted, VT_BSTR, &value)) || converted.vt != VT_BSTR || !converted.bstrVal)
        return std::wstring();
    return std::wstring(converted.bstrVal, ::SysStringLen(converted.bstrVal));
}

// The check message resources are read once for the process.
std::wstring CheckMessage(UINT id, std::initializer_list<const wchar_t*> args) {
    static kcom::CComBSTR patterns[5];
    kcom::CComBSTR& pattern = patterns[id - 110];
    if (pattern.IsNull()) LoadResourceString(pattern.Put(), LoadMarrinModule(), id);
    return FormatResourceText(pattern.c_str(), args);
}

}  // namespace

bool CComTestObject::ExistsByRuntimeId() {
    DWORD type = 0, value = 0, size = sizeof value;
    if (::SHGetValueW(HKEY_LOCAL_MACHINE, kSettingInfoKey, L"EnableGetExistUsingRTID", &type, &value, &size) !=
            ERROR_SUCCESS ||
        size != sizeof value || value != 1)
        return false;
    kcom::CComBSTR idName(L"objectid");
    kcom::CComVariant id;
    if (FAILED(m_properties.Get(idName, id.Put(), nullptr, nullptr, nullptr, nullptr)) || id.vt == VT_EMPTY ||
        id.vt == VT_ERROR)
        return false;
    auto names = [&](ULONG flags) {
        SAFEARRAY* list = nullptr;
        if (kcom::CComPtr<ITestObjectInfo> outer = Outer<ITestObjectInfo>())
            outer->GetProps(&list, flags);
        else
            ITestObjectInfo_GetProps(&list, flags);
        return PropNames(list);
    };
    if (!names(0x400).empty()) return false;
    const std::vector<kcom::CComBSTR> identifying = names(0x10);
    return identifying.empty() ||
           (identifying.size() == 1 &&
            (EqualsNoCase(identifying[0], L"to_class") || EqualsNoCase(identifying[0], L"Windowless")));
}

HRESULT CComTestObject::DispTestObject_Exist(long TimeOut, VARIANT_BOOL* pVal) {
    if (!pVal) return E_POINTER;
    bool exists = ExistsByRuntimeId();
    if (!exists) {
        DropRuntimeObject();
        // Seconds to milliseconds on 32 bits; -1 stays the default.
        const long timeout = TimeOut == -1 ? -1 : static_cast<long>(static_cast<DWORD>(TimeOut) * 1000u);
        QueryIdInfo context{timeout, 100};
        exists = SUCCEEDED(ITestObject_FindObjectId(nullptr, &context));
    }
    *pVal = exists ? VARIANT_TRUE : VARIANT_FALSE;
    kcom::CComVariant line(exists ? L"Object exists" : L"Object does not exist");
    CKorSafeArray rows = ArgumentRows({&line});
    ReplayReport(L"Exist", 2, rows.psa, nullptr, 0, nullptr);
    return S_OK;
}

// The time-out option for -1. An option that cannot be read leaves -1; one that is read but is no
// number fails when strict.
HRESULT CComTestObject::ReadWaitTimeout(long* timeout, bool strict) {
    kcom::CComVariant value;
    if (FAILED(GetTestOption(L"", m_timeoutOptionName, value.Put()))) return S_OK;
    if (value.vt == VT_BSTR) value.ChangeType(VT_I4);
    if (value.vt != VT_I4) return strict ? E_FAIL : S_OK;
    *timeout = value.lVal;
    return S_OK;
}

HRESULT CComTestObject::DispTestObject_WaitProperty(BSTR PropertyName, VARIANT PropertyValue, long TimeOut,
                                                    VARIANT_BOOL* varRet) {
    if (!varRet) return E_POINTER;
    *varRet = VARIANT_FALSE;
    if (::SysStringLen(PropertyName) == 0) return E_INVALIDARG;
    kcom::CComVariant expected = ArgumentValue(PropertyValue);
    if (TimeOut == -1) {
        HRESULT hr = ReadWaitTimeout(&TimeOut, true);
        if (FAILED(hr)) return hr;
    }
    kcom::CComBSTR expectedText;
    kcom::CComVariant last;
    const HRESULT waited =
        WaitForPropertyValue(PropertyName, expected, TimeOut, varRet, expectedText.Put(), last.Put());
    const long missed = waited == S_OK ? 0 : 1;
    // Only a wait that missed its value fails the step by the option; a reached value never does.
    if (missed && TestOptions()) {
        kcom::CComVariant failOption;
        if (SUCCEEDED(GetTestOption(L"", L"FailOnWaitProperty", failOption.Put())) && failOption.vt == VT_I4 &&
            failOption.lVal != 0)
            RaiseReplayError(kWaitPropertyFailed, 3);
    }
    kcom::CComVariant name(PropertyName);
    kcom::CComVariant shown;
    if (expected.vt == VT_DISPATCH && !expectedText.IsNull())
        shown = kcom::CComVariant(expectedText.c_str());
    else
        shown = expected;
    kcom::CComVariant timeout(TimeOut);
    CKorSafeArray rows = ArgumentRows({&name, &shown, &last, &timeout});
    ReportDirectEvent(L"WaitProperty", 2 + missed, rows.psa, nullptr);
    ReplayReport(L"WaitProperty", 2 + missed, rows.psa, nullptr, 0, nullptr);
    return missed ? S_FALSE : S_OK;
}

HRESULT CComTestObject::DispTestObject_CheckProperty(BSTR PropertyName, VARIANT PropertyValue, long TimeOut,
                                                     VARIANT_BOOL* varRet) {
    if (!varRet || ::SysStringLen(PropertyName) == 0) return E_INVALIDARG;
    *varRet = VARIANT_FALSE;
    kcom::CComVariant expected = ArgumentValue(PropertyValue);
    if (TimeOut == -1) ReadWaitTimeout(&TimeOut, false);
    kcom::CComBSTR comparisonText;
    kcom::CComVariant last;
    WaitForPropertyValue(PropertyName, expected, TimeOut, varRet, comparisonText.Put(), last.Put());
    const bool matched = *varRet != VARIANT_FALSE;

    const std::wstring expectedText =
        comparisonText.Length() > 0 ? std::wstring(comparisonText.c_str(), comparisonText.Length()) : CheckText(expected);
    const std::wstring actualText = CheckText(last);
    const wchar_t* name = PropertyName;
    std::wstring message;
    if (matched)
        message = expectedText.empty() ? CheckMessage(110, {name}) : CheckMessage(111, {name, expectedText.c_str()});
    else if (actualText.empty())
        message = CheckMessage(112, {name, expectedText.c_str()});
    else if (expectedText.empty())
        message = CheckMessage(113, {name, actualText.c_str()});
    else
        message = CheckMessage(114, {name, actualText.c_str(), expectedText.c_str()});
    BSTR text = kcom::CComBSTR(message.c_str(), static_cast<UINT>(message.size())).Detach();
    EscapeHtml(&text);  // replaces the text it is given
    kcom::CComBSTR escaped = kcom::CComBSTR::Take(text);

    kcom::CComBSTR reportName, className;
    ITestObject5_GetLogicalNameForReport(reportName.Put());
    GetTestObjectClass(className.Put());
    const std::wstring quoted = L"\"" + std::wstring(reportName.c_str(), reportName.Length()) + L"\"";
    CReportEventInfo step;
    step.Set(L"Replay", reportName.c_str(), L"", className.c_str(), 2, nullptr, nullptr);
    ReportEvent(step);
    CReportEventInfo check;
    check.Set(L"Replay", quoted.c_str(), L"CheckProperty", escaped.c_str(), matched ? 0 : 1, nullptr, nullptr);
    ReportEvent(check);
    return S_OK;
}
