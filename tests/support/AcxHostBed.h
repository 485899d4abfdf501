#pragma once
// The host around an ActiveX test object, against the controls of the application under test
// (AutTestBed.h): the whole test host of CTestHost, plus
// - the host's query engine in the rack as "StdPackageQueryEngine", with the package's engine
//   "Quorvel.AcxQuery" registered with it as the package manager does, searching the
//   application's windows;
// - a device-replay engine in the rack as "DeviceReplayEngine" (posting messages by default);
// - "Quorvel.WinObject" and "Quorvel.DeviceReplay" creatable by ProgID, the package's query
//   engine and agent utility (the process's one, with the rack and an output channel) by CLSID.
// Start it in a test's SetUp; it ends the application and the reference cycles itself. A test
// whose input goes through hit testing (the device-replay engine) takes the desktop first: the
// applications of test programs running side by side lie at the same screen place.
#include <windows.h>
#include <memory>
#include <optional>
#include <string>
#include "AcxQueryEngineStandIn.h"
#include "AutProcess.h"
#include "DesktopLock.h"
#include "DeviceReplayStandIn.h"
#include "PelluceStub.h"
#include "TestHost.h"
#include "WinObjectStandIn.h"
#include "com/ComBSTR.h"
#include "environment/ObjectMap.h"
#include "kestrune.h"

class CAcxHostBed : public standin::CTestHost {
public:
    HRESULT Start(const std::wstring& scenario) {
        PelluceStub_Reset();
        HRESULT hr = aut.Start(scenario);
        if (FAILED(hr)) return hr;
        if (linkedPackage) {
            acxQueryClass_.emplace(CLSID_AcxQuery, AcxQueryCreator);
            agentClass_.emplace(CLSID_AcxAgntUtil, AcxAgntUtilCreator, true);
            for (HRESULT registered : {acxQueryClass_->Result(), agentClass_->Result()})
                if (FAILED(registered)) return registered;
        }
        for (HRESULT registered : {winObjectClass_.Result(), deviceReplayClass_.Result()})
            if (FAILED(registered)) return registered;
        if (FAILED(hr = PelluceStub_CreateChannel(5000, channel.Put()))) return hr;
        rack->Put(L"TestOutputChannel", channel);
        rack->Put(L"StdPackageQueryEngine", queryEngine.as<IKorQuery2>());
        rack->Put(L"DeviceReplayEngine", deviceReplay.as<IKorDeviceReplay>());
        queryEngine->SetRack(Rack());
        queryEngine->SetApplication(aut.ProcessId());
        queryEngine->KnowProgId(L"Quorvel.AcxQuery", CLSID_AcxQuery);
        if (FAILED(hr = agent.CoCreateInstance(CLSID_AcxAgntUtil, nullptr, CLSCTX_INPROC_SERVER))) return hr;
        kcom::CComPtr<IObjectRackClient> client;
        if (FAILED(hr = agent->QueryInterface(__uuidof(IObjectRackClient), reinterpret_cast<void**>(client.Put()))) ||
            FAILED(hr = client->SetRack(Rack())))
            return hr;
        return queryEngine->RegisterQuery(kcom::CComBSTR(L"Quorvel.AcxQuery"), kcom::CComBSTR(L"AcxQuery"), 0, 0, -1);
    }

    // Claims the desktop (DesktopLock.h), and puts the window above every other application's,
    // away from where the test programs' windows appear (a window that appears under the cursor
    // gets a mouse move).
    void TakeDesktop(HWND topLevel) {
        desktop_ = std::make_unique<DesktopLock>();
        ::SetWindowPos(topLevel, HWND_TOPMOST, 760, 600, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    }

    ~CAcxHostBed() {
        queryEngine->ReleaseEngines();
        kcom::CComPtr<IObjectRackClient> client;
        if (agent && SUCCEEDED(agent->QueryInterface(__uuidof(IObjectRackClient), reinterpret_cast<void**>(client.Put()))))
            client->SetRack(nullptr);
        agent.Release();
        aut.Stop();
        PelluceStub_Reset();
        desktop_.reset();
    }

    // False: the package's classes come from the registered Kestrune.dll, not from this program.
    bool linkedPackage = true;
    CAutProcess aut;
    standin::Holder<standin::CAcxQueryEngineStandIn> queryEngine = standin::Holder<standin::CAcxQueryEngineStandIn>::New();
    standin::Holder<standin::CDeviceReplayStandIn> deviceReplay = standin::Holder<standin::CDeviceReplayStandIn>::New();
    kcom::CComPtr<IOutputChannel> channel;
    kcom::CComPtr<IAcxAgntUtil2> agent;

private:
    std::unique_ptr<DesktopLock> desktop_;
    standin::CProgIdRegistration winObjectClass_{standin::kWinObjectProgId, standin::kWinObjectClsid,
                                                 &standin::CWinObjectStandIn::Create};
    standin::CProgIdRegistration deviceReplayClass_{standin::kDeviceReplayProgId, standin::kDeviceReplayClsid,
                                                    &standin::CDeviceReplayStandIn::Create};
    std::optional<standin::CClassRegistration> acxQueryClass_;
    std::optional<standin::CClassRegistration> agentClass_;
};
