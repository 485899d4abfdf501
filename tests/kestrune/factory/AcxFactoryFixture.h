#pragma once
// The ActiveX factory in this process with the agent utility talking to the application under
// test, the host's side as stand-ins, and a test object in place of the ActiveX test object.
#include <gtest/gtest.h>
#include <windows.h>
#include <memory>
#include <string>
#include <vector>
#include "AutProcess.h"
#include "DesktopLock.h"
#include "FactorySiteStandIn.h"
#include "HostStandIn.h"
#include "OrlentyStandIn.h"
#include "PelluceStub.h"
#include "RegistryRestore.h"
#include "TestObjectStandIn.h"
#include "VarrowStandIn.h"
#include "com/ComVariant.h"
#include "environment/ObjectMap.h"
#include "factory/AcxFactory.h"
#include "tables/RuntimeId.h"

// The application's layouts for the factory's heuristics. main lies right of the other test
// programs' windows; every window a point is asked about answers the hook's point request.
inline constexpr wchar_t kAcxScenario[] = LR"(
window main KorTestContainer text=Main rect=460,40,420,320
control ctl KorTest.WndCtl parent=main rect=10,10,101,41
windowless main 7 KorTest.WlsButton rect=130,10,100,30 caption=Seven
windowless main 8 {6C0B2E51-3A4D-4F1B-9C77-1E2D3F405161} rect=250,10,100,30 caption=Eight
window plain KorPane parent=main rect=10,60,60,30
window button Button parent=main text=OK rect=80,60,60,30
window mapped KorMapped parent=main rect=150,60,60,30
window skipped KorSkipped parent=main rect=220,60,60,30
window frame KorFrame parent=main rect=10,100,120,80
window inner KorInner parent=frame rect=10,10,40,40
window outer KorOuter parent=main rect=140,100,100,80
window twin KorTwin parent=outer rect=0,0,100,80
window kid KorKid parent=twin rect=10,10,30,30
window afxhost KorAfxHost parent=main rect=250,100,80,40
window afx AfxWnd42 parent=afxhost rect=0,0,80,40
window afxsmall AfxWnd42s parent=afxhost rect=5,5,20,20
window image ImageCombo20WndClass parent=main rect=10,200,120,30
window combo ComboBox parent=image own=1 rect=0,0,120,30
window tab SysTabControl32 parent=main rect=140,200,120,80
window page KorPage parent=main rect=150,220,100,50
window rtl KorRtl parent=main rtl=1 rect=270,200,120,60
window rtlkid KorRtlKid parent=rtl rect=0,0,40,40
fact frame activex=1 progid=KorTest.Frame
fact inner activex=1 progid=KorTest.Inner
fact outer activex=1 progid=KorTest.Outer
fact twin activex=1 progid=KorTest.Twin
fact kid activex=1 progid=KorTest.Kid
fact mapped activex=1 progid=KorTest.Mapped
fact skipped activex=1 progid=KorTest.Skipped
fact afxhost activex=1 progid=KorTest.AfxHost
fact image activex=1 progid=KorTest.ImageCombo
fact page activex=1 progid=KorTest.Page
fact rtlkid activex=1 progid=KorTest.RtlKid
reply plain GET_COOKIE_FROM_POINT_MSG result=1 cookie=0
reply combo GET_COOKIE_FROM_POINT_MSG result=1 cookie=0
reply page GET_COOKIE_FROM_POINT_MSG result=1 cookie=0
reply rtl GET_COOKIE_FROM_POINT_MSG result=1 cookie=0
reply rtlkid GET_COOKIE_FROM_POINT_MSG result=1 cookie=0
)";

// The ActiveX test object as the factory sees it: a test object that records its set-up.
class CAcxTestObject : public standin::CTestObjectStandIn, public IKorActiveXInit {
public:
    BEGIN_COM_MAP(CAcxTestObject)
        COM_INTERFACE_ENTRY(IDispatch)
        if (::IsEqualIID(iid, __uuidof(IKorActiveXInit))) KCOM_MAP_HIT(static_cast<IKorActiveXInit*>(this))
        return CTestObjectStandIn::_MapQueryInterface(iid, ppv, addRef);
    END_COM_MAP()

