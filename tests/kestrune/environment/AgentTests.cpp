// The agent utility against a real application-under-test process: what it sends, what it
// answers and what it keeps.
#include "AgentFixture.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "tables/KorSafeArray.h"

namespace {

const wchar_t kScenario[] = LR"(
window main - text=Main
window grid KorGrid parent=main rect=10,10,200,100
window grid2 KorGrid parent=main rect=10,300,50,50
window plain STATIC parent=main text=plain rect=10,120,100,30
window hiddenplain STATIC parent=main hidden=1 rect=120,120,50,30
window rpc QuorvelInteractiveRPCx parent=main rect=10,160,40,20
window afx AfxWnd40 parent=main rect=60,160,40,20
window olehost AfxOleControl42 parent=main rect=110,160,60,40
window olecover STATIC parent=olehost rect=0,0,60,40
window host MixedHost parent=main rect=220,10,100,60
window cover STATIC parent=host rect=0,0,100,60
window skipme SkipMeClass parent=main rect=220,80,30,30
window sun SunAwtFrame parent=main rect=220,120,60,60
window sunchild STATIC parent=sun rect=5,5,20,20
fact grid activex=5 progid=MSFlexGrid.Grid.1 usertype="Flex Grid" dispatch=1 listener=1
fact grid createtime=777 inproc=i4:0x1234 handlecookie=9
fact grid2 activex=1 progid=Second.Ctl usertype="Second Type"
fact sun activex=1
fact sunchild activex=1
prop grid Caption=bstr:Hello Rows=i4:3 Flag=bool:1
method grid Add=i4:42
fact grid:7 progid=Wls.Button usertype="Wls Btn" rect=i4[]:1,2,31,22 visible=1 createtime=555
fact grid:8 rect=i4[]:5,5,6,6 visible=0
fact main cookies=i4[3x1]:7,8,9 containers=grid,plain containercount=2
point main -1 5 grid 7 after=2
reply plain GET_WLS_SIZE_MSG answer=0
)";

class Agent : public AgentFixture {
protected:
    void SetUp() override { Start(kScenario); }
};

TEST_F(Agent, SetRackTakesTheOutputChannelFromTheRack) {
    kcom::CComQIPtr<IObjectRackClient> client(static_cast<IUnknown*>(agent_.get()));
    auto bare = standin::Holder<standin::CRackStandIn>::New();
    EXPECT_EQ(E_UNEXPECTED, client->SetRack(bare.as<IObjectRack>()));
    // Without a channel nothing reaches the hook.
    LONG time = -1;
    EXPECT_EQ(S_FALSE, agent_->GetCreateTime(W(L"grid"), &time, 0));
    EXPECT_EQ(0, time);
    EXPECT_EQ(0, aut_.HookCount(L"GET_CREATE_TIME"));
    EXPECT_EQ(S_OK, client->SetRack(nullptr));
    EXPECT_EQ(S_OK, client->SetRack(rack_.as<IObjectRack>()));
    EXPECT_EQ(S_OK, agent_->GetCreateTime(W(L"grid"), &time, 0));
    EXPECT_EQ(777, time);
}

