#include "RecordedTest.h"
#include <cwchar>
#include <cwctype>

namespace {

bool IsNumber(const std::wstring& text) {
    size_t i = text.size() > 1 && text[0] == L'-' ? 1 : 0;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i)
        if (!std::iswdigit(text[i])) return false;
    return true;
}

}  // namespace

bool ScriptArguments(const std::wstring& arrayText, std::wstring& out) {
    out.clear();
    if (arrayText.size() < 2 || arrayText.front() != L'[' || arrayText.back() != L']') return false;
    const std::wstring inner = arrayText.substr(1, arrayText.size() - 2);
    size_t start = 0;
    while (start < inner.size()) {
        size_t end = inner.find(L',', start);
        if (end == std::wstring::npos) end = inner.size();
        const std::wstring cell = inner.substr(start, end - start);
        const size_t colon = cell.find(L':');
        if (colon == std::wstring::npos || !IsNumber(cell.substr(colon + 1))) return false;
        out += (out.empty() ? L"" : L", ") + cell.substr(colon + 1);
        start = end + 1;
    }
    return true;
}

bool ScriptLines(const std::vector<RecordedAction>& steps, UINT doubleClickTime, std::vector<std::wstring>& lines,
                 std::wstring& failed) {
    lines.clear();
    failed.clear();
    for (size_t i = 0; i < steps.size(); ++i) {
        const RecordedAction& step = steps[i];
        std::wstring method = step.method;
        if (i + 1 < steps.size()) {
            const RecordedAction& next = steps[i + 1];
            if (step.method == L"Click" && next.method == L"Click" && next.object == step.object &&
                next.arguments == step.arguments && next.tick - step.tick <= doubleClickTime) {
                method = L"DblClick";
                ++i;
            }
        }
        std::wstring arguments;
        if (!ScriptArguments(step.arguments, arguments)) {
            failed = step.object + L"." + step.method + L" " + step.arguments;
            return false;
        }
        lines.push_back(step.object + L"." + method + (arguments.empty() ? L"" : L" " + arguments));
    }
    return true;
}

namespace {

std::wstring Quoted(const std::wstring& text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) out += c == L'"' ? std::wstring(L"\"\"") : std::wstring(1, c);
    return out + L"\"";
}

bool ReplaceMarker(std::wstring& script, const wchar_t* marker, const std::wstring& with) {
    const size_t at = script.find(marker);
    if (at == std::wstring::npos) return false;
    script.replace(at, std::wcslen(marker), with);
    return true;
}

}  // namespace

bool ReplayScript(const std::wstring& frame, const std::vector<std::wstring>& objects,
                  const std::vector<std::wstring>& lines, std::wstring& script) {
    std::wstring loading, steps;
    for (const std::wstring& name : objects) {
        loading += (loading.empty() ? L"Dim " : L", ") + name;
    }
    for (const std::wstring& name : objects) loading += L"\r\nSet " + name + L" = Load(" + Quoted(name) + L")";
    for (const std::wstring& line : lines) {
        steps += (steps.empty() ? L"" : L"\r\n") + std::wstring(L"Begin ") + Quoted(line) + L", Empty\r\n" + line +
                 L"\r\nFinish Err.Number, Err.Description";
    }
    script = frame;
    return ReplaceMarker(script, L"' @OBJECTS@", loading) && ReplaceMarker(script, L"' @STEPS@", steps);
}
