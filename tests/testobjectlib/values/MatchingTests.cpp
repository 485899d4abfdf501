// Value comparison and pattern matching against the real regular-expression component.
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include "com/ComBSTR.h"
#include "com/ComVariant.h"
#include "values/RegExpMatcher.h"
#include "values/ValueComparison.h"
#include "values/StreamTestSupport.h"

using kcom::CComBSTR;
using kcom::CComVariant;

namespace {

// Matches under a compare type; a failed HRESULT shows as a test failure.
bool Match(LPCOLESTR expected, LPCOLESTR actual, long compareType) {
    CComBSTR e(expected), a(actual);
    VARIANT_BOOL result = VARIANT_TRUE;
    HRESULT hr = MatchValuePattern(e, a, compareType, &result);
    EXPECT_EQ(S_OK, hr) << "expected '" << (expected ? "..." : "null") << "'";
    return result == VARIANT_TRUE;
}

bool FullMatch(RegExpMatcher& m, LPCOLESTR pattern, LPCOLESTR text) {
    EXPECT_EQ(S_OK, m.SetPattern(CComBSTR(pattern)));
    VARIANT_BOOL result = VARIANT_TRUE;
    EXPECT_EQ(S_OK, m.IsFullMatch(CComBSTR(text), &result));
    return result == VARIANT_TRUE;
}

HRESULT WINAPI NoSuchProgId(LPCOLESTR, LPCLSID) { return CO_E_CLASSSTRING; }

// Makes the ProgID lookup fail for the lifetime of the scope.
struct ComponentMissing {
    RegExpMatcher::ClsidLookup previous = RegExpMatcher::SetClsidLookup(&NoSuchProgId);
    ~ComponentMissing() { RegExpMatcher::SetClsidLookup(previous); }
};

bool Typed(const VARIANT& expected, const VARIANT& actual, long compareType, VARTYPE expectedType,
           VARTYPE actualType, HRESULT want = S_OK) {
    VARIANT_BOOL result = VARIANT_TRUE;
    EXPECT_EQ(want, CompareTypedValues(expected, actual, compareType, &result, expectedType, actualType));
    return result == VARIANT_TRUE;
}

}  // namespace

TEST(RegExpMatcher, CoversTheWholeTextOnly) {
    RegExpMatcher m;
    ASSERT_TRUE(m.HasObject());
    ASSERT_EQ(S_OK, m.SetIgnoreCase(VARIANT_FALSE));
    EXPECT_TRUE(FullMatch(m, L"a.c", L"abc"));
    EXPECT_FALSE(FullMatch(m, L"a.c", L"abcd"));
    EXPECT_FALSE(FullMatch(m, L"a.c", L"xabc"));  // a match that does not start at 0
    EXPECT_TRUE(FullMatch(m, L"ab.*", L"abc"));
    EXPECT_FALSE(FullMatch(m, L"ab.*", L"xabc"));
    EXPECT_TRUE(FullMatch(m, L"", L""));
    EXPECT_FALSE(FullMatch(m, L"", L"a"));
    EXPECT_FALSE(FullMatch(m, L"ABC", L"abc"));
}

TEST(RegExpMatcher, OneObjectServesManyPatternsAndCaseSettings) {
    RegExpMatcher m;
    ASSERT_EQ(S_OK, m.SetIgnoreCase(VARIANT_TRUE));
    EXPECT_TRUE(FullMatch(m, L"HELLO", L"hello"));
    EXPECT_TRUE(FullMatch(m, L"\\d+", L"12345"));
    EXPECT_FALSE(FullMatch(m, L"\\d+", L"123a5"));
    ASSERT_EQ(S_OK, m.SetIgnoreCase(VARIANT_FALSE));
    EXPECT_FALSE(FullMatch(m, L"HELLO", L"hello"));
    EXPECT_TRUE(FullMatch(m, L"hel+o", L"hello"));
    for (int i = 0; i < 200; ++i) EXPECT_TRUE(FullMatch(m, L"item \\d+", (L"item " + std::to_wstring(i)).c_str()));
}

TEST(RegExpMatcher, ArgumentChecks) {
    RegExpMatcher m;
    VARIANT_BOOL result = VARIANT_TRUE;
    EXPECT_EQ(E_INVALIDARG, m.IsFullMatch(nullptr, &result));
    EXPECT_EQ(E_POINTER, m.IsFullMatch(CComBSTR(L"x"), nullptr));
}

