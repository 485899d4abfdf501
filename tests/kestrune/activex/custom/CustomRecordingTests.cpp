// A custom record object named by ProgID for a control class takes over the recording of that
// class on the host's road: input posted to the application under test, its records through the
// recorder, the ActiveX factory and the test object it hands over.
#include "CustomObjectStandIns.h"
#include "RecordingFixture.h"

class CustomRecording : public RecordingFixture {
protected:
    CustomRecording() { scenario_ += kAutRecoveryChildren; }  // windows inside the windowed control
    void SetUp() override {
        RecordingFixture::SetUp();
        ASSERT_EQ(S_OK, recordClass_.Result());
        ASSERT_EQ(S_OK, replayClass_.Result());
        bed_.options->Put(L"ActiveX Add-in\\ProgID\\KorTest.WlsButton", L"CustRecordProgID", standin::kCustRecordProgId);
    }
    void TearDown() override {
        RecordingFixture::TearDown();
        standin::CCustomRecorderStandIn::Answer() = 0;
        standin::CCustomObjectBase::NextFilterMode() = 0;
    }
    // A test object of the windowed control whose record object asks for the filter mode.
    kcom::CComPtr<IKorDataTarget> WindowedObject(long filterMode) {
        standin::CCustomObjectBase::NextFilterMode() = filterMode;
        kcom::CComPtr<IKorActiveXInit> object;
        EXPECT_HRESULT_SUCCEEDED(object.CoCreateInstance(CLSID_KorActiveX, nullptr, CLSCTX_INPROC_SERVER));
        kcom::CComQIPtr<IObjectRackClient>(object.get())->SetRack(bed_.Rack());
        CRuntimeId id(g_cfShelHalonotRegilim);
        id.PutVariantValue(L"hwnd", kcom::CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(W(L"ctl")))));
        kcom::CComQIPtr<ITestObjectInfo>(object.get())
            ->put_PropExpr(kcom::CComBSTR(L"objectid"), nullptr, nullptr, nullptr,
                           kcom::CComVariant(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(id))));
        EXPECT_EQ(S_OK, object->Init(g_cfShelHalonotRegilim));
        return kcom::CComQIPtr<IKorDataTarget>(object.get());
    }

    standin::CProgIdRegistration recordClass_{standin::kCustRecordProgId, standin::kCustRecordClsid,
                                              &standin::CCustomRecorderStandIn::Create};
    standin::CProgIdRegistration replayClass_{standin::kCustReplayProgId, standin::kCustReplayClsid,
                                              &standin::CCustomReplayerStandIn::Create};
};

TEST_F(CustomRecording, TheRecordObjectRecordsItsClassWhileTheOthersKeepTheStandardSteps) {
    bed_.recordMgr->SetRecordingState(1);
    Click(L"main", {30, 95}, L"windowless 7 202");
    Click(L"main", {160, 84}, L"windowless 8 205", MouseButton::Right);
    // The custom object's own step, with the record's point.
    EXPECT_EQ((std::vector<std::wstring>{L"CustClick [I4:10,I4:15]", L"Click [I4:10,I4:4,I4:1]"}), Steps());
    kcom::CComPtr<ICustomRecorder> custom = standin::CCustomRecorderStandIn::Last();
    ASSERT_TRUE(custom);
    EXPECT_EQ((std::vector<std::wstring>{L"SetContainer(helper)", L"GetRecordFilterMode()", L"OnRecordMessage(514)",
                                         L"RecordStep 0"}),
              standin::CustomObjectOf(custom)->Log().Lines());
    EXPECT_EQ(nullptr, standin::CCustomReplayerStandIn::Last());  // recording makes no replay object
}

TEST_F(CustomRecording, WithRecordingSwitchedOnBothObjectsAreMadeAndAPassedOnRecordIsTheStrategys) {
    bed_.options->Put(L"ActiveX Add-in\\ProgID\\KorTest.WlsButton", L"CustReplayProgID", standin::kCustReplayProgId);
    // Answer 1: the record goes on to the strategy, which records the windowless click.
    standin::CCustomRecorderStandIn::Answer() = 1;
    Click(L"main", {30, 95}, L"windowless 7 202");
    EXPECT_EQ((std::vector<std::wstring>{L"Click [I4:10,I4:15]"}), Steps());
    kcom::CComPtr<ICustomRecorder> custom = standin::CCustomRecorderStandIn::Last();
    ASSERT_TRUE(custom);
    EXPECT_EQ(L"OnRecordMessage(514)", standin::CustomObjectOf(custom)->Log().Lines().back());
    EXPECT_TRUE(standin::CCustomReplayerStandIn::Last());

    // The windows the record object is asked about, by the filter mode it asked for: its own, a
    // window inside it, another (each with a message of its own); a mode it may not ask for asks
    // about none.
    bed_.options->Put(L"ActiveX Add-in\\ProgID\\KorTest.WndCtl", L"CustRecordProgID", standin::kCustRecordProgId);
    standin::CCustomRecorderStandIn::Answer() = 3;  // not its record: the strategy does nothing either
    const struct {
        long mode;
        std::vector<std::wstring> asked;
    } modes[] = {{0, {L"OnRecordMessage(512)"}},
                 {1, {L"OnRecordMessage(512)", L"OnRecordMessage(256)", L"OnRecordMessage(257)"}},
                 {2, {L"OnRecordMessage(512)", L"OnRecordMessage(256)"}},
                 {5, {}}};
    for (const auto& row : modes) {
        auto object = WindowedObject(row.mode);
        ASSERT_TRUE(object);
        Give(object, CRecorderRecord::Window(W(L"ctl"), WM_MOUSEMOVE), false);
        Give(object, CRecorderRecord::Window(W(L"okText"), WM_KEYDOWN), false);
        Give(object, CRecorderRecord::Window(W(L"main"), WM_KEYUP), false);
        custom = standin::CCustomRecorderStandIn::Last();
        ASSERT_TRUE(custom);
        std::vector<std::wstring> asked;
        for (const auto& line : standin::CustomObjectOf(custom)->Log().Lines())
            if (line.rfind(L"OnRecordMessage", 0) == 0) asked.push_back(line);
        EXPECT_EQ(row.asked, asked) << "mode " << row.mode;
    }
    // Answer 3 leaves the record to nobody; answer 2 hands it to the last object of the chain.
    auto object = WindowedObject(0);
    EXPECT_EQ(L"8 0", Give(object, CRecorderRecord::Window(W(L"ctl"), WM_LBUTTONUP), false));
    standin::CCustomRecorderStandIn::Answer() = 2;
    standin::CWinObjectStandIn::Last()->SetNext(parent_.as<IKorDataTarget>());
    parent_->Log().Clear();
    EXPECT_EQ(L"8 80004001", Give(object, CRecorderRecord::Window(W(L"ctl"), WM_LBUTTONUP), false));
    // Finding the last object asks it for its next, too.
    EXPECT_EQ((std::vector<std::wstring>{L"GetNext()", L"ReceiveData()"}), parent_->Log().Lines());
    standin::CWinObjectStandIn::Last()->SetNext(nullptr);
    EXPECT_EQ(std::vector<std::wstring>{L"Click [I4:10,I4:15]"}, Steps());
}
