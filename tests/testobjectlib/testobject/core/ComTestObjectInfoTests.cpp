// The info accessors: outer object first, then the own collection, then the inner object;
// names, run-time attributes and the fill operations.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "com/ComBSTR.h"
#include "description/PropertyFactory.h"
#include "tables/KorSafeArray.h"
#include "TestObjects.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

class TestObjectInfo : public ::testing::Test {
protected:
    void SetUp() override { dynamic::RegisterPropertyFactories(); }

    CComVariant Prop(const wchar_t* name, bool internal = false, long* flags = nullptr) {
        CComBSTR n(name);
        CComVariant v;
        lastResult = internal ? object.ITestObjectInfo_get_InternalProp(n, flags, nullptr, nullptr, v.Put())
                              : object.ITestObjectInfo_get_Prop(n, flags, nullptr, nullptr, v.Put());
        return v;
    }
    std::vector<std::wstring> Names(SAFEARRAY* psa) {
        CKorPtrSafeArray table;
        table.Attach(psa, true);
        std::vector<std::wstring> out;
        for (ULONG r = 0; r < table.GetRowCount(); ++r) {
            CComBSTR name;
            table.GetElement(name.Put(), static_cast<LONG>(r), 0);
            out.push_back(name.c_str());
        }
        return out;
    }

    // A one-cell table of a number, as no caller expects it.
    static SAFEARRAY* Numbers() {
        SAFEARRAYBOUND bounds[2] = {{1, 0}, {1, 0}};
        return ::SafeArrayCreate(VT_I4, 2, bounds);
    }

    CTestObject object;
    HRESULT lastResult = S_OK;
};

}  // namespace

TEST_F(TestObjectInfo, PlainFormsGoToTheOuterObjectFirst) {
    TestComHolder outer = TestComHolder::New();
    outer->Put(L"text", CComVariant(L"outer"));
    object.Put(L"text", CComVariant(L"own"));
    object.ITestObject_SetOuterObject(outer.as<ITestObject>());

    EXPECT_STREQ(Prop(L"text").bstrVal, L"outer");
    EXPECT_STREQ(Prop(L"text", true).bstrVal, L"own");
    CComBSTR name(L"text");
    EXPECT_EQ(object.ITestObjectInfo_SetPropFlags(name, 0x10), S_OK);
    EXPECT_EQ(outer->m_properties.Find(name)->m_flags, 0x10u);
    EXPECT_EQ(object.m_properties.Find(name)->m_flags, 0x58u);
    GUID control{1, 2, 3, {4}};
    EXPECT_EQ(object.ITestObjectInfo_SnapShotHandlerCtl(&control), S_OK);
    EXPECT_EQ(control, GUID{});
    // An added property lands in the outer object.
    CComBSTR added(L"added");
    EXPECT_EQ(object.ITestObjectInfo_put_PropExpr(added, nullptr, nullptr, nullptr, CComVariant(5)), S_OK);
    EXPECT_NE(outer->m_properties.Find(added), nullptr);
    EXPECT_EQ(object.m_properties.Find(added), nullptr);
}

TEST_F(TestObjectInfo, InternalFormsFallBackToTheInnerObject) {
    TestComHolder inner = TestComHolder::New();
    inner->Put(L"hwnd", CComVariant(42), 0x10);
    object.m_inner = inner.as<ITestObject>();
    long flags = 0;
    EXPECT_EQ(Prop(L"hwnd", true, &flags).lVal, 42);
    EXPECT_EQ(lastResult, S_OK);
    EXPECT_EQ(flags, 0x10);
    CComBSTR name(L"hwnd");
    EXPECT_EQ(object.ITestObjectInfo_SetPropCompareType(name, 4), S_OK);
    ULONG compareType = 0;
    EXPECT_EQ(inner->ITestObjectInfo_GetPropCompareType(name, &compareType), S_OK);
    EXPECT_EQ(compareType, 4u);
    EXPECT_EQ(object.ITestObjectInfo_Compare(name, CComVariant(42)), S_OK);

    // A name that neither knows: the Internal put fails, the plain put adds it here.
    CComBSTR missing(L"missing");
    long newFlags = 0x10, type = VT_I4, cmp = 2;
    EXPECT_EQ(object.ITestObjectInfo_put_InternalPropExpr(missing, nullptr, nullptr, nullptr, CComVariant(1)),
              E_INVALIDARG);
    EXPECT_EQ(object.ITestObjectInfo_put_PropExpr(missing, &newFlags, &type, &cmp, CComVariant(L"7")), S_OK);
    CProperty* added = object.m_properties.Find(missing);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->m_flags, 0x10u);
    EXPECT_EQ(added->m_type, VT_I4);
    EXPECT_EQ(added->m_compareType, 2u);
    EXPECT_EQ(inner->m_properties.Find(missing), nullptr);
    // Without flags the added property keeps the new-property flags.
    CComBSTR plain(L"plain");
    EXPECT_EQ(object.ITestObjectInfo_put_PropExpr(plain, nullptr, nullptr, nullptr, CComVariant(1)), S_OK);
    EXPECT_EQ(object.m_properties.Find(plain)->m_flags, 0x58u);
}