TEST(RegExpMatcher, InvalidPatternFailsAtExecution) {
    RegExpMatcher m;
    for (LPCOLESTR bad : {L"(ab", L"[a-", L"a)"}) {
        m.SetPattern(CComBSTR(bad));
        VARIANT_BOOL result = VARIANT_TRUE;
        EXPECT_TRUE(FAILED(m.IsFullMatch(CComBSTR(L"ab"), &result)));
        EXPECT_EQ(VARIANT_FALSE, result);
    }
}

TEST(RegExpMatcher, MissingComponentAnswersEPointer) {
    RegExpMatcher held;
    ComponentMissing missing;
    EXPECT_TRUE(FullMatch(held, L"a.c", L"abc"));  // a matcher keeps the object it was made with
    RegExpMatcher m;
    EXPECT_FALSE(m.HasObject());
    EXPECT_EQ(E_POINTER, m.SetIgnoreCase(VARIANT_TRUE));
    EXPECT_EQ(E_POINTER, m.SetPattern(CComBSTR(L"a")));
    VARIANT_BOOL result = VARIANT_TRUE;
    EXPECT_EQ(E_POINTER, m.IsFullMatch(CComBSTR(L"a"), &result));
}

TEST(MatchValuePattern, ContainsAndRegExpFromTheEdgeList) {
    EXPECT_FALSE(Match(L"ab", L"xaby", 0));
    EXPECT_TRUE(Match(L"ab", L"xaby", CMP_CONTAINS));
    EXPECT_FALSE(Match(L"ab", L"xaby", CMP_REGEXP));
    EXPECT_TRUE(Match(L"ab", L"xaby", CMP_REGEXP | CMP_CONTAINS));
    EXPECT_TRUE(Match(L"a.c", L"abc", CMP_REGEXP));
    EXPECT_FALSE(Match(L"a.c", L"abcd", CMP_REGEXP));
    EXPECT_TRUE(Match(L"a.c", L"xxabcxx", CMP_REGEXP | CMP_CONTAINS));
    EXPECT_TRUE(Match(L"a.c", L"first line\nsecond abc line\nthird", CMP_REGEXP | CMP_CONTAINS));
    EXPECT_FALSE(Match(L"a.c", L"first line\nsecond line", CMP_REGEXP | CMP_CONTAINS));
}

TEST(MatchValuePattern, WhiteSpaceIsRemovedOnlyUnderItsBit) {
    EXPECT_TRUE(Match(L"A B", L"ab\r\n", CMP_IGNORE_SPACE));
    EXPECT_FALSE(Match(L"A B", L"ab\r\n", CMP_IGNORE_SPACE | CMP_CASE_SENSITIVE));
    EXPECT_TRUE(Match(L"a b", L"\ta\r\nb ", CMP_IGNORE_SPACE | CMP_CASE_SENSITIVE));
    EXPECT_FALSE(Match(L"a b", L"ab", 0));
    EXPECT_FALSE(Match(L"ab", L"ab ", 0));  // the matcher itself trims nothing
    // Only the four characters count: a no-break space stays.
    EXPECT_FALSE(Match(L"ab", L"a\u00A0b", CMP_IGNORE_SPACE));
    // The pattern loses its blanks too.
    EXPECT_TRUE(Match(L"a b+", L"abbb", CMP_IGNORE_SPACE | CMP_REGEXP));
    EXPECT_TRUE(Match(L" \t ", L"\r\n", CMP_IGNORE_SPACE));
    EXPECT_TRUE(Match(L" ", L"xyz", CMP_IGNORE_SPACE | CMP_CONTAINS));
}

