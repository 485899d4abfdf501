// The test object's reports as the host's report receives them: the filter, the dictionary each
// event carries, and the order of the direct-mode calls.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "../settings/DescribedObject.h"
#include "testobject/reporting/ReportFilter.h"

using kcom::CComBSTR;
using kcom::CComVariant;
using standin::ReportedEvent;

namespace {

class ReportingTest : public ::testing::Test {
protected:
    const std::vector<ReportedEvent>& Events() { return host.report->Events(); }
    const ReportedEvent& Last() { return Events().back(); }
    SAFEARRAY* Arguments(std::vector<CComVariant> values) {
        CKorSafeArray table(static_cast<ULONG>(values.size()), 1, VT_VARIANT);
        for (size_t r = 0; r < values.size(); ++r) table.PutElement(&values[r], static_cast<LONG>(r), 0);
        return table.Detach();
    }
    int Reads(const wchar_t* option) {
        int n = 0;
        for (const auto& line : host.options->Log().Lines())
            if (line.find(option) != std::wstring::npos) ++n;
        return n;
    }

    standin::CTestHost host;
    DescribedHolder object = NewDescribedObject(host);
};

}  // namespace

TEST_F(ReportingTest, FilterMasksReadOnceAndStatusMaskTwoKeepsFailures) {
    EXPECT_TRUE(object->ShouldReport(kReportReplaySteps, kStatusDone));
    host.options->Put(L"", L"ReportEventMask", 0x10);
    host.options->Put(L"", L"EventStatusMask", 2);
    EXPECT_TRUE(object->ShouldReport(kReportReplaySteps, kStatusDone));  // both were read already

    DescribedHolder other = NewDescribedObject(host);
    EXPECT_FALSE(other->ShouldReport(kReportReplaySteps, kStatusFailed));
    EXPECT_TRUE(other->ShouldReport(kReportDirectEvents, kStatusFailed));
    EXPECT_TRUE(other->ShouldReport(kReportDirectEvents, kStatusStepFailed));
    EXPECT_FALSE(other->ShouldReport(kReportDirectEvents, kStatusDone));
    EXPECT_FALSE(other->ShouldReport(kReportDirectEvents, kStatusPassed));

    // A stored status mask of 0 counts as not read: it is read at every report.
    host.options->Put(L"", L"EventStatusMask", 0L);
    DescribedHolder third = NewDescribedObject(host);
    host.options->Log().Clear();
    third->ShouldReport(kReportDirectEvents, 1);
    third->ShouldReport(kReportDirectEvents, 1);
    EXPECT_EQ(Reads(L"EventStatusMask"), 2);
    EXPECT_EQ(Reads(L"ReportEventMask"), 1);
}

