// Descriptions built from the run-time object: the class's identification properties with their
// live values, the assistive properties, the ordinal property, the extra ones; the re-description
// that keeps what still holds; and the small description services.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "FakeClock.h"
#include "TestHost.h"
#include "com/ComBSTR.h"
#include "com/ComSafeArray.h"
#include "errors/TestObjectError.h"
#include "tables/KorSafeArray.h"
#include "testobject/forwarding/TestableObject.h"

using namespace standin;
using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

class CDescribedObject : public CTestableObject {
public:
    using CComTestObject::m_algorithm;
    using CComTestObject::m_algorithmAbsent;
    using CComTestObject::m_useAlgorithm;
};
using DescribedObject = Holder<CDescribedObject>;

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
        Identify(control);
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
    void Identify(const RuntimeObject& o) { SetId(CComVariant(static_cast<IUnknown*>(o.as<IRuntimeID>()))); }
    void SetId(const VARIANT& value) {
        CComBSTR id(L"objectid");
        object->ITestObjectInfo_put_PropExpr(id, nullptr, nullptr, nullptr, value);
    }
    void Set(const wchar_t* name, const VARIANT& value, long flags = 0x58, long compareType = 0) {
        CComBSTR n(name);
        ASSERT_EQ(object->ITestObjectInfo_put_PropExpr(n, &flags, nullptr, &compareType, value), S_OK);
    }
    Prop Get(const wchar_t* name) {
        CComBSTR n(name);
        Prop p;
        object->ITestObjectInfo_get_InternalPropExpr(n, &p.flags, nullptr, &p.compareType, p.value.Put());
        return p;
    }
    std::vector<std::wstring> Names(ULONG flags) {
        CKorPtrSafeArray names;
        object->ITestObjectInfo_GetProps(&names.psa, flags);
        std::vector<std::wstring> out;
        for (ULONG r = 0; r < names.GetRowCount(); ++r) {
            CComBSTR name;
            names.GetElement(name.Put(), static_cast<LONG>(r), 0);
            out.emplace_back(name.c_str());
        }
        return out;
    }

    CFakeClock clock{1000};
    CTestHost host;
    RuntimeObject control;
    DescribedObject object = DescribedObject::New();
};

TEST_F(Describing, WithoutARunTimeObjectNothingCanBeDescribed) {
    SetId(CComVariant());
    EXPECT_EQ(object->ITestObject_BuildDescription(), KOR_E_NO_RUNTIME_ID);
    SetId([] {
        CComVariant failed;
        failed.vt = VT_ERROR;
        failed.scode = KOR_E_OBJECT_NOT_FOUND;
        return failed;
    }());
    EXPECT_EQ(object->ITestObject_BuildDescription(), KOR_E_NO_RUNTIME_ID);
    EXPECT_TRUE(Names(0x10).empty());
    object->SetRack(nullptr);
    EXPECT_EQ(object->ITestObject_BuildDescription(), E_FAIL);
}

TEST_F(Describing, TheClassesPropertiesTakeTheLiveValuesAndTheirFlags) {
    Settings(L"Description", L"missing", 0x10);  // no live value: not described
    Settings(L"Description", L"color", 0x2000);  // an extra property
    Control(L"Button2", L"Cancel", L"red");
    EXPECT_EQ(object->ITestObject_BuildDescription(), S_OK);
    EXPECT_EQ(Names(0x10), (std::vector<std::wstring>{L"text"}));
    const Prop text = Get(L"text");
    EXPECT_STREQ(text.value.bstrVal, L"OK");
    EXPECT_EQ(text.flags, 0x10);
    EXPECT_EQ(Get(L"missing").value.vt, VT_EMPTY);
    const Prop color = Get(L"color");
    EXPECT_STREQ(color.value.bstrVal, L"red");
    EXPECT_EQ(color.flags, 0x2000);
    EXPECT_EQ(Get(L"index").value.vt, VT_EMPTY);
    ASSERT_EQ(host.queryEngine->Calls().size(), 1u);
    EXPECT_EQ(host.queryEngine->Calls()[0].names, L"text");
    EXPECT_EQ(host.queryEngine->Calls()[0].timeout, 0);  // a query without waiting
    EXPECT_EQ(host.queryEngine->Calls()[0].delay, 0);

    // Nothing that matches the new description: identification failed.
    host.queryEngine->Script({QueryPass{}});
    EXPECT_EQ(object->ITestObject_BuildDescription(), KOR_E_IDENTIFICATION_FAILED);
}

