#include "ReportPage.h"
#include "com/ComVariant.h"

namespace {

// A value as the page shows it: texts and numbers as they are, anything else by its type.
std::wstring ValueText(const kcom::CComVariant& value) {
    if (value.vt == VT_EMPTY) return L"";
    if (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) return L"(object)";
    kcom::CComVariant text;
    if (FAILED(text.ChangeType(VT_BSTR, &value)) || !text.bstrVal) return L"(type " + std::to_wstring(value.vt) + L")";
    return std::wstring(text.bstrVal, ::SysStringLen(text.bstrVal));
}

}  // namespace

std::wstring EscapeHtml(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        switch (c) {
        case L'&': out += L"&amp;"; break;
        case L'<': out += L"&lt;"; break;
        case L'>': out += L"&gt;"; break;
        case L'"': out += L"&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::wstring ReportPage(const std::wstring& title, const std::vector<standin::ReportedEvent>& events) {
    std::wstring page = L"<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + EscapeHtml(title) +
                        L"</title></head>\n<body>\n<h1>" + EscapeHtml(title) + L"</h1>\n<p>" +
                        std::to_wstring(events.size()) +
                        L" report events</p>\n<table border=\"1\">\n"
                        L"<tr><th>id</th><th>parent</th><th>type</th><th>Status</th><th>NodeName</th>"
                        L"<th>texts</th></tr>\n";
    for (const standin::ReportedEvent& event : events) {
        std::wstring texts;
        for (const auto& [key, value] : event.items) {
            if (key == L"Status" || key == L"NodeName") continue;
            texts += L"<b>" + EscapeHtml(key) + L"</b>: " + EscapeHtml(ValueText(value)) + L"<br>";
        }
        page += L"<tr><td>" + std::to_wstring(event.id) + L"</td><td>" + std::to_wstring(event.parentId) +
                L"</td><td>" + EscapeHtml(event.type) + L"</td><td>" + EscapeHtml(ValueText(event.Item(L"Status"))) +
                L"</td><td>" + EscapeHtml(ValueText(event.Item(L"NodeName"))) + L"</td><td>" + texts +
                L"</td></tr>\n";
    }
    return page + L"</table>\n</body></html>\n";
}