TEST_F(Agent, DetectionIsKeptInTheWindowProperty) {
    LONG isAcx = -1;
    ASSERT_EQ(S_OK, agent_->IsAcxControl(W(L"grid"), &isAcx));
    EXPECT_EQ(5, isAcx);  // the hook's value as it came
    EXPECT_EQ(L"", Prop(W(L"grid")));
    ASSERT_EQ(S_OK, agent_->IsAcxControl(W(L"grid"), &isAcx));
    EXPECT_EQ(1, isAcx);  // cached
    EXPECT_EQ(1, Sent(L"IS_ACTIVEX_MSG"));
    EXPECT_EQ(1, aut_.HookCount(L"IS_ACTIVEX_MSG"));

    // A visible ordinary window is asked once and remembered as not ActiveX.
    ASSERT_EQ(S_OK, agent_->IsAcxControl(W(L"plain"), &isAcx));
    ASSERT_EQ(S_OK, agent_->IsAcxControl(W(L"plain"), &isAcx));
    EXPECT_EQ(0, isAcx);
    EXPECT_EQ(L"<not>", Prop(W(L"plain")));
    EXPECT_EQ(2, Sent(L"IS_ACTIVEX_MSG"));

    // Windows whose negative answer must stay open are asked every time.
    for (const wchar_t* name : {L"hiddenplain", L"afx", L"olecover", L"cover", L"skipme"}) {
        const LONG before = Sent(L"IS_ACTIVEX_MSG");
        ASSERT_EQ(S_OK, agent_->IsAcxControl(W(name), &isAcx)) << name;
        ASSERT_EQ(S_OK, agent_->IsAcxControl(W(name), &isAcx)) << name;
        EXPECT_EQ(0, isAcx) << name;
        EXPECT_EQ(before + 2, Sent(L"IS_ACTIVEX_MSG")) << name;
        EXPECT_EQ(L"<absent>", Prop(W(name))) << name;
    }

    // Never probed: the host's own RPC windows (cached) and anything inside a Sun AWT window.
    const LONG before = Sent(L"IS_ACTIVEX_MSG");
    ASSERT_EQ(S_OK, agent_->IsAcxControl(W(L"rpc"), &isAcx));
    EXPECT_EQ(0, isAcx);
    EXPECT_EQ(L"<not>", Prop(W(L"rpc")));
    for (const wchar_t* name : {L"sun", L"sunchild"}) {
        ASSERT_EQ(S_OK, agent_->IsAcxControl(W(name), &isAcx)) << name;
        EXPECT_EQ(0, isAcx) << name;
    }
    EXPECT_EQ(before, Sent(L"IS_ACTIVEX_MSG"));

    EXPECT_EQ(E_POINTER, agent_->IsAcxControl(W(L"grid"), nullptr));
    EXPECT_EQ(E_INVALIDARG, agent_->IsAcxControl(reinterpret_cast<HWND>(0x7FFF0), &isAcx));

    // The destructor's sweep takes every property away again.
    EXPECT_EQ(S_OK, agent_->ClearAllWindowProps());
    EXPECT_EQ(L"<absent>", Prop(W(L"grid")));
    EXPECT_EQ(L"<absent>", Prop(W(L"plain")));
}

TEST_F(Agent, ProgIdAndUserTypeShareOneWindowProperty) {
    LONG isAcx = 0;
    ASSERT_EQ(S_OK, agent_->IsAcxControl(W(L"grid"), &isAcx));
    kcom::CComBSTR progId;
    ASSERT_EQ(S_OK, agent_->AcxProgIDQuery(W(L"grid"), progId.Put()));
    EXPECT_STREQ(L"MSFlexGrid.Grid.1", progId.c_str());
    EXPECT_EQ(L"MSFlexGrid.Grid.1", Prop(W(L"grid")));
    ASSERT_EQ(S_OK, agent_->AcxProgIDQuery(W(L"grid"), progId.Put()));
    EXPECT_EQ(1, Sent(L"GET_PROGID_MSG"));

    // The user type first: the property says so before the ProgID is known.
    kcom::CComBSTR userType;
    ASSERT_EQ(S_OK, agent_->AcxUserTypeQuery(W(L"grid2"), userType.Put()));
    EXPECT_STREQ(L"Second Type", userType.c_str());
    EXPECT_EQ(L"|@|Second Type", Prop(W(L"grid2")));
    ASSERT_EQ(S_OK, agent_->AcxProgIDQuery(W(L"grid2"), progId.Put()));
    EXPECT_STREQ(L"Second.Ctl", progId.c_str());
    EXPECT_EQ(L"Second.Ctl|@|Second Type", Prop(W(L"grid2")));
    ASSERT_EQ(S_OK, agent_->AcxUserTypeQuery(W(L"grid2"), userType.Put()));
    EXPECT_EQ(1, Sent(L"GET_USERTYPE_MSG"));
    LONG cached = 0;
    ASSERT_EQ(S_OK, agent_->IsAcxControl(W(L"grid2"), &cached));
    EXPECT_EQ(1, cached);
    EXPECT_EQ(0, Sent(L"IS_ACTIVEX_MSG") - 1);  // only grid was probed

    // Known not to be ActiveX: no request at all.
    ASSERT_EQ(S_OK, agent_->IsAcxControl(W(L"plain"), &isAcx));
    EXPECT_EQ(E_FAIL, agent_->AcxProgIDQuery(W(L"plain"), progId.Put()));
    EXPECT_EQ(E_FAIL, agent_->AcxUserTypeQuery(W(L"plain"), userType.Put()));
    EXPECT_EQ(2, Sent(L"GET_PROGID_MSG"));

    EXPECT_EQ(E_POINTER, agent_->AcxProgIDQuery(W(L"grid"), nullptr));
    EXPECT_EQ(E_INVALIDARG, agent_->AcxProgIDQuery(nullptr, progId.Put()));
    EXPECT_EQ(E_INVALIDARG, agent_->AcxUserTypeQuery(nullptr, userType.Put()));
    EXPECT_EQ(E_INVALIDARG, agent_->AcxUserTypeQuery(reinterpret_cast<HWND>(0x7FFF0), userType.Put()));

    EXPECT_EQ(S_OK, agent_->ClearCachedInfo(W(L"grid2")));
    EXPECT_EQ(L"<absent>", Prop(W(L"grid2")));
}

