#pragma once
// Texts of report events: the arguments of a step, and text made safe for the report's HTML.
#include <windows.h>
#include <oleauto.h>
#include <string>

// The text of a BSTR, embedded nulls included; empty for null.
inline std::wstring WideText(BSTR b) { return b ? std::wstring(b, ::SysStringLen(b)) : std::wstring(); }

// The values of column 0 of arguments as the report shows them ("text", 5, True, #date#). With a
// prefix the text is "<prefix> <arguments>"; the HTML text, asked for with its own prefix, is
// "<htmlPrefix> <arguments>". E_INVALIDARG without arguments or text.
HRESULT AppendParams(SAFEARRAY* arguments, const wchar_t* prefix, BSTR* text, const wchar_t* htmlPrefix,
                     BSTR* htmlText) noexcept;

// Replaces '&', '"', '>', '<' by their HTML entities and each carriage return and line feed by
// "<br>", in one pass. E_INVALIDARG for a null pointer.
HRESULT EscapeHtml(BSTR* text) noexcept;

// Each "<" as "&lt" and each ">" as "&gt" (no semicolon: the report's own form); answers the two
// counts.
void MarkAngleBrackets(std::wstring& text, size_t* lessCount, size_t* greaterCount);
