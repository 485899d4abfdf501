// Type changes with separators and the equality of table arrays.
#include <gtest/gtest.h>
#include <vector>
#include "com/ComBSTR.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "values/ValueConversion.h"
#include "values/StreamTestSupport.h"

using kcom::CComBSTR;
using kcom::CComVariant;

namespace {

std::vector<LONG> IntRows(const VARIANT& v) {
    std::vector<LONG> out;
    EXPECT_EQ(V_VT(&v), VT_ARRAY | VT_I4);
    EXPECT_EQ(::SafeArrayGetDim(v.parray), 2u);
    EXPECT_EQ(v.parray->rgsabound[1].cElements, 1u) << "one column";
    kcom::CSafeArrayDataLock data(v.parray);
    for (ULONG r = 0; r < v.parray->rgsabound[0].cElements; ++r) out.push_back(data.get<LONG>()[r]);
    return out;
}

}  // namespace

TEST(ChangeValueType, IntegerColumnToTextAndBack) {
    CComVariant column = Column<LONG>(VT_I4, {1, 2, 3});
    CComVariant text;
    CComBSTR sep(L";");
    ASSERT_EQ(ChangeValueType(&text, VT_BSTR, &column, sep), S_OK);
    ASSERT_EQ(V_VT(&text), VT_BSTR);
    EXPECT_STREQ(text.bstrVal, L"1;2;3");

    CComVariant back;
    ASSERT_EQ(ChangeValueType(&back, VT_ARRAY | VT_I4, &text, sep), S_OK);
    EXPECT_EQ(IntRows(back), (std::vector<LONG>{1, 2, 3}));

    // In place: the target converts itself.
    ASSERT_EQ(ChangeValueType(&text, VT_ARRAY | VT_I4, nullptr, sep), S_OK);
    EXPECT_EQ(IntRows(text), (std::vector<LONG>{1, 2, 3}));
}

TEST(ChangeValueType, IntegerSegmentsFollowTheWcstolRule) {
    CComVariant text(L"7;;abc;12x;0x;-4; 5;x0");
    CComVariant out;
    CComBSTR sep(L";");
    ASSERT_EQ(ChangeValueType(&out, VT_ARRAY | VT_I4, &text, sep), S_OK);
    // "" -> 0, "abc" -> 0, "12x" skipped, "0x" skipped (holds a '0'), " 5" -> 5, "x0" skipped.
    EXPECT_EQ(IntRows(out), (std::vector<LONG>{7, 0, 0, -4, 5}));
}

TEST(ChangeValueType, TextAndVariantColumns) {
    CComBSTR sep(L", ");
    CComVariant texts = Column<const wchar_t*>(VT_BSTR, {L"a", L"", L"c"});
    CComVariant joined;
    ASSERT_EQ(ChangeValueType(&joined, VT_BSTR, &texts, sep), S_OK);
    EXPECT_STREQ(joined.bstrVal, L"a, , c");

    CComVariant null;
    V_VT(&null) = VT_NULL;
    CComVariant mixed = Column<CComVariant>(VT_VARIANT, {CComVariant(4), null, CComVariant(L"z")});
    ASSERT_EQ(ChangeValueType(&joined, VT_BSTR, &mixed, sep), S_OK);
    EXPECT_STREQ(joined.bstrVal, L"4, z") << "a row that cannot become text is left out";

    CComVariant split;
    CComVariant source(L"p, q");
    ASSERT_EQ(ChangeValueType(&split, VT_ARRAY | VT_VARIANT, &source, sep), S_OK);
    ASSERT_EQ(split.parray->rgsabound[0].cElements, 2u);
    kcom::CSafeArrayDataLock data(split.parray);
    EXPECT_EQ(V_VT(&data.get<VARIANT>()[1]), VT_BSTR);
    EXPECT_STREQ(data.get<VARIANT>()[1].bstrVal, L"q");
}

TEST(ChangeValueType, OneDimensionalArraysGiveEveryElement) {
    SAFEARRAYBOUND b = {3, 1};
    CComVariant list;
    V_VT(&list) = VT_ARRAY | VT_I4;
    V_ARRAY(&list) = ::SafeArrayCreate(VT_I4, 1, &b);
    for (LONG i = 1; i <= 3; ++i) {
        LONG v = i * 10;
        ::SafeArrayPutElement(list.parray, &i, &v);
    }
    CComVariant text;
    CComBSTR sep(L",");
    ASSERT_EQ(ChangeValueType(&text, VT_BSTR, &list, sep), S_OK);
    EXPECT_STREQ(text.bstrVal, L"10,20,30");
    EXPECT_TRUE(CompareArrayValues(list, list));
}

