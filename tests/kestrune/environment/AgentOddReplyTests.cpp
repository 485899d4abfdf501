// Replies the agent must not trust, hooks that do not answer, windows that are gone.
#include "AgentFixture.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "tables/KorSafeArray.h"

namespace {

const wchar_t kScenario[] = LR"(
window main - text=Main
window odd KorGrid parent=main rect=10,10,100,100
window odd2 KorGrid parent=main rect=120,10,50,50
window slow KorGrid parent=main rect=180,10,50,50
fact odd activex=1 progid=Odd.Ctl usertype=Odd containers=main,odd,slow containercount=2
fact odd:1 rect=i4[]:1,2,3,4 progid=Wls.Odd usertype=WlsOdd
reply odd:1 GET_WLS_SIZE_MSG blob=0102030405060708090A0B0C
reply odd:1 GET_WLS_PROGID_MSG a=i4:5
reply odd:1 GET_USERTYPE_MSG a=nullbstr
fact odd:2 rect=i4[]:1,2,3,4
reply odd:2 GET_WLS_SIZE_MSG blob=0102030405060708090A0B0C0D0E0F101112131415
fact odd:3 rect=i4[]:1,2,3,4
reply odd:3 GET_WLS_SIZE_MSG blob=none
fact odd:4 rect=i4[]:1,2,3,4
reply odd:4 GET_WLS_SIZE_MSG result=2
reply odd:5 GET_WLS_VISIBLE_STATE answer=0
reply odd GET_PROGID_MSG a=i4:5
reply odd GET_USERTYPE_MSG a=i4:5
reply odd GET_WLS_COOKIES_FROM_CONTAINER result=1 a=bstr[]:a|b
reply odd GET_PROPERTIES_MSG result=1 b=var[1x1]:x
reply odd INVOKE_ACTIVEX_MSG result=1 a=i4:1 b=i4:9
reply odd HWND2IDISPATCH_MSG result=1
reply odd GET_LISTENER result=1
reply odd GET_CREATE_TIME answer=0
reply odd2 GET_CONTAINERS_MSG result=1 a=i4:3
reply odd2 GET_PROPERTIES_MSG result=1 b=i4:1
reply odd2 GET_WLS_COOKIES_FROM_CONTAINER result=1 a=i4[2x2]:1,2,3,4
fact odd2 progid=nullbstr
reply slow GET_CREATE_TIME hang=3000
)";

class AgentOddReplies : public AgentFixture {};

TEST_F(AgentOddReplies, UnusableBlobsGiveAnEmptyRectangle) {
    Start(kScenario);
    for (LONG cookie : {1, 2, 3, 4}) {
        RECT r{9, 9, 9, 9};
        ASSERT_EQ(S_OK, agent_->GetWlsSize(W(L"odd"), cookie, &r)) << cookie;
        EXPECT_TRUE(::IsRectEmpty(&r) && r.left == 0 && r.top == 0) << cookie;
    }
    BOOL visible = TRUE;
    EXPECT_EQ(E_FAIL, agent_->IsWlsVisible(W(L"odd"), 5, &visible));
    EXPECT_FALSE(visible);
}

TEST_F(AgentOddReplies, TextsOfTheWrongTypeAreRefused) {
    Start(kScenario);
    kcom::CComBSTR text(L"stale");
    EXPECT_EQ(E_FAIL, agent_->AcxProgIDQuery(W(L"odd"), text.Put()));
    EXPECT_TRUE(text.IsNull());
    EXPECT_EQ(L"<absent>", Prop(W(L"odd")));
    // A user type that is no string is never handed out as one.
    EXPECT_EQ(E_FAIL, agent_->AcxUserTypeQuery(W(L"odd"), text.Put()));
    EXPECT_TRUE(text.IsNull());
    EXPECT_EQ(E_FAIL, agent_->WlsProgIDQuery(W(L"odd"), 1, text.Put()));
    EXPECT_TRUE(text.IsNull());
    // A null string counts as an empty one.
    ASSERT_EQ(S_OK, agent_->WlsUserTypeQuery(W(L"odd"), 1, text.Put()));
    EXPECT_EQ(0u, text.Length());
    ASSERT_EQ(S_OK, agent_->AcxProgIDQuery(W(L"odd2"), text.Put()));
    EXPECT_EQ(0u, text.Length());
}

