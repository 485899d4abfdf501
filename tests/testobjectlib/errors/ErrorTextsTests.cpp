// Texts of failures: the library's codes from the resource module, others from the system, and
// the fixed list of standard codes that decides between them.
#include <gtest/gtest.h>
#include <string>
#include "com/ComBSTR.h"
#include "errors/ErrorTexts.h"
#include "errors/StandardHResults.h"
#include "errors/TestObjectError.h"
#include "host/ResourceStrings.h"

namespace {

using kcom::CComBSTR;

std::wstring Vostane(UINT id) {
    CComBSTR s;
    EXPECT_TRUE(LoadResourceString(s.Put(), LoadVostaneModule(), id)) << id;
    return s.c_str();
}

std::wstring Library(HRESULT hr, const wchar_t* name = L"Grid1") {
    BSTR raw = ::SysAllocString(L"old text");  // replaced by the call
    EXPECT_EQ(FormatLibraryErrorText(hr, name, &raw), S_OK);
    CComBSTR text = CComBSTR::Take(raw);
    return std::wstring(text.c_str(), text.Length());
}

std::wstring System(HRESULT hr) {
    CComBSTR text;
    EXPECT_EQ(GetSystemErrorText(hr, text.Put()), S_OK);
    EXPECT_FALSE(text.IsNull());
    return std::wstring(text.c_str(), text.Length());
}

std::wstring FromSystem(HRESULT hr) {
    wchar_t buffer[800] = {};
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               static_cast<DWORD>(hr), 0, buffer, 800, nullptr);
    return std::wstring(buffer, n);
}

TEST(LibraryErrorText, EachLibraryCodeHasItsResourceString) {
    const std::pair<HRESULT, UINT> table[] = {
        {KOR_E_GENERIC, 104}, {KOR_E_IDENTIFICATION_FAILED, 110}, {KOR_E_OBJECT_NOT_UNIQUE, 105},
        {KOR_E_PARENT_NOT_FOUND, 109}, {KOR_E_OBJECT_NOT_VISIBLE, 113}, {KOR_E_EMPTY_RECT, 106},
        {KOR_E_0207, 107}, {KOR_E_OBJECT_NOT_ENABLED, 108}, {KOR_E_ITEM_NOT_FOUND, 111},
        {KOR_E_ITEM_NOT_UNIQUE, 112}, {KOR_E_020B, 114}, {KOR_E_020C, 115}, {KOR_E_NO_RUNTIME_ID, 116},
        {KOR_E_CLICK_REFUSED, 117}, {KOR_E_0210, 119}, {KOR_E_INVALID_ARGUMENTS, 121}, {KOR_E_0212, 118},
        {KOR_E_0215, 120}, {KOR_E_0216, 122},
    };
    for (auto [hr, id] : table) EXPECT_EQ(Library(hr), Vostane(id)) << std::hex << hr;
}

TEST(LibraryErrorText, ObjectNotFoundNamesTheObjectUnlessItHasNoName) {
    EXPECT_EQ(Library(KOR_E_OBJECT_NOT_FOUND), L"Cannot find the object \"Grid1\".");
    EXPECT_EQ(Library(KOR_E_OBJECT_NOT_FOUND, L"100%s %d"), L"Cannot find the object \"100%s %d\".");
    EXPECT_EQ(Library(KOR_E_OBJECT_NOT_FOUND, L""), Vostane(123));
    EXPECT_EQ(Library(KOR_E_OBJECT_NOT_FOUND, nullptr), Vostane(123));
}

TEST(LibraryErrorText, CodesWithoutAStringAndOtherCodesTakeTheSystemText) {
    // Interface codes from 0x200 on that are not standard: the general interface text.
    for (HRESULT hr : {KOR_E_WAIT_PROPERTY_FAILED, KOR_E_0213, KOR_E_0214})
        EXPECT_EQ(Library(hr), Vostane(102)) << std::hex << hr;
    EXPECT_EQ(Library(E_FAIL), FromSystem(E_FAIL));
    EXPECT_EQ(Library(S_OK), FromSystem(S_OK));
    EXPECT_EQ(FormatLibraryErrorText(KOR_E_GENERIC, L"x", nullptr), E_POINTER);
    EXPECT_EQ(GetSystemErrorText(E_FAIL, nullptr), E_POINTER);
}

