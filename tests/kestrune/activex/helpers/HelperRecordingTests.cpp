// Recording through the host's road with real input to the application under test: the hook's
// records go to the recorder, the ActiveX factory and the test object it hands over.
#include <gtest/gtest.h>
#include "AcxHostBed.h"
#include "AutTestBed.h"
#include "InputDelivery.h"
#include "OrlentyStandIn.h"
#include "RecorderStandIn.h"
#include "TestObjectStandIn.h"
#include "environment/LoadTimeValues.h"
#include "factory/AcxFactory.h"

using standin::MouseButton;

class HelperRecording : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(bed_.Start(kAutControlsScenario));
        bed_.options->Put(L"", L"OnRecord", 1L);
        OrlentyStandIn_SetApplicationSettings(bed_.options.as<IKorSettings>());
        ASSERT_HRESULT_SUCCEEDED((kcom::CreateObject<CAcxFactory, IUnknown>(factory_.Put())));
        recorder_->SetParent(parent_.as<IDispatch>());
        recorder_->SetRecordMgr(bed_.RecordTarget());
        ASSERT_EQ(S_OK, recorder_->AddFactory(factory_, bed_.Rack()));
        ASSERT_EQ(S_OK, bed_.aut.Record(recorder_->Window()));
        bed_.TakeDesktop(W(L"main"));
    }
    void TearDown() override {
        bed_.aut.Record(nullptr);
        OrlentyStandIn_Reset();
        RecordedWindowMap.clear();
    }

    HWND W(const wchar_t* name) const { return bed_.aut.Window(name); }
    // A real click at a client point of the window; the application's records of it reach the
    // recorder while this thread pumps, until the record that begins with `last` has come.
    void Click(const wchar_t* window, POINT client, const wchar_t* last, MouseButton button = MouseButton::Left) {
        const size_t before = Count(last);
        ::ClientToScreen(W(window), &client);
        ASSERT_HRESULT_SUCCEEDED(standin::SendRealClick(client, button, false));
        for (int round = 0; round < 200 && Count(last) == before; ++round) standin::PumpFor(10);
    }
    size_t Count(const std::wstring& start) const {
        const auto lines = Records();
        return std::count_if(lines.begin(), lines.end(), [&](const std::wstring& l) { return l.rfind(start, 0) == 0; });
    }
    std::vector<std::wstring> Steps() const {
        std::vector<std::wstring> steps;
        for (const auto& step : bed_.recordMgr->Steps()) steps.push_back(step.method + L" " + step.arguments);
        return steps;
    }
    std::vector<std::wstring> Records() const { return recorder_->Log().Lines(); }

    CAcxHostBed bed_;
    standin::CClassRegistration activeXClass_{CLSID_KorActiveX, KorActiveXCreator};
    standin::Holder<standin::CRecorderStandIn> recorder_ = standin::Holder<standin::CRecorderStandIn>::New();
    standin::Holder<standin::CTestObjectStandIn> parent_ = standin::Holder<standin::CTestObjectStandIn>::New();
    kcom::CComPtr<IUnknown> factory_;
};

TEST_F(HelperRecording, AWindowedClickGoesToTheInnerRecorder) {
    Click(L"ctl", {50, 20}, L"window 202");
    const auto records = Records();
    for (const wchar_t* line : {L"window 201: factory 4, object 1", L"window 202: factory 4, object 1"})
        EXPECT_NE(records.end(), std::find(records.begin(), records.end(), line)) << line;
    EXPECT_TRUE(Steps().empty());  // the standard window object records it
    const auto inner = standin::CWinObjectStandIn::Last()->Log().Lines();
    EXPECT_EQ(1, std::count(inner.begin(), inner.end(), L"ReceiveData(FormaShelHalonotRegilim,513)"));
    EXPECT_EQ(1, std::count(inner.begin(), inner.end(), L"ReceiveData(FormaShelHalonotRegilim,514)"));
}

TEST_F(HelperRecording, WindowlessClicksAreStepsRelativeToTheControl) {
    Click(L"main", {30, 95}, L"windowless 7 202");
    Click(L"main", {160, 84}, L"windowless 8 205", MouseButton::Right);
    EXPECT_EQ((std::vector<std::wstring>{L"Click [I4:10,I4:15]", L"Click [I4:10,I4:4,I4:1]"}), Steps());
    const auto records = Records();
    EXPECT_NE(records.end(), std::find(records.begin(), records.end(), L"windowless 7 202: factory 4, object 1"));
    EXPECT_NE(records.end(), std::find(records.begin(), records.end(), L"windowless 8 205: factory 4, object 1"));
}
