#include "activex/dispatch/MultiDisp2DualImpl.h"

bool IsCustomHookExemptName(const wchar_t* name) noexcept {
    static const wchar_t* const kNames[] = {L"Init", L"Exist", L"ChildObjects", L"SetTOProperty", L"GetTOProperty",
                                            L"GetTOProperties"};
    if (!name) return false;
    for (const wchar_t* exempt : kNames)
        if (::CompareStringOrdinal(name, -1, exempt, -1, TRUE) == CSTR_EQUAL) return true;
    return false;
}