TEST_F(Agent, WindowlessIdentityIsKeptPerCookie) {
    kcom::CComBSTR text;
    ASSERT_EQ(S_OK, agent_->WlsProgIDQuery(W(L"grid"), 7, text.Put()));
    EXPECT_STREQ(L"Wls.Button", text.c_str());
    ASSERT_EQ(S_OK, agent_->WlsProgIDQuery(W(L"grid"), 7, text.Put()));
    ASSERT_EQ(S_OK, agent_->WlsUserTypeQuery(W(L"grid"), 7, text.Put()));
    EXPECT_STREQ(L"Wls Btn", text.c_str());
    ASSERT_EQ(S_OK, agent_->WlsUserTypeQuery(W(L"grid"), 7, text.Put()));
    EXPECT_EQ(1, Sent(L"GET_WLS_PROGID_MSG"));
    EXPECT_EQ(1, Sent(L"GET_USERTYPE_MSG"));
    // Kept whatever the cache switch says, until the cookie is cleared under every window.
    ASSERT_EQ(S_OK, agent_->EnableCache(0));
    ASSERT_EQ(S_OK, agent_->WlsProgIDQuery(W(L"grid"), 7, text.Put()));
    EXPECT_EQ(1, Sent(L"GET_WLS_PROGID_MSG"));
    EXPECT_EQ(S_OK, agent_->ClearWlsCachedInfo(nullptr, 7));
    ASSERT_EQ(S_OK, agent_->WlsProgIDQuery(W(L"grid"), 7, text.Put()));
    ASSERT_EQ(S_OK, agent_->WlsUserTypeQuery(W(L"grid"), 7, text.Put()));
    EXPECT_EQ(2, Sent(L"GET_WLS_PROGID_MSG"));
    EXPECT_EQ(2, Sent(L"GET_USERTYPE_MSG"));

    // No ProgID for that cookie: E_FAIL, nothing kept.
    EXPECT_EQ(E_FAIL, agent_->WlsProgIDQuery(W(L"grid"), 99, text.Put()));
    EXPECT_TRUE(text.IsNull());
    EXPECT_EQ(E_FAIL, agent_->WlsProgIDQuery(W(L"grid"), 99, text.Put()));
    EXPECT_EQ(4, Sent(L"GET_WLS_PROGID_MSG"));
    EXPECT_EQ(E_INVALIDARG, agent_->WlsProgIDQuery(nullptr, 7, text.Put()));
    EXPECT_EQ(E_INVALIDARG, agent_->WlsUserTypeQuery(reinterpret_cast<HWND>(0x7FFF0), 7, text.Put()));
    EXPECT_EQ(2, Sent(L"GET_USERTYPE_MSG"));  // refused before anything is sent
    EXPECT_EQ(E_POINTER, agent_->WlsUserTypeQuery(W(L"grid"), 7, nullptr));
}