TEST(ChangeValueType, EdgeCases) {
    CComBSTR empty(L"");
    CComVariant text(L"1;2");
    CComVariant out;
    ASSERT_EQ(ChangeValueType(&out, VT_ARRAY | VT_BSTR, &text, empty), S_OK) << "an empty separator cannot split";
    EXPECT_EQ(out.parray->rgsabound[0].cElements, 1u);

    CComBSTR sep(L";");
    EXPECT_EQ(ChangeValueType(&out, VT_ARRAY | VT_R8, &text, sep), E_FAIL);
    CComVariant doubles;
    SAFEARRAYBOUND b = {1, 0};
    V_VT(&doubles) = VT_ARRAY | VT_R8;
    V_ARRAY(&doubles) = ::SafeArrayCreate(VT_R8, 1, &b);
    EXPECT_EQ(ChangeValueType(&out, VT_BSTR, &doubles, sep), E_FAIL);

    // Same array type: a copy of the array.
    CComVariant column = Column<LONG>(VT_I4, {9});
    CComVariant copy;
    ASSERT_EQ(ChangeValueType(&copy, VT_ARRAY | VT_I4, &column, nullptr), S_OK);
    EXPECT_NE(copy.parray, column.parray);
    EXPECT_EQ(IntRows(copy), (std::vector<LONG>{9}));

    // No separator: the platform's conversion.
    CComVariant number(L"42");
    ASSERT_EQ(ChangeValueType(&number, VT_I4), S_OK);
    EXPECT_EQ(V_VT(&number), VT_I4);
    EXPECT_EQ(number.lVal, 42);
    EXPECT_EQ(ChangeValueType(&number, VT_I4), S_OK);
    CComVariant word(L"x");
    EXPECT_EQ(ChangeValueType(&out, VT_I4, &word), DISP_E_TYPEMISMATCH);
}

TEST(CompareArrayValues, CellByCell) {
    EXPECT_TRUE(CompareArrayValues(Column<LONG>(VT_I4, {1, 2}), Column<LONG>(VT_I4, {1, 2})));
    EXPECT_FALSE(CompareArrayValues(Column<LONG>(VT_I4, {1, 2}), Column<LONG>(VT_I4, {1, 3})));
    EXPECT_FALSE(CompareArrayValues(Column<LONG>(VT_I4, {1, 2}), Column<LONG>(VT_I4, {1, 2, 3})));
    EXPECT_TRUE(CompareArrayValues(Column<const wchar_t*>(VT_BSTR, {L"a", L"B"}), Column<const wchar_t*>(VT_BSTR, {L"a", L"B"})));
    EXPECT_FALSE(CompareArrayValues(Column<const wchar_t*>(VT_BSTR, {L"a", L"B"}), Column<const wchar_t*>(VT_BSTR, {L"a", L"b"})))
        << "texts compare case-sensitively";
    CComVariant null;
    V_VT(&null) = VT_NULL;
    EXPECT_TRUE(CompareArrayValues(Column<CComVariant>(VT_VARIANT, {null, CComVariant(3)}),
                                   Column<CComVariant>(VT_VARIANT, {null, CComVariant(3)})));
    EXPECT_FALSE(CompareArrayValues(Column<CComVariant>(VT_VARIANT, {CComVariant(3)}),
                                    Column<CComVariant>(VT_VARIANT, {CComVariant(static_cast<long>(3), VT_I2)})))
        << "different cell types";
    EXPECT_FALSE(CompareArrayValues(Column<LONG>(VT_I4, {1}), Column<const wchar_t*>(VT_BSTR, {L"1"})));
    EXPECT_FALSE(CompareArrayValues(CComVariant(1), CComVariant(1)));
    // A 1 x 2 table is not a 2 x 1 table.
    SAFEARRAYBOUND wide[2] = {{2, 0}, {1, 0}};
    CComVariant row;
    V_VT(&row) = VT_ARRAY | VT_I4;
    V_ARRAY(&row) = ::SafeArrayCreate(VT_I4, 2, wide);
    EXPECT_FALSE(CompareArrayValues(row, Column<LONG>(VT_I4, {0, 0})));
}
