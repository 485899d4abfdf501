// Two test objects' descriptions compared through the real "VBScript.RegExp" matcher: equality,
// whether one satisfies the other, and which is more general.
#include <gtest/gtest.h>
#include "../settings/DescribedObject.h"

using kcom::CComVariant;

namespace {

constexpr long kId = 0x10;       // identification property
constexpr long kCounted = 0x50;  // identification property that CompareTo counts

class MatchingTest : public ::testing::Test {
protected:
    // IsMatch of own against other; the HRESULT when it fails.
    HRESULT Match(DescribedHolder& own, DescribedHolder& other, bool* matched) {
        VARIANT_BOOL result = VARIANT_TRUE;
        HRESULT hr = own->ITestObject4_IsMatch(other->AsTestObject(), &result);
        *matched = result != VARIANT_FALSE;
        return hr;
    }
    bool Matches(const CComVariant& pattern, long compareType, const CComVariant& actual, long otherType = 0) {
        DescribedHolder own = NewDescribedObject(host), other = NewDescribedObject(host);
        own->Row(L"text", pattern, kId, compareType);
        other->Row(L"text", actual, kId, 0, otherType);
        bool matched = false;
        EXPECT_EQ(S_OK, Match(own, other, &matched));
        return matched;
    }
    ULONG Relation(DescribedHolder& own, DescribedHolder& other) {
        ULONG relation = 99;
        EXPECT_EQ(S_OK, own->ITestObject5_CompareTo(other->AsTestObject(), &relation));
        return relation;
    }

    standin::CTestHost host;
    DescribedHolder a = NewDescribedObject(host), b = NewDescribedObject(host);
};

}  // namespace

TEST_F(MatchingTest, PatternSideMatchesWholeTextOnly) {
    EXPECT_TRUE(Matches(CComVariant(L"Order \\d+"), 1, CComVariant(L"Order 42")));
    EXPECT_FALSE(Matches(CComVariant(L"Order \\d"), 1, CComVariant(L"Order 42")));
    EXPECT_FALSE(Matches(CComVariant(L"rder \\d+"), 1, CComVariant(L"Order 42")));
    // Outer blanks are trimmed; inner ones count unless white space is ignored.
    EXPECT_TRUE(Matches(CComVariant(L"Order"), 0, CComVariant(L"  Order ")));
    EXPECT_FALSE(Matches(CComVariant(L"OrderDetails"), 0, CComVariant(L"Order Details")));
    EXPECT_TRUE(Matches(CComVariant(L"OrderDetails"), 2, CComVariant(L"Order\tDetails")));
    // Case is ignored unless asked for; contains.
    EXPECT_TRUE(Matches(CComVariant(L"ORDER"), 0, CComVariant(L"order")));
    EXPECT_FALSE(Matches(CComVariant(L"ORDER"), 4, CComVariant(L"order")));
    EXPECT_TRUE(Matches(CComVariant(L"der"), 8, CComVariant(L"Order")));
    EXPECT_TRUE(Matches(CComVariant(L"o.d"), 9, CComVariant(L"Order")));
    // A number against its text, through the declared types.
    EXPECT_TRUE(Matches(CComVariant(L"5"), 0, CComVariant(5L), VT_I4));
}

TEST_F(MatchingTest, OnlyThePatternSideMatches) {
    a->Row(L"text", CComVariant(L"Order \\d+"), kId, 1);
    b->Row(L"Text", CComVariant(L"Order 42"), kId, 0);
    bool matched = false;
    ASSERT_EQ(S_OK, Match(a, b, &matched));
    EXPECT_TRUE(matched);
    ASSERT_EQ(S_OK, Match(b, a, &matched));
    EXPECT_FALSE(matched);  // the other's pattern bit is missing on this side
    b->Row(L"Text", CComVariant(L"Order 42"), kId, 8);
    ASSERT_EQ(S_OK, Match(a, b, &matched));
    EXPECT_FALSE(matched);  // so is the other's contains bit
}

TEST_F(MatchingTest, InvalidPatternIsAnError) {
    a->Row(L"text", CComVariant(L"Order (\\d+"), kId, 1);
    b->Row(L"text", CComVariant(L"Order 42"), kId);
    bool matched = true;
    EXPECT_TRUE(FAILED(Match(a, b, &matched)));
    EXPECT_FALSE(matched);
}

TEST_F(MatchingTest, MissingRowAsksTheOtherObjectsRunTimeValue) {
    a->Row(L"caption", CComVariant(L"Hel.*"), kId, 1);
    b->runtime[L"caption"] = CComVariant(L"Hello");
    bool matched = false;
    ASSERT_EQ(S_OK, Match(a, b, &matched));
    EXPECT_TRUE(matched);
    EXPECT_EQ(b->queried, (std::vector<std::wstring>{L"caption"}));

    b->queryResult = E_FAIL;
    ASSERT_EQ(S_OK, Match(a, b, &matched));
    EXPECT_FALSE(matched);

    // An empty run-time value matches no expected text, even without a declared type.
    DescribedHolder plain = NewDescribedObject(host), empty = NewDescribedObject(host);
    plain->Row(L"label", CComVariant(L"abc"), kId);
    ASSERT_EQ(S_OK, Match(plain, empty, &matched));
    EXPECT_FALSE(matched);

    // A parameter row is never asked for at run time.
    a->Row(L"caption", CComVariant(L"Param"), kId | 0x100, 0);
    ASSERT_EQ(S_OK, Match(a, b, &matched));
    EXPECT_FALSE(matched);
}