TEST_F(Agent, WindowlessFactsAreCachedOnlyWhileCachingIsOn) {
    LONG enabled = -1;
    ASSERT_EQ(S_OK, agent_->IsCacheEnabled(&enabled));
    EXPECT_EQ(0, enabled);
    RECT r{};
    ASSERT_EQ(S_OK, agent_->GetWlsSize(W(L"grid"), 7, &r));
    ASSERT_EQ(S_OK, agent_->GetWlsSize(W(L"grid"), 7, &r));
    EXPECT_EQ(2, Sent(L"GET_WLS_SIZE_MSG"));
    EXPECT_EQ(1, r.left);
    EXPECT_EQ(2, r.top);
    EXPECT_EQ(31, r.right);
    EXPECT_EQ(22, r.bottom);

    ASSERT_EQ(S_OK, agent_->EnableCache(1));
    ASSERT_EQ(S_OK, agent_->GetWlsSize(W(L"grid"), 7, &r));
    ASSERT_EQ(S_OK, agent_->GetWlsSize(W(L"grid"), 7, &r));
    EXPECT_EQ(3, Sent(L"GET_WLS_SIZE_MSG"));
    EXPECT_EQ(S_OK, agent_->SetTestMode(ACX_FLOW_EVENT_START_ITERATION));
    EXPECT_EQ(S_OK, agent_->SetTestMode(ACX_FLOW_EVENT_ERROR));
    ASSERT_EQ(S_OK, agent_->GetWlsSize(W(L"grid"), 7, &r));
    EXPECT_EQ(3, Sent(L"GET_WLS_SIZE_MSG"));
    EXPECT_EQ(S_OK, agent_->SetTestMode(ACX_FLOW_EVENT_START_REPLAY));
    ASSERT_EQ(S_OK, agent_->GetWlsSize(W(L"grid"), 7, &r));
    EXPECT_EQ(4, Sent(L"GET_WLS_SIZE_MSG"));
    EXPECT_EQ(31, r.right);

    // Visibility shares the entry; the rectangle stays.
    BOOL visible = FALSE;
    ASSERT_EQ(S_OK, agent_->IsWlsVisible(W(L"grid"), 7, &visible));
    EXPECT_TRUE(visible);
    ASSERT_EQ(S_OK, agent_->IsWlsVisible(W(L"grid"), 8, &visible));
    EXPECT_FALSE(visible);
    ASSERT_EQ(S_OK, agent_->IsWlsVisible(W(L"grid"), 7, &visible));
    ASSERT_EQ(S_OK, agent_->IsWlsVisible(W(L"grid"), 8, &visible));
    EXPECT_FALSE(visible);
    EXPECT_EQ(2, Sent(L"GET_WLS_VISIBLE_STATE"));
    ASSERT_EQ(S_OK, agent_->GetWlsSize(W(L"grid"), 7, &r));
    EXPECT_EQ(4, Sent(L"GET_WLS_SIZE_MSG"));

    // Cookie lists: the caller always gets its own copy.
    kcom::CComSafeArray first, second;
    ASSERT_EQ(S_OK, agent_->GetWlsCookiesFromContainer(W(L"main"), first.Put()));
    ASSERT_EQ(S_OK, agent_->GetWlsCookiesFromContainer(W(L"main"), second.Put()));
    EXPECT_EQ(1, Sent(L"GET_WLS_COOKIES_FROM_CONTAINER"));
    ASSERT_NE(first.get(), second.get());
    CKorSafeArray cookies;
    cookies.Attach(second, false);
    ASSERT_EQ(3u, cookies.GetRowCount());
    LONG cookie = 0;
    ASSERT_HRESULT_SUCCEEDED(cookies.GetElement(&cookie, 2, 0));
    EXPECT_EQ(9, cookie);
    EXPECT_EQ(S_OK, agent_->ClearCachedInfo(W(L"main")));
    ASSERT_EQ(S_OK, agent_->GetWlsCookiesFromContainer(W(L"main"), second.Put()));
    EXPECT_EQ(2, Sent(L"GET_WLS_COOKIES_FROM_CONTAINER"));

    // A request that does not reach the hook leaves the caller's RECT and the cache alone.
    RECT untouched{-5, -5, -5, -5};
    EXPECT_EQ(S_FALSE, agent_->GetWlsSize(W(L"plain"), 0, &untouched));
    EXPECT_EQ(-5, untouched.left);
    EXPECT_EQ(S_FALSE, agent_->GetWlsSize(W(L"plain"), 0, &untouched));
    EXPECT_EQ(6, Sent(L"GET_WLS_SIZE_MSG"));

    // Turning caching off forgets what was kept.
    ASSERT_EQ(S_OK, agent_->EnableCache(0));
    ASSERT_EQ(S_OK, agent_->EnableCache(1));
    ASSERT_EQ(S_OK, agent_->GetWlsSize(W(L"grid"), 7, &r));
    EXPECT_EQ(7, Sent(L"GET_WLS_SIZE_MSG"));
    // Clearing one control drops its entry and its container's cookie list.
    EXPECT_EQ(S_OK, agent_->ClearWlsCachedInfo(W(L"grid"), 7));
    ASSERT_EQ(S_OK, agent_->GetWlsSize(W(L"grid"), 7, &r));
    EXPECT_EQ(8, Sent(L"GET_WLS_SIZE_MSG"));
    EXPECT_EQ(E_POINTER, agent_->GetWlsSize(W(L"grid"), 7, nullptr));
    EXPECT_EQ(E_POINTER, agent_->IsCacheEnabled(nullptr));
}

