// The test object's default compare type, description rows from the live object, and the
// identification algorithms driven at each interface level they expose.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "DescribedObject.h"
#include "com/ComSafeArray.h"

using kcom::CComBSTR;
using kcom::CComVariant;
using standin::CAlgorithmStandIn;
using standin::CProgIdObjectRegistration;
using standin::Holder;

namespace {

constexpr wchar_t kAlgorithms[] = L"Test Objects\\TestClass\\Description\\Algorithm";

class AlgorithmsTest : public ::testing::Test {
protected:
    void SetUp() override {
        CComTestObject::ForgetDefaultPropertyCompareType();
        object = NewDescribedObject(host);
        for (int i = 0; i < 3; ++i) candidates.push_back(Holder<standin::CSelectorStandIn>::New());
    }
    void TearDown() override { CComTestObject::ForgetDefaultPropertyCompareType(); }

    // An algorithm stand-in creatable by that ProgID for the rest of the test.
    Holder<CAlgorithmStandIn> Algorithm(const wchar_t* progId, int level, long kind) {
        auto algorithm = Holder<CAlgorithmStandIn>::New();
        algorithm->SetLevel(level);
        algorithm->SetKind(kind);
        registrations.push_back(std::make_unique<CProgIdObjectRegistration>(progId, algorithm.as<IIdentificationAlgorithm>()));
        return algorithm;
    }
    // The object uses the algorithm of progId.
    void Use(const wchar_t* progId) {
        CComBSTR text(progId);
        object->ITestObject5_put__Algorithm(text);
        object->ITestObject3_put_UseAlgorithm(1);
    }
    // A child of the class's "Algorithm" node naming progId.
    void Configure(const wchar_t* child, const wchar_t* progId) {
        host.options->Put((std::wstring(kAlgorithms) + L"\\" + child).c_str(), L"ProgID", progId);
    }
    SAFEARRAY* Candidates() {
        std::vector<IUnknown*> all;
        for (auto& c : candidates) all.push_back(c.as<IKorSelector>());
        return CandidateList(all);
    }
    // Rows of cells, cell c in column c.
    static SAFEARRAY* Table(std::vector<std::vector<CComVariant>> rows, ULONG columns) {
        CKorSafeArray table(static_cast<ULONG>(rows.size()), columns, VT_VARIANT);
        for (size_t r = 0; r < rows.size(); ++r)
            for (size_t c = 0; c < rows[r].size(); ++c)
                table.PutElement(&rows[r][c], static_cast<LONG>(r), static_cast<LONG>(c));
        return table.Detach();
    }
    static ULONG Rows(SAFEARRAY* list) {
        CKorSafeArray view;
        view.Attach(list, false);
        return view.GetRowCount();
    }
    // The candidate in row 0 of a list.
    IUnknown* First(const CKorSafeArray& list) {
        CComVariant cell;
        list.GetElement(cell.Put(), 0, 0);
        return cell.vt == VT_UNKNOWN ? cell.punkVal : nullptr;
    }

    standin::CTestHost host;
    DescribedHolder object;
    std::vector<Holder<standin::CSelectorStandIn>> candidates;
    std::vector<std::unique_ptr<CProgIdObjectRegistration>> registrations;
};

}  // namespace

TEST_F(AlgorithmsTest, DefaultCompareTypeReadOncePerProcess) {
    // Without a package only ordinary windows read the standard package's value.
    host.options->Put(L"Packages\\StdPackage\\Settings", L"DefaultPropertyCompareType", 2);
    DescribedHolder other = NewDescribedObject(host);
    other->format = ::RegisterClipboardFormatW(L"Kestrune other format");
    EXPECT_EQ(other->GetDefaultPropertyCompareType(), 0);  // nothing cached
    EXPECT_EQ(object->GetDefaultPropertyCompareType(), 2);
    host.options->Put(L"Packages\\StdPackage\\Settings", L"DefaultPropertyCompareType", 9);
    EXPECT_EQ(other->GetDefaultPropertyCompareType(), 2);

    // The class's package decides; a package without the value still fixes 0.
    CComTestObject::ForgetDefaultPropertyCompareType();
    host.options->Put(L"Test Objects\\TestClass\\info", L"Package", L"Grids");
    host.options->Put(L"Packages\\Grids\\Settings", L"DefaultPropertyCompareType", L"4");
    EXPECT_EQ(other->GetDefaultPropertyCompareType(), 4);
    CComTestObject::ForgetDefaultPropertyCompareType();
    host.options->Put(L"Test Objects\\TestClass\\info", L"Package", L"Empty");
    EXPECT_EQ(NewDescribedObject(host)->GetDefaultPropertyCompareType(), 0);
    EXPECT_EQ(object->GetDefaultPropertyCompareType(), 0);
}

