// Descriptions built from the run-time object: the class's identification properties with their
// live values, the assistive properties, the ordinal property, the extra ones; the re-description
// that keeps what still holds; and the small description services.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "FakeClock.h"
#include "TestHost.h"
#include "com/ComBSTR.h"
#include "errors/TestObjectError.h"
#include "tables/KorSafeArray.h"
#include "testobject/forwarding/TestableObject.h"

using namespace standin;
using kcom::CComBSTR;
using kcom::CComVariant;

namespace {

class CDescribedObject : public CTestableObject {
public:
    using CComTestObject::m_algorithm;
    using CComTestObject::m_algorithmAbsent;
    using CComTestObject::m_useAlgorithm;
};

struct Prop {
    CComVariant value;
    long flags = 0;
    long compareType = 0;
};

class Describing : public ::testing::Test {
protected:
    void SetUp() override {
        CComTestObject::ForgetDefaultPropertyCompareType();
        host.rack->Drop(L"PropertyPatternMgr");
        object.as<IObjectRackClient>()->SetRack(host.Rack());
        Settings(L"Description", L"text", 0x10);
        Settings(L"Description", L"caption", 0x18);
        control = Control(L"Button1", L"OK", L"red");
        SetId(CComVariant(static_cast<IUnknown*>(control.as<IRuntimeID>())));
    }
    void Settings(const wchar_t* section, const wchar_t* name, long value) {
        host.options->Put((std::wstring(L"Test Objects\\TestClass\\") + section).c_str(), name, value);
    }
    RuntimeObject Control(const wchar_t* name, const wchar_t* text, const wchar_t* color) {
        RuntimeObject o = host.queryEngine->AddObject(name);
        o->properties.Put(L"text", CComVariant(text));
        o->properties.Put(L"color", CComVariant(color));
        return o;
    }
    void SetId(const VARIANT& value) {
        object->ITestObjectInfo_put_PropExpr(CComBSTR(L"objectid"), nullptr, nullptr, nullptr, value);
    }
    void Set(const wchar_t* name, const VARIANT& value, long flags, long compareType = 0) {
        ASSERT_EQ(object->ITestObjectInfo_put_PropExpr(CComBSTR(name), &flags, nullptr, &compareType, value), S_OK);
    }
    Prop Get(const wchar_t* name) {
        Prop p;
        object->ITestObjectInfo_get_InternalPropExpr(CComBSTR(name), &p.flags, nullptr, &p.compareType, p.value.Put());
        return p;
    }
    std::wstring Text(const wchar_t* name) {
        const Prop p = Get(name);
        return p.value.vt == VT_BSTR ? p.value.bstrVal : L"(" + std::to_wstring(p.value.vt) + L")";
    }