TEST_F(Agent, PointsArePackedAndAskedAgainUntilTheHookAnswers) {
    HWND control = nullptr;
    LONG cookie = 0;
    ASSERT_EQ(S_OK, agent_->GetCookieFromPoint(W(L"main"), -1, 5, &control, &cookie));
    EXPECT_EQ(W(L"grid"), control);
    EXPECT_EQ(7, cookie);
    EXPECT_EQ(3, Sent(L"GET_COOKIE_FROM_POINT_MSG"));  // two unanswered tries first

    // Nothing under the point: exactly a hundred tries, then no.
    control = nullptr;
    cookie = -1;
    EXPECT_EQ(S_FALSE, agent_->GetCookieFromPoint(W(L"main"), 50, 50, &control, &cookie));
    EXPECT_EQ(103, Sent(L"GET_COOKIE_FROM_POINT_MSG"));
    EXPECT_EQ(nullptr, control);
    EXPECT_EQ(-1, cookie);
    // Out-values are optional.
    EXPECT_EQ(S_OK, agent_->GetCookieFromPoint(W(L"main"), -1, 5, nullptr, nullptr));
}

TEST_F(Agent, DispatchAndListenerAreServedByTheApplication) {
    kcom::CComPtr<IDispatch> control;
    ASSERT_EQ(S_OK, agent_->GetMarshalDisp(W(L"grid"), control.Put()));
    ASSERT_TRUE(control);
    kcom::CComVariant pid;
    ASSERT_HRESULT_SUCCEEDED(CallByName(control, L"ProcessId", DISPATCH_PROPERTYGET, &pid));
    EXPECT_EQ(static_cast<LONG>(aut_.ProcessId()), pid.lVal);

    kcom::CComPtr<IDispatch> wls;
    EXPECT_EQ(S_FALSE, agent_->GetWlsMarshalDisp(W(L"grid"), 7, wls.Put()));
    EXPECT_FALSE(wls);
    EXPECT_EQ(S_FALSE, agent_->GetMarshalDisp(W(L"plain"), wls.Put()));
    EXPECT_EQ(3, Sent(L"HWND2IDISPATCH_MSG"));

    kcom::CComPtr<IDispatch> listener;
    ASSERT_EQ(S_OK, agent_->GetListener(W(L"grid"), 0, listener.Put()));
    ASSERT_TRUE(listener);
    EXPECT_EQ(E_FAIL, agent_->GetListener(W(L"plain"), 0, listener.Put()));
    EXPECT_FALSE(listener);
    EXPECT_EQ(E_POINTER, agent_->GetMarshalDisp(W(L"grid"), nullptr));
}