TEST_F(AlgorithmsTest, DescriptionRowFromTheLiveValueThroughThePatternManager) {
    object->runtime[L"text"] = CComVariant(L"  Order 42 ");
    CComBSTR name(L"text");
    const long context = 7;
    long type = -1, compareType = -1;
    CComVariant value;
    ASSERT_EQ(S_OK, object->ApplyDescriptionSettings(name, host.patternMgr.as<IUnknown>(), &context, &type,
                                                     &compareType, value.Put()));
    EXPECT_EQ(type, VT_BSTR);
    EXPECT_STREQ(value.bstrVal, L"Order \\d+");
    EXPECT_EQ(compareType, 1);
    EXPECT_EQ(host.patternMgr->Log().Joined(), L"ApplyPattern(7,text,BSTR:Order 42,0)");
}

TEST_F(AlgorithmsTest, AlgorithmListAndConfiguredProgId) {
    std::vector<std::wstring> names;
    kcom::CComPtr<IKorSettings> node;
    EXPECT_EQ(E_FAIL, object->GetAlgorithmList(names, node));  // no class node
    host.options->AddSection(L"Test Objects\\TestClass\\Description");
    EXPECT_EQ(S_FALSE, object->GetAlgorithmList(names, node));  // no "Algorithm" node
    Configure(L"Second", L"Kestrune.Test.B");
    Configure(L"First", L"Kestrune.Test.A");
    ASSERT_EQ(S_OK, object->GetAlgorithmList(names, node));
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Second", L"First"}));
    CComBSTR progId;
    ASSERT_EQ(S_OK, object->GetConfiguredAlgorithmProgId(progId.Put()));
    EXPECT_STREQ(progId.c_str(), L"Kestrune.Test.B");

    Configure(L"Second", L"");
    EXPECT_EQ(E_FAIL, object->GetConfiguredAlgorithmProgId(progId.Put()));

    host.options->Put(kAlgorithms, L"Disable", L"True");
    EXPECT_EQ(S_FALSE, object->GetAlgorithmList(names, node));
    EXPECT_EQ(S_FALSE, object->GetConfiguredAlgorithmProgId(progId.Put()));
    DescribedHolder rackless = DescribedHolder::New();
    EXPECT_EQ(E_FAIL, rackless->GetAlgorithmList(names, node));
}

TEST_F(AlgorithmsTest, NewestInterfaceFilters) {
    object->Row(L"text", CComVariant(L"abc"), 0x210);
    object->Row(L"width", CComVariant(5L), 0x10);
    kcom::CComSafeArray in(Candidates());
    CKorSafeArray out;
    const wchar_t* expected[] = {L"", L"Filter(3,(null))", L"Filter2(3,obj)", L"Filter3(3,obj,(null))",
                                 L"Filter4(3,obj,(null))"};
    for (int level = 1; level <= 4; ++level) {
        std::wstring progId = L"Kestrune.Test.Level" + std::to_wstring(level);
        auto algorithm = Algorithm(progId.c_str(), level, 2);
        algorithm->SetChoice(2);
        Use(progId.c_str());
        ASSERT_EQ(S_OK, object->RunIdentificationAlgorithm(in, &out, FALSE)) << level;
        EXPECT_EQ(CComTestObject::RowCount(out), 1u);
        EXPECT_EQ(First(out), candidates[2].as<IKorSelector>());
        std::vector<std::wstring> lines = algorithm->Log().Lines();
        ASSERT_EQ(lines.size(), level == 4 ? 4u : 3u) << level;
        EXPECT_EQ(lines[0], L"SetRack(obj)");
        EXPECT_EQ(lines[1], L"GetKind()");
        EXPECT_EQ(lines[2], expected[level]);
        // The description: the properties flagged 0x200, their values filled.
        EXPECT_EQ(algorithm->LastDescription(), L"[BSTR:text,BSTR:abc,I4:528,I4:0,I4:0,EMPTY]");
    }
}