TEST(MatchValuePattern, CaseFoldingIsAsciiInContainsButLocaleInEquality) {
    EXPECT_TRUE(Match(L"HeLLo", L"hello", 0));
    EXPECT_FALSE(Match(L"HeLLo", L"hello", CMP_CASE_SENSITIVE));
    EXPECT_TRUE(Match(L"ELL", L"hello", CMP_CONTAINS));
    EXPECT_FALSE(Match(L"ELL", L"hello", CMP_CONTAINS | CMP_CASE_SENSITIVE));
    EXPECT_TRUE(Match(L"HEL+O", L"hello", CMP_REGEXP));
    EXPECT_FALSE(Match(L"HEL+O", L"hello", CMP_REGEXP | CMP_CASE_SENSITIVE));
    EXPECT_FALSE(Match(L"\u00C4B", L"\u00E4b", CMP_CONTAINS));
    EXPECT_TRUE(Match(L"\u00C4B", L"\u00E4b", 0));
    // The same characters match in equality whether case counts or not.
    EXPECT_TRUE(Match(L"Order details", L"Order details", 0));
    EXPECT_TRUE(Match(L"Order details", L"Order details", CMP_CASE_SENSITIVE));
    EXPECT_FALSE(Match(L"Order details", L"order details", CMP_CASE_SENSITIVE));
}

TEST(MatchValuePattern, NullAndEmptyTexts) {
    EXPECT_TRUE(Match(nullptr, nullptr, 0));
    EXPECT_TRUE(Match(nullptr, nullptr, CMP_REGEXP));
    EXPECT_FALSE(Match(nullptr, L"", 0));
    EXPECT_FALSE(Match(L"", nullptr, CMP_CONTAINS));
    EXPECT_TRUE(Match(L"", L"", CMP_CONTAINS));
    EXPECT_TRUE(Match(L"", L"anything", CMP_CONTAINS));
    EXPECT_TRUE(Match(L"", L"", 0));
    EXPECT_TRUE(Match(L"", L"", CMP_REGEXP));
    EXPECT_FALSE(Match(L"x", L"", CMP_CONTAINS));
    VARIANT_BOOL result;
    EXPECT_EQ(E_POINTER, MatchValuePattern(CComBSTR(L"a"), CComBSTR(L"a"), 0, nullptr));
    (void)result;
}

TEST(MatchValuePattern, SpecialCharacters) {
    // Plain modes take every character literally.
    EXPECT_TRUE(Match(L"a.c", L"xa.cx", CMP_CONTAINS));
    EXPECT_FALSE(Match(L"a.c", L"xabcx", CMP_CONTAINS));
    EXPECT_TRUE(Match(L"100%", L"Progress: 100%", CMP_CONTAINS));
    EXPECT_TRUE(Match(L"(a|b)*", L"(A|B)*", 0));
    // A '%' or a format directive in a pattern is no format argument.
    EXPECT_TRUE(Match(L"%s%d", L"x%s%dy", CMP_REGEXP | CMP_CONTAINS));
    EXPECT_TRUE(Match(L"a|b", L"xxbxx", CMP_REGEXP | CMP_CONTAINS));
    EXPECT_TRUE(Match(L"\\(1\\.5\\)", L"(1.5)", CMP_REGEXP));
    EXPECT_FALSE(Match(L"\\(1\\.5\\)", L"(125)", CMP_REGEXP));
    EXPECT_TRUE(Match(L"[0-9]{3}-[0-9]{4}", L"555-1234", CMP_REGEXP));
    EXPECT_TRUE(Match(L"C:\\\\Temp\\\\.*", L"c:\\temp\\file.txt", CMP_REGEXP));
    // Embedded nulls take part in plain comparison.
    CComBSTR withNull(L"a\0b", 3), other(L"a\0c", 3);
    VARIANT_BOOL result = VARIANT_TRUE;
    EXPECT_EQ(S_OK, MatchValuePattern(withNull, other, CMP_CONTAINS, &result));
    EXPECT_EQ(VARIANT_FALSE, result);
}

// A pattern searched through a long multi-line text answers in one pass, match or not.
TEST(MatchValuePattern, ContainedPatternInALongText) {
    std::wstring text(64000, L'a');
    for (size_t i = 40; i < text.size(); i += 41) text[i] = L'\n';
    EXPECT_FALSE(Match(L"b+", text.c_str(), CMP_REGEXP | CMP_CONTAINS));
    text.replace(text.size() - 3, 3, L"xbb");
    EXPECT_TRUE(Match(L"b+", text.c_str(), CMP_REGEXP | CMP_CONTAINS));
    EXPECT_TRUE(Match(L"^a+", text.c_str(), CMP_REGEXP | CMP_CONTAINS));
    EXPECT_FALSE(Match(L"^b", text.c_str(), CMP_REGEXP | CMP_CONTAINS));
    EXPECT_TRUE(Match(L"xbb$", text.c_str(), CMP_REGEXP | CMP_CONTAINS));
}

