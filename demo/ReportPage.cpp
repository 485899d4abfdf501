#include "ReportPage.h"
#include "com/CodePageText.h"
#include "com/ComVariant.h"

namespace {

const wchar_t kStyle[] =
    L"body{font-family:sans-serif;margin:1em 2em}"
    L"table{border-collapse:collapse}th,td{border:1px solid #999;padding:2px 6px;text-align:left;vertical-align:top}"
    L".fail{background:#fdd;color:#900}.pass{color:#060}img{border:1px solid #999}";

// The host's report statuses.
std::wstring StatusWord(const kcom::CComVariant& status, bool& failed) {
    failed = false;
    if (status.vt == VT_EMPTY) return L"";
    kcom::CComVariant number;
    if (FAILED(number.ChangeType(VT_I4, &status))) return L"?";
    switch (number.lVal) {
    case 0: return L"passed";
    case 1: failed = true; return L"failed";
    case 2: return L"done";
    case 3: failed = true; return L"step failed";
    default: return std::to_wstring(number.lVal);
    }
}

// A value as the page shows it; false for what a reader cannot use (object references, nothing).
bool ValueText(const kcom::CComVariant& value, std::wstring& text) {
    if (value.vt == VT_EMPTY || value.vt == VT_NULL || value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) return false;
    kcom::CComVariant converted;
    if (FAILED(converted.ChangeType(VT_BSTR, &value)) || !converted.bstrVal) {
        text = L"(type " + std::to_wstring(value.vt) + L")";
        return true;
    }
    text.assign(converted.bstrVal, ::SysStringLen(converted.bstrVal));
    return true;
}

// A failed line or row carries both a colour and a mark, for readers without colour.
std::wstring FailClass(bool failed) { return failed ? L" class=\"fail\"" : L""; }
std::wstring FailMark(bool failed) { return failed ? L"\u2717 " : L""; }

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

std::string ReportPage(const std::wstring& title, const ReportSummary& summary,
                       const std::vector<standin::ReportedEvent>& events) {
    const std::wstring verdict = summary.failure.empty() ? L"<p class=\"pass\"><b>\u2713 passed</b></p>"
                                                         : L"<p class=\"fail\"><b>" + FailMark(true) +
                                                               EscapeHtml(summary.failure) + L"</b></p>";
    std::wstring page = L"<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + EscapeHtml(title) +
                        L"</title>\n<style>" + kStyle + L"</style></head>\n<body>\n<h1>" + EscapeHtml(title) +
                        L"</h1>\n" + verdict + L"\n<p>" + EscapeHtml(summary.counts) + L"</p>\n";
    if (!summary.steps.empty()) {
        page += L"<h2>Replayed steps</h2>\n<ul>\n";
        for (const std::wstring& line : summary.steps) {
            const bool failed = line.rfind(L"pass", 0) != 0;
            page += L"<li" + FailClass(failed) + L">" + FailMark(failed) + EscapeHtml(line) + L"</li>\n";
        }
        page += L"</ul>\n";
    }
    if (!summary.image.empty())
        page += L"<h2>Captured image</h2>\n<p>" + EscapeHtml(summary.imageCaption) + L"</p>\n<p><img src=\"" +
                EscapeHtml(summary.image) + L"\" alt=\"" + EscapeHtml(summary.imageCaption) + L"\"></p>\n";
    page += L"<h2>Report events (" + std::to_wstring(events.size()) +
            L")</h2>\n<table>\n<tr><th>id</th><th>parent</th><th>type</th><th>status</th><th>NodeName</th>"
            L"<th>texts</th></tr>\n";
    for (const standin::ReportedEvent& event : events) {
        bool failed = false;
        const std::wstring status = StatusWord(event.Item(L"Status"), failed);
        std::wstring nodeName, texts, text;
        ValueText(event.Item(L"NodeName"), nodeName);
        for (const auto& [key, value] : event.items)
            if (key != L"Status" && key != L"NodeName" && ValueText(value, text))
                texts += L"<b>" + EscapeHtml(key) + L"</b>: " + EscapeHtml(text) + L"<br>";
        page += L"<tr" + FailClass(failed) + L"><td>" + std::to_wstring(event.id) + L"</td><td>" +
                std::to_wstring(event.parentId) + L"</td><td>" + EscapeHtml(event.type) + L"</td><td>" +
                FailMark(failed) + status + L"</td><td>" + EscapeHtml(nodeName) + L"</td><td>" + texts +
                L"</td></tr>\n";
    }
    return kcom::Utf8(page + L"</table>\n</body></html>\n");
}