TEST_F(AlgorithmsTest, OnIdentifiedOnlyAfterAnExactSuccessOfTheNewestFilter) {
    auto algorithm = Algorithm(L"Kestrune.Test.Notify", 4, 2);
    Use(L"Kestrune.Test.Notify");
    algorithm->SetState(CComVariant(L"s1"));
    kcom::CComSafeArray in(Candidates());
    CKorSafeArray out;
    ASSERT_EQ(S_OK, object->RunIdentificationAlgorithm(in, &out, FALSE));
    EXPECT_EQ(algorithm->Log().Lines().back(), L"OnIdentified(obj,3,BSTR:s1)");

    algorithm->Log().Clear();
    algorithm->SetChoice(-1);
    ASSERT_EQ(S_OK, object->RunIdentificationAlgorithm(in, &out, FALSE));  // none chosen, not the last try
    EXPECT_EQ(algorithm->Log().Count(L"OnIdentified"), 0);
    ASSERT_EQ(S_OK, object->RunIdentificationAlgorithm(nullptr, &out, TRUE));
    EXPECT_EQ(algorithm->Log().Lines().back(), L"OnIdentified(obj,0,BSTR:s1)");

    algorithm->Log().Clear();
    algorithm->SetChoice(0, S_FALSE);
    EXPECT_EQ(S_FALSE, object->RunIdentificationAlgorithm(in, &out, TRUE));
    EXPECT_EQ(algorithm->Log().Count(L"OnIdentified"), 0);
}

TEST_F(AlgorithmsTest, WhenNoAlgorithmApplies) {
    auto narrowing = Algorithm(L"Kestrune.Test.Narrowing", 4, 1);
    CKorSafeArray out;
    EXPECT_EQ(S_FALSE, object->RunIdentificationAlgorithm(nullptr, &out, TRUE));  // use flag 0
    Use(L"Kestrune.Test.Narrowing");
    // A narrowing algorithm needs a list: after the loop it refuses.
    EXPECT_EQ(E_INVALIDARG, object->RunIdentificationAlgorithm(nullptr, &out, TRUE));
    host.options->Put(L"", L"DisableReplayUsingAlgorithm", 1);
    EXPECT_EQ(S_FALSE, object->RunIdentificationAlgorithm(nullptr, &out, TRUE));
    host.options->Put(L"", L"DisableReplayUsingAlgorithm", 0L);
    narrowing->SetRackResult(E_ACCESSDENIED);
    kcom::CComSafeArray in(Candidates());
    EXPECT_EQ(E_ACCESSDENIED, object->RunIdentificationAlgorithm(in, &out, TRUE));
}

TEST_F(AlgorithmsTest, OldDescriptionWithAlgorithmPropertyUsesTheWebFilter) {
    auto web = Algorithm(L"Quorvel.WebFilterAlgorithm", 2, 2);
    Use(L"Kestrune.Test.Else");
    object->m_algorithmAbsent = 1;
    CKorSafeArray out;
    kcom::CComSafeArray in(Candidates());
    EXPECT_EQ(S_FALSE, object->RunIdentificationAlgorithm(in, &out, FALSE));  // no "Algorithm" property
    object->Row(L"Algorithm", CComVariant(L"x"), 0x8);
    ASSERT_EQ(S_OK, object->RunIdentificationAlgorithm(in, &out, FALSE));
    EXPECT_EQ(web->Log().Count(L"Filter2"), 1);
    CComBSTR text;
    object->ITestObject5_get__Algorithm(text.Put());
    EXPECT_STREQ(text.c_str(), L"Quorvel.WebFilterAlgorithm");
}

