// Property records: setting, evaluation through the owner, comparison, the class registry and
// the relations record against a registered relations collection.
#include <gtest/gtest.h>
#include <vector>
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "com/Handles.h"
#include "description/Property.h"
#include "description/PropertyFactory.h"
#include "host.h"
#include "description/PropertyTestSupport.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

TEST(PropertyRecord, SetKeepsTypeAndConvertsTheValue) {
    CProperty p;
    const DWORD none = 0;
    CComVariant five(5);
    ASSERT_EQ(p.Set(&five, &none, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(p.m_type, VT_I4);

    CComVariant seven(L"7");
    const USHORT i4 = VT_I4;
    ASSERT_EQ(p.Set(&seven, nullptr, &i4, nullptr, nullptr), S_OK);
    EXPECT_EQ(p.vt, VT_I4);
    EXPECT_EQ(p.lVal, 7);

    ASSERT_EQ(p.Set(&seven, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(p.m_type, VT_BSTR);
    EXPECT_STREQ(p.bstrVal, L"7");

    // An expression text stays untouched whatever the type word.
    const DWORD expression = PROP_EXPRESSION;
    CComVariant text(L"p1 + 1");
    ASSERT_EQ(p.Set(&text, &expression, &i4, nullptr, nullptr), S_OK);
    EXPECT_EQ(p.vt, VT_BSTR);
    EXPECT_EQ(p.m_type, VT_I4);

    // VT_ERROR as a type is stored as 0; VT_NULL as a type means text.
    CProperty q;
    const USHORT error = VT_ERROR, null = VT_NULL;
    const DWORD cmp = 6;
    CComVariant data(L"extra");
    ASSERT_EQ(q.Set(&five, nullptr, &error, &cmp, &data), S_OK);
    EXPECT_EQ(q.m_type, VT_EMPTY);
    EXPECT_EQ(q.m_compareType, 6u);
    EXPECT_STREQ(q.m_propData.bstrVal, L"extra");
    ASSERT_EQ(q.Set(&five, nullptr, &null, nullptr, nullptr), S_OK);
    EXPECT_EQ(q.vt, VT_BSTR);
    EXPECT_STREQ(q.bstrVal, L"5");
    // Only the given fields change; a null value changes nothing but the fields.
    ASSERT_EQ(q.Set(nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_STREQ(q.bstrVal, L"5");

    CComVariant out, outData;
    DWORD flags = 0, compareType = 0;
    USHORT type = 0;
    ASSERT_EQ(q.Get(&out, &flags, &type, &compareType, &outData), S_OK);
    EXPECT_STREQ(out.bstrVal, L"5");
    EXPECT_EQ(flags, 8u);
    EXPECT_EQ(type, VT_NULL);
    EXPECT_EQ(compareType, 6u);
    EXPECT_STREQ(outData.bstrVal, L"extra");
}

TEST(PropertyRecord, GetValueConvertsToTheDeclaredType) {
    CProperty p;
    CComVariant text(L"12");
    const USHORT i4 = VT_I4;
    const DWORD keep = 0x10;
    ASSERT_EQ(p.Set(&text, nullptr, nullptr, nullptr, nullptr), S_OK);
    p.m_type = VT_I4;  // as a record loaded with a type it was not stored in
    CComVariant out;
    ASSERT_EQ(p.GetValue(&out, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(out.vt, VT_I4);
    EXPECT_EQ(out.lVal, 12);
    ASSERT_EQ(p.Set(nullptr, nullptr, &i4, &keep, nullptr), S_OK);
    static_cast<CComVariant&>(p) = CComVariant(L"12");
    ASSERT_EQ(p.GetValue(&out, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(out.vt, VT_BSTR) << "compare bit 0x10 keeps the stored type";
}

TEST(PropertyRecord, CompareRemovesLineBreaksAndConverts) {
    CProperty p;
    CComVariant ab(L"ab");
    ASSERT_EQ(p.Set(&ab, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(p.Compare(CComVariant(L"a\nb")), S_OK);
    EXPECT_EQ(p.Compare(CComVariant(L"a\r\nb")), S_OK);
    EXPECT_EQ(p.Compare(CComVariant(L"AB")), S_OK);
    EXPECT_EQ(p.Compare(CComVariant(L"abc")), E_FAIL);
    EXPECT_EQ(p.Compare(CComVariant()), E_FAIL) << "empty is the empty text";

    // Without compare bit 0x2 only line breaks go; with it the matcher's white-space rule decides.
    CProperty spaced;
    CComVariant aSpaceB(L"a b");
    ASSERT_EQ(spaced.Set(&aSpaceB, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(spaced.Compare(CComVariant(L"a\nb")), E_FAIL);
    spaced.m_compareType = 0x2;
    EXPECT_EQ(spaced.Compare(CComVariant(L"a\nb")), S_OK);
    spaced.m_compareType = 0x1;
    CComVariant pattern(L"a.c");
    ASSERT_EQ(spaced.Set(&pattern, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(spaced.Compare(CComVariant(L"abc")), S_OK);
    EXPECT_EQ(spaced.Compare(CComVariant(L"abcd")), E_FAIL);

    CProperty three;
    CComVariant n3(3);
    ASSERT_EQ(three.Set(&n3, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(three.Compare(CComVariant(L"3")), S_OK);
    EXPECT_EQ(three.Compare(CComVariant(L"4")), E_FAIL);
    EXPECT_EQ(three.Compare(CComVariant(L"x")), DISP_E_TYPEMISMATCH);

    CProperty empty;
    CComVariant none(L"");
    ASSERT_EQ(empty.Set(&none, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(empty.Compare(CComVariant()), S_OK);
}

TEST(PropertyRecord, OwnerValuedRecords) {
    dynamic::RegisterPropertyFactories();
    FakeOwner owner;
    CKorClassProperty cls(&owner);
    CComVariant out;
    ASSERT_EQ(cls.GetValue(&out, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_STREQ(out.bstrVal, L"ActiveX");
    owner.className = L"Changed";
    ASSERT_EQ(cls.GetValue(&out, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_STREQ(out.bstrVal, L"ActiveX") << "a stored value is kept";

    CKorGenTypeProperty gen(&owner);
    ASSERT_EQ(gen.GetValue(&out, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_STREQ(out.bstrVal, L"Button");
    CKorGenTypeProperty failing(&owner);
    owner.failure = E_ACCESSDENIED;
    EXPECT_EQ(failing.GetValue(&out, nullptr, nullptr, nullptr, nullptr), E_ACCESSDENIED);
    owner.failure = S_OK;

    CKorLogicalNameProperty name(&owner);
    ASSERT_EQ(name.GetValue(&out, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_STREQ(out.bstrVal, L"OK button");
    owner.logicalName = L"Cancel button";
    ASSERT_EQ(name.GetValue(&out, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_STREQ(out.bstrVal, L"Cancel button") << "read afresh every time";

    CKorClassProperty orphan(nullptr);
    ASSERT_EQ(orphan.GetValue(&out, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(out.vt, VT_EMPTY);
}

TEST(PropertyRegistry, CreatesByExactClassName) {
    dynamic::RegisterPropertyFactories();
    dynamic::RegisterPropertyFactories();  // once only
    FakeOwner owner;
    const char* names[] = {"CProperty", "CKorClassProperty", "CKorLogicalNameProperty", "CKorGenTypeProperty",
                           "CKorObjectRelationsProperty"};
    for (const char* name : names) {
        std::unique_ptr<CProperty> p(dynamic::CreateByName(name, &owner));
        ASSERT_NE(p, nullptr) << name;
        EXPECT_STREQ(p->GetClassName(), name);
        EXPECT_EQ(p->m_owner, &owner);
    }
    std::unique_ptr<CProperty> cls(dynamic::CreateByName("CKorClassProperty", nullptr));
    EXPECT_NE(dynamic_cast<CKorClassProperty*>(cls.get()), nullptr);
    EXPECT_EQ(dynamic::CreateByName("ckorclassproperty", nullptr), nullptr);
    EXPECT_EQ(dynamic::CreateByName("CKorUnknownProperty", nullptr), nullptr);
    EXPECT_EQ(dynamic::CreateByName("", nullptr), nullptr);
}

TEST(RelationsRecord, HoldsCopiesOfTheCollection) {
    RelationsRegistration registration;
    ASSERT_TRUE(registration.ok());
    CKorObjectRelationsProperty p(nullptr);
    CComPtr<ITORelationsCollection> original = NewRelations(2);
    CComVariant value(static_cast<IDispatch*>(original.get()));
    const DWORD flags = 1;
    ASSERT_EQ(p.Set(&value, &flags, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(p.m_flags, 0x200008u) << "the caller's flags are not used";
    ASSERT_EQ(p.vt, VT_DISPATCH);
    EXPECT_NE(p.pdispVal, static_cast<IDispatch*>(original.get())) << "a copy is stored";

    CComVariant out;
    USHORT type = 0x4000;
    ASSERT_EQ(p.Get(&out, nullptr, &type, nullptr, nullptr), S_OK);
    EXPECT_EQ(out.pdispVal, p.pdispVal) << "type word 0x4000 hands out the stored collection";
    ASSERT_EQ(p.GetValue(&out, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_NE(out.pdispVal, p.pdispVal);
    EXPECT_EQ(RelationsCount(out), 2);

    EXPECT_EQ(p.Compare(CComVariant(static_cast<IDispatch*>(NewRelations(2).get()))), S_OK);
    EXPECT_EQ(p.Compare(CComVariant(static_cast<IDispatch*>(NewRelations(3).get()))), E_FAIL);
    EXPECT_EQ(p.Compare(CComVariant()), E_FAIL) << "a collection with relations against nothing";

    // Nothing stored: a new, empty collection, through a type word only.
    CKorObjectRelationsProperty empty(nullptr);
    type = 0;
    ASSERT_EQ(empty.Get(&out, nullptr, &type, nullptr, nullptr), S_OK);
    EXPECT_EQ(type, VT_DISPATCH);
    EXPECT_EQ(RelationsCount(out), 0);
    const LONG live = CTestRelations::live;
    EXPECT_EQ(empty.Get(&out, nullptr, nullptr, nullptr, nullptr), E_FAIL);
    EXPECT_EQ(CTestRelations::live, live) << "nothing created and left behind";
    EXPECT_EQ(empty.Compare(CComVariant(static_cast<IDispatch*>(NewRelations(0).get()))), S_OK);
    EXPECT_EQ(empty.Compare(CComVariant(static_cast<IDispatch*>(NewRelations(1).get()))), E_FAIL);
    CKorObjectRelationsProperty plain(nullptr);
    CComVariant text(L"x");
    ASSERT_EQ(plain.Set(&text, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(plain.Compare(CComVariant(L"X")), S_OK) << "neither side a collection: plain comparison";
}