    STDMETHOD(Init)(UINT format) override {
        Log().Add(L"Init(" + std::to_wstring(format) + L")");
        return S_OK;
    }
    STDMETHOD(IsBackwardObject)() override { return S_FALSE; }
    STDMETHOD(GetQueryFormats)(SAFEARRAY** formats) override {
        if (!formats) return E_POINTER;
        *formats = nullptr;
        return S_OK;
    }
    STDMETHOD(IsWindowed)() override { return E_FAIL; }
    STDMETHOD(ReleaseHelper)() override { return S_OK; }
    // Creators of the ActiveX test object's class and of a custom class, told apart by "made as".
    static HRESULT CreateActiveX(IUnknown* outer, REFIID iid, void** out) {
        return Create(L"ActiveX", outer, iid, out);
    }
    static HRESULT CreateCustom(IUnknown* outer, REFIID iid, void** out) { return Create(L"custom", outer, iid, out); }

private:
    static HRESULT Create(const wchar_t* kind, IUnknown* outer, REFIID iid, void** out) {
        const HRESULT hr = kcom::CComCreator<CAcxTestObject>::CreateInstance(outer, iid, out);
        if (SUCCEEDED(hr)) Of(static_cast<IUnknown*>(*out))->Put(L"made as", kcom::CComVariant(kind));
        return hr;
    }
};

// The factory site, which can refuse a parent to windowless objects and notes the identifier
// of every object it is asked about.
class CAcxSiteStandIn : public standin::CFactorySiteStandIn {
public:
    STDMETHOD(CreateTestObj)(IUnknown* object, IUnknown** parent) override;
    bool refuseWindowless = false;
    std::vector<std::wstring> asked;  // "<class of the window>:<its text>"
};

class AcxFactoryFixture : public ::testing::Test {
protected:
    using TestObject = standin::Holder<standin::CTestObjectStandIn>;

    void SetUp() override;
    void TearDown() override;

    HWND W(const wchar_t* name) const { return aut_.Window(name); }
    static long L(HWND window) { return static_cast<long>(reinterpret_cast<LONG_PTR>(window)); }
    // A screen point of the window, from its top-left corner.
    POINT At(const wchar_t* name, long dx, long dy) const;

    CRuntimeId WindowId(HWND window) const;
    CRuntimeId WindowlessId(HWND container, long cookie) const;
    static kcom::CComVariant AsVariant(const CRuntimeId& id) {
        return kcom::CComVariant(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(id)));
    }
    kcom::CComPtr<IDispatch> FromWindow(const wchar_t* name, HRESULT expected = S_OK);
    kcom::CComPtr<IDispatch> FromPoint(POINT p, HRESULT expected = S_OK);
    // What a test object's identifier names: "<window name>" or "<window name>:<cookie>".
    std::wstring Names(IUnknown* object) const;
    std::wstring NameOf(HWND window) const;
    static standin::CTestObjectStandIn* Of(IUnknown* object) { return standin::CTestObjectStandIn::Of(object); }
    // How many lines of the log are exactly the line.
    static int Lines(const standin::CallLog& log, const std::wstring& line);

    std::vector<std::unique_ptr<CRegistryRestore>> classKeys_;
    std::unique_ptr<standin::CClassRegistration> agentClass_, activeXClass_, customClass_;
    standin::Holder<standin::CSettingsStandIn> settings_ = standin::Holder<standin::CSettingsStandIn>::New();
    standin::Holder<standin::CSettingsStandIn> options_ = standin::Holder<standin::CSettingsStandIn>::New();
    standin::Holder<standin::CQueryEngineStandIn> engine_ = standin::Holder<standin::CQueryEngineStandIn>::New();
    standin::Holder<standin::CRackStandIn> rack_ = standin::Holder<standin::CRackStandIn>::New();
    standin::Holder<CAcxSiteStandIn> site_ = standin::Holder<CAcxSiteStandIn>::New();
    TestObject parent_ = TestObject::New();
    kcom::CComPtr<IOutputChannel> channel_;
    kcom::CComPtr<IAcxAgntUtil2> agent_;
    standin::Holder<CAcxFactory> factory_;
    CAutProcess aut_;
};

// The custom test-object class configured for two control ProgIDs.
inline constexpr CLSID kCustomClsid = {0x6C0B2E52, 0x3A4D, 0x4F1B, {0x9C, 0x77, 0x1E, 0x2D, 0x3F, 0x40, 0x51, 0x61}};