    CFakeClock clock{1000};
    CTestHost host;
    RuntimeObject control;
    Holder<CDescribedObject> object = Holder<CDescribedObject>::New();
};

TEST_F(Describing, TheClassesPropertiesTakeTheLiveValuesAndTheirFlags) {
    Settings(L"Description", L"missing", 0x10);    // no live value: not described
    Settings(L"Description", L"color", 0x2000);    // an extra property
    Settings(L"Description", L"(default)", 0x2000);
    host.options->Put(L"Test Objects\\TestClass\\Description", L"size", L"8192");  // flags must be numbers
    Control(L"Button2", L"Cancel", L"red");
    EXPECT_EQ(object->ITestObject_BuildDescription(), S_OK);
    EXPECT_EQ(Text(L"text"), L"OK");
    EXPECT_EQ(Get(L"text").flags, 0x10);
    EXPECT_EQ(Text(L"missing"), L"(0)");
    EXPECT_EQ(Text(L"color"), L"red");
    EXPECT_EQ(Get(L"color").flags, 0x2000);
    EXPECT_EQ(Text(L"index"), L"(0)");
    const QueryCall& call = host.queryEngine->Calls().at(0);
    EXPECT_EQ(call.names + L"=" + call.values, L"text=BSTR:OK");
    EXPECT_EQ(call.timeout + call.delay, 0);  // a query without waiting

    host.queryEngine->Script({QueryPass{}});  // the new description finds nothing
    EXPECT_EQ(object->ITestObject_BuildDescription(), KOR_E_IDENTIFICATION_FAILED);
    SetId(CComVariant());
    EXPECT_EQ(object->ITestObject_BuildDescription(), KOR_E_NO_RUNTIME_ID);
}

TEST_F(Describing, AssistivePropertiesNarrowIdenticalSiblingsInTheirOrder) {
    Settings(L"Description\\Assistive", L"color", 2);
    Settings(L"Description\\Assistive", L"text", 1);  // tried first: narrows nothing
    Control(L"Button2", L"OK", L"blue");
    EXPECT_EQ(object->ITestObject_BuildDescription(), S_OK);
    EXPECT_EQ(Text(L"color"), L"red");
    EXPECT_EQ(Get(L"color").flags, 0x58);
    EXPECT_EQ(Text(L"index"), L"(0)");
}

TEST_F(Describing, IdenticalSiblingsGetTheOrdinalThatFindsTheRightOneAgain) {
    Control(L"Button2", L"OK", L"red");
    auto selector = Holder<CSelectorStandIn>::New();
    const std::wstring progId = L"Kestrune.Test.Ordinal." + std::to_wstring(::GetCurrentProcessId());
    CProgIdObjectRegistration selectorClass{progId.c_str(), selector.as<IKorSelector>()};
    host.options->Put(L"Selectors\\index", L"ProgID", progId.c_str());
    selector->SetValue(CComVariant(0L));
    EXPECT_EQ(object->ITestObject_BuildDescription(), S_OK);
    EXPECT_EQ(Get(L"index").value.lVal, 0);
    EXPECT_EQ(Get(L"index").flags, 0x448);
    EXPECT_NE(selector->Log().Joined().find(L"GetValue(2,obj)"), std::wstring::npos);

    object->DispTestObject_Init();  // the description finds both; the ordinal decides
    selector->SetChoice(0);
    kcom::CComPtr<IUnknown> found;
    EXPECT_EQ(object->ITestObject_FindObjectId(found.Put(), nullptr), S_OK);
    EXPECT_EQ(found.get(), static_cast<IUnknown*>(control.as<IRuntimeID>()));
}

TEST_F(Describing, ARedescriptionKeepsPatternsAndParametersThatStillHold) {
    Set(L"text", CComVariant(L"O."), 0x10, 1);    // a pattern that still matches "OK"
    Set(L"caption", CComVariant(L"param"), 0x110);  // a parameter that evaluates to the live value
    Set(L"gone", CComVariant(L"x"), 0x10);          // no longer in the class's settings
    Set(L"ordered", CComVariant(L"y"), 0x200);
    control->properties.Put(L"caption", CComVariant(L"Press"));
    host.paramTypes->Values().Put(L"param", CComVariant(L"Press"));
    object->m_useAlgorithm = 1;
    object->m_algorithm = L"Some.Algorithm";
    object->m_algorithmAbsent = 1;
    QueryPass found;  // the host matches the pattern
    found.candidates = {control};
    host.queryEngine->Script({found});

    EXPECT_EQ(object->Handle2DescForObject(), S_OK);
    EXPECT_EQ(Text(L"text"), L"O.");
    EXPECT_EQ(Get(L"text").compareType, 1);
    EXPECT_EQ(Get(L"text").flags, 0x10);
    EXPECT_EQ(Text(L"caption"), L"param");
    EXPECT_EQ(Get(L"caption").flags, 0x118);
    EXPECT_EQ(Text(L"gone") + Text(L"ordered"), L"(0)(0)");
    EXPECT_EQ(Get(L"gone").flags, 0);
    EXPECT_EQ(object->m_useAlgorithm + object->m_algorithm.Length() + object->m_algorithmAbsent, 0u);
    EXPECT_EQ(host.queryEngine->Calls().back().values, L"BSTR:O.,BSTR:Press");  // what they stand for now

    control->properties.Put(L"text", CComVariant(L"Cancel"));  // a pattern that no longer matches
    EXPECT_EQ(object->Handle2DescForObject(), S_OK);
    EXPECT_EQ(Text(L"text"), L"Cancel");
    EXPECT_EQ(Get(L"text").compareType, 0);
}

TEST_F(Describing, DescriptionServices) {
    VARIANT_BOOL has = VARIANT_TRUE;
    EXPECT_EQ(object->ITestObject7_HasDescription(object.as<ITestObject>(), &has), E_NOTIMPL);
    EXPECT_EQ(object->ITestObject7_HasDescription(nullptr, &has), S_OK);
    EXPECT_EQ(has, VARIANT_FALSE);
    Set(L"position", CComVariant(1L), 0x400);
    EXPECT_EQ(object->ITestObject7_HasDescription(nullptr, &has), S_OK);
    EXPECT_EQ(has, VARIANT_TRUE);

    CComBSTR name;
    EXPECT_EQ(object->ITestObject5_GetLogicalNameForReport(name.Put()), S_OK);
    EXPECT_STREQ(name.c_str(), L"[ TestClass ]");
    host.options->Put(L"Test Objects\\TestClass", L"tag query name", L"text");
    EXPECT_EQ(object->ITestObject5_GetLogicalNameForReport(name.Put()), S_OK);
    EXPECT_STREQ(name.c_str(), L"[ OK ]");
    object->ITestObject_SetLogicalName(CComBSTR(L"Login"));
    EXPECT_EQ(object->ITestObject5_GetLogicalNameForReport(name.Put()), S_OK);
    EXPECT_STREQ(name.c_str(), L"Login");

    CKorSafeArray rows(3, 6, VT_VARIANT);
    auto put = [&](LONG row, LONG column, CComVariant v) { rows.PutElement(&v, row, column); };
    put(0, 0, CComVariant(L"text"));
    put(0, 1, CComVariant(L"OK"));
    put(0, 4, CComVariant(1L));
    put(1, 0, CComVariant(L"skipped"));  // no value
    put(2, 0, CComVariant(5L));          // not a name: the last row's answer is the answer
    put(2, 1, CComVariant(L"x"));
    EXPECT_EQ(object->ITestObject5_PutDescription(rows.psa), E_INVALIDARG);
    EXPECT_EQ(Get(L"text").flags, 0x58);
    EXPECT_EQ(Get(L"text").compareType, 1);
    EXPECT_EQ(Text(L"skipped"), L"(0)");
}

}  // namespace
