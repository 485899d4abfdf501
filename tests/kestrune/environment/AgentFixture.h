#pragma once
// An agent utility in this process with a rack, talking to a real application-under-test process.
#include <gtest/gtest.h>
#include <windows.h>
#include <memory>
#include <string>
#include "environment/AcxAgntUtil.h"
#include "environment/ObjectMap.h"
#include "AutProcess.h"
#include "com/ComPtr.h"
#include "EnvTestSupport.h"
#include "HostStandIn.h"
#include "environment/LoadTimeValues.h"
#include "PelluceStub.h"

class AgentFixture : public ::testing::Test {
protected:
    void TearDown() override {
        agent_.Release();
        aut_.Stop();
        PelluceStub_Reset();
        registration_.reset();
    }

    // The application with the scenario, and an agent whose rack holds the options and a channel
    // whose sends wait at most timeoutMs.
    void Start(const wchar_t* scenario, bool hook = true, ULONG timeoutMs = 5000) {
        PelluceStub_Reset();
        ASSERT_HRESULT_SUCCEEDED(aut_.Start(scenario, hook));
        rack_ = standin::Holder<standin::CRackStandIn>::New();
        options_ = standin::Holder<standin::CSettingsStandIn>::New();
        options_->Put(kSkipKey, L"SkipMeClass", 1);
        options_->Put(kSkipKey, L"MixedHOST", 2);
        options_->Put(kSkipKey, L"Ignored", L"text");
        rack_->Put(L"TestOptions", options_.as<IKorSettings>());
        ASSERT_HRESULT_SUCCEEDED(PelluceStub_CreateChannel(timeoutMs, channel_.Put()));
        rack_->Put(L"TestOutputChannel", channel_);
        ASSERT_HRESULT_SUCCEEDED((kcom::CreateObject<CAcxAgntUtil, IAcxAgntUtil2>(agent_.Put())));
        kcom::CComQIPtr<IObjectRackClient> client(static_cast<IUnknown*>(agent_.get()));
        ASSERT_EQ(S_OK, client->SetRack(rack_.as<IObjectRack>()));
        PelluceStub_Reset();
    }

    // As Start, with the process's agent class registered: whatever creates the agent by CLSID
    // meets the same singleton as the test.
    void StartRegistered(const wchar_t* scenario) {
        registration_ = std::make_unique<standin::CClassRegistration>(CLSID_AcxAgntUtil, AcxAgntUtilCreator, true);
        ASSERT_HRESULT_SUCCEEDED(registration_->Result());
        Start(scenario);
        agent_.Release();
        ASSERT_HRESULT_SUCCEEDED(agent_.CoCreateInstance(CLSID_AcxAgntUtil, nullptr, CLSCTX_INPROC_SERVER));
        kcom::CComQIPtr<IObjectRackClient> client(static_cast<IUnknown*>(agent_.get()));
        ASSERT_EQ(S_OK, client->SetRack(rack_.as<IObjectRack>()));
    }

    HWND W(const wchar_t* name) const { return aut_.Window(name); }
    static LONG Sent(const wchar_t* request) { return PelluceStub_GetCount(request); }

    // What the window property holds: "<absent>", "<not>" for -1, or its text.
    static std::wstring Prop(HWND window) {
        HANDLE value = ::GetPropW(window, g_acxWindowPropName.c_str());
        if (!value) return L"<absent>";
        if (value == reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1))) return L"<not>";
        const BSTR text = static_cast<BSTR>(value);
        return std::wstring(text, ::SysStringLen(text));
    }

    static constexpr wchar_t kSkipKey[] = L"Packages\\Kestrune\\SkipCacheWindowsClasses";

    CAutProcess aut_;
    standin::Holder<standin::CRackStandIn> rack_;
    standin::Holder<standin::CSettingsStandIn> options_;
    kcom::CComPtr<IOutputChannel> channel_;
    kcom::CComPtr<IAcxAgntUtil2> agent_;
    std::unique_ptr<standin::CClassRegistration> registration_;
};