TEST_F(AgentOddReplies, ArraysOfTheWrongShapeAreRefused) {
    Start(kScenario);
    ASSERT_EQ(S_OK, agent_->EnableCache(1));
    kcom::CComSafeArray cookies;
    EXPECT_EQ(S_FALSE, agent_->GetWlsCookiesFromContainer(W(L"odd"), cookies.Put()));
    EXPECT_FALSE(cookies);
    EXPECT_EQ(S_FALSE, agent_->GetWlsCookiesFromContainer(W(L"odd"), cookies.Put()));
    EXPECT_EQ(2, Sent(L"GET_WLS_COOKIES_FROM_CONTAINER"));  // nothing was kept
    // Cookie lists of any I4 shape are passed on as they came.
    EXPECT_EQ(S_OK, agent_->GetWlsCookiesFromContainer(W(L"odd2"), cookies.Put()));
    EXPECT_TRUE(cookies);

    kcom::CComSafeArray containers;
    EXPECT_EQ(E_FAIL, agent_->GetContainers(W(L"odd"), containers.Put()));  // 3 elements, count 2
    EXPECT_FALSE(containers);
    EXPECT_EQ(E_FAIL, agent_->GetContainers(W(L"odd2"), containers.Put()));  // no array
    EXPECT_FALSE(containers);

    CKorSafeArray table(2, 2, static_cast<VARTYPE>(VT_VARIANT));
    kcom::CComVariant name(L"Caption"), keep(L"keep");
    table.PutElement(&name, 0, 0);
    table.PutElement(&keep, 0, 1);
    EXPECT_EQ(E_FAIL, agent_->GetPropertiesByHandle(W(L"odd"), 0, table.psa));  // one row for two
    kcom::CComVariant cell;
    table.GetElement(&cell, 0, 1);
    EXPECT_EQ(L"keep", Text(cell));
    EXPECT_EQ(S_OK, agent_->GetPropertiesByHandle(W(L"odd2"), 0, table.psa));  // no table: nothing changes
    cell.Clear();
    table.GetElement(&cell, 0, 1);
    EXPECT_EQ(L"keep", Text(cell));
    CKorSafeArray oneColumn(2, 1, static_cast<VARTYPE>(VT_VARIANT));
    EXPECT_EQ(E_INVALIDARG, agent_->GetPropertiesByHandle(W(L"odd"), 0, oneColumn.psa));

    // A reply whose argument array is no table leaves the caller's own in place.
    kcom::CComQIPtr<IKorAcxDriver> driver(static_cast<IUnknown*>(agent_.get()));
    CKorSafeArray args(1, 1, static_cast<VARTYPE>(VT_VARIANT));
    kcom::CComVariant seven(7);
    args.PutElement(&seven, 0, 0);
    SAFEARRAY* mine = args.psa;
    kcom::CComVariant result(L"untouched");
    EXPECT_EQ(E_FAIL, driver->InvokeMethodByHandle(W(L"odd"), kcom::CComBSTR(L"Add"), &mine, &result));
    EXPECT_EQ(args.psa, mine);
    EXPECT_EQ(L"untouched", Text(result));
    cell.Clear();
    ASSERT_HRESULT_SUCCEEDED(args.GetElement(&cell, 0, 0));
    EXPECT_EQ(7, cell.lVal);
}

TEST_F(AgentOddReplies, AnsweredWithoutAStreamGivesNoDispatch) {
    Start(kScenario);
    kcom::CComPtr<IDispatch> control;
    EXPECT_EQ(E_POINTER, agent_->GetMarshalDisp(W(L"odd"), control.Put()));
    EXPECT_FALSE(control);
    EXPECT_EQ(E_POINTER, agent_->GetListener(W(L"odd"), 0, control.Put()));
    EXPECT_FALSE(control);
}

TEST_F(AgentOddReplies, AHookThatDoesNotAnswerIsAFailure) {
    Start(kScenario, true, 300);
    LONG time = -1;
    EXPECT_EQ(S_FALSE, agent_->GetCreateTime(W(L"odd"), &time, 0));
    EXPECT_EQ(0, time);
    // Stalling past the channel's time-out: the caller is back long before the hook is done.
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(S_FALSE, agent_->GetCreateTime(W(L"slow"), &time, 0));
    EXPECT_LT(::GetTickCount() - start, 2500u);
}

TEST_F(AgentOddReplies, AWindowThatIsGone) {
    Start(kScenario);
    const HWND gone = W(L"odd");
    aut_.Stop();
    LONG isAcx = -1;
    EXPECT_EQ(E_INVALIDARG, agent_->IsAcxControl(gone, &isAcx));
    kcom::CComBSTR text;
    EXPECT_EQ(S_FALSE, agent_->AcxProgIDQuery(gone, text.Put()));
    EXPECT_EQ(E_INVALIDARG, agent_->AcxUserTypeQuery(gone, text.Put()));
    RECT r{};
    EXPECT_EQ(S_FALSE, agent_->GetWlsSize(gone, 1, &r));
    HWND control = nullptr;
    LONG cookie = 0;
    EXPECT_EQ(S_FALSE, agent_->GetCookieFromPoint(gone, 1, 1, &control, &cookie));
    EXPECT_EQ(1, Sent(L"GET_COOKIE_FROM_POINT_MSG"));  // a send failure ends the tries
}

TEST_F(AgentOddReplies, AProcessWithoutTheHook) {
    Start(kScenario, false);
    LONG isAcx = -1;
    ASSERT_EQ(S_OK, agent_->IsAcxControl(W(L"odd"), &isAcx));
    EXPECT_EQ(0, isAcx);
    EXPECT_EQ(L"<not>", Prop(W(L"odd")));
    kcom::CComPtr<IDispatch> control;
    EXPECT_EQ(S_FALSE, agent_->GetMarshalDisp(W(L"odd"), control.Put()));
    kcom::CComVariant value(L"stale");
    EXPECT_EQ(S_FALSE, agent_->GetPropertyByHandle(W(L"odd"), kcom::CComBSTR(L"Caption"), &value));
    EXPECT_EQ(L"stale", Text(value));
    LONG number = -1;
    EXPECT_EQ(S_FALSE, agent_->GetInprocUnknown(W(L"odd"), 0, &number));
    EXPECT_EQ(0, number);
    kcom::CComSafeArray containers;
    EXPECT_TRUE(FAILED(agent_->GetContainers(W(L"odd"), containers.Put())));
    EXPECT_EQ(S_FALSE, agent_->SetAgentData(W(L"odd"), kcom::CComVariant(1)));
}

}  // namespace