TEST_F(Agent, PropertiesByNameAndByTable) {
    kcom::CComVariant value(L"stale");
    ASSERT_EQ(S_OK, agent_->GetPropertyByHandle(W(L"grid"), kcom::CComBSTR(L"Rows"), &value));
    EXPECT_EQ(VT_I4, value.vt);
    EXPECT_EQ(3, value.lVal);
    ASSERT_EQ(S_OK, agent_->GetPropertyByHandle(W(L"grid"), kcom::CComBSTR(L"Nothing"), &value));
    EXPECT_EQ(VT_EMPTY, value.vt);  // unanswered: the old value is cleared
    ASSERT_EQ(S_OK, agent_->GetWlsPropertyByHandle(W(L"grid"), 0, kcom::CComBSTR(L"Caption"), &value));
    EXPECT_EQ(L"Hello", Text(value));
    ASSERT_EQ(S_OK, agent_->GetAllPropertiesNameByHandle(W(L"grid"), &value));
    EXPECT_EQ(L"Caption\tRows\tFlag", Text(value));
    ASSERT_EQ(S_OK, agent_->GetWlsAllPropertiesNameByHandle(W(L"grid"), 0, &value));
    EXPECT_EQ(L"Caption\tRows\tFlag", Text(value));
    EXPECT_EQ(2, Sent(L"GET_ACTIVEX_PROPERTIES_NAME_MSG"));

    CKorSafeArray table(3, 2, static_cast<VARTYPE>(VT_VARIANT));
    kcom::CComVariant caption(L"Caption"), rows(L"Rows"), unknown(L"Unknown"), before(L"before");
    table.PutElement(&caption, 0, 0);
    table.PutElement(&rows, 1, 0);
    table.PutElement(&unknown, 2, 0);
    table.PutElement(&before, 2, 1);
    ASSERT_EQ(S_OK, agent_->GetPropertiesByHandle(W(L"grid"), 0, table.psa));
    kcom::CComVariant cell;
    table.GetElement(&cell, 0, 1);
    EXPECT_EQ(L"Hello", Text(cell));
    cell.Clear();
    table.GetElement(&cell, 1, 1);
    EXPECT_EQ(3, cell.lVal);
    cell.Clear();
    table.GetElement(&cell, 2, 1);
    EXPECT_EQ(VT_EMPTY, cell.vt);
    const std::vector<std::wstring> log = aut_.HookLog();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(std::wstring::npos, log.back().find(L"GET_PROPERTIES_MSG grid:0 var[3x2]:bstr:Caption|empty|bstr:Rows"));

    EXPECT_EQ(E_INVALIDARG, agent_->GetPropertiesByHandle(W(L"grid"), 0, nullptr));
    EXPECT_EQ(E_POINTER, agent_->GetPropertyByHandle(W(L"grid"), kcom::CComBSTR(L"Rows"), nullptr));
}

