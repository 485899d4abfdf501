// Text operations and name orders over real BSTRs from Wine's oleaut32.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "tables/KorBSTR.h"

namespace {

std::wstring Text(const kcom::CComBSTR& s) { return std::wstring(s.c_str(), s.Length()); }

// Overwrites (and later restores) the terminator, which makes the BSTR malformed.
void SetTerminator(CKorBSTR& s, wchar_t c) { static_cast<BSTR>(s)[s.Length()] = c; }

}  // namespace

TEST(KorBSTR, SubstringsClampTheirCounts) {
    CKorBSTR abc(L"abc");
    EXPECT_EQ(L"", Text(abc.Mid(10, 2)));
    EXPECT_FALSE(abc.Mid(10, 2).IsNull());
    EXPECT_EQ(L"abc", Text(abc.Right(5)));
    EXPECT_EQ(L"", Text(abc.Right(-1)));
    EXPECT_EQ(L"", Text(abc.Left(-1)));
    EXPECT_EQ(L"ab", Text(abc.Mid(-3, 2)));
    EXPECT_EQ(L"bc", Text(abc.Mid(1)));
    EXPECT_EQ(L"abc", Text(abc.Mid(INT_MIN)));
    EXPECT_EQ(L"", Text(CKorBSTR().Left(3)));
    EXPECT_TRUE(CKorBSTR().IsEmpty() && CKorBSTR(L"").IsEmpty() && !abc.IsEmpty());
}

TEST(KorBSTR, SearchesAnswerMinusOneForBadInput) {
    CKorBSTR s(L"abcb");
    EXPECT_EQ(3, s.Find(L"b", 2));
    EXPECT_EQ(-1, s.Find(L"b", 4));
    EXPECT_EQ(-1, s.Find(L"b", -1));
    EXPECT_EQ(-1, s.Find(nullptr));
    EXPECT_EQ(-1, CKorBSTR().Find(L"a"));
    EXPECT_EQ(3, s.ReverseFind(L'b'));
    EXPECT_EQ(-1, CKorBSTR().ReverseFind(L'a'));
    EXPECT_EQ(3, s.FindChar(L'b', 2));
    EXPECT_EQ(-1, CKorBSTR(L"").FindChar(L'a', 0));

    CKorBSTR bad(L" abc ");
    SetTerminator(bad, L'x');
    EXPECT_EQ(-1, bad.Find(L"a"));
    EXPECT_EQ(-1, bad.FindChar(L'a', 0));
    EXPECT_EQ(-1, bad.ReverseFind(L'a'));
    bad.TrimLeft();
    bad.TrimRight();
    EXPECT_EQ(5u, bad.Length());
    SetTerminator(bad, L'\0');
}

TEST(KorBSTR, TrimRemovesWhiteSpace) {
    CKorBSTR s(L" \t ab c \r\n");
    s.TrimLeft();
    EXPECT_EQ(L"ab c \r\n", Text(s));
    s.TrimRight();
    EXPECT_EQ(L"ab c", Text(s));
    CKorBSTR none;
    none.TrimLeft();
    EXPECT_TRUE(none.IsNull());
}

TEST(KorBSTR, ComparisonsFoldAsciiOnlyOrNotAtAll) {
    EXPECT_EQ(0, CKorBSTR(L"abc").CompareNoCase(L"ABC"));
    EXPECT_EQ(0, CKorBSTR().CompareNoCase(L""));
    EXPECT_LT(CKorBSTR(L"a").CompareNoCase(L"B"), 0);
    EXPECT_LT(CKorBSTR(L"_").CompareNoCase(L"A"), 0);  // letters fold to the small ones
    EXPECT_NE(0, CKorBSTR(L"\u00C9").CompareNoCase(L"\u00E9"));

    CKorBSTR null, empty(L""), ab(L"ab"), abc(L"abc");
    EXPECT_FALSE(null.IsLess(nullptr));
    EXPECT_TRUE(null.IsLess(empty));
    EXPECT_TRUE(ab.IsLess(abc));
    EXPECT_FALSE(abc.IsLess(ab));
    EXPECT_TRUE(CKorBSTR(L"B").IsLess(ab));  // by code unit
    EXPECT_TRUE(CKorBSTR(L"a\0", 2).IsLess(CKorBSTR(L"a\0b", 3)));
}

TEST(KorBSTR, CopyRemovingChars) {
    CKorBSTR s(L"old");
    EXPECT_EQ(E_INVALIDARG, s.CopyRemovingChars(L" ", nullptr));
    EXPECT_EQ(L"old", Text(s));
    kcom::CComBSTR source(L" a\tb\r\nc ");
    EXPECT_EQ(S_OK, s.CopyRemovingChars(L" \t\r\n", source));
    EXPECT_EQ(L"abc", Text(s));
    EXPECT_EQ(S_OK, s.CopyRemovingChars(L"", source));
    EXPECT_EQ(Text(source), Text(s));
    EXPECT_EQ(S_OK, s.CopyRemovingChars(L"x", kcom::CComBSTR(L"")));
    EXPECT_TRUE(!s.IsNull() && s.Length() == 0);
    s = L"a-b-c";
    EXPECT_EQ(S_OK, s.CopyRemovingChars(L"-", s));  // the held string as the source
    EXPECT_EQ(L"abc", Text(s));
}

