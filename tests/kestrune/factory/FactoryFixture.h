#pragma once
// A concrete factory over the standard base whose control-dependent choices are test knobs, the
// host's side as stand-ins, and the application under test in its own process.
#include <gtest/gtest.h>
#include <windows.h>
#include <memory>
#include <string>
#include "AutProcess.h"
#include "FactorySiteStandIn.h"
#include "HostStandIn.h"
#include "OrlentyStandIn.h"
#include "TestObjectStandIn.h"
#include "com/ComVariant.h"
#include "factory/StdFactoryBase.h"
#include "host/ObjectRackClientImpl.h"

inline constexpr CLSID kTestObjectClsid = {0x5D2E4A61, 0x7C3B, 0x4E19, {0x9A, 0x0F, 0x31, 0x6B, 0x84, 0xD2, 0x57, 0xC1}};

// "alpha" is the first window by name: the application's published notification header names it.
inline constexpr wchar_t kScenario[] = LR"(
window main - text=Main
window alpha KorGrid parent=main rect=10,10,100,50
window button Button parent=main text=OK rect=10,70,80,30
window hidden KorGrid parent=main hidden=1
window outer SkipOuter parent=main rect=120,10,150,100
window inner KorGrid parent=outer rect=5,5,50,50
window solo SkipSolo parent=main rect=120,120,150,100
window soloinner KorGrid parent=solo rect=5,5,50,50
window titled KorGrid parent=main text="Secret Pane" rect=280,10,50,50
window run "#32770" text=Run rect=300,300,200,100
window prompt STATIC parent=run text="Type the name of a program, folder, document, or Internet resource, and Windows will open it for you." rect=5,5,190,40
window runfield Edit parent=run rect=5,50,100,20
window fakerun "#32770" text=Run rect=520,300,200,100
window fakeprompt STATIC parent=fakerun text="Type the name of a program" rect=5,5,190,40
)";

class CTestFactory : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                     public CStdFactoryBase,
                     public IObjectRackClientImpl<CTestFactory> {
public:
    explicit CTestFactory(bool cacheEnabled = true) : CStdFactoryBase(cacheEnabled) {}
    HRESULT FinalConstruct() {
        RegisterFormats();
        SetOwnUnknown(GetControllingUnknown());
        return S_OK;
    }

    BEGIN_COM_MAP(CTestFactory)
        STD_FACTORY_BASE_INTERFACES()
        COM_INTERFACE_ENTRY(IObjectRackClient)
    END_COM_MAP()

    STDMETHOD(SetRack)(IObjectRack* rack) override {
        IObjectRackClientImpl<CTestFactory>::SetRack(rack);
        return LoadSkipLists(rack, L"Packages\\Test\\SkipRecordClasses", L"Packages\\Test\\SkipRecordTitles");
    }
    STDMETHOD(CreateTestObjFromPoint)(long, long, IUnknown*, IDispatch** object) override {
        return pointObject.CopyTo(object);
    }
    HRESULT GetClassDescriptor(IDispatch*, KorClassDescriptor* descriptor) override {
        *descriptor = {L"TestClass", 0x12, 0x34, 0x56};
        return S_OK;
    }
    HRESULT GetClassIds(CRuntimeId&, CLSID* primaryOut, CLSID* fallbackOut) override {
        *primaryOut = primary;
        *fallbackOut = fallback;
        return classIds;
    }
    bool FilterRecord(FORMATETC*, STGMEDIUM*, ULONG*, CRuntimeId) override { return keep; }
    bool IsOwnClassName(BSTR name) override { return name && std::wstring(name) == L"TestClass"; }
    HRESULT GetClassNameForId(CRuntimeId& id, BSTR* name) override {
        long window = 0;
        if (FAILED(id.GetLong(L"hwnd", &window))) return S_FALSE;
        *name = ::SysAllocString(L"TestClass");
        return S_OK;
    }

    CLSID primary = kTestObjectClsid;
    CLSID fallback = GUID_NULL;
    HRESULT classIds = S_OK;
    bool keep = true;
    kcom::CComPtr<IDispatch> pointObject;
};

