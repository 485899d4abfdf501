// Property access through ITestObjectInfo and the class-section readers over the settings stand-in.
#include <gtest/gtest.h>
#include <string>
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComVariant.h"
#include "HostStandIn.h"
#include "host/TestObjectSettings.h"
#include "description/PropertyTestSupport.h"

using namespace standin;
using kcom::CComBSTR;
using kcom::CComVariant;

namespace {

// Answers Prop and PropExpr, noting what it was given.
class CInfo : public CTestObjectInfoStub {
public:
    BEGIN_COM_MAP(CInfo)
        COM_INTERFACE_ENTRY(ITestObjectInfo)
    END_COM_MAP()

    STDMETHOD(get_Prop)(BSTR name, long* flags, long* type, long* compareType, VARIANT* value) override {
        lastName = name;
        if (flags) *flags += 1;
        if (type) *type += 2;
        if (compareType) *compareType += 3;
        if (!value) return E_POINTER;
        value->vt = VT_I4;
        value->lVal = 99;
        return S_FALSE;
    }
    STDMETHOD(put_PropExpr)(BSTR name, long* flags, long* type, long* compareType, VARIANT value) override {
        lastName = name;
        seen = std::to_wstring(*flags) + L"," + std::to_wstring(*type) + L"," + std::to_wstring(*compareType) + L"," +
               VariantText(value);
        return S_OK;
    }


    std::wstring lastName;
    std::wstring seen;
};

TEST(TestObjectProp, GoesThroughTheInformationInterface) {
    auto info = Holder<CInfo>::New();
    CComVariant v;
    long flags = 10, type = 20, cmp = 30;
    EXPECT_EQ(GetTestObjectProp(info.as<ITestObjectInfo>(), CComBSTR(L"text"), &v, &flags, &type, &cmp), S_FALSE);
    EXPECT_EQ(info->lastName, L"text");
    EXPECT_EQ(v.lVal, 99);
    EXPECT_EQ(flags, 11);
    EXPECT_EQ(type, 22);
    EXPECT_EQ(cmp, 33);

    CComVariant value(L"abc");
    EXPECT_EQ(PutTestObjectPropExpr(info.as<ITestObjectInfo>(), CComBSTR(L"x"), &value, &flags, &type, &cmp), S_OK);
    EXPECT_EQ(info->seen, L"11,22,33,BSTR:abc");
    EXPECT_EQ(value.vt, VT_BSTR);  // still the caller's
}

TEST(TestObjectProp, AnObjectWithoutItAnswersNoInterfaceAndLeavesTheValue) {
    auto rack = Holder<CRackStandIn>::New();  // any object without ITestObjectInfo
    CComVariant v(5L);
    long flags = 0, type = 0, cmp = 0;
    EXPECT_EQ(GetTestObjectProp(rack.as<IObjectRack>(), CComBSTR(L"text"), &v, &flags, &type, &cmp), E_NOINTERFACE);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 5);
    EXPECT_EQ(GetTestObjectProp(nullptr, CComBSTR(L"text"), &v, &flags, &type, &cmp), E_NOINTERFACE);
    EXPECT_EQ(PutTestObjectPropExpr(nullptr, CComBSTR(L"text"), &v, &flags, &type, &cmp), E_NOINTERFACE);
}

TEST(TestObjectKey, BuildsTheClassSectionAndValueName) {
    auto s = Holder<CSettingsStandIn>::New();
    s->Put(L"Test Objects\\AcxEdit", L"(Default)", L"plain");
    s->Put(L"Test Objects\\AcxEdit\\Description", L"progid", 0x10L);
    IKorSettings* settings = s.as<IKorSettings>();
    CComBSTR cls(L"AcxEdit");
    CComVariant v;
    EXPECT_EQ(ReadTestObjectKey(cls, settings, L"", nullptr, &v), S_OK);
    EXPECT_STREQ(v.bstrVal, L"plain");
    EXPECT_EQ(ReadTestObjectKey(cls, settings, L"Description", L"progid", &v), S_OK);
    EXPECT_EQ(v.lVal, 0x10);
    EXPECT_EQ(ReadTestObjectKey(cls, settings, nullptr, L"missing", &v), E_FAIL);
    EXPECT_EQ(s->Log().Joined(),
              L"GetValue(Test Objects\\AcxEdit,(Default),0,0)\n"
              L"GetValue(Test Objects\\AcxEdit\\Description,progid,0,0)\n"
              L"GetValue(Test Objects\\AcxEdit,missing,0,0)");
    EXPECT_EQ(ReadTestObjectKey(cls, nullptr, nullptr, nullptr, &v), E_INVALIDARG);
    EXPECT_EQ(ReadTestObjectKey(cls, settings, nullptr, nullptr, nullptr), E_INVALIDARG);
}

