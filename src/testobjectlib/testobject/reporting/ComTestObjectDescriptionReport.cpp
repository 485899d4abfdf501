// The description of a test object as the report shows it: one line per property, in a plain and
// an HTML form.
#include <string>
#include "com/ComError.h"
#include "description/TOPropertiesSnapshot.h"
#include "host/ResourceStrings.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/TestObjectGuard.h"
#include "testobject/reporting/ReportStrings.h"
#include "testobject/reporting/ReportTexts.h"
#include "testobject/settings/PropertyAttributes.h"
#include "win32/WindowServices.h"

namespace {

constexpr DWORD kSimClassFlag = 0x200000;
constexpr DWORD kOrderedFlag = 0x200;
constexpr DWORD kExpressionFlag = 0x100;
constexpr DWORD kCaseSensitive = 0x4;
constexpr wchar_t kLineBreak[] = L"<br>";

void ReplaceEvery(std::wstring& text, const std::wstring& what, const std::wstring& with) {
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

// Whether the property data puts the row among the ordered ones: its first "Order" row (column 0,
// without case) holds a VT_I4 above 0. Data that is not a table of VARIANTs holds no such row.
HRESULT IsOrdered(const VARIANT& data, bool* ordered) {
    *ordered = false;
    if (!(data.vt & VT_ARRAY)) return E_INVALIDARG;
    SAFEARRAY* psa = (data.vt & VT_BYREF) ? (data.pparray ? *data.pparray : nullptr) : data.parray;
    VARTYPE vt = VT_EMPTY;
    if (!psa || FAILED(::SafeArrayGetVartype(psa, &vt)) || vt != VT_VARIANT || psa->cbElements != sizeof(VARIANT))
        return S_OK;
    CKorSafeArray table;
    table.Attach(psa, false);
    for (ULONG r = 0; r < table.GetRowCount(); ++r) {
        kcom::CComVariant key;
        HRESULT hr = table.GetElement(key.Put(), static_cast<LONG>(r), 0);
        if (FAILED(hr)) return hr;
        if (key.vt != VT_BSTR || !key.bstrVal || _wcsicmp(key.bstrVal, L"Order") != 0) continue;
        kcom::CComVariant order;
        hr = table.GetElement(order.Put(), static_cast<LONG>(r), 1);
        if (FAILED(hr)) return hr;
        if (order.vt != VT_I4) return E_INVALIDARG;
        *ordered = order.lVal > 0;
        return S_OK;
    }
    return S_OK;
}

// " (match case)" or " (ignore case)" when the change summary says the row's case rule changed.
std::wstring CaseAddition(ITOAttributesChangeSummary* changes, const wchar_t* name, DWORD compareType) {
    if (!changes) return std::wstring();
    bool beforePresent = false, afterPresent = false;
    DWORD beforeFlags = 0, beforeType = 0, beforeCompare = 0, afterFlags = 0, afterType = 0, afterCompare = 0;
    if (!changes->Lookup(name, &beforePresent, &beforeFlags, &beforeType, &beforeCompare) ||
        !changes->Lookup2(name, &afterPresent, &afterFlags, &afterType, &afterCompare) || !beforePresent ||
        !afterPresent || !((beforeCompare ^ afterCompare) & kCaseSensitive))
        return std::wstring();
    const UINT id = (compareType & kCaseSensitive) ? ReportString::CaseSensitive : ReportString::CaseInsensitive;
    return L" (" + MarrinReportText(id) + L")";
}

}  // namespace

HRESULT CComTestObject::FormatDescriptionReport(BSTR* plain, BSTR* html, ITOPropertiesSnapshot* snapshot,
                                                ITOAttributesChangeSummary* changes) {
    if (!plain || !html || !snapshot) return E_POINTER;
    *plain = nullptr;
    *html = nullptr;
    return TestObjectGuard([&] {
        kcom::CComPtr<IObjectRack> rack = Rack();
        std::wstring main, ordered;
        const long rows = snapshot->GetRowCount();
        for (long row = 0; row < rows; ++row) {
            kcom::CComBSTR name;
            DWORD flags = 0, type = 0, compareType = 0;
            kcom::CComVariant value, data, expression;
            BSTR rawName = nullptr;
            HRESULT hr = snapshot->GetRow(row, rawName, &flags, &type, &compareType, value.Put(), data.Put(),
                                          expression.Put());
            name.Attach(rawName);
            if (FAILED(hr)) return hr;
            if (flags & kSimClassFlag) continue;
            kcom::CComVariant valueText;
            if (FAILED(::VariantChangeType(valueText.Put(), &value, 0, VT_BSTR)) || valueText.vt != VT_BSTR) continue;

            bool isOrdered = false;
            if ((flags & kOrderedFlag) && data.vt != VT_EMPTY) {
                hr = IsOrdered(data, &isOrdered);
                if (FAILED(hr)) return hr;
            }
            std::wstring shown = WideText(name);
            PropertyAttributes attributes;
            if (SUCCEEDED(ReadPropertyAttributes(rack, name.c_str(), &attributes)) &&
                !IsBlankString(attributes.helpString.c_str()))
                shown = WideText(attributes.helpString);

            std::wstring line = shown + L" = " + WideText(valueText.bstrVal) + CaseAddition(changes, name.c_str(), compareType);
            size_t less = 0, greater = 0;
            MarkAngleBrackets(line, &less, &greater);
            if (less == greater && less > 0) ReplaceEvery(line, L"\\\"", L"\"");

            std::wstring& target = isOrdered ? ordered : main;
            target += line;
            if ((flags & kExpressionFlag) && expression.vt == VT_BSTR)
                target = FormatResourceText(MarrinReportText(ReportString::ParameterRow).c_str(),
                                            {target.c_str(), expression.bstrVal});
            else
                target += kLineBreak;
        }
        if (!ordered.empty()) main += L"|" + ordered;
        std::wstring plainText = main;
        ReplaceEvery(plainText, kLineBreak, L"\n");
        *html = kcom::CComBSTR(main.c_str(), static_cast<UINT>(main.size())).Detach();
        *plain = kcom::CComBSTR(plainText.c_str(), static_cast<UINT>(plainText.size())).Detach();
        return S_OK;
    });
}

HRESULT CComTestObject::BuildDescriptionText(ITestObjectInfo* info, BSTR* plain, BSTR* html, DWORD flags) {
    if (!info || !plain || !html) return E_POINTER;
    CTOPropertiesSnapshot snapshot;
    HRESULT hr = snapshot.Capture(info, flags);
    if (FAILED(hr)) return hr;
    return FormatDescriptionReport(plain, html, &snapshot, nullptr);
}