TEST_F(TestObjectInfo, PropertyDataTakesTheSameRoads) {
    TestComHolder outer = TestComHolder::New();
    TestComHolder inner = TestComHolder::New();
    inner->Put(L"deep", CComVariant(1));
    CComBSTR deep(L"deep");
    ASSERT_EQ(inner->ITestObjectInfo_SetPropData(deep, CComVariant(L"inner data")), S_OK);
    object.m_inner = inner.as<ITestObject>();
    CComVariant data, value;
    EXPECT_EQ(object.ITestObjectInfo_get_InternalProp2(deep, nullptr, nullptr, nullptr, &data, value.Put()), S_OK);
    EXPECT_STREQ(data.bstrVal, L"inner data");
    EXPECT_EQ(object.ITestObjectInfo_GetPropData(deep, data.Put()), S_OK);
    EXPECT_STREQ(data.bstrVal, L"inner data");

    // A missing name is added here with its data; with an outer object it lands there.
    CComBSTR added(L"added");
    CComVariant given(L"given data");
    EXPECT_EQ(object.ITestObjectInfo_put_PropExpr2(added, nullptr, nullptr, nullptr, &given, CComVariant(3)), S_OK);
    EXPECT_EQ(object.ITestObjectInfo_GetPropData(added, data.Put()), S_OK);
    EXPECT_STREQ(data.bstrVal, L"given data");
    object.ITestObject_SetOuterObject(outer.as<ITestObject>());
    CComBSTR there(L"there");
    EXPECT_EQ(object.ITestObjectInfo_put_PropExpr2(there, nullptr, nullptr, nullptr, &given, CComVariant(4)), S_OK);
    EXPECT_NE(outer->m_properties.Find(there), nullptr);
    EXPECT_EQ(object.ITestObjectInfo_get_Prop2(there, nullptr, nullptr, nullptr, data.Put(), value.Put()), S_OK);
    EXPECT_EQ(value.lVal, 4);
    EXPECT_EQ(object.ITestObjectInfo_SetPropData(deep, given), E_FAIL);  // the outer has no "deep"
}

TEST_F(TestObjectInfo, NullOutValueFallsThroughLikeAFailure) {
    TestComHolder inner = TestComHolder::New();
    object.m_inner = inner.as<ITestObject>();
    CComBSTR name(L"objectid");
    EXPECT_EQ(object.ITestObjectInfo_get_InternalProp(name, nullptr, nullptr, nullptr, nullptr), E_POINTER);
    CComVariant old(L"old");
    EXPECT_EQ(object.ITestObjectInfo_get_InternalPropExpr(name, nullptr, nullptr, nullptr, &old), S_OK);
    EXPECT_EQ(old.vt, VT_EMPTY);  // the old content is replaced
}

