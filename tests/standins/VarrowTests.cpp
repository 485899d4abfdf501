// The Varrow stand-in: singleton fields, recorded calls, the real registry behind ProgID values.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>
#include <string>
#include "contracts/AcxSetting.h"
#include "com/ComBSTR.h"
#include "com/Handles.h"
#include "VarrowStandIn.h"

namespace {

std::wstring Log() {
    wchar_t buf[4096];
    VarrowStandIn_GetLog(buf, 4096);
    return buf;
}

// This process's own key: test programs run side by side in one registry.
const std::wstring kTestKey = L"Software\\KestruneStandInTest" + std::to_wstring(::GetCurrentProcessId());
const std::wstring kTestRoot = kTestKey + L"\\ActiveX Add-in";

class VarrowTest : public ::testing::Test {
protected:
    void SetUp() override { VarrowStandIn_Reset(); }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey.c_str());
        VarrowStandIn_Reset();
    }
};

TEST_F(VarrowTest, SingletonCarriesRegisteredFormats) {
    CAcxSetting* s = CAcxSetting::GetInstance();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s, CAcxSetting::GetInstance());
    EXPECT_EQ(s->m_notificationFormat, ::RegisterClipboardFormatW(VarrowStandIn_NotificationFormatName()));
    EXPECT_EQ(s->m_wlsClearFormat, ::RegisterClipboardFormatW(VarrowStandIn_WlsClearFormatName()));
    EXPECT_NE(s->m_notificationFormat, s->m_wlsClearFormat);
    ASSERT_NE(s->m_rootKeyPath, nullptr);
    EXPECT_STREQ(s->m_rootKeyPath, L"");
}

TEST_F(VarrowTest, RecordsRootAndTrappingModes) {
    CAcxSetting* s = CAcxSetting::GetInstance();
    s->SetProductActiveXAgentRegRoot(HKEY_CURRENT_USER, kTestRoot.c_str());
    wchar_t category[] = L"MultiMedia";
    s->SetTrappingModeForCategoryW(category, TRAP_MODE_FULL_AND_MULTIMEDIA);
    s->SetTrappingModeForCategoryW(category, TRAP_MODE_FULL);
    EXPECT_STREQ(s->m_rootKeyPath, kTestRoot.c_str());
    EXPECT_EQ(s->m_rootKey, HKEY_CURRENT_USER);
    EXPECT_EQ(VarrowStandIn_GetTrappingMode(L"MultiMedia"), 0);
    EXPECT_EQ(VarrowStandIn_GetTrappingMode(L"Other"), -2);
    EXPECT_EQ(VarrowStandIn_GetCallCount(L"SetTrappingModeForCategoryW"), 2);
    EXPECT_EQ(Log(), std::wstring(L"SetProductActiveXAgentRegRoot(HKCU,") + kTestRoot +
                         L")\nSetTrappingModeForCategoryW(MultiMedia,-1)\nSetTrappingModeForCategoryW(MultiMedia,0)");
}

TEST_F(VarrowTest, ValueFromProgIdComesFromTheRegistry) {
    CAcxSetting* s = CAcxSetting::GetInstance();
    wchar_t progId[] = L"Test.Control.1";
    wchar_t valueName[] = L"CustWindowTestObjectProgID";
    wchar_t* value = nullptr;
    EXPECT_FALSE(s->GetValueFromProgIDW(progId, valueName, &value));  // no root yet

    s->SetProductActiveXAgentRegRoot(HKEY_CURRENT_USER, kTestRoot.c_str());
    std::wstring key = kTestRoot + L"\\ProgID\\Test.Control.1";
    kcom::CRegKey k;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.Put(), nullptr),
              ERROR_SUCCESS);
    const wchar_t data[] = L"My.CustomObject";
    ASSERT_EQ(::RegSetValueExW(k, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof(data)),
              ERROR_SUCCESS);

    ASSERT_TRUE(s->GetValueFromProgIDW(progId, valueName, &value));
    kcom::CComBSTR owned = kcom::CComBSTR::Take(value);
    EXPECT_STREQ(owned.c_str(), L"My.CustomObject");
    wchar_t other[] = L"Missing";
    value = nullptr;
    EXPECT_FALSE(s->GetValueFromProgIDW(progId, other, &value));
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(VarrowStandIn_GetCallCount(L"GetValueFromProgIDW"), 3);
}

TEST_F(VarrowTest, IgnoredPropertiesIgnoreCase) {
    VarrowStandIn_AddIgnoredProperty(L"Test.Control.1", L"Hidden");
    wchar_t progId[] = L"test.control.1";
    wchar_t hidden[] = L"HIDDEN";
    wchar_t shown[] = L"Caption";
    EXPECT_TRUE(CAcxSetting::GetInstance()->IsIgnorePropertyW(progId, hidden));
    EXPECT_FALSE(CAcxSetting::GetInstance()->IsIgnorePropertyW(progId, shown));
    EXPECT_FALSE(CAcxSetting::GetInstance()->IsIgnorePropertyW(nullptr, shown));
    EXPECT_EQ(VarrowStandIn_GetCallCount(L"IsIgnorePropertyW"), 3);
}

}  // namespace
