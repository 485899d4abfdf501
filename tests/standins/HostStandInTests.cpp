// The host stand-ins: the rack's table, the settings tree with its recorded calls, and the host
// application class reached through CoGetClassObject.
#include <gtest/gtest.h>
#include <olectl.h>
#include <string>
#include "com/ComBSTR.h"
#include "com/ComSafeArray.h"
#include "HostStandIn.h"

using namespace standin;
using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

CComVariant Cell(SAFEARRAY* psa, LONG column, LONG row) {
    LONG index[2] = {column, row};
    CComVariant v;
    EXPECT_EQ(::SafeArrayGetElement(psa, index, &v), S_OK);
    return v;
}

LONG Rows(SAFEARRAY* psa) { return static_cast<LONG>(psa->rgsabound[0].cElements); }

TEST(HostStandIn, RackKeepsAndRecordsObjects) {
    auto rack = Holder<CRackStandIn>::New();
    auto settings = Holder<CSettingsStandIn>::New();
    EXPECT_EQ(rack->SetObject(CComBSTR(L"TestOptions"), settings.as<IKorSettings>()), S_OK);
    CComPtr<IUnknown> got;
    EXPECT_EQ(rack->GetObject(CComBSTR(L"TestOptions"), IID_IKorSettingsSections, got.Put()), S_OK);
    EXPECT_TRUE(got);
    EXPECT_EQ(rack->GetObject(CComBSTR(L"TestOptions"), IID_IKorHostApplication, got.Put()), E_NOINTERFACE);
    EXPECT_EQ(rack->GetObject(CComBSTR(L"Missing"), IID_IUnknown, got.Put()), E_FAIL);
    EXPECT_FALSE(got);
    EXPECT_EQ(rack->RemoveObject(CComBSTR(L"TestOptions")), S_OK);
    EXPECT_FALSE(rack->Has(L"TestOptions"));
    auto lines = rack->Log().Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], L"SetObject(TestOptions)");
    EXPECT_EQ(lines[1], L"GetObject(TestOptions,{913464EF-49CA-4B9D-914F-1434A9B2C526})");
    EXPECT_EQ(lines[4], L"RemoveObject(TestOptions)");
}

TEST(HostStandIn, SettingsAnswerValuesTablesAndNodes) {
    auto s = Holder<CSettingsStandIn>::New();
    s->Put(L"", L"DefaultTimeout", 20000L);
    s->Put(L"Test Objects\\ActiveX", L"CLSID", L"{41AD1E23-B340-11D4-8F6F-0050DA3B0421}");
    s->Put(L"Test Objects\\ActiveX\\Description", L"progid", 0x10L);
    s->Put(L"Test Objects\\ActiveX\\Description", L"index", 0x448L);

    CComVariant v;
    EXPECT_EQ(s->GetValue(CComBSTR(L""), CComBSTR(L"defaulttimeout"), &v, 0, 0), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 20000);
    EXPECT_EQ(s->GetValue(CComBSTR(L"Test Objects\\ActiveX"), CComBSTR(L"Nope"), &v, 0, 0), E_FAIL);
    EXPECT_EQ(v.vt, VT_EMPTY);
    s->SetMissingResult(S_FALSE);
    EXPECT_EQ(s->GetValue(CComBSTR(L"No\\Such"), CComBSTR(L"x"), &v, 0, 0), S_FALSE);

    kcom::CComSafeArray values;
    ASSERT_EQ(s->GetValues(CComBSTR(L"Test Objects\\ActiveX\\Description"), values.Put()), S_OK);
    ASSERT_EQ(Rows(values), 2);
    EXPECT_STREQ(Cell(values, 0, 1).bstrVal, L"index");
    EXPECT_EQ(Cell(values, 1, 1).lVal, 0x448);
    kcom::CComSafeArray keys;
    ASSERT_EQ(s->GetSubKeys(CComBSTR(L"Test Objects"), keys.Put()), S_OK);
    ASSERT_EQ(Rows(keys), 1);
    EXPECT_STREQ(Cell(keys, 0, 0).bstrVal, L"ActiveX");

    // A child node comes back as a settings object that answers relative to itself.
    CComVariant key(L"Test Objects");
    CComVariant node;
    ASSERT_EQ(s->get_Item(&key, &node), S_OK);
    ASSERT_EQ(node.vt, VT_DISPATCH);
    CComPtr<IKorSettings> child;
    ASSERT_EQ(node.pdispVal->QueryInterface(IID_IKorSettings, reinterpret_cast<void**>(child.Put())), S_OK);
    EXPECT_EQ(child->GetValue(CComBSTR(L"ActiveX"), CComBSTR(L"CLSID"), &v, 0, 0), S_OK);
    EXPECT_EQ(v.vt, VT_BSTR);

    auto lines = s->Log().Lines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], L"GetValue(,defaulttimeout,0,0)");
    EXPECT_EQ(lines[5], L"get_Item(BSTR:Test Objects)");
    EXPECT_EQ(lines[6], L"Test Objects/GetValue(ActiveX,CLSID,0,0)");
}