TEST_F(TestObjectInfo, GetPropsListsInnerNamesFirstAndEachNameOnce) {
    TestComHolder inner = TestComHolder::New();
    inner->Put(L"Shared", CComVariant(1), 0x10);
    inner->Put(L"InnerOnly", CComVariant(1), 0x10);
    object.Put(L"Shared", CComVariant(2), 0x10);
    object.Put(L"OwnOnly", CComVariant(2), 0x400);
    object.Put(L"Hidden", CComVariant(2), 0x8);
    object.m_inner = inner.as<ITestObject>();
    SAFEARRAY* names = nullptr;
    ASSERT_EQ(object.ITestObjectInfo_GetProps(&names, 0x410), S_OK);
    const std::vector<std::wstring> got = Names(names);
    // Inner names in the inner collection's order, then the own ones it lacked.
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], L"Shared");
    EXPECT_EQ(got[1], L"InnerOnly");
    EXPECT_EQ(got[2], L"OwnOnly");
    // The inner answer's cells are read as what they are: VARIANT cells give their names, a table
    // of numbers is refused like a failed answer.
    CKorSafeArray variants(1, 1, VT_VARIANT);
    CComVariant cell(L"FromVariant");
    variants.PutElement(&cell, 0, 0);
    inner->answer.Reset(variants.Detach());
    ASSERT_EQ(object.ITestObjectInfo_GetProps(&names, 0x410), S_OK);
    EXPECT_EQ(Names(names), (std::vector<std::wstring>{L"FromVariant", L"Shared", L"OwnOnly"}));
    inner->answer.Reset(Numbers());
    ASSERT_EQ(object.ITestObjectInfo_GetProps(&names, 0x410), S_OK);
    EXPECT_EQ(Names(names), (std::vector<std::wstring>{L"Shared", L"OwnOnly"}));
    // Own names are looked up among the inner names only: two that the locale compare takes for
    // one (a composed and a decomposed letter) are both listed.
    object.Put(L"Caf\u00E9", CComVariant(3), 0x2000);
    object.Put(L"Cafe\u0301", CComVariant(3), 0x2000);
    ASSERT_EQ(object.ITestObjectInfo_GetProps(&names, 0x2000), S_OK);
    EXPECT_EQ(Names(names), (std::vector<std::wstring>{L"Caf\u00E9", L"Cafe\u0301"}));
    EXPECT_EQ(object.ITestObjectInfo_GetProps(nullptr, 1), E_POINTER);
    ASSERT_EQ(object.ITestObjectInfo_GetProps(&names, 0x1000), S_OK);
    EXPECT_TRUE(Names(names).empty());
}

TEST_F(TestObjectInfo, FillPropsValuesTrimsTextsAndFillsWhatTheTableHas) {
    object.Put(L"label", CComVariant(L"  OK \t"), 0x10);
    object.Put(L"blank", CComVariant(L"   "), 0x10);
    long type = VT_I4, cmp = 5;
    CComBSTR count(L"count");
    object.ITestObjectInfo_put_PropExpr(count, nullptr, &type, &cmp, CComVariant(3));
    object.ITestObjectInfo_SetPropData(count, CComVariant(L"count data"));
    for (ULONG columns : {2u, 6u}) {
        CKorSafeArray table(4, columns, VT_VARIANT);
        const wchar_t* names[] = {L"label", L"blank", L"count", L"unknown"};
        for (LONG r = 0; r < 4; ++r) {
            CComVariant n(names[r]);
            table.PutElement(&n, r, 0);
        }
        CComVariant untouched(L"kept");
        table.PutElement(&untouched, 3, 1);
        SAFEARRAY* psa = table.psa;
        ASSERT_EQ(object.ITestObjectInfo_FillPropsValues(&psa), S_OK);
        CComVariant v;
        table.GetElement(v.Put(), 0, 1);
        EXPECT_STREQ(v.bstrVal, L"OK");
        table.GetElement(v.Put(), 1, 1);
        EXPECT_STREQ(v.bstrVal, L"   ");
        table.GetElement(v.Put(), 3, 1);
        EXPECT_STREQ(v.bstrVal, L"kept");
        if (columns == 6) {
            table.GetElement(v.Put(), 2, 5);
            EXPECT_STREQ(v.bstrVal, L"count data");
            table.GetElement(v.Put(), 2, 3);
            EXPECT_EQ(v.vt, VT_I4);
            EXPECT_EQ(v.lVal, VT_I4);
            table.GetElement(v.Put(), 2, 4);
            EXPECT_EQ(v.lVal, 5);
            table.GetElement(v.Put(), 0, 2);
            EXPECT_EQ(v.lVal, 0x10);
        }
    }
    EXPECT_EQ(object.ITestObjectInfo_FillPropsExpr(nullptr), E_POINTER);
}

