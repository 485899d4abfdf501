// The scenario text that the application-under-test program and its hook read.
#include <gtest/gtest.h>
#include "HookScenario.h"

namespace {

TEST(HookScenario, ValuesReadBackAsTheirTypes) {
    kcom::CComVariant v;
    ASSERT_TRUE(CHookScenario::ParseValue(L"i4:-12", v));
    EXPECT_EQ(VT_I4, v.vt);
    EXPECT_EQ(-12, v.lVal);
    ASSERT_TRUE(CHookScenario::ParseValue(L"i4:0x10", v));
    EXPECT_EQ(16, v.lVal);
    ASSERT_TRUE(CHookScenario::ParseValue(L"nullbstr", v));
    EXPECT_EQ(VT_BSTR, v.vt);
    EXPECT_EQ(nullptr, v.bstrVal);
    ASSERT_TRUE(CHookScenario::ParseValue(L"bstr:", v));
    ASSERT_NE(nullptr, v.bstrVal);
    EXPECT_EQ(0u, ::SysStringLen(v.bstrVal));
    ASSERT_TRUE(CHookScenario::ParseValue(L"Some.ProgId", v));
    EXPECT_STREQ(L"Some.ProgId", v.bstrVal);
    EXPECT_FALSE(CHookScenario::ParseValue(L"i4:twelve", v));
    EXPECT_FALSE(CHookScenario::ParseValue(L"i4[2x2]:1,2,3", v));  // four cells needed

    // Cells listed row by row land at {column, row}.
    ASSERT_TRUE(CHookScenario::ParseValue(L"var[2x2]:bstr:a|i4:1|bstr:b|i4:2", v));
    ASSERT_EQ(VT_ARRAY | VT_VARIANT, v.vt);
    EXPECT_EQ(2u, v.parray->rgsabound[0].cElements);
    kcom::CComVariant cell;
    LONG at[2] = {1, 1};
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayGetElement(v.parray, at, &cell));
    EXPECT_EQ(2, cell.lVal);
    EXPECT_EQ(L"var[2x2]:bstr:a|i4:1|bstr:b|i4:2", CHookScenario::FormatValue(v));
}

TEST(HookScenario, StatementsFillWindowsTargetsAndPoints) {
    CHookScenario s;
    int bad = -1;
    ASSERT_HRESULT_SUCCEEDED(s.Parse(LR"(# comment
window main - text="Two words \"quoted\"" rect=1,2,30,40
window edit Edit parent=main hidden=1
fact edit:3 progid=P.1 visible=bool:1   # trailing comment
prop edit Name=bstr:N Name=i4:2
point main 3 -4 edit 3 after=2
reply edit GET_WLS_SIZE_MSG blob=0A0b answer=0 hang=5
)", &bad));
    ASSERT_EQ(2u, s.windows.size());
    EXPECT_EQ(L"Two words \"quoted\"", s.windows[0].text);
    EXPECT_EQ(31, s.windows[0].rect.right);
    EXPECT_TRUE(s.windows[1].hidden);
    EXPECT_EQ(L"main", s.windows[1].parent);
    const CScenarioTarget& wls = s.targets[{L"edit", 3}];
    EXPECT_STREQ(L"P.1", wls.Fact(L"progid")->bstrVal);
    CScenarioTarget& edit = s.targets[{L"edit", 0}];
    ASSERT_EQ(1u, edit.props.size());  // a repeated name replaces the value
    EXPECT_EQ(2, edit.Prop(L"NAME")->lVal);
    ASSERT_EQ(1u, s.points.size());
    EXPECT_EQ(-4, s.points[0].y);
    EXPECT_EQ(2, s.points[0].after);
    const CReplyOverride& r = edit.replies[L"GET_WLS_SIZE_MSG"];
    EXPECT_FALSE(r.answer);
    EXPECT_EQ(5u, r.hangMs);
    ASSERT_EQ(2u, r.blob.size());
    EXPECT_EQ(0x0B, r.blob[1]);

    CHookScenario broken;
    EXPECT_EQ(E_INVALIDARG, broken.Parse(L"window a -\n\nfrobnicate a\n", &bad));
    EXPECT_EQ(3, bad);
    EXPECT_EQ(E_INVALIDARG, broken.Parse(L"reply a GET_PROGID_MSG blob=ABC\n", &bad));
}

TEST(HookScenario, TestControlsAreWindowsOrLiveInAContainer) {
    CHookScenario s;
    int bad = -1;
    ASSERT_HRESULT_SUCCEEDED(s.Parse(LR"(window box KorTestContainer
control ctl KorTest.WndCtl parent=box caption="Big Button" text=T usertype=U hidden=1
window child Button parent=ctl text=OK
windowless box 7 KorTest.Wls rect=1,2,10,20 caption=Seven
)", &bad));
    ASSERT_EQ(3u, s.windows.size());
    const CScenarioWindow& ctl = s.windows[1];
    EXPECT_EQ(kTestControlClass, ctl.className);
    EXPECT_EQ(L"Big Button", ctl.text);  // the window shows its caption
    ASSERT_TRUE(ctl.control);
    EXPECT_EQ(L"KorTest.WndCtl", ctl.control->progId);
    EXPECT_EQ(L"T", ctl.control->text);
    EXPECT_EQ(L"U", ctl.control->userType);
    EXPECT_TRUE(ctl.hidden);
    EXPECT_FALSE(s.windows[2].control);
    ASSERT_EQ(1u, s.windowless.size());
    EXPECT_EQ(L"box", s.windowless[0].container);
    EXPECT_EQ(7, s.windowless[0].cookie);
    EXPECT_EQ(L"Seven", s.windowless[0].control.caption);
    EXPECT_EQ(22, s.windowless[0].rect.bottom);

    CHookScenario broken;
    EXPECT_EQ(E_INVALIDARG, broken.Parse(L"control c P.1\n", &bad));  // a windowed control needs its parent
    EXPECT_EQ(E_INVALIDARG, broken.Parse(L"windowless box 0 P.1\n", &bad));  // cookie 0 is no windowless control
    EXPECT_EQ(E_INVALIDARG, broken.Parse(L"windowless box 7 P.1 parent=x\n", &bad));
}

}  // namespace