TEST_F(Describing, AssistivePropertiesNarrowIdenticalSiblingsInTheirOrder) {
    Settings(L"Description\\Assistive", L"color", 2);
    Settings(L"Description\\Assistive", L"text", 1);  // tried first: narrows nothing
    Control(L"Button2", L"OK", L"blue");
    EXPECT_EQ(object->ITestObject_BuildDescription(), S_OK);
    EXPECT_EQ(Get(L"color").flags, 0x58);
    EXPECT_STREQ(Get(L"color").value.bstrVal, L"red");
    EXPECT_EQ(Get(L"index").value.vt, VT_EMPTY);
}

TEST_F(Describing, IdenticalSiblingsGetTheOrdinalThatFindsTheRightOneAgain) {
    RuntimeObject twin = Control(L"Button2", L"OK", L"red");
    auto selector = Holder<CSelectorStandIn>::New();
    const std::wstring progId = L"Kestrune.Test.Ordinal." + std::to_wstring(::GetCurrentProcessId());
    CProgIdRegistration selectorClass{progId.c_str(), selector.as<IKorSelector>()};
    host.options->Put(L"Selectors\\index", L"ProgID", progId.c_str());
    selector->SetValue(CComVariant(0L));
    EXPECT_EQ(object->ITestObject_BuildDescription(), S_OK);
    const Prop index = Get(L"index");
    EXPECT_EQ(index.value.lVal, 0);
    EXPECT_EQ(index.flags, 0x448);
    EXPECT_NE(selector->Log().Joined().find(L"GetValue(2,obj)"), std::wstring::npos);

    // The description finds both; the ordinal decides.
    object->DispTestObject_Init();
    selector->SetChoice(0);
    CComPtr<IUnknown> found;
    EXPECT_EQ(object->ITestObject_FindObjectId(found.Put(), nullptr), S_OK);
    EXPECT_EQ(found.get(), static_cast<IUnknown*>(control.as<IRuntimeID>()));
    EXPECT_NE(selector->Log().Joined().find(L"Choose(2,I4:0)"), std::wstring::npos);

    // A class that names its own last-resort property; without a selector for it, no ordinal.
    Settings(L"Description", L"position", 0x400);
    Identify(control);
    EXPECT_EQ(object->ITestObject_BuildDescription(), S_OK);
    EXPECT_EQ(Get(L"position").value.vt, VT_EMPTY);
}

TEST_F(Describing, ARedescriptionKeepsPatternsAndParametersThatStillHold) {
    Set(L"text", CComVariant(L"O."), 0x10, 1);        // a pattern that still matches "OK"
    Set(L"caption", CComVariant(L"param"), 0x110);      // a parameter that evaluates to the live value
    Set(L"gone", CComVariant(L"x"), 0x10);              // no longer in the class's settings
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
    const Prop text = Get(L"text"), caption = Get(L"caption"), gone = Get(L"gone"), ordered = Get(L"ordered");
    EXPECT_STREQ(text.value.bstrVal, L"O.");
    EXPECT_EQ(text.compareType, 1);
    EXPECT_EQ(text.flags, 0x10);
    EXPECT_STREQ(caption.value.bstrVal, L"param");
    EXPECT_EQ(caption.flags, 0x118);
    EXPECT_EQ(gone.value.vt, VT_EMPTY);
    EXPECT_EQ(gone.flags, 0);
    EXPECT_EQ(ordered.value.vt, VT_EMPTY);
    EXPECT_EQ(object->m_useAlgorithm, 0u);
    EXPECT_EQ(object->m_algorithm.Length(), 0u);
    EXPECT_EQ(object->m_algorithmAbsent, 0);
    // The query looks for what the description stands for now.
    EXPECT_EQ(host.queryEngine->Calls().back().values, L"BSTR:O.,BSTR:Press");

    // A pattern that no longer matches gives way to the live value.
    control->properties.Put(L"text", CComVariant(L"Cancel"));
    EXPECT_EQ(object->Handle2DescForObject(), S_OK);
    EXPECT_STREQ(Get(L"text").value.bstrVal, L"Cancel");
    EXPECT_EQ(Get(L"text").compareType, 0);
}

