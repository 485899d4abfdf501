// A custom record object named by ProgID for a control class takes over the recording of that
// class on the host's road: input posted to the application under test, its records through the
// recorder, the ActiveX factory and the test object it hands over.
#include <gtest/gtest.h>
#include "AcxHostBed.h"
#include "AutTestBed.h"
#include "CustomObjectStandIns.h"
#include "InputDelivery.h"
#include "OrlentyStandIn.h"
#include "RecorderStandIn.h"
#include "TestObjectStandIn.h"
#include "environment/LoadTimeValues.h"
#include "factory/AcxFactory.h"
#include "win32/MessageWait.h"

using standin::MouseButton;

class CustomRecording : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(bed_.Start(kAutControlsScenario));
        ASSERT_EQ(S_OK, recordClass_.Result());
        ASSERT_EQ(S_OK, replayClass_.Result());
        bed_.options->Put(L"", L"OnRecord", 1L);
        bed_.options->Put(L"ActiveX Add-in\\ProgID\\KorTest.WlsButton", L"CustRecordProgID", standin::kCustRecordProgId);
        OrlentyStandIn_SetApplicationSettings(bed_.options.as<IKorSettings>());
        ASSERT_HRESULT_SUCCEEDED((kcom::CreateObject<CAcxFactory, IUnknown>(factory_.Put())));
        recorder_->SetParent(parent_.as<IDispatch>());
        recorder_->SetRecordMgr(bed_.RecordTarget());
        ASSERT_EQ(S_OK, recorder_->AddFactory(factory_, bed_.Rack()));
        ASSERT_EQ(S_OK, bed_.aut.Record(recorder_->Window()));
    }
    void TearDown() override {
        bed_.aut.Record(nullptr);
        OrlentyStandIn_Reset();
        RecordedWindowMap.clear();
        standin::CCustomRecorderStandIn::Answer() = 0;
    }

    // A click posted to the container at a client point; its records reach the recorder while
    // this thread pumps, until the one that begins with `last` has come.
    void Click(POINT client, const wchar_t* last, MouseButton button = MouseButton::Left) {
        const size_t before = Count(last);
        standin::PostClick(bed_.aut.Window(L"main"), client, button, false);
        for (int round = 0; round < 200 && Count(last) == before; ++round) PumpMessagesFor(10);
    }
    size_t Count(const std::wstring& start) const {
        const auto lines = recorder_->Log().Lines();
        return std::count_if(lines.begin(), lines.end(), [&](const std::wstring& l) { return l.rfind(start, 0) == 0; });
    }
    std::vector<std::wstring> Steps() const {
        std::vector<std::wstring> steps;
        for (const auto& step : bed_.recordMgr->Steps()) steps.push_back(step.method + L" " + step.arguments);
        return steps;
    }

    CAcxHostBed bed_;
    standin::CClassRegistration activeXClass_{CLSID_KorActiveX, KorActiveXCreator};
    standin::CProgIdRegistration recordClass_{standin::kCustRecordProgId, standin::kCustRecordClsid,
                                              &standin::CCustomRecorderStandIn::Create};
    standin::CProgIdRegistration replayClass_{standin::kCustReplayProgId, standin::kCustReplayClsid,
                                              &standin::CCustomReplayerStandIn::Create};
    standin::Holder<standin::CRecorderStandIn> recorder_ = standin::Holder<standin::CRecorderStandIn>::New();
    standin::Holder<standin::CTestObjectStandIn> parent_ = standin::Holder<standin::CTestObjectStandIn>::New();
    kcom::CComPtr<IUnknown> factory_;
};

TEST_F(CustomRecording, TheRecordObjectRecordsItsClassWhileTheOthersKeepTheStandardSteps) {
    bed_.recordMgr->SetRecordingState(1);
    Click({30, 95}, L"windowless 7 202");
    Click({160, 84}, L"windowless 8 205", MouseButton::Right);
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
    Click({30, 95}, L"windowless 7 202");
    EXPECT_EQ((std::vector<std::wstring>{L"Click [I4:10,I4:15]"}), Steps());
    kcom::CComPtr<ICustomRecorder> custom = standin::CCustomRecorderStandIn::Last();
    ASSERT_TRUE(custom);
    EXPECT_EQ(L"OnRecordMessage(514)", standin::CustomObjectOf(custom)->Log().Lines().back());
    EXPECT_TRUE(standin::CCustomReplayerStandIn::Last());
}
