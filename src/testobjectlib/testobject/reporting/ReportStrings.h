#pragma once
// The `Marrin` strings of the test object's reports, loaded once per process.
#include <windows.h>
#include <string>

namespace ReportString {
inline constexpr UINT ErrorSource = 115;           // the source of a replay error's information
inline constexpr UINT ErrorNodeType = 116;
inline constexpr UINT DescriptionText = 117;       // "%s": the plain description
inline constexpr UINT DescriptionHtml = 118;       // "%s": the HTML description
inline constexpr UINT DescriptionNodeType = 119;
inline constexpr UINT AncestorNodeType = 120;
inline constexpr UINT StepHtmlInfo = 121;          // "%s %s"
inline constexpr UINT StepInfo = 122;              // "%s %s"
inline constexpr UINT StepPassed = 123;            // "%s": the logical name
inline constexpr UINT StepOfUnnamed = 124;
inline constexpr UINT ParameterRow = 125;          // "%s %s": the text so far, the parameter expression
inline constexpr UINT StepFailed = 126;            // "%s": the logical name
inline constexpr UINT ResultPassed = 128;
inline constexpr UINT ResultFailed = 129;
inline constexpr UINT CaseSensitive = 130;
inline constexpr UINT CaseInsensitive = 131;
inline constexpr UINT DescriptionChanged = 132;      // "%s %s": the plain descriptions before and after
inline constexpr UINT DescriptionChangedHtml = 133;  // "%s %s": the HTML descriptions before and after
inline constexpr UINT FlagsChanged = 134;
}  // namespace ReportString

// The text of one of the ids above; empty when `Marrin` or the string is missing.
const std::wstring& MarrinReportText(UINT id);