TEST_F(Describing, TheClassesDescriptionListForExtraProperties) {
    Settings(L"Description", L"(default)", 0x2000);
    Settings(L"Description", L"color", 0x2000);
    host.options->Put(L"Test Objects\\TestClass\\Description", L"size", L"0x2000");
    kcom::CComSafeArray rows;
    EXPECT_EQ(object->FillDescription(nullptr, 0x2000), E_POINTER);
    ASSERT_EQ(object->FillDescription(rows.Put(), 0x2000), S_OK);
    CKorSafeArray table;
    table.Attach(rows.get(), false);
    ASSERT_EQ(table.GetRowCount(), 1u);
    EXPECT_EQ(table.GetColumnCount(), 3u);
    CComVariant name, value, flags;
    table.GetElement(name.Put(), 0, 0);
    table.GetElement(value.Put(), 0, 1);
    table.GetElement(flags.Put(), 0, 2);
    EXPECT_STREQ(name.bstrVal, L"color");
    EXPECT_EQ(value.vt, VT_EMPTY);
    EXPECT_EQ(flags.lVal, 0x2000);
    ASSERT_EQ(object->FillDescription(rows.Put(), 0x10), S_OK);
    CKorSafeArray identifying;
    identifying.Attach(rows.get(), false);
    EXPECT_EQ(identifying.GetRowCount(), 2u);  // text and caption
}

TEST_F(Describing, DescriptionServices) {
    VARIANT_BOOL has = VARIANT_TRUE;
    EXPECT_EQ(object->ITestObject7_HasDescription(object.as<ITestObject>(), &has), E_NOTIMPL);
    EXPECT_EQ(object->ITestObject7_HasDescription(nullptr, nullptr), E_POINTER);
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
    EXPECT_EQ(object->ITestObject5_GetLogicalNameForReport(nullptr), E_POINTER);
}

TEST_F(Describing, PutDescriptionSetsTheRowsWithValues) {
    EXPECT_EQ(object->ITestObject5_PutDescription(nullptr), E_POINTER);
    CKorSafeArray rows(3, 6, VT_VARIANT);
    auto put = [&](LONG row, LONG column, const CComVariant& v) { rows.PutElement(const_cast<CComVariant*>(&v), row, column); };
    put(0, 0, CComVariant(L"text"));
    put(0, 1, CComVariant(L"OK"));
    put(0, 2, CComVariant(0x10L));
    put(0, 4, CComVariant(1L));
    put(1, 0, CComVariant(L"skipped"));  // no value
    put(2, 0, CComVariant(L"caption"));
    put(2, 1, CComVariant(L"Press"));
    put(2, 2, CComVariant(L"not a number"));
    EXPECT_EQ(object->ITestObject5_PutDescription(rows.psa), S_OK);
    EXPECT_EQ(Get(L"text").flags, 0x10);
    EXPECT_EQ(Get(L"text").compareType, 1);
    EXPECT_EQ(Get(L"caption").flags, 0x58);
    EXPECT_EQ(Get(L"skipped").value.vt, VT_EMPTY);

    put(2, 0, CComVariant(5L));  // the last row set decides the answer
    EXPECT_EQ(object->ITestObject5_PutDescription(rows.psa), E_INVALIDARG);
}

}  // namespace