TEST(MatchValuePattern, InvalidPatternIsAFailureAndNoMatch) {
    for (long type : {long(CMP_REGEXP), long(CMP_REGEXP | CMP_CONTAINS)}) {
        VARIANT_BOOL result = VARIANT_TRUE;
        HRESULT hr = MatchValuePattern(CComBSTR(L"(ab"), CComBSTR(L"ab"), type, &result);
        EXPECT_TRUE(FAILED(hr)) << type;
        EXPECT_EQ(VARIANT_FALSE, result);
    }
}

TEST(MatchValuePattern, MissingComponentGivesEFailForPatternsOnly) {
    ComponentMissing missing;
    VARIANT_BOOL result = VARIANT_TRUE;
    EXPECT_EQ(E_FAIL, MatchValuePattern(CComBSTR(L"a.c"), CComBSTR(L"abc"), CMP_REGEXP, &result));
    EXPECT_EQ(VARIANT_FALSE, result);
    EXPECT_EQ(E_FAIL, MatchValuePattern(CComBSTR(L"b"), CComBSTR(L"abc"), CMP_REGEXP | CMP_CONTAINS, &result));
    EXPECT_TRUE(Match(L"ABC", L"abc", 0));
    EXPECT_TRUE(Match(L"b", L"abc", CMP_CONTAINS));
    EXPECT_TRUE(Match(nullptr, nullptr, CMP_REGEXP));
    result = VARIANT_TRUE;
    EXPECT_EQ(E_FAIL, CompareTypedValues(CComVariant(L"a.c"), CComVariant(L"abc"), CMP_REGEXP, &result, VT_EMPTY, VT_EMPTY));
    EXPECT_EQ(VARIANT_FALSE, result);
}

TEST(CompareVariantValues, TypeAwareEquality) {
    CComVariant t1(-1L, VT_BOOL), t2(1L, VT_BOOL), f(0L, VT_BOOL);
    EXPECT_TRUE(CompareVariantValues(t1, t2));
    EXPECT_FALSE(CompareVariantValues(t1, f));
    EXPECT_FALSE(CompareVariantValues(CComVariant(5L, VT_I4), CComVariant(5L, VT_I2)));
    EXPECT_TRUE(CompareVariantValues(CComVariant(5L, VT_I4), CComVariant(5L, VT_I4)));
    EXPECT_TRUE(CompareVariantValues(CComVariant(L"ab"), CComVariant(L"ab")));
    EXPECT_FALSE(CompareVariantValues(CComVariant(L"ab"), CComVariant(L"AB")));  // case-sensitive
    CComVariant n1, n2, e;
    n1.vt = n2.vt = VT_NULL;
    EXPECT_TRUE(CompareVariantValues(n1, n2));
    EXPECT_TRUE(CompareVariantValues(e, CComVariant()));
    CComVariant d1(1.5), d2(1.5), nan(std::numeric_limits<double>::quiet_NaN());
    d1.vt = d2.vt = nan.vt = VT_DATE;
    EXPECT_TRUE(CompareVariantValues(d1, d2));
    EXPECT_FALSE(CompareVariantValues(nan, nan));
    CComVariant c1, c2;
    c1.vt = c2.vt = VT_CY;
    c1.cyVal.int64 = c2.cyVal.int64 = 0x100000002LL;
    EXPECT_TRUE(CompareVariantValues(c1, c2));
    c2.cyVal.Hi = 3;
    EXPECT_FALSE(CompareVariantValues(c1, c2));
    CComVariant dec1, dec2;
    ASSERT_EQ(S_OK, ::VarDecFromR8(2.5, &dec1.decVal));
    ASSERT_EQ(S_OK, ::VarDecFromI4(2, &dec2.decVal));
    dec1.vt = dec2.vt = VT_DECIMAL;
    EXPECT_FALSE(CompareVariantValues(dec1, dec2));
    ASSERT_EQ(S_OK, ::VarDecFromR8(2.5, &dec2.decVal));
    dec2.vt = VT_DECIMAL;
    EXPECT_TRUE(CompareVariantValues(dec1, dec2));
    EXPECT_TRUE(CompareVariantValues(CComVariant(7L, VT_UI4), CComVariant(7L, VT_UI4)));
    EXPECT_FALSE(CompareVariantValues(CComVariant(7L, VT_UI4), CComVariant(7L, VT_INT)));
}

