#include "testobject/reporting/ReportTexts.h"
#include <vector>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComVariant.h"
#include "testobject/settings/SettingsTable.h"

namespace {

constexpr wchar_t kConstantPrefix[] = L"KorScriptConstant::";
constexpr size_t kConstantPrefixLength = sizeof(kConstantPrefix) / sizeof(wchar_t) - 1;

size_t ReplaceAll(std::wstring& text, const wchar_t* from, const wchar_t* to) {
    const std::wstring what(from), with(to);
    size_t count = 0;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
        ++count;
    }
    return count;
}

// The value as the system writes it; false when it does not convert.
bool ValueText(const VARIANT& value, std::wstring& out) {
    kcom::CComVariant text;
    if (FAILED(::VariantChangeType(text.Put(), const_cast<VARIANT*>(&value), 0, VT_BSTR)) || text.vt != VT_BSTR)
        return false;
    out = WideText(text.bstrVal);
    return true;
}

HRESULT NewBstr(const std::wstring& text, BSTR* out) {
    kcom::CComBSTR b(text.c_str(), static_cast<UINT>(text.size()));
    *out = b.Detach();
    return S_OK;
}

}  // namespace

void MarkAngleBrackets(std::wstring& text, size_t* lessCount, size_t* greaterCount) {
    const size_t less = ReplaceAll(text, L"<", L"&lt");
    const size_t greater = ReplaceAll(text, L">", L"&gt");
    if (lessCount) *lessCount = less;
    if (greaterCount) *greaterCount = greater;
}

HRESULT AppendParams(SAFEARRAY* arguments, const wchar_t* prefix, BSTR* text, const wchar_t* htmlPrefix,
                     BSTR* htmlText) noexcept {
    if (!arguments || !text) return E_INVALIDARG;
    return kcom::Guard([&] {
        std::vector<SettingsRow> rows;
        HRESULT hr = ReadSettingsTable(arguments, rows);
        if (FAILED(hr)) return hr;
        std::wstring list;
        bool any = false;
        for (const SettingsRow& row : rows) {
            const VARIANT& v = row.name;
            std::wstring item;
            switch (v.vt) {
            case VT_BSTR: {
                item = WideText(v.bstrVal);
                if (item.compare(0, kConstantPrefixLength, kConstantPrefix) == 0) {
                    item.erase(0, kConstantPrefixLength);
                } else {
                    item = L"\"" + item + L"\"";
                    MarkAngleBrackets(item, nullptr, nullptr);
                }
                break;
            }
            case VT_I2:
            case VT_I4:
            case VT_R4:
            case VT_R8:
                if (!ValueText(v, item)) continue;
                break;
            case VT_BOOL:
                // A boolean follows a plain comma and carries its own blank.
                list += any ? L"," : L"";
                list += v.boolVal != VARIANT_FALSE ? L" True" : L" False";
                any = true;
                continue;
            case VT_DATE:
                if (!ValueText(v, item)) continue;
                item = L"#" + item + L"#";
                break;
            default:
                continue;
            }
            list += any ? L", " + item : item;
            any = true;
        }
        if (htmlPrefix && htmlText) NewBstr(std::wstring(htmlPrefix) + L" " + list, htmlText);
        return NewBstr(prefix ? std::wstring(prefix) + L" " + list : list, text);
    });
}

HRESULT EscapeHtml(BSTR* text) noexcept {
    if (!text) return E_INVALIDARG;
    if (::SysStringLen(*text) == 0) return S_OK;
    return kcom::Guard([&] {
        std::wstring out;
        for (const wchar_t c : WideText(*text)) {
            switch (c) {
            case L'&': out += L"&amp;"; break;
            case L'"': out += L"&quot;"; break;
            case L'>': out += L"&gt;"; break;
            case L'<': out += L"&lt;"; break;
            case L'\r':
            case L'\n': out += L"<br>"; break;
            default: out += c;
            }
        }
        kcom::CComBSTR escaped(out.c_str(), static_cast<UINT>(out.size()));
        ::SysFreeString(*text);
        *text = escaped.Detach();
        return S_OK;
    });
}