TEST(HostStandIn, SettingsRecordWritesSectionsAndProductRoot) {
    auto s = Holder<CSettingsStandIn>::New();
    VARIANT_BOOL exists = VARIANT_TRUE;
    EXPECT_EQ(s->SectionExists(CComBSTR(L"HooksMgr\\DllInjector\\ALWAYS\\X"), &exists), S_OK);
    EXPECT_EQ(exists, VARIANT_FALSE);
    EXPECT_EQ(s->CreateSection(CComBSTR(L"HooksMgr\\DllInjector\\ALWAYS\\X")), S_OK);
    EXPECT_TRUE(s->HasSection(L"HooksMgr\\DllInjector\\ALWAYS\\X"));
    EXPECT_EQ(s->SetValue(CComBSTR(L"HooksMgr\\DllInjector\\ALWAYS\\DEFAULT\\MODULES"), CComBSTR(L"Quillon.dll"),
                          CComVariant(1L), 0, 1, 0, 3, 0),
              S_OK);
    EXPECT_EQ(s->Peek(L"HooksMgr\\DllInjector\\ALWAYS\\DEFAULT\\MODULES", L"Quillon.dll").lVal, 1);
    s->SetSectionsResult(E_ACCESSDENIED);
    EXPECT_EQ(s->CreateSection(CComBSTR(L"Y")), E_ACCESSDENIED);

    CComBSTR root;
    EXPECT_EQ(s->GetProductRegRoot(root.Put()), E_FAIL);
    s->SetProductRoot(L"Software\\Quorvel\\Product");
    EXPECT_EQ(s->GetProductRegRoot(root.Put()), S_OK);
    EXPECT_STREQ(root.c_str(), L"Software\\Quorvel\\Product");
    s->SetProductRoot(nullptr);
    EXPECT_EQ(s->GetProductRegRoot(root.Put()), S_OK);
    EXPECT_TRUE(root.IsNull());

    auto lines = s->Log().Lines();
    EXPECT_EQ(lines[2], L"SetValue(HooksMgr\\DllInjector\\ALWAYS\\DEFAULT\\MODULES,Quillon.dll,I4:1,0,1,0,3,0)");
    EXPECT_EQ(s->Log().Count(L"GetProductRegRoot"), 3);
}

TEST(HostStandIn, HostApplicationIsReachedThroughTheClassTable) {
    auto app = Holder<CHostApplicationStandIn>::New();
    app->Put(L"Installation Dir", CComVariant(L"C:\\Host"));
    CComPtr<IClassFactory> factory;
    EXPECT_EQ(::CoGetClassObject(CLSID_KorHostApplication, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                 reinterpret_cast<void**>(factory.Put())),
              REGDB_E_CLASSNOTREG);
    {
        CHostApplicationRegistration reg(app.as<IKorHostApplication>());
        ASSERT_EQ(reg.Result(), S_OK);
        ASSERT_EQ(::CoGetClassObject(CLSID_KorHostApplication, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     reinterpret_cast<void**>(factory.Put())),
                  S_OK);
        CComPtr<IKorHostApplication> got;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IKorHostApplication, reinterpret_cast<void**>(got.Put())), S_OK);
        CComVariant v;
        EXPECT_EQ(got->GetValue(CComBSTR(L"Installation Dir"), &v), S_OK);
        EXPECT_STREQ(v.bstrVal, L"C:\\Host");
        long answer = 0;
        EXPECT_EQ(got->ShowMessageBox(0, CComBSTR(L"Hello"), nullptr, MB_OK, &answer), S_OK);
        EXPECT_EQ(answer, IDOK);
    }
    factory.Release();
    EXPECT_EQ(::CoGetClassObject(CLSID_KorHostApplication, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                 reinterpret_cast<void**>(factory.Put())),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(app->Log().Joined(), L"GetValue(Installation Dir)\nShowMessageBox(0,Hello,(null),0)");
}

