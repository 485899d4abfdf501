#include "testobject/reporting/ReportStrings.h"
#include <map>
#include "com/ComBSTR.h"
#include "host/ResourceStrings.h"

namespace {

constexpr UINT kFirst = ReportString::ErrorSource;
constexpr UINT kLast = ReportString::FlagsChanged;

std::map<UINT, std::wstring> LoadAll() {
    std::map<UINT, std::wstring> texts;
    HMODULE marrin = LoadMarrinModule();
    for (UINT id = kFirst; id <= kLast; ++id) {
        kcom::CComBSTR text;
        if (marrin && LoadResourceString(text.Put(), marrin, id)) texts[id].assign(text.c_str(), text.Length());
    }
    return texts;
}

}  // namespace

const std::wstring& MarrinReportText(UINT id) {
    static const std::map<UINT, std::wstring> texts = LoadAll();
    static const std::wstring none;
    auto found = texts.find(id);
    return found != texts.end() ? found->second : none;
}