TEST(KorBSTR, FormatUsesMicrosoftWidePrintfRules) {
    CKorBSTR s;
    ASSERT_EQ(S_OK, s.Format(L"%s|%S|%d|%ls|%hs|%c", L"wide", "narrow", -42, L"l", "h", L'c'));
    EXPECT_EQ(L"wide|narrow|-42|l|h|c", Text(s));
    ASSERT_EQ(S_OK, s.Format(L"%5.1f%%|%-3d|%03x|%E", 2.5, 7, 10, 1.5));
    EXPECT_EQ(L"  2.5%|7  |00a|1.500000E+000", Text(s));

    // Far beyond any fixed estimate: %f of 1e300 writes 301 digits and the decimals.
    ASSERT_EQ(S_OK, s.Format(L"<%f>", 1e300));
    EXPECT_EQ(1u + 301u + 7u + 1u, s.Length());
    EXPECT_EQ(L"<1", Text(s).substr(0, 2));
    EXPECT_EQ(L".000000>", Text(s).substr(s.Length() - 8));
    ASSERT_EQ(S_OK, s.Format(L"%600s", L"x"));
    EXPECT_EQ(600u, s.Length());

    s = L"kept";
    EXPECT_EQ(E_INVALIDARG, s.Format(nullptr));
    EXPECT_EQ(L"kept", Text(s));
}

TEST(KorBSTR, ReplaceCountsNonOverlappingOccurrences) {
    CKorBSTR s(L"aaa");
    EXPECT_EQ(1, s.Replace(L"aa", L"b"));
    EXPECT_EQ(L"ba", Text(s));
    s = L"x.y.z";
    EXPECT_EQ(2, s.Replace(L".", nullptr));
    EXPECT_EQ(L"xyz", Text(s));
    BSTR before = s;
    EXPECT_EQ(0, s.Replace(L"q", L"r"));
    EXPECT_EQ(0, s.Replace(L"", L"r"));
    EXPECT_EQ(before, static_cast<BSTR>(s));

    CKorBSTR embedded(L"a\0a", 3);  // the search runs past embedded null characters
    EXPECT_EQ(2, embedded.Replace(L"a", L"xy"));
    EXPECT_EQ(std::wstring(L"xy\0xy", 5), Text(embedded));
}

TEST(KorBSTR, NoCaseOrderIsDescendingWithNullFirst) {
    kcom::CComBSTR abc(L"Abc"), abd(L"abd"), b(L"B"), lower(L"abc"), upper(L"ABC"), ab(L"ab");
    std::vector<BSTR> names = {abc, abd, nullptr, b};
    std::sort(names.begin(), names.end(), NoCaseBstrOrder());
    EXPECT_EQ((std::vector<BSTR>{nullptr, b, abd, abc}), names);

    EXPECT_FALSE(NoCaseBstrLess(lower, upper) || NoCaseBstrLess(upper, lower));
    EXPECT_TRUE(NoCaseBstrEqual(lower, upper));
    EXPECT_TRUE(NoCaseBstrLess(lower, ab));  // a longer name before its prefix
    EXPECT_TRUE(NoCaseBstrEqual(nullptr, nullptr));
    EXPECT_FALSE(NoCaseBstrEqual(nullptr, lower));

    kcom::CComBSTR capital(L"\u00C9"), small(L"\u00E9");
    EXPECT_FALSE(NoCaseBstrEqual(capital, small));
    EXPECT_TRUE(NoCaseBstrLess(small, capital));

    // Same characters only: no folding, nulls never, embedded nulls counted by the length.
    kcom::CComBSTR again(L"\u00C9"), empty(L""), withNull(L"a\0b", 3), cut(L"a\0c", 3);
    EXPECT_TRUE(SameCharacters(capital, again));
    EXPECT_FALSE(SameCharacters(capital, small));
    EXPECT_FALSE(SameCharacters(lower, upper));
    EXPECT_TRUE(SameCharacters(empty, empty));
    EXPECT_FALSE(SameCharacters(nullptr, nullptr));
    EXPECT_FALSE(SameCharacters(nullptr, empty));
    EXPECT_FALSE(SameCharacters(withNull, cut));
}

TEST(KorBSTR, ToLowerFoldsAsciiCapitalsOnly) {
    CKorBSTR text(L"AZaz@[`{\u00C4\u0130 09");
    EXPECT_EQ(S_OK, text.ToLower());
    EXPECT_EQ(std::wstring(L"azaz@[`{\u00C4\u0130 09"), Text(text));
    CKorBSTR withNull(L"A\0B", 3);
    EXPECT_EQ(S_OK, withNull.ToLower());
    EXPECT_EQ(std::wstring(L"a\0b", 3), Text(withNull));
    CKorBSTR empty(L""), null;
    EXPECT_EQ(S_OK, empty.ToLower());
    EXPECT_EQ(E_FAIL, null.ToLower());
    EXPECT_TRUE(null.IsNull());
}
