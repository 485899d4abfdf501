// The package manager against the host stand-ins: rack, application settings, Varrow, the hook
// injector's INI file, and the host's registration interfaces.
#include <windows.h>
#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>
#include "ComSafeArray.h"
#include "FakeHost.h"
#include "OrlentyStandIn.h"
#include "VarrowStandIn.h"
#include "environment/KestruneMgr.h"

using namespace kcom;
using fake::Held;

namespace {

const IID kIID_IAcxAgntUtil = {0xF4DE8863, 0xFA7D, 0x11D3, {0x92, 0xF2, 0x00, 0x50, 0x04, 0x03, 0x90, 0x76}};
using Agent = fake::RackClient<0>;
using FlowEvents = fake::RackClient<1>;

std::vector<std::wstring> VarrowLog() {
    int n = VarrowStandIn_GetLog(nullptr, 0);
    std::wstring all(n + 1, L'\0');
    VarrowStandIn_GetLog(all.data(), n + 1);
    all.resize(n);
    std::vector<std::wstring> lines;
    for (size_t start = 0; start < all.size();) {
        size_t end = all.find(L'\n', start);
        if (end == std::wstring::npos) end = all.size();
        lines.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

CComVariant Words(std::initializer_list<const wchar_t*> words, LONG lower = 0) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(words.size()), lower};
    CComVariant v;
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = ::SafeArrayCreate(VT_BSTR, 1, &bound);
    LONG i = lower;
    for (const wchar_t* w : words) {
        CComBSTR b(w);
        ::SafeArrayPutElement(v.parray, &i, static_cast<BSTR>(b));
        ++i;
    }
    return v;
}

class KestruneMgrTest : public ::testing::Test {
protected:
    void SetUp() override {
        VarrowStandIn_Reset();
        OrlentyStandIn_Reset();
        Agent::Reset();
        Agent::extraIid = kIID_IAcxAgntUtil;
        FlowEvents::Reset();
        // One installation folder per process: the manager reads it once.
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        installDir_ = std::wstring(temp) + L"kestrune_mgr_" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(installDir_.c_str(), nullptr);
        ::CreateDirectoryW((installDir_ + L"\\Bin").c_str(), nullptr);
        iniPath_ = installDir_ + L"\\Bin\\hooks.ini";
        ::DeleteFileW(iniPath_.c_str());
        fake::HostApplication::installationDir = installDir_;

        settings_->productRoot = L"Software\\Quorvel\\Product";
        settings_->Set(L"HooksMgr\\Bbhook", L"IniFileName", CComVariant(L"hooks.ini"));
        OrlentyStandIn_SetApplicationSettings(settings_.Unk());
        host_ = std::make_unique<fake::ClassRegistration>(
            CLSID_KorHostApplication, &CComCreator<fake::HostApplication>::CreateInstance);
        agent_ = std::make_unique<fake::ClassRegistration>(CLSID_AcxAgntUtil, &CComCreator<Agent>::CreateInstance);
        flow_ = std::make_unique<fake::ClassRegistration>(CLSID_AcxFlowEvents, &CComCreator<FlowEvents>::CreateInstance);
    }
    void TearDown() override {
        Drop();
        OrlentyStandIn_Reset();
        ::DeleteFileW(iniPath_.c_str());
    }

    CComPtr<IPackageMgr3> NewMgr() {
        CComPtr<IPackageMgr3> mgr;
        EXPECT_EQ(CComCreator<CKestruneMgr>::CreateInstance(nullptr, IID_IPackageMgr3, reinterpret_cast<void**>(&mgr)),
                  S_OK);
        return mgr;
    }
    // A manager given the rack and the configuration, as the host prepares it.
    void Prepare(std::initializer_list<const wchar_t*> words) {
        mgr_ = NewMgr();
        CComQIPtr<IObjectRackClient> client(static_cast<IUnknown*>(mgr_));
        ASSERT_EQ(client->SetRack(rack_.get()), S_OK);
        ASSERT_EQ(mgr_->SetPackageConfiguration(Words(words)), S_OK);
    }