TEST_F(MatchingTest, ExtraCountedRowOnTheOtherSideAndIgnoredRows) {
    a->Row(L"text", CComVariant(L"abc"), kId);
    b->Row(L"text", CComVariant(L"abc"), kId);
    b->Row(L"width", CComVariant(5L), 0x400);
    b->Row(L"hidden", CComVariant(1L), kId | 0x80);
    a->Row(L"skipped", CComVariant(L"zzz"), kId | 0x1);
    bool matched = true;
    ASSERT_EQ(S_OK, Match(a, b, &matched));
    EXPECT_FALSE(matched);
    ASSERT_EQ(S_OK, Match(b, a, &matched));  // b's "width" is asked of a at run time: empty
    EXPECT_FALSE(matched);
    a->runtime[L"width"] = CComVariant(5L);
    ASSERT_EQ(S_OK, Match(b, a, &matched));
    EXPECT_TRUE(matched);

    // Names are found by the same characters and by another case alike, in any row order.
    DescribedHolder c = NewDescribedObject(host), d = NewDescribedObject(host);
    c->Row(L"Caption", CComVariant(L"x"), kId);
    c->Row(L"index", CComVariant(2L), kId);
    d->Row(L"index", CComVariant(2L), kId);
    d->Row(L"CAPTION", CComVariant(L"x"), kId);
    ASSERT_EQ(S_OK, Match(c, d, &matched));
    EXPECT_TRUE(matched);
}

TEST_F(MatchingTest, IsEqualNeedsTheSameFlagsAndValues) {
    a->Row(L"text", CComVariant(L"Abc"), kId);
    b->Row(L"TEXT", CComVariant(L"abc"), kId);
    a->Row(L"skip", CComVariant(1L), 0x80);
    b->Row(L"other", CComVariant(2L), 0x1);
    EXPECT_EQ(S_OK, a->ITestObject_IsEqual(b->AsTestObject()));
    a->Row(L"text", CComVariant(L"Abc"), kId, 4);
    EXPECT_EQ(E_FAIL, a->ITestObject_IsEqual(b->AsTestObject()));  // case now counts
    a->Row(L"text", CComVariant(L"abc"), kId | 0x8, 4);
    EXPECT_EQ(E_FAIL, a->ITestObject_IsEqual(b->AsTestObject()));  // flags differ
    a->Row(L"text", CComVariant(L"abc"), kId);
    b->Row(L"width", CComVariant(5L), 0x8);
    EXPECT_EQ(E_FAIL, a->ITestObject_IsEqual(b->AsTestObject()));  // the other has one more
    EXPECT_EQ(E_POINTER, a->ITestObject_IsEqual(nullptr));
}

TEST_F(MatchingTest, CompareToRelations) {
    a->Row(L"text", CComVariant(L"abc"), kCounted);
    b->Row(L"text", CComVariant(L"abc"), kCounted);
    EXPECT_EQ(Relation(a, b), 0u);
    b->Row(L"width", CComVariant(5L), kCounted);
    EXPECT_EQ(Relation(a, b), 1u);  // the other has one more: this one is more general
    EXPECT_EQ(Relation(b, a), 2u);
    a->Row(L"height", CComVariant(7L), kCounted);
    EXPECT_EQ(Relation(a, b), 3u);  // each lacks one
    b->Row(L"text", CComVariant(L"abd"), kCounted);
    EXPECT_EQ(Relation(b, b), 0u);
}

TEST_F(MatchingTest, CompareToWithPatterns) {
    a->Row(L"text", CComVariant(L"ab.*"), kCounted, 1);
    b->Row(L"text", CComVariant(L"abc"), kCounted);
    EXPECT_EQ(Relation(a, b), 1u);
    EXPECT_EQ(Relation(b, a), 2u);
    // A pattern on each side, on different rows, contradicts.
    a->Row(L"name", CComVariant(L"x1"), kCounted);
    b->Row(L"name", CComVariant(L"x\\d"), kCounted, 1);
    EXPECT_EQ(Relation(a, b), 3u);
    b->Row(L"name", CComVariant(L"x2"), kCounted);
    EXPECT_EQ(Relation(a, b), 3u);  // unequal values
}

TEST_F(MatchingTest, CompareToCountsOnlyRowsWith40) {
    a->Row(L"text", CComVariant(L"abc"), kId);
    b->Row(L"text", CComVariant(L"abc"), kId);
    EXPECT_EQ(Relation(a, b), 16u);  // nothing counted on this side
    // A row counted only on the other side is matched in the second pass.
    a->Row(L"width", CComVariant(5L), kCounted);
    b->Row(L"width", CComVariant(5L), kId);
    b->Row(L"text", CComVariant(L"abc"), kCounted);
    EXPECT_EQ(Relation(a, b), 32u);
}

TEST_F(MatchingTest, OuterObjectAnswersFirst) {
    a->Row(L"text", CComVariant(L"abc"), kId);
    b->Row(L"text", CComVariant(L"xyz"), kId);
    DescribedHolder outer = NewDescribedObject(host);
    outer->Row(L"text", CComVariant(L"xyz"), kId);
    a->ITestObject_SetOuterObject(outer->AsTestObject());
    bool matched = false;
    ASSERT_EQ(S_OK, Match(a, b, &matched));
    EXPECT_TRUE(matched);
    EXPECT_EQ(S_OK, a->ITestObject_IsEqual(b->AsTestObject()));
}
