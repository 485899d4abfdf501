// The package manager against the host stand-ins: rack, application settings, Varrow, the hook
// injector's INI file, and the host's registration interfaces.
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include "com/ComBSTR.h"
#include "HostStandIn.h"
#include "OrlentyStandIn.h"
#include "VarrowStandIn.h"
#include "environment/KestruneMgr.h"

using namespace kcom;
using standin::Holder;

namespace {

// An object of the package's own classes as the manager sees it: a rack client that counts.
// The agent's stand-in also answers the agent interface the manager asks for.
template <bool IsAgent>
class RackClient : public CComObjectRootEx<CComSingleThreadModel>, public IObjectRackClient {
public:
    static inline int created = 0, setRackCalls = 0;
    static inline IObjectRack* lastRack = nullptr;  // not held
    static inline HRESULT setRackResult = S_OK;

    BEGIN_COM_MAP(RackClient)
        COM_INTERFACE_ENTRY(IObjectRackClient)
        if (IsAgent && ::IsEqualIID(iid, __uuidof(IAcxAgntUtil))) KCOM_MAP_HIT(static_cast<IObjectRackClient*>(this))
    END_COM_MAP()

    RackClient() { ++created; }
    STDMETHOD(GetRack)(IObjectRack**) override { return E_NOTIMPL; }
    STDMETHOD(SetRack)(IObjectRack* rack) override {
        ++setRackCalls;
        lastRack = rack;
        return setRackResult;
    }
    static void Reset() {
        created = setRackCalls = 0;
        lastRack = nullptr;
        setRackResult = S_OK;
    }
};
using Agent = RackClient<true>;
using FlowEvents = RackClient<false>;

// The log lines of one method.
std::vector<std::wstring> Calls(const standin::CallLog& log, const std::wstring& method) {
    std::vector<std::wstring> out;
    for (const auto& line : log.Lines())
        if (line.compare(0, method.size() + 1, method + L"(") == 0) out.push_back(line);
    return out;
}

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

HRESULT Unavailable(IUnknown*, REFIID, void** ppv) noexcept {
    if (ppv) *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

class KestruneMgrTest : public ::testing::Test {
protected:
    void SetUp() override {
        VarrowStandIn_Reset();
        OrlentyStandIn_Reset();
        Agent::Reset();
        FlowEvents::Reset();
        // One installation folder per process: the manager reads it once.
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        installDir_ = std::wstring(temp) + L"kestrune_mgr_" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(installDir_.c_str(), nullptr);
        ::CreateDirectoryW((installDir_ + L"\\Bin").c_str(), nullptr);
        iniPath_ = installDir_ + L"\\Bin\\hooks.ini";
        ::DeleteFileW(iniPath_.c_str());
        app_->Put(L"Installation Dir", CComVariant(installDir_.c_str()));

        settings_->SetProductRoot(L"Software\\Quorvel\\Product");
        settings_->Put(L"HooksMgr\\Bbhook", L"IniFileName", L"hooks.ini");
        OrlentyStandIn_SetApplicationSettings(settings_.as<IKorSettings>());
    }
    void TearDown() override {
        Drop();
        OrlentyStandIn_Reset();
        ::DeleteFileW(iniPath_.c_str());
    }

    CComPtr<IPackageMgr3> NewMgr() {
        CComPtr<IPackageMgr3> mgr;
        EXPECT_EQ(CComCreator<CKestruneMgr>::CreateInstance(nullptr, IID_IPackageMgr3, reinterpret_cast<void**>(mgr.Put())),
                  S_OK);
        return mgr;
    }
    // A manager given the rack and the configuration, as the host prepares it.
    void Prepare(std::initializer_list<const wchar_t*> words) {
        mgr_ = NewMgr();
        CComQIPtr<IObjectRackClient> client(static_cast<IUnknown*>(mgr_));
        ASSERT_EQ(client->SetRack(rack_.as<IObjectRack>()), S_OK);
        ASSERT_EQ(mgr_->SetPackageConfiguration(Words(words)), S_OK);
    }

    // The host lets go of the manager: out of the rack, last reference released.
    void Drop() {
        rack_->Put(L"KestruneMgr", nullptr);
        mgr_.Release();
    }

    std::wstring Ini(const wchar_t* key, const std::wstring& path) {
        wchar_t buf[64] = {};
        ::GetPrivateProfileStringW(L"BBT", key, L"<none>", buf, 64, path.c_str());
        return buf;
    }
    std::wstring Flag(const wchar_t* key) { return Ini(key, iniPath_); }
    std::vector<std::wstring> Writes() { return Calls(settings_->Log(), L"SetValue"); }

    Holder<standin::CRackStandIn> rack_ = Holder<standin::CRackStandIn>::New();
    Holder<standin::CSettingsStandIn> settings_ = Holder<standin::CSettingsStandIn>::New();
    Holder<standin::CHostApplicationStandIn> app_ = Holder<standin::CHostApplicationStandIn>::New();
    standin::CHostApplicationRegistration host_{app_.as<IKorHostApplication>()};
    std::unique_ptr<standin::CClassRegistration> agent_ =
        std::make_unique<standin::CClassRegistration>(CLSID_AcxAgntUtil, &CComCreator<Agent>::CreateInstance);
    standin::CClassRegistration flow_{CLSID_AcxFlowEvents, &CComCreator<FlowEvents>::CreateInstance};
    CComPtr<IPackageMgr3> mgr_;
    std::wstring installDir_, iniPath_;
};

TEST_F(KestruneMgrTest, InitNeedsARackAndTheAgentUtility) {
    mgr_ = NewMgr();
    EXPECT_EQ(mgr_->Init(), E_FAIL);
    EXPECT_TRUE(Calls(rack_->Log(), L"SetObject").empty());

    // The agent class refuses creation (the server's own registration could otherwise answer).
    // The earlier registration goes first: a second one of a class already registered is no
    // registration at all.
    agent_.reset();
    agent_ = std::make_unique<standin::CClassRegistration>(CLSID_AcxAgntUtil, &Unavailable);
    Prepare({L"full"});
    EXPECT_EQ(mgr_->Init(), E_FAIL);
    EXPECT_EQ(Calls(rack_->Log(), L"SetObject"), std::vector<std::wstring>{L"SetObject(KestruneMgr)"});
    EXPECT_EQ(VarrowStandIn_GetCallCount(L"SetProductActiveXAgentRegRoot"), 0);
    EXPECT_EQ(FlowEvents::created, 0);
}

TEST_F(KestruneMgrTest, MultimediaWithoutBBHookRegistersTheInjectorHooks) {
    ::WritePrivateProfileSectionW(L"acx_hook",
                                  L"name=Hooks\0method=inject\0HookA=yes\0HookB=YES\0HookC=no\0HookD=1\0HookE=true\0"
                                  L"HookF=\0",
                                  iniPath_.c_str());
    settings_->AddSection(L"HooksMgr\\DllInjector\\ALWAYS\\HookA");
    Prepare({L"multimedia"});
    ASSERT_EQ(mgr_->Init(), S_OK);

    EXPECT_EQ(Calls(rack_->Log(), L"SetObject"),
              (std::vector<std::wstring>{L"SetObject(KestruneMgr)", L"SetObject(AcxFlowEventsObject)"}));
    EXPECT_TRUE(rack_->Find(L"KestruneMgr").IsEqualObject(mgr_));
    EXPECT_EQ(Agent::created, 1);
    EXPECT_EQ(Agent::lastRack, rack_.as<IObjectRack>());
    EXPECT_EQ(VarrowLog(), (std::vector<std::wstring>{
                               L"SetProductActiveXAgentRegRoot(HKCU,Software\\Quorvel\\Product\\ActiveX Add-in)",
                               L"SetTrappingModeForCategoryW(MultiMedia,1)"}));
    const std::wstring a = L"SetValue(HooksMgr\\DllInjector\\ALWAYS\\Hook";
    EXPECT_EQ(Writes(), (std::vector<std::wstring>{
                            L"SetValue(HooksMgr\\DllInjector\\ALWAYS\\DEFAULT\\MODULES,Quillon.dll,I4:1,0,1,0,3,0)",
                            a + L"A,Enabled,I4:1,0,0,0,3,0)", a + L"A,UseDefault,I4:1,0,0,0,3,0)",
                            a + L"B,Enabled,I4:1,0,0,0,3,0)", a + L"B,UseDefault,I4:1,0,0,0,3,0)",
                            a + L"C,Enabled,I4:0,0,0,0,3,0)", a + L"C,UseDefault,I4:1,0,0,0,3,0)",
                            a + L"D,Enabled,I4:0,0,0,0,3,0)", a + L"D,UseDefault,I4:1,0,0,0,3,0)",
                            a + L"E,Enabled,I4:0,0,0,0,3,0)", a + L"E,UseDefault,I4:1,0,0,0,3,0)"}));
    const std::wstring c = L"CreateSection(HooksMgr\\DllInjector\\ALWAYS\\Hook";
    EXPECT_EQ(Calls(settings_->Log(), L"CreateSection"),
              (std::vector<std::wstring>{c + L"B)", c + L"C)", c + L"D)", c + L"E)"}));
    EXPECT_EQ(Flag(L"real_hook"), L"1");
    EXPECT_EQ(Flag(L"acx_hook"), L"<none>");

    Drop();
    EXPECT_EQ(Flag(L"real_hook"), L"0");
    EXPECT_EQ(Flag(L"acx_hook"), L"<none>");
    EXPECT_EQ(VarrowLog().back(), L"SetTrappingModeForCategoryW(MultiMedia,0)");
}

TEST_F(KestruneMgrTest, BBHookWritesTheHookFlagOnlyWithAWord) {
    settings_->Put(L"ActiveX Add-in", L"UseBBHook", 1L);
    Prepare({});
    ASSERT_EQ(mgr_->Init(), S_OK);
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(VarrowStandIn_GetTrappingMode(L"MultiMedia"), -2);
    EXPECT_EQ(::GetFileAttributesW(iniPath_.c_str()), INVALID_FILE_ATTRIBUTES);
    Drop();
    EXPECT_EQ(VarrowStandIn_GetTrappingMode(L"MultiMedia"), 0);
    EXPECT_EQ(::GetFileAttributesW(iniPath_.c_str()), INVALID_FILE_ATTRIBUTES);

    // With "full", to a file named with its folder.
    const std::wstring own = installDir_ + L"\\own.ini";
    ::DeleteFileW(own.c_str());
    settings_->Put(L"HooksMgr\\Bbhook", L"IniFileName", own.c_str());
    Prepare({L"FULL"});
    ASSERT_EQ(mgr_->Init(), S_OK);
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(Ini(L"acx_hook", own), L"1");
    EXPECT_EQ(Ini(L"real_hook", own), L"<none>");
    EXPECT_EQ(VarrowStandIn_GetTrappingMode(L"MultiMedia"), 0);
    Drop();
    EXPECT_EQ(Ini(L"acx_hook", own), L"0");
    EXPECT_EQ(::GetFileAttributesW(iniPath_.c_str()), INVALID_FILE_ATTRIBUTES);
    ::DeleteFileW(own.c_str());
}

TEST_F(KestruneMgrTest, BothWordsAndANonNumericHookSetting) {
    settings_->Put(L"ActiveX Add-in", L"UseBBHook", CComVariant(true));  // only a non-zero VT_I4 counts
    Prepare({L"full", L"Multimedia"});
    ASSERT_EQ(mgr_->Init(), S_OK);
    EXPECT_EQ(VarrowStandIn_GetTrappingMode(L"MultiMedia"), -1);
    ASSERT_FALSE(Writes().empty());
    EXPECT_EQ(Writes()[0], L"SetValue(HooksMgr\\DllInjector\\ALWAYS\\DEFAULT\\MODULES,Quillon.dll,I4:1,0,1,0,3,0)");
    EXPECT_EQ(Flag(L"real_hook"), L"1");
    EXPECT_EQ(Flag(L"acx_hook"), L"<none>");
}

TEST_F(KestruneMgrTest, ConfigurationMustBeOneDimensionalTexts) {
    mgr_ = NewMgr();
    EXPECT_EQ(mgr_->SetPackageConfiguration(CComVariant(L"full")), E_INVALIDARG);
    // A null array, an array of variants, a two-dimensional array of texts.
    const SAFEARRAYBOUND bounds[2] = {{1, 0}, {1, 0}};
    for (auto [type, dims] : {std::pair<VARTYPE, UINT>{VT_BSTR, 0}, {VT_VARIANT, 1}, {VT_BSTR, 2}}) {
        CComVariant config;
        config.vt = VT_ARRAY | type;
        config.parray = dims ? ::SafeArrayCreate(type, dims, const_cast<SAFEARRAYBOUND*>(bounds)) : nullptr;
        EXPECT_EQ(mgr_->SetPackageConfiguration(config), E_INVALIDARG) << type << "/" << dims;
    }

    // Every element counts whatever the lower bound; empty and unknown words are passed over,
    // and a later configuration never clears a word.
    Prepare({});
    EXPECT_EQ(mgr_->SetPackageConfiguration(Words({L"other", L"", L"multimedia"}, 1)), S_OK);
    EXPECT_EQ(mgr_->SetPackageConfiguration(Words({L"none"})), S_OK);
    ASSERT_EQ(mgr_->Init(), S_OK);
    EXPECT_EQ(VarrowStandIn_GetTrappingMode(L"MultiMedia"), 1);
}

TEST_F(KestruneMgrTest, WithoutAProductRootOnlyTheSinkIsArranged) {
    settings_->SetProductRoot(L"Software\\Quorvel\\Product", E_FAIL);
    Prepare({L"full"});
    EXPECT_EQ(mgr_->Init(), S_OK);
    settings_->SetProductRoot(nullptr);  // a null root is no root
    Prepare({L"full"});
    EXPECT_EQ(mgr_->Init(), S_OK);
    OrlentyStandIn_SetApplicationSettings(nullptr);
    Prepare({L"full"});
    EXPECT_EQ(mgr_->Init(), S_OK);

    Drop();
    EXPECT_EQ(VarrowStandIn_GetCallCount(L"SetProductActiveXAgentRegRoot"), 0);
    EXPECT_EQ(VarrowLog(), std::vector<std::wstring>(3, L"SetTrappingModeForCategoryW(MultiMedia,0)"));
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(FlowEvents::created, 1);
    EXPECT_EQ(Agent::created, 3);

    // An empty root is still a root.
    OrlentyStandIn_SetApplicationSettings(settings_.as<IKorSettings>());
    settings_->SetProductRoot(L"");
    Prepare({});
    ASSERT_EQ(mgr_->Init(), S_OK);
    EXPECT_EQ(VarrowLog()[3], L"SetProductActiveXAgentRegRoot(HKCU,\\ActiveX Add-in)");
}

TEST_F(KestruneMgrTest, TheSinkIsPlacedOnceAndTheAgentFollowsTheRack) {
    Prepare({});
    EXPECT_EQ(Agent::setRackCalls, 0);
    ASSERT_EQ(mgr_->Init(), S_OK);
    EXPECT_EQ(Agent::setRackCalls, 1);
    ASSERT_EQ(mgr_->Init(), S_OK);  // the second finds the sink in the rack
    EXPECT_EQ(FlowEvents::created, 1);
    EXPECT_EQ(FlowEvents::setRackCalls, 1);
    EXPECT_EQ(FlowEvents::lastRack, rack_.as<IObjectRack>());
    const auto placed = Calls(rack_->Log(), L"SetObject");
    EXPECT_EQ(std::count(placed.begin(), placed.end(), L"SetObject(AcxFlowEventsObject)"), 1);

    auto other = Holder<standin::CRackStandIn>::New();
    CComQIPtr<IObjectRackClient> client(static_cast<IUnknown*>(mgr_));
    Agent::setRackResult = E_UNEXPECTED;
    EXPECT_EQ(client->SetRack(other.as<IObjectRack>()), E_UNEXPECTED);
    EXPECT_EQ(Agent::lastRack, other.as<IObjectRack>());
    CComPtr<IObjectRack> held;
    EXPECT_EQ(client->GetRack(held.Put()), S_OK);
    EXPECT_EQ(held.get(), other.as<IObjectRack>());
}

TEST_F(KestruneMgrTest, RegistersQueryFactoryAndServiceWithTheHost) {
    mgr_ = NewMgr();
    auto engine = Holder<standin::CQueryEngineStandIn>::New();
    auto records = Holder<standin::CRecordMgrStandIn>::New();
    IUnknown* neither = rack_.as<IObjectRack>();
    EXPECT_EQ(mgr_->AddQuery(nullptr), E_POINTER);
    EXPECT_EQ(mgr_->AddFactory(nullptr), E_POINTER);
    EXPECT_EQ(mgr_->AddServer(nullptr), E_POINTER);
    EXPECT_EQ(mgr_->AddQuery(neither), E_NOINTERFACE);
    EXPECT_EQ(mgr_->AddFactory(neither), E_NOINTERFACE);
    EXPECT_EQ(mgr_->AddServer(neither), E_NOINTERFACE);

    EXPECT_EQ(mgr_->AddQuery(engine.as<IKorQuery>()), S_OK);
    EXPECT_EQ(mgr_->AddServer(records.as<IKorRecordRegistration>()), S_OK);
    EXPECT_EQ(mgr_->AddFactory(records.as<IKorRecordRegistration>()), S_OK);
    EXPECT_EQ(mgr_->AddServer(records.as<IKorRecordRegistration>()), S_OK);  // hands the factory's object back
    EXPECT_EQ(engine->Log().Lines(), std::vector<std::wstring>{L"RegisterQuery(Quorvel.AcxQuery,AcxQuery,0,0,-1)"});
    EXPECT_EQ(records->Log().Lines(),
              (std::vector<std::wstring>{L"RegisterServer((null),{KestruneSrv,0,0x7FFF,0},-1)",
                                         L"RegisterFactory(Quorvel.AcxFactory,{AcxFactory,0,0xAFFF,0},-1)",
                                         L"RegisterServer(#0,{KestruneSrv,0,0x7FFF,0},-1)"}));
    engine->SetRegisterResult(E_ACCESSDENIED);
    EXPECT_EQ(mgr_->AddQuery(engine.as<IKorQuery>()), E_ACCESSDENIED);
}

TEST_F(KestruneMgrTest, HookListWithoutItsSectionAnswersFalse) {
    CComObject<CKestruneMgr>* mgr = nullptr;
    ASSERT_EQ(CComObject<CKestruneMgr>::CreateInstance(&mgr), S_OK);
    CComPtr<IPackageMgr3> hold(mgr);
    ASSERT_EQ(mgr->SetRack(rack_.as<IObjectRack>()), S_OK);
    ::WritePrivateProfileStringW(L"other", L"k", L"v", iniPath_.c_str());
    EXPECT_EQ(mgr->RegisterInjectorHooks(settings_.as<IKorSettings>()), S_FALSE);
    settings_->Put(L"HooksMgr\\Bbhook", L"IniFileName", L"");
    CComObject<CKestruneMgr>* fresh = nullptr;
    ASSERT_EQ(CComObject<CKestruneMgr>::CreateInstance(&fresh), S_OK);
    CComPtr<IPackageMgr3> holdFresh(fresh);
    ASSERT_EQ(fresh->SetRack(rack_.as<IObjectRack>()), S_OK);
    EXPECT_EQ(fresh->LoadIniFileName(), E_FAIL);  // an empty name is no file, not the Bin folder
}

}  // namespace