TEST_F(Agent, SettersMethodsAndAgentDataReachTheHook) {
    kcom::CComQIPtr<IKorAcxDriver> driver(static_cast<IUnknown*>(agent_.get()));
    ASSERT_TRUE(driver);
    EXPECT_EQ(E_FAIL, driver->SetPropertyByHandle(W(L"grid"), kcom::CComBSTR(L"Caption"), kcom::CComVariant(5)));
    EXPECT_EQ(0, Sent(L"SET_ACTIVEX_PROPERTY_MSG"));
    ASSERT_EQ(S_OK, driver->SetPropertyByHandle(W(L"grid"), kcom::CComBSTR(L"Caption"), kcom::CComVariant(L"New")));
    kcom::CComVariant value;
    ASSERT_EQ(S_OK, driver->GetPropertyByHandle(W(L"grid"), kcom::CComBSTR(L"Caption"), &value));
    EXPECT_EQ(L"New", Text(value));
    EXPECT_EQ(E_FAIL, driver->SetPropertyByHandle(W(L"hiddenplain"), kcom::CComBSTR(L"Caption"), kcom::CComVariant(L"x")));

    // The argument array is lent: replaced by the reply's on success, kept on failure.
    CKorSafeArray args(2, 1, static_cast<VARTYPE>(VT_VARIANT));
    kcom::CComVariant one(1), two(2);
    args.PutElement(&one, 0, 0);
    args.PutElement(&two, 1, 0);
    SAFEARRAY* mine = args.Detach();
    kcom::CComVariant result;
    ASSERT_EQ(S_OK, driver->InvokeMethodByHandle(W(L"grid"), kcom::CComBSTR(L"Add"), &mine, &result));
    kcom::CComSafeArray replied(mine);
    EXPECT_EQ(42, result.lVal);
    CKorSafeArray back;
    back.Attach(replied, false);
    EXPECT_EQ(2u, back.GetRowCount());

    SAFEARRAY* kept = replied.Detach();
    EXPECT_EQ(E_FAIL, driver->InvokeMethodByHandle(W(L"grid"), kcom::CComBSTR(L"Missing"), &kept, &result));
    replied.Reset(kept);
    kcom::CComVariant cell;
    back.Attach(replied, false);
    ASSERT_HRESULT_SUCCEEDED(back.GetElement(&cell, 1, 0));
    EXPECT_EQ(2, cell.lVal);

    kept = replied.Detach();
    ASSERT_EQ(S_OK, driver->InvokeUserMessage(W(L"grid"), kcom::CComBSTR(L"Add"), kcom::CComBSTR(L"extra"), &kept,
                                              &result));
    replied.Reset(kept);
    EXPECT_EQ(42, result.lVal);
    const std::vector<std::wstring> log = aut_.HookLog();
    ASSERT_GE(log.size(), 3u);
    EXPECT_NE(std::wstring::npos, log.back().find(L"INVOKE_USER_MSG grid:0 var[2x1]:bstr:Add|bstr:extra"));
    EXPECT_EQ(E_POINTER, driver->InvokeMethodByHandle(W(L"grid"), kcom::CComBSTR(L"Add"), nullptr, &result));

    // Agent data: the caller keeps its own value.
    kcom::CComVariant data(L"payload");
    EXPECT_EQ(S_OK, agent_->SetAgentData(W(L"grid"), data));
    EXPECT_EQ(L"payload", Text(data));
    EXPECT_NE(std::wstring::npos, aut_.HookLog().back().find(L"SET_AGENT_DATA grid:0 bstr:payload"));
    EXPECT_EQ(S_FALSE, agent_->SetAgentData(W(L"hiddenplain"), data));
}

TEST_F(Agent, NumbersAndContainers) {
    LONG value = -1;
    ASSERT_EQ(S_OK, agent_->GetInprocUnknown(W(L"grid"), 0, &value));
    EXPECT_EQ(0x1234, value);
    ASSERT_EQ(S_OK, agent_->GetInprocUnknown(W(L"plain"), 0, &value));
    EXPECT_EQ(0, value);
    ASSERT_EQ(S_OK, agent_->GetCreateTime(W(L"grid"), &value, 0));
    EXPECT_EQ(777, value);
    ASSERT_EQ(S_OK, agent_->GetCreateTime(W(L"grid"), &value, 7));  // the windowless control's own
    EXPECT_EQ(555, value);
    ASSERT_EQ(S_OK, agent_->GetCookieFromHandle(W(L"grid"), &value));
    EXPECT_EQ(9, value);
    ASSERT_EQ(S_OK, agent_->GetCookieFromHandle(W(L"plain"), &value));
    EXPECT_EQ(0, value);

    kcom::CComSafeArray containers;
    ASSERT_EQ(S_OK, agent_->GetContainers(W(L"main"), containers.Put()));
    ASSERT_TRUE(containers);
    EXPECT_EQ(2u, containers.get()->rgsabound[0].cElements);
    kcom::CComVariant first;
    LONG at = 0;
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayGetElement(containers, &at, &first));
    EXPECT_EQ(static_cast<LONG>(reinterpret_cast<UINT_PTR>(W(L"grid"))), first.lVal);
    EXPECT_EQ(E_POINTER, agent_->GetContainers(W(L"main"), nullptr));
}

}  // namespace