    // The host lets go of the manager: out of the rack, last reference released.
    void Drop() {
        rack_->objects.erase(L"KestruneMgr");
        mgr_.Release();
    }

    std::wstring Ini(const wchar_t* section, const wchar_t* key, const std::wstring& path) {
        wchar_t buf[64] = {};
        ::GetPrivateProfileStringW(section, key, L"<none>", buf, 64, path.c_str());
        return buf;
    }
    std::wstring Flag(const wchar_t* key) { return Ini(L"BBT", key, iniPath_); }

    Held<fake::Rack> rack_;
    Held<fake::Settings> settings_;
    std::unique_ptr<fake::ClassRegistration> host_, agent_, flow_;
    CComPtr<IPackageMgr3> mgr_;
    std::wstring installDir_, iniPath_;
};

TEST_F(KestruneMgrTest, InitNeedsARackAndTheAgentUtility) {
    mgr_ = NewMgr();
    EXPECT_EQ(mgr_->Init(), E_FAIL);
    EXPECT_TRUE(rack_->calls.empty());

    // The agent class refuses creation (the server's own registration could otherwise answer).
    agent_ = std::make_unique<fake::ClassRegistration>(
        CLSID_AcxAgntUtil, [](IUnknown*, REFIID, void** ppv) noexcept -> HRESULT {
            if (ppv) *ppv = nullptr;
            return CLASS_E_CLASSNOTAVAILABLE;
        });
    Prepare({L"full"});
    EXPECT_EQ(mgr_->Init(), E_FAIL);
    EXPECT_EQ(rack_->calls, std::vector<std::wstring>{L"SetObject(KestruneMgr)"});
    EXPECT_EQ(VarrowStandIn_GetCallCount(L"SetProductActiveXAgentRegRoot"), 0);
    EXPECT_EQ(FlowEvents::created, 0);
}

TEST_F(KestruneMgrTest, MultimediaWithoutBBHookRegistersTheInjectorHooks) {
    ::WritePrivateProfileSectionW(L"acx_hook",
                                  L"name=Hooks\0method=inject\0HookA=yes\0HookB=YES\0HookC=no\0HookD=1\0HookE=true\0"
                                  L"HookF=\0",
                                  iniPath_.c_str());
    settings_->sections.insert(L"HooksMgr\\DllInjector\\ALWAYS\\HookA");
    Prepare({L"multimedia"});
    ASSERT_EQ(mgr_->Init(), S_OK);

    EXPECT_EQ(rack_->calls,
              (std::vector<std::wstring>{L"SetObject(KestruneMgr)", L"SetObject(AcxFlowEventsObject)"}));
    EXPECT_EQ(rack_->objects[L"KestruneMgr"].get(), static_cast<IUnknown*>(mgr_));
    EXPECT_EQ(Agent::created, 1);
    EXPECT_EQ(Agent::lastRack, rack_.get());
    EXPECT_EQ(VarrowLog(), (std::vector<std::wstring>{
                               L"SetProductActiveXAgentRegRoot(HKCU,Software\\Quorvel\\Product\\ActiveX Add-in)",
                               L"SetTrappingModeForCategoryW(MultiMedia,1)"}));
    const std::wstring a = L"HooksMgr\\DllInjector\\ALWAYS\\Hook";
    EXPECT_EQ(settings_->writes, (std::vector<std::wstring>{
                                     L"HooksMgr\\DllInjector\\ALWAYS\\DEFAULT\\MODULES|Quillon.dll|I4:1|0,1,0,3,0",
                                     a + L"A|Enabled|I4:1|0,0,0,3,0", a + L"A|UseDefault|I4:1|0,0,0,3,0",
                                     a + L"B|Enabled|I4:1|0,0,0,3,0", a + L"B|UseDefault|I4:1|0,0,0,3,0",
                                     a + L"C|Enabled|I4:0|0,0,0,3,0", a + L"C|UseDefault|I4:1|0,0,0,3,0",
                                     a + L"D|Enabled|I4:0|0,0,0,3,0", a + L"D|UseDefault|I4:1|0,0,0,3,0",
                                     a + L"E|Enabled|I4:0|0,0,0,3,0", a + L"E|UseDefault|I4:1|0,0,0,3,0"}));
    EXPECT_EQ(settings_->created, (std::vector<std::wstring>{a + L"B", a + L"C", a + L"D", a + L"E"}));
    EXPECT_EQ(Flag(L"real_hook"), L"1");
    EXPECT_EQ(Flag(L"acx_hook"), L"<none>");

    Drop();
    EXPECT_EQ(Flag(L"real_hook"), L"0");
    EXPECT_EQ(Flag(L"acx_hook"), L"<none>");
    EXPECT_EQ(VarrowLog().back(), L"SetTrappingModeForCategoryW(MultiMedia,0)");
}

TEST_F(KestruneMgrTest, BBHookWithoutWordsWritesNoFlagAndLeavesTheModeAlone) {
    settings_->Set(L"ActiveX Add-in", L"UseBBHook", CComVariant(1L));
    Prepare({});
    ASSERT_EQ(mgr_->Init(), S_OK);
    EXPECT_TRUE(settings_->writes.empty());
    EXPECT_EQ(VarrowStandIn_GetTrappingMode(L"MultiMedia"), -2);
    EXPECT_EQ(::GetFileAttributesW(iniPath_.c_str()), INVALID_FILE_ATTRIBUTES);
    Drop();
    EXPECT_EQ(VarrowStandIn_GetTrappingMode(L"MultiMedia"), 0);
    EXPECT_EQ(::GetFileAttributesW(iniPath_.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(KestruneMgrTest, BBHookWithFullWritesTheHookFlagToANamedFile) {
    const std::wstring own = installDir_ + L"\\own.ini";
    ::DeleteFileW(own.c_str());
    settings_->Set(L"ActiveX Add-in", L"UseBBHook", CComVariant(1L));
    settings_->Set(L"HooksMgr\\Bbhook", L"IniFileName", CComVariant(own.c_str()));
    Prepare({L"FULL"});
    ASSERT_EQ(mgr_->Init(), S_OK);
    EXPECT_TRUE(settings_->writes.empty());
    EXPECT_EQ(Ini(L"BBT", L"acx_hook", own), L"1");
    EXPECT_EQ(Ini(L"BBT", L"real_hook", own), L"<none>");
    EXPECT_EQ(VarrowStandIn_GetTrappingMode(L"MultiMedia"), 0);
    Drop();
    EXPECT_EQ(Ini(L"BBT", L"acx_hook", own), L"0");
    EXPECT_EQ(::GetFileAttributesW(iniPath_.c_str()), INVALID_FILE_ATTRIBUTES);
    ::DeleteFileW(own.c_str());
}

TEST_F(KestruneMgrTest, BothWordsAndANonNumericHookSetting) {
    settings_->Set(L"ActiveX Add-in", L"UseBBHook", CComVariant(true));  // only a non-zero VT_I4 counts
    Prepare({L"full", L"Multimedia"});
    ASSERT_EQ(mgr_->Init(), S_OK);
    EXPECT_EQ(VarrowStandIn_GetTrappingMode(L"MultiMedia"), -1);
    ASSERT_FALSE(settings_->writes.empty());
    EXPECT_EQ(settings_->writes[0], L"HooksMgr\\DllInjector\\ALWAYS\\DEFAULT\\MODULES|Quillon.dll|I4:1|0,1,0,3,0");
    EXPECT_EQ(Flag(L"real_hook"), L"1");
    EXPECT_EQ(Flag(L"acx_hook"), L"<none>");
}

TEST_F(KestruneMgrTest, ConfigurationMustBeOneDimensionalTexts) {
    mgr_ = NewMgr();
    CComVariant text(L"full");
    EXPECT_EQ(mgr_->SetPackageConfiguration(text), E_INVALIDARG);
    CComVariant nullArray;
    nullArray.vt = VT_ARRAY | VT_BSTR;
    EXPECT_EQ(mgr_->SetPackageConfiguration(nullArray), E_INVALIDARG);
    SAFEARRAYBOUND one{1, 0};
    CComVariant variants;
    variants.vt = VT_ARRAY | VT_VARIANT;
    variants.parray = ::SafeArrayCreate(VT_VARIANT, 1, &one);
    EXPECT_EQ(mgr_->SetPackageConfiguration(variants), E_INVALIDARG);
    SAFEARRAYBOUND two[2] = {{1, 0}, {1, 0}};
    CComVariant square;
    square.vt = VT_ARRAY | VT_BSTR;
    square.parray = ::SafeArrayCreate(VT_BSTR, 2, two);
    EXPECT_EQ(mgr_->SetPackageConfiguration(square), E_INVALIDARG);

    // Every element counts whatever the lower bound; empty and unknown words are passed over,
    // and a later configuration never clears a word.
    Prepare({});
    EXPECT_EQ(mgr_->SetPackageConfiguration(Words({L"other", L"", L"multimedia"}, 1)), S_OK);
    EXPECT_EQ(mgr_->SetPackageConfiguration(Words({L"none"})), S_OK);
    ASSERT_EQ(mgr_->Init(), S_OK);
    EXPECT_EQ(VarrowStandIn_GetTrappingMode(L"MultiMedia"), 1);
}

TEST_F(KestruneMgrTest, WithoutAProductRootOnlyTheSinkIsArranged) {
    settings_->rootResult = E_FAIL;
    Prepare({L"full"});
    EXPECT_EQ(mgr_->Init(), S_OK);
    settings_->rootResult = S_OK;
    settings_->productRoot.Empty();  // a null root is no root
    Prepare({L"full"});
    EXPECT_EQ(mgr_->Init(), S_OK);
    OrlentyStandIn_SetApplicationSettings(nullptr);
    Prepare({L"full"});
    EXPECT_EQ(mgr_->Init(), S_OK);

    Drop();
    EXPECT_EQ(VarrowStandIn_GetCallCount(L"SetProductActiveXAgentRegRoot"), 0);
    EXPECT_EQ(VarrowLog(), std::vector<std::wstring>(3, L"SetTrappingModeForCategoryW(MultiMedia,0)"));
    EXPECT_TRUE(settings_->writes.empty());
    EXPECT_EQ(FlowEvents::created, 1);
    EXPECT_EQ(Agent::created, 3);
}

TEST_F(KestruneMgrTest, AnEmptyProductRootIsStillARoot) {
    settings_->productRoot = L"";
    Prepare({});
    ASSERT_EQ(mgr_->Init(), S_OK);
    EXPECT_EQ(VarrowLog().front(), L"SetProductActiveXAgentRegRoot(HKCU,\\ActiveX Add-in)");
}

TEST_F(KestruneMgrTest, SecondInitFindsTheSinkInTheRack) {
    Prepare({});
    ASSERT_EQ(mgr_->Init(), S_OK);
    ASSERT_EQ(mgr_->Init(), S_OK);
    EXPECT_EQ(FlowEvents::created, 1);
    EXPECT_EQ(FlowEvents::setRackCalls, 1);
    EXPECT_EQ(FlowEvents::lastRack, rack_.get());
    int sinkPlacements = 0;
    for (const auto& c : rack_->calls) sinkPlacements += c == L"SetObject(AcxFlowEventsObject)";
    EXPECT_EQ(sinkPlacements, 1);
}

TEST_F(KestruneMgrTest, SetRackReachesTheAgentOnceItExists) {
    Prepare({});
    EXPECT_EQ(Agent::setRackCalls, 0);
    ASSERT_EQ(mgr_->Init(), S_OK);
    EXPECT_EQ(Agent::setRackCalls, 1);
    Held<fake::Rack> other;
    CComQIPtr<IObjectRackClient> client(static_cast<IUnknown*>(mgr_));
    Agent::setRackResult = E_UNEXPECTED;
    EXPECT_EQ(client->SetRack(other.get()), E_UNEXPECTED);
    EXPECT_EQ(Agent::lastRack, other.get());
    CComPtr<IObjectRack> held;
    EXPECT_EQ(client->GetRack(&held), S_OK);
    EXPECT_EQ(held.get(), other.get());
}

TEST_F(KestruneMgrTest, RegistersQueryFactoryAndServiceWithTheHost) {
    mgr_ = NewMgr();
    Held<fake::Registrations> reg;
    Held<fake::Rack> registered;
    EXPECT_EQ(mgr_->AddQuery(nullptr), E_POINTER);
    EXPECT_EQ(mgr_->AddFactory(nullptr), E_POINTER);
    EXPECT_EQ(mgr_->AddServer(nullptr), E_POINTER);
    EXPECT_EQ(mgr_->AddQuery(rack_.Unk()), E_NOINTERFACE);
    EXPECT_EQ(mgr_->AddFactory(rack_.Unk()), E_NOINTERFACE);
    EXPECT_EQ(mgr_->AddServer(rack_.Unk()), E_NOINTERFACE);

    EXPECT_EQ(mgr_->AddQuery(reg.Unk()), S_OK);
    EXPECT_EQ(mgr_->AddServer(reg.Unk()), S_OK);
    reg->returned = registered.Unk();
    EXPECT_EQ(mgr_->AddFactory(reg.Unk()), S_OK);
    EXPECT_EQ(mgr_->AddServer(reg.Unk()), S_OK);
    EXPECT_EQ(reg->lastServer, registered.Unk());
    EXPECT_EQ(reg->calls, (std::vector<std::wstring>{L"RegisterQuery(Quorvel.AcxQuery,AcxQuery,0,0,-1)",
                                                      L"RegisterServer(null,{KestruneSrv,0,0x7FFF,0},-1)",
                                                      L"RegisterFactory(Quorvel.AcxFactory,{AcxFactory,0,0xAFFF,0},-1)",
                                                      L"RegisterServer(object,{KestruneSrv,0,0x7FFF,0},-1)"}));
    reg->result = E_ACCESSDENIED;
    EXPECT_EQ(mgr_->AddQuery(reg.Unk()), E_ACCESSDENIED);
    mgr_.Release();  // lets go of the registered object before it goes
}

TEST_F(KestruneMgrTest, InterfacesAndOperationsLeftToTheHost) {
    mgr_ = NewMgr();
    CComQIPtr<IPackageMgr> v1(static_cast<IUnknown*>(mgr_));
    CComQIPtr<IPackageMgr2> v2(static_cast<IUnknown*>(mgr_));
    CComQIPtr<IAVTestClient> av(static_cast<IUnknown*>(mgr_));
    ASSERT_TRUE(v1 && v2 && av);
    CComVariant value;
    EXPECT_EQ(v1->GetValueByName(nullptr, nullptr, &value), E_NOTIMPL);
    EXPECT_EQ(v1->SetValueByName(nullptr, nullptr, &value, 0), E_NOTIMPL);
    EXPECT_EQ(av->StartAVTest(), S_OK);
    EXPECT_EQ(av->EndAVTest(), S_OK);
}

TEST_F(KestruneMgrTest, HookListWithoutItsSectionAnswersFalse) {
    CComObject<CKestruneMgr>* mgr = nullptr;
    ASSERT_EQ(CComObject<CKestruneMgr>::CreateInstance(&mgr), S_OK);
    CComPtr<IPackageMgr3> hold(mgr);
    ASSERT_EQ(mgr->SetRack(rack_.get()), S_OK);
    ::WritePrivateProfileStringW(L"other", L"k", L"v", iniPath_.c_str());
    EXPECT_EQ(mgr->RegisterInjectorHooks(settings_.get()), S_FALSE);
    settings_->Set(L"HooksMgr\\Bbhook", L"IniFileName", CComVariant(L""));
    CComObject<CKestruneMgr>* fresh = nullptr;
    ASSERT_EQ(CComObject<CKestruneMgr>::CreateInstance(&fresh), S_OK);
    CComPtr<IPackageMgr3> holdFresh(fresh);
    ASSERT_EQ(fresh->SetRack(rack_.get()), S_OK);
    EXPECT_EQ(fresh->LoadIniFileName(), E_FAIL);  // an empty name is no file, not the Bin folder
}

}  // namespace