TEST(HostStandIn, QueryEngineFillsValuesAndRecordsRegistrations) {
    auto engine = Holder<CQueryEngineStandIn>::New();
    engine->PutValue(L"hwnd", CComVariant(0x1234L));
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    kcom::CComSafeArray table(::SafeArrayCreate(VT_VARIANT, 2, bounds));
    LONG index[2] = {0, 0};
    CComVariant name(L"HWND");
    ASSERT_EQ(::SafeArrayPutElement(table, index, &name), S_OK);
    index[1] = 1;
    CComVariant other(L"unknown");
    ASSERT_EQ(::SafeArrayPutElement(table, index, &other), S_OK);
    EXPECT_EQ(engine->QueryValue(nullptr, table), S_OK);
    EXPECT_EQ(Cell(table, 1, 0).lVal, 0x1234);
    EXPECT_EQ(Cell(table, 1, 1).vt, VT_EMPTY);
    EXPECT_EQ(engine->RegisterQuery(CComBSTR(L"Quorvel.AcxQuery"), CComBSTR(L"AcxQuery"), 0, 0, -1), S_OK);
    EXPECT_EQ(engine->Log().Joined(), L"QueryValue((null),HWND,unknown)\nRegisterQuery(Quorvel.AcxQuery,AcxQuery,0,0,-1)");
}

TEST(HostStandIn, RecordManagerHandsOutRegistrationsAndKnowsThemAgain) {
    auto mgr = Holder<CRecordMgrStandIn>::New();
    wchar_t factoryName[] = L"AcxFactory";
    wchar_t serviceName[] = L"KestruneSrv";
    CComPtr<IUnknown> reg;
    EXPECT_EQ(mgr->RegisterFactory(CComBSTR(L"Quorvel.AcxFactory"), {factoryName, 0, 0xAFFF, 0}, -1, reg.Put()), S_OK);
    ASSERT_TRUE(reg);
    EXPECT_EQ(mgr->RegisterServer(reg, {serviceName, 0, 0x7FFF, 0}, -1), S_OK);
    EXPECT_EQ(mgr->RegisterServer(nullptr, {serviceName, 0, 0x7FFF, 0}, -1), S_OK);
    EXPECT_EQ(mgr->Log().Joined(),
              L"RegisterFactory(Quorvel.AcxFactory,{AcxFactory,0,0xAFFF,0},-1)\n"
              L"RegisterServer(#0,{KestruneSrv,0,0x7FFF,0},-1)\n"
              L"RegisterServer((null),{KestruneSrv,0,0x7FFF,0},-1)");
}

TEST(HostStandIn, ConnectorAndChannelHandOutCookies) {
    auto connector = Holder<CEventConnectorStandIn>::New();
    auto channel = Holder<CInputChannelStandIn>::New();
    DWORD a = 0, b = 0;
    EXPECT_EQ(connector->Advise(channel.as<IKorInputChannel>(), 0, IID_IKorDataTarget, &a), S_OK);
    EXPECT_EQ(connector->Advise(channel.as<IKorInputChannel>(), 0, IID_IUnknown, &b), S_OK);
    EXPECT_NE(a, b);
    EXPECT_EQ(connector->Unadvise(a), S_OK);
    EXPECT_EQ(connector->Unadvise(a), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(connector->AdvisedCount(), 1u);
    EXPECT_EQ(connector->Unadvise(b), S_OK);
    EXPECT_EQ(channel->RegisterDataTarget(nullptr, 8, &a), E_INVALIDARG);
    EXPECT_EQ(channel->Log().Lines().back(), L"RegisterDataTarget((null),8)");
}

}  // namespace
