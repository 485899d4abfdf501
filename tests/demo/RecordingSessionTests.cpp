// The recording phase against the application under test: real clicks become named steps and
// saved descriptions, a saved description finds its control again after the application has
// started anew, and a click that records nothing says so.
#include <gtest/gtest.h>
#include <filesystem>
#include "KorTestHost.h"
#include "RecordingSession.h"
#include "com/ComBSTR.h"
#include "com/ComVariant.h"

namespace {

using Lines = std::vector<std::wstring>;

class RecordingSession : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = std::filesystem::path(temp) / (L"kestrune_recording_" + std::to_wstring(::GetCurrentProcessId()));
        std::filesystem::create_directories(folder_);
        ASSERT_EQ(S_OK, host_->Start(L""));
        std::wstring error;
        ASSERT_EQ(S_OK, session_.Start(error)) << error;
    }
    void TearDown() override {
        host_->Stop();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    standin::Holder<CKorTestHost> host_ = standin::Holder<CKorTestHost>::New();
    CRecordingSession session_{*host_.get()};
    std::filesystem::path folder_;
};

TEST_F(RecordingSession, ClicksBecomeStepsOfOneNamedObjectWhoseDescriptionFindsItsControlAgain) {
    std::wstring error;
    ASSERT_EQ(S_OK, session_.Perform({L"main", {40, 95}, false, L"the button"}, error)) << error;
    ASSERT_EQ(S_OK, session_.Perform({L"main", {90, 92}, true, L"the button"}, error)) << error;
    EXPECT_EQ(3u, session_.StepCount());
    Lines lines, objects;
    ASSERT_EQ(S_OK, session_.Finish(folder_.wstring(), lines, objects, error)) << error;
    EXPECT_EQ((Lines{L"Seven.Click 20, 15", L"Seven.DblClick 70, 12"}), lines);
    EXPECT_EQ(Lines{L"Seven"}, objects);

    // A fresh start of the application, a new object from the saved description.
    host_->Stop();
    ASSERT_EQ(S_OK, host_->Start(L""));
    kcom::CComPtr<IDispatch> main, seven;
    ASSERT_EQ(S_OK, host_->Window(L"main", main.Put()));
    ASSERT_EQ(S_OK, host_->LoadTestObject(DescriptionFile(folder_.wstring(), L"Seven"), L"Seven", main, seven.Put()));
    kcom::CComQIPtr<DispTestObject> script(seven.get());
    ASSERT_TRUE(script);
    kcom::CComVariant caption;
    ASSERT_EQ(S_OK, script->GetROProperty(kcom::CComBSTR(L"Caption"), nullptr, caption.Put()));
    ASSERT_EQ(VT_BSTR, caption.vt);
    EXPECT_STREQ(L"Seven", caption.bstrVal);
}

TEST_F(RecordingSession, AClickThatRecordsNothingSaysWhatFailed) {
    std::wstring error;
    // The container's own area: no control, no step.
    EXPECT_EQ(E_FAIL, session_.Perform({L"main", {380, 250}, false, L"the container"}, error));
    EXPECT_EQ(L"click on the container: 0 steps recorded, 1 expected", error);
    EXPECT_EQ(E_FAIL, session_.Perform({L"nowhere", {1, 1}, false, L"nothing"}, error));
    EXPECT_EQ(L"no window nowhere in the application", error);
    Lines lines, objects;
    EXPECT_EQ(S_OK, session_.Finish(folder_.wstring(), lines, objects, error));
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(objects.empty());
}

}  // namespace
