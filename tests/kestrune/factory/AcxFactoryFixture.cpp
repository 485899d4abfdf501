#include "AcxFactoryFixture.h"
#include <algorithm>
#include "com/Handles.h"
#include "contracts/AcxSetting.h"
#include "environment/LoadTimeValues.h"

using kcom::CComPtr;
using kcom::CComVariant;

namespace {

void SetText(HKEY root, const std::wstring& path, const wchar_t* name, const wchar_t* text) {
    kcom::CRegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                              static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t))));
}

// The settings root of this process: test programs run side by side.
std::wstring SettingsRoot() {
    return L"Software\\KestruneAcxFactoryTest" + std::to_wstring(::GetCurrentProcessId()) + L"\\ActiveX Add-in";
}

}  // namespace

STDMETHODIMP CAcxSiteStandIn::CreateTestObj(IUnknown* object, IUnknown** parent) {
    CRuntimeId id(standin::CTestObjectStandIn::Of(object)->Peek(L"objectid"));
    if (refuseWindowless && id.GetPackage() == g_cfWindowlessAcxControl) {
        *parent = nullptr;
        return S_FALSE;
    }
    long window = 0;
    id.GetLong(L"hwnd", &window);
    const HWND handle = reinterpret_cast<HWND>(static_cast<LONG_PTR>(window));
    wchar_t cls[64] = {}, text[64] = {};
    ::GetClassNameW(handle, cls, 64);
    ::GetWindowTextW(handle, text, 64);
    RECT r{};
    ::GetWindowRect(handle, &r);
    POINT corner{r.left, r.top};
    ::ScreenToClient(::GetParent(handle), &corner);
    asked.push_back(std::wstring(cls) + L":" + text + L"@" + std::to_wstring(corner.x) + L"," +
                    std::to_wstring(corner.y) + L"," + std::to_wstring(r.right - r.left));
    return CFactorySiteStandIn::CreateTestObj(object, parent);
}

void AcxFactoryFixture::SetUp() {
    // Control ProgIDs and custom test-object ProgIDs, put back as they were when the case ends.
    const std::pair<const wchar_t*, const wchar_t*> classes[] = {
        {L"KorTest.WndCtl", L"{6C0B2E51-3A4D-4F1B-9C77-1E2D3F405161}"},
        {L"KorTest.Frame", L"{6C0B2E53-3A4D-4F1B-9C77-1E2D3F405161}"},
        {L"KorTest.CustomButton", L"{27577152-B48B-11D4-8F71-0050DA3B0421}"},
        {L"KorTest.CustomFrame", L"{6C0B2E52-3A4D-4F1B-9C77-1E2D3F405161}"}};
    for (const auto& [progId, clsid] : classes) {
        const std::wstring key = std::wstring(progId) + L"\\CLSID";
        classKeys_.push_back(std::make_unique<CRegistryRestore>(HKEY_CLASSES_ROOT, key));
        SetText(HKEY_CLASSES_ROOT, key, nullptr, clsid);
    }
    const std::wstring progIds = SettingsRoot() + L"\\ProgID\\";
    SetText(HKEY_CURRENT_USER, progIds + L"KorTest.WndCtl", L"CustWindowTestObjectProgID", L"KorTest.CustomButton");
    SetText(HKEY_CURRENT_USER, progIds + L"KorTest.Frame", L"CustWindowTestObjectProgID", L"KorTest.CustomFrame");
    SetText(HKEY_CURRENT_USER, progIds + L"KorTest.Nowhere", L"CustWindowTestObjectProgID", L"KorTest.CustomFrame");
    SetText(HKEY_CURRENT_USER, progIds + L"KorTest.Page", L"Other", L"x");
    CAcxSetting::GetInstance()->SetProductActiveXAgentRegRoot(HKEY_CURRENT_USER, SettingsRoot().c_str());

    agentClass_ = std::make_unique<standin::CClassRegistration>(CLSID_AcxAgntUtil, AcxAgntUtilCreator, true);
    activeXClass_ = std::make_unique<standin::CClassRegistration>(CLSID_KorActiveX, &CAcxTestObject::CreateActiveX);
    customClass_ = std::make_unique<standin::CClassRegistration>(kCustomClsid, &CAcxTestObject::CreateCustom);
    ASSERT_HRESULT_SUCCEEDED(aut_.Start(kAcxScenario));
    PelluceStub_Reset();
    ASSERT_HRESULT_SUCCEEDED(PelluceStub_CreateChannel(5000, channel_.Put()));
    rack_->Put(L"TestOutputChannel", channel_);
    rack_->Put(L"TestOptions", options_.as<IKorSettings>());
    settings_->Put(L"Packages\\Kestrune\\SkipRecordClasses", L"korskipped", 1L);
    settings_->Put(L"Packages\\StdPackage\\ClassMap", L"KorMapped", L"MappedClass");
    OrlentyStandIn_SetApplicationSettings(settings_.as<IKorSettings>());
    OrlentyStandIn_SetKorQuery(engine_.as<IKorQuery>());
    site_->SetParent(parent_.as<IDispatch>());

    ASSERT_HRESULT_SUCCEEDED(agent_.CoCreateInstance(CLSID_AcxAgntUtil, nullptr, CLSCTX_INPROC_SERVER));
    kcom::CComQIPtr<IObjectRackClient> agentRack(static_cast<IUnknown*>(agent_.get()));
    ASSERT_EQ(S_OK, agentRack->SetRack(rack_.as<IObjectRack>()));
    factory_ = standin::Holder<CAcxFactory>::New();
    ASSERT_EQ(S_OK, factory_->SetRack(rack_.as<IObjectRack>()));
    ASSERT_EQ(S_OK, factory_->SetFactorySite(site_.as<ITestObjFactorySite>(), 1));
}