TEST(CompareVariantValues, TablesCompareCellByCell) {
    EXPECT_TRUE(CompareVariantValues(I4Column({1, 2, 3}), I4Column({1, 2, 3})));
    EXPECT_FALSE(CompareVariantValues(I4Column({1, 2, 3}), I4Column({1, 2, 4})));
    EXPECT_FALSE(CompareVariantValues(I4Column({1, 2, 3}), I4Column({1, 2})));
}

TEST(CompareTypedValues, TypedComparisonBeforeText) {
    EXPECT_TRUE(Typed(CComVariant(5L, VT_I4), CComVariant(5L, VT_I2), 0, VT_I4, VT_I4));
    EXPECT_TRUE(Typed(CComVariant(5.0), CComVariant(L"5"), 0, VT_EMPTY, VT_EMPTY));
    EXPECT_TRUE(Typed(CComVariant(L"5.0"), CComVariant(5L, VT_I4), 0, VT_R8, VT_EMPTY));
    EXPECT_FALSE(Typed(CComVariant(L"6"), CComVariant(5L, VT_I4), 0, VT_I4, VT_EMPTY));
    // Both sides text: no typed pass, so " 5.0" and "5" stay different texts.
    EXPECT_FALSE(Typed(CComVariant(L"5.0"), CComVariant(L"5"), 0, VT_EMPTY, VT_EMPTY));
    // A failed conversion is not final: the text comparison decides.
    EXPECT_TRUE(Typed(CComVariant(L"AbC"), CComVariant(L"abc"), 0, VT_I4, VT_EMPTY));
}

TEST(CompareTypedValues, TextComparisonTrimsAndUsesTheCompareType) {
    EXPECT_TRUE(Typed(CComVariant(L"  Hello\t"), CComVariant(L"hello\r\n"), 0, VT_BSTR, VT_BSTR));
    EXPECT_FALSE(Typed(CComVariant(L"  Hello\t"), CComVariant(L"hello"), CMP_CASE_SENSITIVE, VT_BSTR, VT_BSTR));
    EXPECT_TRUE(Typed(CComVariant(L" item \\d+ "), CComVariant(L"item 42"), CMP_REGEXP, VT_EMPTY, VT_EMPTY));
    EXPECT_TRUE(Typed(CComVariant(L"4"), CComVariant(42L, VT_I4), CMP_CONTAINS, VT_BSTR, VT_EMPTY));
    // A pattern skips the typed pass: 5.0 against 5 is compared as text.
    EXPECT_FALSE(Typed(CComVariant(5.5), CComVariant(L"5.5x"), CMP_REGEXP, VT_EMPTY, VT_EMPTY));
    EXPECT_TRUE(Typed(CComVariant(L"5\\.5x?"), CComVariant(5.5), CMP_REGEXP, VT_EMPTY, VT_EMPTY));
}

TEST(CompareTypedValues, NullTextsAndFailures) {
    CComVariant nullText, emptyText(L"");
    nullText.vt = VT_BSTR;
    nullText.bstrVal = nullptr;
    EXPECT_TRUE(Typed(nullText, nullText, 0, VT_EMPTY, VT_EMPTY));
    EXPECT_FALSE(Typed(nullText, emptyText, 0, VT_EMPTY, VT_EMPTY));
    EXPECT_FALSE(Typed(CComVariant(3L), nullText, 0, VT_I4, VT_EMPTY));
    // A value that has no text form gives the conversion's failure.
    CComVariant noObject(static_cast<IDispatch*>(nullptr));
    VARIANT_BOOL result = VARIANT_TRUE;
    EXPECT_TRUE(FAILED(CompareTypedValues(noObject, CComVariant(L"x"), 0, &result, VT_EMPTY, VT_EMPTY)));
    EXPECT_EQ(VARIANT_FALSE, result);
    EXPECT_EQ(E_POINTER, CompareTypedValues(CComVariant(1L), CComVariant(1L), 0, nullptr, VT_EMPTY, VT_EMPTY));
}