TEST_F(ReportingTest, ReplayReportCarriesTheStepAndTheCommonItems) {
    object->Row(L"korclass", CComVariant(L"AcxGrid"), 3);
    kcom::CComSafeArray args(Arguments({CComVariant(L"abc"), CComVariant(5L), CComVariant(true)}));
    DWORD id = 0;
    ASSERT_EQ(S_OK, object->ReplayReport(L"Click", kStatusDone, args, &id, nullptr, L"<b>Click</b>"));
    ASSERT_EQ(Events().size(), 1u);
    const ReportedEvent& e = Last();
    EXPECT_EQ(e.type, L"Replay");
    EXPECT_EQ(static_cast<long>(id), e.id);
    EXPECT_EQ(e.Text(L"ViewType"), L"Pyrrel.Explorer.2");
    EXPECT_EQ(e.Item(L"Status").lVal, kStatusDone);
    EXPECT_EQ(e.Text(L"NodeName"), L"[ Obj ].Click");
    EXPECT_TRUE(e.Has(L"NodeType"));
    EXPECT_EQ(e.Text(L"NodeType"), L"");
    EXPECT_EQ(e.Text(L"StepInfo"), L"\"abc\", 5, True");
    EXPECT_EQ(e.Text(L"HtmlNodeName"), L"<b>Click</b>");
    EXPECT_EQ(e.Item(L"ReporterDispatch").vt, VT_DISPATCH);

    ASSERT_EQ(S_OK, object->ReplayReport(nullptr, kStatusDone, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(Last().Text(L"NodeName"), L"Replay method");
    EXPECT_EQ(Last().Text(L"NodeType"), L"AcxGrid");
    EXPECT_EQ(Last().Item(L"StepInfo").vt, VT_BSTR);  // present even when empty

    host.options->Put(L"", L"ReportEventMask", 0x10);
    DescribedHolder filtered = NewDescribedObject(host);
    EXPECT_EQ(S_OK, filtered->ReplayReport(L"Click", kStatusDone, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(Events().size(), 2u);
}

TEST_F(ReportingTest, DirectEventsAndTheScriptInformationRefresh) {
    ASSERT_EQ(S_OK, object->ReportDirectEvent(L"Set text", kStatusDone, nullptr, L"<i>Set</i>"));
    EXPECT_EQ(Last().type, L"ReplayLog");
    EXPECT_EQ(Last().Text(L"StepInfo"), L"Set text");
    EXPECT_EQ(Last().Text(L"HtmlNodeName"), L"<i>Set</i>");
    EXPECT_EQ(Last().Item(L"IsDirectEvent").boolVal, VARIANT_TRUE);
    EXPECT_EQ(object->prepared, 0);

    host.options->Put(L"", L"UpdateModeFlags", 4);
    kcom::CComSafeArray args(Arguments({CComVariant(L"x")}));
    ASSERT_EQ(S_OK, object->ReportDirectEvent(L"Set", kStatusDone, args, L"<i>Set</i>"));
    EXPECT_EQ(Last().Text(L"StepInfo"), L"Set \"x\"");
    EXPECT_EQ(Last().Text(L"StepHtmlInfo"), L"<i>Set</i> \"x\"");
    EXPECT_FALSE(Last().Has(L"HtmlNodeName"));
    EXPECT_EQ(object->prepared, 1);
    object->m_snapshotRefreshGuard = 1;  // inside a refresh already
    object->ReportDirectEvent(L"Set", kStatusDone, nullptr, nullptr);
    EXPECT_EQ(object->prepared, 1);
}

TEST_F(ReportingTest, ReplayLogCarriesTheErrorText) {
    CComBSTR collection(L"Grid");
    object->CComTestObject::put_CollectionName(collection);
    ASSERT_EQ(S_OK, object->ReportReplayLog(static_cast<HRESULT>(0x80040202)));
    EXPECT_EQ(Last().type, L"ReplayLog");
    EXPECT_EQ(Last().Text(L"StepInfo"), L"Cannot find the object \"Grid\".");
    EXPECT_EQ(Last().Item(L"Status").lVal, kStatusDone);
    EXPECT_EQ(Last().Item(L"IsDirectEvent").boolVal, VARIANT_TRUE);

    host.options->Put(L"", L"ReportEventMask", 0x4);
    DescribedHolder filtered = NewDescribedObject(host);
    filtered->ReportReplayLog(E_FAIL);
    EXPECT_EQ(Events().size(), 1u);
}

TEST_F(ReportingTest, ReplayStepAndResultWithoutCommonItems) {
    host.options->Put(L"Test Objects", L"UpdateRun", L"C:\\icons,x.dll,3");
    CComBSTR a(L"a"), b(L"b"), c(L"c"), d(L"d"), name(L"OkButton");
    ASSERT_EQ(S_OK, object->ReportReplayStep(a, b, c, d, true));
    const ReportedEvent& passed = Last();
    EXPECT_EQ(passed.type, L"Replay");
    EXPECT_EQ(passed.Text(L"NodeName"), L"Object");  // no logical name
    EXPECT_EQ(passed.Text(L"StepInfo"), L"a c");
    EXPECT_EQ(passed.Text(L"StepHtmlInfo"), L"b d");
    EXPECT_EQ(passed.Item(L"Status").lVal, kStatusDone);
    EXPECT_EQ(passed.Text(L"DllPAth"), L"C:\\icons,x.dll");
    EXPECT_EQ(passed.Item(L"DllIconIndex").lVal, 3);
    EXPECT_EQ(passed.Item(L"DllIconSelIndex").lVal, 3);
    EXPECT_EQ(passed.Item(L"ReporterDispatch").vt, VT_DISPATCH);
    EXPECT_FALSE(passed.Has(L"NodeType"));

    object->ITestObject_SetLogicalName(name);
    host.options->Put(L"Test Objects", L"UpdateRun", L"C:\\x.dll,0");
    ASSERT_EQ(S_OK, object->ReportReplayStep(a, b, c, d, false));
    EXPECT_EQ(Last().Text(L"NodeName"), L"OkButton (failed)");
    EXPECT_EQ(Last().Item(L"Status").lVal, kStatusStepFailed);
    EXPECT_FALSE(Last().Has(L"DllPAth"));

    ASSERT_EQ(S_OK, object->ReportReplayResult(0));
    EXPECT_EQ(Last().Text(L"NodeName"), L"OkButton");
    EXPECT_EQ(Last().Text(L"StepInfo"), L"Failed");
    EXPECT_EQ(Last().Text(L"StepHtmlInfo"), L"Failed");
    EXPECT_EQ(Last().Item(L"Status").lVal, kStatusStepFailed);
    ASSERT_EQ(S_OK, object->ReportReplayResult(2));
    EXPECT_EQ(Last().Text(L"StepInfo"), L"Passed");
}

TEST_F(ReportingTest, ObjectDescriptionBetweenDirectModeCalls) {
    object->Row(L"text", CComVariant(L"<abc>"), 0x10);
    object->Row(L"hidden", CComVariant(L"x"), 0x8);
    ASSERT_EQ(S_OK, object->ReportObjectDescription(42, kStatusStepFailed, E_FAIL));
    EXPECT_EQ(host.report->Log().Joined(),
              L"StartDirectMode(42,0)\nReportEvent(StartDirectMode,0)\nReportEvent(Replay,0)\nEndDirectMode()\n"
              L"ReportEvent(EndDirectMode,0)");
    const ReportedEvent& e = Events()[1];
    EXPECT_EQ(e.Text(L"StepInfo"), L"Object description: text = &ltabc&gt\n");
    EXPECT_EQ(e.Text(L"StepHtmlInfo"), L"Object description:<br>text = &ltabc&gt<br>");
    EXPECT_EQ(e.Text(L"NodeType"), L"Object");
    EXPECT_EQ(e.Text(L"Action"), L"InActError");
    EXPECT_EQ(e.Item(L"Status").lVal, kStatusStepFailed);

    // Nothing to describe: nothing is sent.
    DescribedHolder bare = NewDescribedObject(host);
    ASSERT_EQ(S_OK, bare->ReportObjectDescription(1, kStatusStepFailed, E_FAIL));
    EXPECT_EQ(Events().size(), 3u);
}

TEST_F(ReportingTest, MissingReportOrDictionaryIsAnswered) {
    CReportEventInfo event;
    event.m_dictionary = nullptr;
    EXPECT_EQ(E_POINTER, object->SendReportEvent(event, true));
    host.rack->Drop(L"TestReport");
    CReportEventInfo fresh;
    EXPECT_EQ(E_FAIL, object->SendReportEvent(fresh, true));
    EXPECT_EQ(E_FAIL, object->StartDirectMode(1, 2, true));
    EXPECT_EQ(E_FAIL, object->ReportReplayLog(E_FAIL));
}