class CUncachedTestFactory : public CTestFactory {
public:
    CUncachedTestFactory() : CTestFactory(false) {}
};

class FactoryFixture : public ::testing::Test {
protected:
    using TestObject = standin::Holder<standin::CTestObjectStandIn>;

    void SetUp() override {
        standin::CTestObjectStandIn::Defaults() = {};
        standin::CTestObjectStandIn::CreatedCount() = 0;
        registration_ = std::make_unique<standin::CClassRegistration>(kTestObjectClsid, &standin::CTestObjectStandIn::Create);
        ASSERT_HRESULT_SUCCEEDED(registration_->Result());
        site_->SetParent(parent_.as<IDispatch>());
        OrlentyStandIn_SetApplicationSettings(settings_.as<IKorSettings>());
        OrlentyStandIn_SetKorQuery(engine_.as<IKorQuery>());
        factory_ = New<CTestFactory>();
    }

    void TearDown() override {
        factory_ = {};
        registration_.reset();
        OrlentyStandIn_Reset();
        aut_.Stop();
    }

    // A factory with the rack and, unless told otherwise, an owned site.
    template <class T>
    standin::Holder<T> New(bool withSite = true) {
        auto factory = standin::Holder<T>::New();
        EXPECT_EQ(S_OK, factory->SetRack(rack_.as<IObjectRack>()));
        if (withSite) {
            EXPECT_EQ(S_OK, factory->SetFactorySite(site_.as<ITestObjFactorySite>(), 1));
        }
        return factory;
    }

    void Recording(bool on) { settings_->Put(L"", L"OnRecord", on ? 1L : 0L); }

    CRuntimeId WindowId(HWND window, UINT format = 0) {
        CRuntimeId id(format ? format : factory_->WindowFormat());
        id.PutVariantValue(L"hwnd", kcom::CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(window))));
        return id;
    }
    static kcom::CComVariant AsVariant(CRuntimeId& id) {
        return kcom::CComVariant(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(id)));
    }

    kcom::CComPtr<IDispatch> Create(HWND window, HRESULT expected = S_OK) {
        kcom::CComPtr<IDispatch> object;
        CRuntimeId id = WindowId(window);
        EXPECT_EQ(expected, factory_->CreateTestObjFromRuntimeId(id, object.Put()));
        return object;
    }

    // The window that a test object's identifier names.
    static HWND WindowOf(IUnknown* object) {
        kcom::CComVariant id = Of(object)->Peek(L"objectid");
        long window = 0;
        if (id.vt == VT_UNKNOWN) CRuntimeId(id).GetLong(L"hwnd", &window);
        return reinterpret_cast<HWND>(static_cast<LONG_PTR>(window));
    }
    static standin::CTestObjectStandIn* Of(IUnknown* object) { return standin::CTestObjectStandIn::Of(object); }
    static LONG Created() { return standin::CTestObjectStandIn::CreatedCount(); }

    void StartAut() { ASSERT_HRESULT_SUCCEEDED(aut_.Start(kScenario, false)); }
    HWND W(const wchar_t* name) const { return aut_.Window(name); }

    std::unique_ptr<standin::CClassRegistration> registration_;
    standin::Holder<standin::CSettingsStandIn> settings_ = standin::Holder<standin::CSettingsStandIn>::New();
    standin::Holder<standin::CQueryEngineStandIn> engine_ = standin::Holder<standin::CQueryEngineStandIn>::New();
    standin::Holder<standin::CRackStandIn> rack_ = standin::Holder<standin::CRackStandIn>::New();
    standin::Holder<standin::CFactorySiteStandIn> site_ = standin::Holder<standin::CFactorySiteStandIn>::New();
    TestObject parent_ = TestObject::New();
    standin::Holder<CTestFactory> factory_;
    CAutProcess aut_;
};
