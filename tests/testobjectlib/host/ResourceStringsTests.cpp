// Strings of the resource modules beside the program, at and beyond the first buffer's size.
#include <gtest/gtest.h>
#include <string>
#include "com/ComBSTR.h"
#include "host/ResourceStrings.h"

namespace {

using kcom::CComBSTR;

std::wstring Loaded(UINT id) {
    CComBSTR s;
    EXPECT_TRUE(LoadResourceString(s.Put(), LoadMarrinModule(), id)) << id;
    return std::wstring(s.c_str(), s.Length());
}

TEST(ResourceStrings, BothModulesAreLoadedOnceFromTheProgramFolder) {
    HMODULE m = LoadMarrinModule();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(LoadMarrinModule(), m);
    wchar_t path[MAX_PATH] = {}, exe[MAX_PATH] = {};
    ::GetModuleFileNameW(m, path, MAX_PATH);
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe);
    folder.resize(folder.find_last_of(L'\\') + 1);
    EXPECT_EQ(_wcsicmp(path, (folder + L"Marrin.dll").c_str()), 0);
    EXPECT_EQ(Loaded(109), L"The test run failed.");
    HMODULE v = LoadVostaneModule();
    ASSERT_NE(v, nullptr);
    EXPECT_NE(v, m);
    CComBSTR s;
    EXPECT_TRUE(LoadResourceString(s.Put(), v, 103));
    EXPECT_STREQ(s.c_str(), L"Cannot find the object \"%s\".");
}

TEST(ResourceStrings, LongStringsComeBackWhole) {
    for (UINT length : {510u, 511u, 600u, 1100u}) {
        std::wstring s = Loaded(9000 + (length == 1100u ? 999u : length));
        EXPECT_EQ(s.size(), length);
        EXPECT_EQ(s.substr(s.size() - 4), L"|END");
    }
}

TEST(ResourceStrings, OutputIsReplacedOrFreedAndNulled) {
    CComBSTR s(L"previous");
    EXPECT_TRUE(LoadResourceString(s.Put(), LoadMarrinModule(), 115));
    EXPECT_STREQ(s.c_str(), L"Run Error");
    EXPECT_FALSE(LoadResourceString(s.Put(), LoadMarrinModule(), 4321));
    EXPECT_TRUE(s.IsNull());
    EXPECT_FALSE(LoadResourceString(nullptr, LoadMarrinModule(), 101));
}

}  // namespace
