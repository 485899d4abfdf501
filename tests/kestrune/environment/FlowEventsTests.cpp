// The flow-event sink connected to stand-ins of the host's event connector and input channel,
// with the process's one agent utility and a real application-under-test process.
#include <olectl.h>
#include "environment/AcxFlowEvents.h"
#include "environment/KestruneMgr.h"
#include "contracts/AcxSetting.h"
#include "AgentFixture.h"
#include "environment/ObjectMap.h"
#include "OrlentyStandIn.h"

namespace {

const wchar_t kScenario[] = LR"(
window main - text=Main
window grid KorGrid parent=main rect=10,10,200,100
fact grid activex=1 progid=Grid.Ctl cookies=i4[2x1]:7,8
fact grid:7 rect=i4[]:1,2,31,22 progid=Wls.Seven
)";

// A window-message record as the recorder hands it over.
struct WindowRecord {
    BYTE bytes[32] = {};
    WindowRecord(HWND window, WORD message) {
        const DWORD w = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window));
        memcpy(bytes + 8, &w, 4);
        memcpy(bytes + 12, &message, 2);
    }
};

class FlowEvents : public AgentFixture {
protected:
    void SetUp() override {
        // The sink creates the agent by CLSID.
        StartRegistered(kScenario);

        connector_ = standin::Holder<standin::CEventConnectorStandIn>::New();
        channel_in_ = standin::Holder<standin::CInputChannelStandIn>::New();
        OrlentyStandIn_SetEventConnector(connector_.as<IKorEventConnector>());
        OrlentyStandIn_SetInputChannel(channel_in_.as<IKorInputChannel>());
        ASSERT_HRESULT_SUCCEEDED((kcom::CreateObject<CAcxFlowEvents, IObjectRackClient>(sink_.Put())));
        ASSERT_EQ(S_OK, sink_->SetRack(rack_.as<IObjectRack>()));
        PelluceStub_Reset();
    }

    void TearDown() override {
        if (kcom::CComQIPtr<IAcxFlowEvents> flow{static_cast<IUnknown*>(sink_.get())}) flow->Disconnect();
        sink_.Release();
        OrlentyStandIn_Reset();
        AgentFixture::TearDown();
    }