TEST_F(TestObjectInfo, RuntimeAttributesFromTheClassTableOrTheOptions) {
    static const RuntimeAttributeEntry table[] = {{L"Value", 1, 0, L""},
                                                  {L"Caption", 0x100, 0, nullptr},
                                                  {L"Color", 1, 0, L"Style"},
                                                  {L"", 0, 0, nullptr}};
    TestComHolder inner = TestComHolder::New();
    inner->attributeTable = table;
    object.m_inner = inner.as<ITestObject>();
    static const RuntimeAttributeEntry own[] = {{L"Value", 0, 0, nullptr}, {L"Extra", 1, 0, nullptr}, {nullptr, 0, 0, nullptr}};
    object.attributeTable = own;
    SAFEARRAY* psa = nullptr;
    ASSERT_EQ(object.ITestObjectInfo_GetRTAttribs(&psa, nullptr), S_OK);
    CKorSafeArray rows;
    rows.Attach(psa, true);
    ASSERT_EQ(rows.GetRowCount(), 3u);  // Value, Caption (flag byte 0), Extra
    CComVariant v;
    rows.GetElement(v.Put(), 0, 0);
    EXPECT_STREQ(v.bstrVal, L"Value");
    rows.GetElement(v.Put(), 0, 1);
    EXPECT_EQ(v.boolVal, VARIANT_FALSE);  // the own entry overrides the inner answer
    rows.GetElement(v.Put(), 1, 1);
    EXPECT_EQ(v.boolVal, VARIANT_FALSE);
    rows.GetElement(v.Put(), 2, 0);
    EXPECT_STREQ(v.bstrVal, L"Extra");
    // A text table from the inner object gives names without flags; a table of numbers is refused.
    CKorPtrSafeArray texts(1, 1, VT_BSTR);
    CComBSTR text(L"Text");
    BSTR raw = text;
    texts.PutElement(&raw, 0, 0);
    inner->answer.Reset(texts.Detach());
    rows.Destroy();
    ASSERT_EQ(object.ITestObjectInfo_GetRTAttribs(&psa, nullptr), S_OK);
    rows.Attach(psa, true);
    ASSERT_EQ(rows.GetRowCount(), 3u);  // Text, then the own Value and Extra
    rows.GetElement(v.Put(), 0, 0);
    EXPECT_STREQ(v.bstrVal, L"Text");
    rows.GetElement(v.Put(), 0, 1);
    EXPECT_EQ(v.vt, VT_EMPTY);
    inner->answer.Reset(Numbers());
    rows.Destroy();
    ASSERT_EQ(object.ITestObjectInfo_GetRTAttribs(&psa, nullptr), S_OK);
    rows.Attach(psa, true);
    EXPECT_EQ(rows.GetRowCount(), 2u);

    // Without a table, the class options list them; without a rack that fails.
    CTestObject plain;
    EXPECT_EQ(plain.ITestObjectInfo_GetRTAttribs(&psa, nullptr), E_FAIL);
    auto rack = standin::Holder<standin::CRackStandIn>::New();
    auto options = standin::Holder<standin::CSettingsStandIn>::New();
    rack->Put(L"TestOptions", options.as<IKorSettings>());
    options->Put(L"Test Objects\\TestClass\\RuntimeAttributes\\Style", L"Color", 1L);
    options->Put(L"Test Objects\\TestClass\\RuntimeAttributes", L"Text", 0L);
    plain.rack = rack.as<IObjectRack>();
    CComBSTR style(L"Style");
    ASSERT_EQ(plain.ITestObjectInfo_GetRTAttribs(&psa, style), S_OK);
    CKorSafeArray styled;
    styled.Attach(psa, true);
    ASSERT_EQ(styled.GetRowCount(), 1u);
    styled.GetElement(v.Put(), 0, 0);
    EXPECT_STREQ(v.bstrVal, L"Color");
    styled.GetElement(v.Put(), 0, 1);
    EXPECT_EQ(v.vt, VT_BOOL);
    EXPECT_EQ(v.boolVal, VARIANT_TRUE);
}

TEST_F(TestObjectInfo, FillRuntimeValuesAsksTheQueryEngine) {
    CKorSafeArray table(1, 2, VT_VARIANT);
    CComVariant name(L"text");
    table.PutElement(&name, 0, 0);
    SAFEARRAY* psa = table.psa;
    object.findResult = E_ABORT;
    EXPECT_EQ(object.ITestObjectInfo_FillRTAttribsValues(&psa), E_ABORT);
    object.findResult = S_OK;
    EXPECT_EQ(object.ITestObjectInfo_FillRTAttribsValues(&psa), E_FAIL);  // no query engine
}
