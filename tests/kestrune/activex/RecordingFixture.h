#pragma once
// The host's road of recording for tests: input posted to the application under test, the hook's
// records through the recorder to the ActiveX factory and the test objects it hands over.
#include <gtest/gtest.h>
#include "AcxHostBed.h"
#include "AutTestBed.h"
#include "InputDelivery.h"
#include "OrlentyStandIn.h"
#include "RecorderStandIn.h"
#include "TestObjectStandIn.h"
#include "environment/LoadTimeValues.h"
#include "factory/AcxFactory.h"
#include "win32/MessageWait.h"
#include "RecorderRecord.h"

using standin::MouseButton;

class RecordingFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(bed_.Start(scenario_));
        bed_.options->Put(L"", L"OnRecord", 1L);
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
    }

    HWND W(const wchar_t* name) const { return bed_.aut.Window(name); }
    // A click posted to the window at a client point, as input reaches the application; its
    // records reach the recorder while this thread pumps, until the one that begins with `last`
    // has come (the time-out only catches a hang).
    void Click(const wchar_t* window, POINT client, const wchar_t* last, MouseButton button = MouseButton::Left) {
        constexpr DWORD kHangTimeoutMs = 60000;
        const size_t before = Count(last);
        standin::PostClick(W(window), client, button, false);
        for (const DWORD start = ::GetTickCount(); Count(last) == before && ::GetTickCount() - start < kHangTimeoutMs;)
            PumpMessagesFor(10);
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
    // The status word and result of one record handed to a test object, "<status> <hr>".
    std::wstring Give(IKorDataTarget* object, const CRecorderRecord& record, bool windowless) {
        FORMATETC format{static_cast<CLIPFORMAT>(windowless ? g_cfWindowlessAcxRecord : g_cfShelHalonotRegilim),
                         nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = record.get();
        ULONG status = 0;
        wchar_t text[32];
        const HRESULT hr = object->ReceiveData(&format, &medium, &status);
        swprintf(text, 32, L"%lu %lX", status, static_cast<unsigned long>(hr));
        return text;
    }

    std::wstring scenario_ = kAutControlsScenario;  // a fixture may add to it before SetUp
    CAcxHostBed bed_;
    standin::CClassRegistration activeXClass_{CLSID_KorActiveX, KorActiveXCreator};
    standin::Holder<standin::CRecorderStandIn> recorder_ = standin::Holder<standin::CRecorderStandIn>::New();
    standin::Holder<standin::CTestObjectStandIn> parent_ = standin::Holder<standin::CTestObjectStandIn>::New();
    kcom::CComPtr<IUnknown> factory_;
};