TEST(TestObjectSetting, ReadsFromTheRacksTestOptions) {
    auto rack = Holder<CRackStandIn>::New();
    CComBSTR cls(L"ActiveX");
    CComVariant v;
    EXPECT_EQ(ReadTestObjectSetting(cls, rack.as<IObjectRack>(), nullptr, L"CLSID", &v), E_FAIL);  // the rack's failure
    EXPECT_EQ(ReadTestObjectSetting(cls, nullptr, nullptr, L"CLSID", &v), E_INVALIDARG);
    EXPECT_EQ(ReadTestObjectSetting(cls, rack.as<IObjectRack>(), nullptr, L"CLSID", nullptr), E_INVALIDARG);
    auto s = Holder<CSettingsStandIn>::New();
    s->Put(L"Test Objects\\ActiveX\\Windowless", L"CheckpointTimeout", 300L);
    rack->Put(L"TestOptions", s.as<IKorSettings>());
    EXPECT_EQ(ReadTestObjectSetting(cls, rack.as<IObjectRack>(), L"Windowless", L"CheckpointTimeout", &v), S_OK);
    EXPECT_EQ(v.lVal, 300);
}

TEST(ReadClsid, TurnsTheClassTextIntoACLSID) {
    auto rack = Holder<CRackStandIn>::New();
    auto s = Holder<CSettingsStandIn>::New();
    rack->Put(L"TestOptions", s.as<IKorSettings>());
    IObjectRack* r = rack.as<IObjectRack>();
    CLSID clsid = {};
    EXPECT_EQ(ReadClsid(CComBSTR(L"AcxEdit"), &clsid, r), E_FAIL);  // absent
    s->Put(L"Test Objects\\AcxEdit", L"CLSID", L"{41AD1E23-B340-11D4-8F6F-0050DA3B0421}");
    EXPECT_EQ(ReadClsid(CComBSTR(L"AcxEdit"), &clsid, r), S_OK);
    CLSID expected;
    ::CLSIDFromString(const_cast<LPOLESTR>(L"{41AD1E23-B340-11D4-8F6F-0050DA3B0421}"), &expected);
    EXPECT_TRUE(::IsEqualCLSID(clsid, expected));
    s->Put(L"Test Objects\\AcxList", L"CLSID", 12L);
    EXPECT_EQ(ReadClsid(CComBSTR(L"AcxList"), &clsid, r), E_FAIL);  // a number
    s->Put(L"Test Objects\\AcxTree", L"CLSID", L"not a class");
    EXPECT_EQ(ReadClsid(CComBSTR(L"AcxTree"), &clsid, r), CO_E_CLASSSTRING);
    s->Put(L"Test Objects\\AcxTab", L"CLSID", L"");
    EXPECT_EQ(ReadClsid(CComBSTR(L"AcxTab"), &clsid, r), CO_E_CLASSSTRING);
    EXPECT_EQ(ReadClsid(CComBSTR(L"AcxEdit"), nullptr, r), E_INVALIDARG);
    EXPECT_EQ(ReadClsid(CComBSTR(L"AcxEdit"), &clsid, nullptr), E_INVALIDARG);
    EXPECT_EQ(s->Log().Lines().front(), L"GetValue(Test Objects\\AcxEdit,CLSID,0,0)");
}

}  // namespace