TEST(SystemErrorText, GeneralTextsOnlyForUnlistedControlAndInterfaceCodes) {
    EXPECT_EQ(System(0x800A0258), Vostane(101));  // first custom control error
    EXPECT_EQ(System(0x800A7FFF), Vostane(101));
    EXPECT_EQ(System(0x800A02EA), FromSystem(0x800A02EA));  // listed run-time error above 600
    EXPECT_EQ(System(0x800A0257), FromSystem(0x800A0257));  // below 600, not listed
    EXPECT_EQ(System(0x80040200), Vostane(102));
    EXPECT_EQ(System(0x8004FFFF), Vostane(102));
    EXPECT_EQ(System(0x800401FF), FromSystem(0x800401FF));
    EXPECT_EQ(System(0x000401FF), FromSystem(0x000401FF));  // success codes: facility and code alone decide
    EXPECT_EQ(System(0x00040200), Vostane(102));
    // A Win32 code outside the list still gets the system's text.
    EXPECT_EQ(System(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), FromSystem(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
    EXPECT_NE(System(E_OUTOFMEMORY), L"");
}

TEST(StandardHResults, TheListHoldsItsCodesOnceInOrderInTheNamedFacilities) {
    EXPECT_EQ(StandardHResultCount(), 358u);
    DWORD previous = 0;
    for (const HResultRun& run : StandardHResultRuns()) {
        EXPECT_LE(run.first, run.last);
        EXPECT_GT(run.first, previous);
        previous = run.last;
        const HRESULT first = static_cast<HRESULT>(run.first), last = static_cast<HRESULT>(run.last);
        EXPECT_EQ(HRESULT_FACILITY(first), HRESULT_FACILITY(last));
        switch (HRESULT_FACILITY(first)) {
        case FACILITY_NULL: case FACILITY_RPC: case FACILITY_DISPATCH: case FACILITY_STORAGE:
        case FACILITY_WIN32: case FACILITY_SECURITY: case FACILITY_CERT: break;
        case FACILITY_ITF: EXPECT_LT(HRESULT_CODE(last), 0x200); break;
        case FACILITY_CONTROL: EXPECT_LE(run.last, 0x800A02EAu); break;
        default: ADD_FAILURE() << std::hex << run.first;
        }
    }
    for (DWORD code : {0x80004001u, 0x8000FFFFu, 0x80010115u, 0x800288C6u, 0x80030070u, 0x800401F0u, 0x80070057u,
                       0x800A02DFu, 0x800B0114u})
        EXPECT_TRUE(IsStandardHResult(static_cast<HRESULT>(code))) << std::hex << code;
    for (DWORD code : {0u, 0x80004000u, 0x800288C7u, 0x80030007u, 0x80040200u, 0x80070002u, 0x800A0258u,
                       0x800B0115u, 0xFFFFFFFFu})
        EXPECT_FALSE(IsStandardHResult(static_cast<HRESULT>(code))) << std::hex << code;
}

TEST(ResourceText, PlaceholdersAreFilledInOrderAndNothingElseIsInterpreted) {
    EXPECT_EQ(FormatResourceText(L"\"%s\" (of class %s).", {L"Grid", L"AcxTable"}), L"\"Grid\" (of class AcxTable).");
    EXPECT_EQ(FormatResourceText(L"%s and %s", {L"one"}), L"one and ");
    EXPECT_EQ(FormatResourceText(L"%s|%s", {nullptr, L"b"}), L"|b");
    EXPECT_EQ(FormatResourceText(L"100%% %d %n %S%", {L"x"}), L"100% %d %n %S%");
    EXPECT_EQ(FormatResourceText(nullptr, {L"x"}), L"");
}

}  // namespace
