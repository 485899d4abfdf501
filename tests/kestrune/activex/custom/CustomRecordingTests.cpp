// A custom record object named by ProgID for a control class takes over the recording of that
// class on the host's road: input posted to the application under test, its records through the
// recorder, the ActiveX factory and the test object it hands over.
#include "CustomObjectStandIns.h"
#include "RecordingFixture.h"

class CustomRecording : public RecordingFixture {
protected:
    void SetUp() override {
        RecordingFixture::SetUp();
        ASSERT_EQ(S_OK, recordClass_.Result());
        ASSERT_EQ(S_OK, replayClass_.Result());
        bed_.options->Put(L"ActiveX Add-in\\ProgID\\KorTest.WlsButton", L"CustRecordProgID", standin::kCustRecordProgId);
    }
    void TearDown() override {
        RecordingFixture::TearDown();
        standin::CCustomRecorderStandIn::Answer() = 0;
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
}