TEST_F(AlgorithmsTest, DescribeTakesTheDecisiveResultAndWritesItsRows) {
    auto narrowing = Algorithm(L"Kestrune.Test.N", 4, 1);
    auto decisive = Algorithm(L"Kestrune.Test.D", 4, 2);
    auto never = Algorithm(L"Kestrune.Test.X", 4, 2);
    Configure(L"N", L"Kestrune.Test.N");
    host.options->Put(std::wstring(kAlgorithms).append(L"\\Broken").c_str(), L"Other", 1);
    Configure(L"D", L"Kestrune.Test.D");
    Configure(L"X", L"Kestrune.Test.X");
    narrowing->SetDescription(nullptr, 2, S_OK);
    kcom::CComSafeArray rows(Table({{CComVariant(L"caption"), CComVariant(L"Orders"), CComVariant(0x10L),
                                     CComVariant(), CComVariant(4L)},
                                    {CComVariant(L"width"), CComVariant(50L)}},
                                   6));
    decisive->SetDescription(rows, 1, S_OK);

    kcom::CComSafeArray in(Candidates());
    kcom::CComSafeArray narrowed;
    ASSERT_EQ(S_OK, object->DescribeWithAlgorithms(nullptr, in, narrowed.Put(), FALSE));
    EXPECT_EQ(Rows(narrowed), 1u);
    EXPECT_EQ(never->Log().Count(L"Describe"), 0);  // the decisive result ends the walk
    // Each algorithm is given the list passed in, not the narrowed one.
    EXPECT_EQ(decisive->Log().Lines().back(), L"Describe(3,obj,obj)");
    CComBSTR progId;
    object->ITestObject5_get__Algorithm(progId.Put());
    EXPECT_STREQ(progId.c_str(), L"Kestrune.Test.D");
    EXPECT_EQ(object->Value(L"caption").bstrVal, std::wstring(L"Orders"));
    EXPECT_EQ(object->Flags(L"caption"), 0x10);
    EXPECT_EQ(object->CompareType(L"caption"), 4);
    EXPECT_EQ(object->Flags(L"width"), 0x228);  // defaults where the row has no words
    EXPECT_EQ(object->CompareType(L"width"), 0);
}

TEST_F(AlgorithmsTest, DescribeAnswersTheAppliedResultWhateverLaterAlgorithmsSay) {
    auto same = Algorithm(L"Kestrune.Test.Same", 4, 1);
    auto first = Algorithm(L"Kestrune.Test.First", 4, 1);
    auto failing = Algorithm(L"Kestrune.Test.Failing", 4, 1);
    Configure(L"S", L"Kestrune.Test.Same");
    same->SetDescription(nullptr, -1, S_OK);  // narrows to no fewer: not taken
    kcom::CComSafeArray in(Candidates()), narrowed;
    EXPECT_EQ(S_FALSE, object->DescribeWithAlgorithms(nullptr, in, narrowed.Put(), FALSE));

    Configure(L"A", L"Kestrune.Test.First");
    Configure(L"B", L"Kestrune.Test.Failing");
    first->SetDescription(nullptr, 2, S_OK);
    failing->SetDescription(nullptr, 1, E_FAIL);
    EXPECT_EQ(S_OK, object->DescribeWithAlgorithms(nullptr, in, narrowed.Put(), FALSE));
    EXPECT_EQ(failing->Log().Count(L"Describe"), 1);
    EXPECT_EQ(Rows(narrowed), 2u);
    ULONG use = 0;
    object->ITestObject3_get_UseAlgorithm(&use);
    EXPECT_EQ(use, 1u);
}

TEST_F(AlgorithmsTest, DescribeKeepsAPatternThatStillMatches) {
    auto decisive = Algorithm(L"Kestrune.Test.Keep", 4, 2);
    Configure(L"K", L"Kestrune.Test.Keep");
    object->Row(L"caption", CComVariant(L"Order \\d+"), 0x8, 1);
    kcom::CComSafeArray rows(Table({{CComVariant(L"caption"), CComVariant(L"Order 7"), CComVariant(0x20L)}}, 5));
    decisive->SetDescription(rows, 1, S_OK);
    kcom::CComSafeArray in(Candidates()), narrowed;
    ASSERT_EQ(S_OK, object->DescribeWithAlgorithms(nullptr, in, narrowed.Put(), TRUE));
    EXPECT_STREQ(object->Value(L"caption").bstrVal, L"Order \\d+");
    EXPECT_EQ(object->Flags(L"caption"), 0x28);
    EXPECT_EQ(object->CompareType(L"caption"), 1);

    // Without keeping expressions the described value replaces it.
    ASSERT_EQ(S_OK, object->DescribeWithAlgorithms(nullptr, in, narrowed.Put(), FALSE));
    EXPECT_STREQ(object->Value(L"caption").bstrVal, L"Order 7");
    EXPECT_EQ(object->CompareType(L"caption"), 0);
}