void AcxFactoryFixture::TearDown() {
    factory_ = {};
    agent_.Release();
    aut_.Stop();
    customClass_.reset();
    activeXClass_.reset();
    agentClass_.reset();
    OrlentyStandIn_Reset();
    VarrowStandIn_Reset();
    PelluceStub_Reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, SettingsRoot().substr(0, SettingsRoot().rfind(L'\\')).c_str());
}

int AcxFactoryFixture::Lines(const standin::CallLog& log, const std::wstring& line) {
    const auto lines = log.Lines();
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

POINT AcxFactoryFixture::At(const wchar_t* name, long dx, long dy) const {
    RECT r{};
    ::GetWindowRect(W(name), &r);
    return POINT{r.left + dx, r.top + dy};
}

CRuntimeId AcxFactoryFixture::WindowId(HWND window) const { return factory_->WindowId(window); }

CRuntimeId AcxFactoryFixture::WindowlessId(HWND container, long cookie) const {
    CRuntimeId id(factory_->WindowlessFormat());
    id.PutVariantValue(L"hwnd", CComVariant(L(container)));
    id.PutVariantValue(L"punknown", CComVariant(cookie));
    return id;
}

CComPtr<IDispatch> AcxFactoryFixture::FromWindow(const wchar_t* name, HRESULT expected) {
    CComPtr<IDispatch> object;
    EXPECT_EQ(expected, factory_->CreateTestObjFromWindow(W(name), object.Put())) << name;
    return object;
}

CComPtr<IDispatch> AcxFactoryFixture::FromPoint(POINT p, HRESULT expected) {
    CComPtr<IDispatch> object;
    EXPECT_EQ(expected, factory_->CreateTestObjFromPoint(p.x, p.y, nullptr, object.Put()));
    return object;
}

std::wstring AcxFactoryFixture::NameOf(HWND window) const {
    for (const wchar_t* name : {L"main", L"ctl", L"plain", L"frame", L"inner", L"outer", L"twin", L"kid", L"afxhost",
                                L"afx", L"image", L"combo", L"tab", L"page", L"rtl", L"rtlkid"})
        if (W(name) == window) return name;
    return L"?";
}

std::wstring AcxFactoryFixture::Names(IUnknown* object) const {
    if (!object) return L"(none)";
    CRuntimeId id(Of(object)->Peek(L"objectid"));
    long window = 0, cookie = 0;
    id.GetLong(L"hwnd", &window);
    std::wstring name = NameOf(reinterpret_cast<HWND>(static_cast<LONG_PTR>(window)));
    if (id.GetPackage() == factory_->WindowlessFormat() && SUCCEEDED(id.GetLong(L"punknown", &cookie)))
        name += L":" + std::to_wstring(cookie);
    return name;
}