    // Hands a record to every registered target as the recorder does: the medium's handle is the
    // record's address. Answers the last target's code.
    ULONG Deliver(UINT format, const void* record) {
        FORMATETC fmt{static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = const_cast<void*>(record);
        ULONG mdRet = 0;
        for (const auto& target : channel_in_->Targets()) EXPECT_EQ(S_OK, target->ReceiveData(&fmt, &medium, &mdRet));
        return mdRet;
    }

    standin::Holder<standin::CEventConnectorStandIn> connector_;
    standin::Holder<standin::CInputChannelStandIn> channel_in_;
    kcom::CComPtr<IObjectRackClient> sink_;
};

// A refused record advise is reported, though the other steps still run.
TEST_F(FlowEvents, ARefusedAdviseIsNotReportedAsConnected) {
    auto refusing = standin::Holder<standin::CEventConnectorStandIn>::New();
    refusing->RefuseAdvise(__uuidof(_KorFlowRecordEvents), CONNECT_E_CANNOTCONNECT);
    OrlentyStandIn_SetEventConnector(refusing.as<IKorEventConnector>());
    kcom::CComPtr<IObjectRackClient> other;
    ASSERT_HRESULT_SUCCEEDED((kcom::CreateObject<CAcxFlowEvents, IObjectRackClient>(other.Put())));
    EXPECT_EQ(CONNECT_E_CANNOTCONNECT, other->SetRack(rack_.as<IObjectRack>()));
    EXPECT_EQ(1u, refusing->AdvisedCount());  // the replay events still reach it
    EXPECT_EQ(2u, channel_in_->Targets().size());
    kcom::CComQIPtr<IAcxFlowEvents>{static_cast<IUnknown*>(other.get())}->Disconnect();
}

TEST_F(FlowEvents, SetRackConnectsToTheConnectorAndTheInputChannel) {
    EXPECT_EQ((std::vector<std::wstring>{L"Advise(sink,0,{77E75160-9686-11D3-92C3-00500402D4C2})",
                                         L"Advise(sink,0,{5E2115C0-9686-11D3-92C3-00500402D4C2})"}),
              connector_->Log().Lines());
    EXPECT_EQ(1u, channel_in_->Targets().size());
    EXPECT_EQ(L"RegisterDataTarget(target,8)", channel_in_->Log().Lines().back());

    kcom::CComPtr<IObjectRackClient> other;
    ASSERT_HRESULT_SUCCEEDED((kcom::CreateObject<CAcxFlowEvents, IObjectRackClient>(other.Put())));
    EXPECT_EQ(E_FAIL, other->SetRack(nullptr));
    OrlentyStandIn_SetInputChannel(nullptr);
    EXPECT_EQ(E_FAIL, other->SetRack(rack_.as<IObjectRack>()));
    OrlentyStandIn_SetEventConnector(nullptr);
    EXPECT_EQ(E_FAIL, other->SetRack(rack_.as<IObjectRack>()));
}

TEST_F(FlowEvents, EventsResetTheWindowlessCachesExceptIterationsAndErrors) {
    ASSERT_EQ(S_OK, agent_->EnableCache(1));
    RECT r{};
    ASSERT_EQ(S_OK, agent_->GetWlsSize(W(L"grid"), 7, &r));
    auto record = connector_->Sinks<_KorFlowRecordEvents>().front();
    auto replay = connector_->Sinks<_KorFlowReplayEvents>().front();
    LONG expected = 1;
    const auto check = [&](const char* what, bool resets) {
        ASSERT_EQ(S_OK, agent_->GetWlsSize(W(L"grid"), 7, &r)) << what;
        if (resets) ++expected;
        EXPECT_EQ(expected, Sent(L"GET_WLS_SIZE_MSG")) << what;
    };
    EXPECT_EQ(S_OK, replay->StartIteration(1));
    check("StartIteration", false);
    EXPECT_EQ(S_OK, replay->EndIteration(1));
    check("EndIteration", false);
    EXPECT_EQ(S_OK, replay->Error());
    check("Error", false);
    EXPECT_EQ(S_OK, record->StartRecord());
    check("StartRecord", true);
    EXPECT_EQ(S_OK, record->EndRecord());
    check("EndRecord", true);
    EXPECT_EQ(S_OK, replay->StartReplay(1));
    check("StartReplay", true);
    EXPECT_EQ(S_OK, replay->PauseReplay());
    check("PauseReplay", true);
    EXPECT_EQ(S_OK, replay->ResumeReplay());
    check("ResumeReplay", true);
    EXPECT_EQ(S_OK, replay->EndReplay());
    check("EndReplay", true);
}

TEST_F(FlowEvents, QuitEventsUnadviseOnlyWithARack) {
    auto record = connector_->Sinks<_KorFlowRecordEvents>().front();
    auto replay = connector_->Sinks<_KorFlowReplayEvents>().front();
    // Without a rack the record subscription stays.
    kcom::CComPtr<IObjectRackClient> detached;
    ASSERT_HRESULT_SUCCEEDED((kcom::CreateObject<CAcxFlowEvents, IObjectRackClient>(detached.Put())));
    kcom::CComQIPtr<_KorFlowRecordEvents> lone(static_cast<IUnknown*>(detached.get()));
    EXPECT_EQ(S_OK, lone->QuitRecord());
    EXPECT_EQ(2u, connector_->AdvisedCount());

    ASSERT_EQ(S_OK, agent_->EnableCache(1));
    RECT r{};
    ASSERT_EQ(S_OK, agent_->GetWlsSize(W(L"grid"), 7, &r));
    EXPECT_EQ(S_OK, record->QuitRecord());
    EXPECT_EQ(1u, connector_->AdvisedCount());
    EXPECT_EQ(L"Unadvise(1)", connector_->Log().Lines().back());
    EXPECT_EQ(S_OK, replay->QuitReplay());
    EXPECT_EQ(0u, connector_->AdvisedCount());
    // A quit passes nothing to the agent.
    ASSERT_EQ(S_OK, agent_->GetWlsSize(W(L"grid"), 7, &r));
    EXPECT_EQ(1, Sent(L"GET_WLS_SIZE_MSG"));
    // A second quit finds no subscription to end.
    EXPECT_NE(S_OK, record->QuitRecord());
}

TEST_F(FlowEvents, DestroyRecordsClearTheWindowsCachedInformation) {
    const HWND grid = W(L"grid");
    LONG isAcx = 0;
    ASSERT_EQ(S_OK, agent_->IsAcxControl(grid, &isAcx));
    ASSERT_EQ(S_OK, agent_->EnableCache(1));
    kcom::CComSafeArray cookies;
    ASSERT_EQ(S_OK, agent_->GetWlsCookiesFromContainer(grid, cookies.Put()));
    RecordedWindowMap[grid] = 0;
    const UINT format = ::RegisterClipboardFormatW(L"FormaShelHalonotRegilim");

    // Other messages change nothing.
    WindowRecord click(grid, WM_LBUTTONDOWN);
    EXPECT_EQ(8u, Deliver(format, click.bytes));
    EXPECT_EQ(L"", Prop(grid));
    EXPECT_EQ(1u, RecordedWindowMap.count(grid));

    WindowRecord destroy(grid, WM_DESTROY);
    EXPECT_EQ(8u, Deliver(format, destroy.bytes));
    EXPECT_EQ(L"<absent>", Prop(grid));
    EXPECT_EQ(0u, RecordedWindowMap.count(grid));
    ASSERT_EQ(S_OK, agent_->GetWlsCookiesFromContainer(grid, cookies.Put()));
    EXPECT_EQ(2, Sent(L"GET_WLS_COOKIES_FROM_CONTAINER"));
    EXPECT_EQ(8u, Deliver(format, destroy.bytes));  // a window that is not in the table

    // Records of other formats are not the sink's.
    EXPECT_EQ(8u, Deliver(::RegisterClipboardFormatW(L"SofHacklata"), destroy.bytes));
    kcom::CComQIPtr<IKorDataTarget> target(static_cast<IUnknown*>(sink_.get()));
    FORMATETC fmt{static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    ULONG mdRet = 0;
    EXPECT_EQ(E_POINTER, target->ReceiveData(&fmt, &medium, &mdRet));  // no record
    EXPECT_EQ(8u, mdRet);
    EXPECT_EQ(E_POINTER, target->ReceiveData(&fmt, &medium, nullptr));
    EXPECT_EQ(E_POINTER, target->ReceiveData(nullptr, &medium, &mdRet));
}

TEST_F(FlowEvents, NotificationRecordsClearOneWindowlessControl) {
    const HWND grid = W(L"grid");
    kcom::CComBSTR progId;
    ASSERT_EQ(S_OK, agent_->WlsProgIDQuery(grid, 7, progId.Put()));
    ASSERT_EQ(S_OK, agent_->WlsProgIDQuery(grid, 7, progId.Put()));
    EXPECT_EQ(1, Sent(L"GET_WLS_PROGID_MSG"));
    const UINT format = CAcxSetting::GetInstance()->m_wlsClearFormat;
    DWORD record[4] = {0, 0, 7, 0};  // no window: the cookie goes under every window
    EXPECT_EQ(1u, Deliver(format, record));
    ASSERT_EQ(S_OK, agent_->WlsProgIDQuery(grid, 7, progId.Put()));
    EXPECT_EQ(2, Sent(L"GET_WLS_PROGID_MSG"));
    record[1] = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(grid));
    EXPECT_EQ(1u, Deliver(format, record));
    ASSERT_EQ(S_OK, agent_->WlsProgIDQuery(grid, 7, progId.Put()));
    EXPECT_EQ(3, Sent(L"GET_WLS_PROGID_MSG"));
}

TEST_F(FlowEvents, DisconnectEndsTheInputChannelRegistration) {
    kcom::CComQIPtr<IAcxFlowEvents> flow(static_cast<IUnknown*>(sink_.get()));
    ASSERT_TRUE(flow);
    // Scripts reach it by name through the type library.
    kcom::CComQIPtr<IDispatch> script(static_cast<IUnknown*>(sink_.get()));
    ASSERT_TRUE(script);
    EXPECT_EQ(S_OK, CallByName(script, L"Disconnect", DISPATCH_METHOD));
    EXPECT_EQ(0u, channel_in_->Targets().size());
    EXPECT_EQ(S_OK, flow->Disconnect());  // nothing left to do
}

// The manager's Init with the package's own agent utility and flow-event sink.
TEST_F(FlowEvents, ManagerInitSharesTheAgentAndPlacesOneConnectedSink) {
    standin::CClassRegistration flowClass(CLSID_AcxFlowEvents, AcxFlowEventsCreator);
    ASSERT_HRESULT_SUCCEEDED(flowClass.Result());
    OrlentyStandIn_SetApplicationSettings(nullptr);
    auto rack = standin::Holder<standin::CRackStandIn>::New();
    rack->Put(L"TestOutputChannel", channel_);
    const size_t advisedBefore = connector_->AdvisedCount();
    {
        kcom::CComPtr<IPackageMgr> manager;
        ASSERT_HRESULT_SUCCEEDED(KestruneMgrCreator(nullptr, __uuidof(IPackageMgr), reinterpret_cast<void**>(manager.Put())));
        kcom::CComQIPtr<IObjectRackClient> client(static_cast<IUnknown*>(manager.get()));
        ASSERT_EQ(S_OK, client->SetRack(rack.as<IObjectRack>()));
        ASSERT_EQ(S_OK, manager->Init());
        EXPECT_TRUE(rack->Has(L"KestruneMgr"));
        ASSERT_TRUE(rack->Has(L"AcxFlowEventsObject"));
        EXPECT_EQ(advisedBefore + 2, connector_->AdvisedCount());
        ASSERT_EQ(S_OK, manager->Init());  // the sink is there already
        EXPECT_EQ(advisedBefore + 2, connector_->AdvisedCount());

        // The process's one agent now carries the manager's rack.
        kcom::CComQIPtr<IObjectRackClient> agent(static_cast<IUnknown*>(agent_.get()));
        kcom::CComPtr<IObjectRack> held;
        ASSERT_EQ(S_OK, agent->GetRack(held.Put()));
        EXPECT_TRUE(held.IsEqualObject(rack.as<IObjectRack>()));
    }
    kcom::CComPtr<IUnknown> placed = rack->Find(L"AcxFlowEventsObject");
    if (kcom::CComQIPtr<IAcxFlowEvents> flow{placed.get()}) flow->Disconnect();
    rack->RemoveObject(kcom::CComBSTR(L"AcxFlowEventsObject"));
    rack->RemoveObject(kcom::CComBSTR(L"KestruneMgr"));
}

}  // namespace
