// The main job's own parts: the recorded test's script lines, the report page and the phase times.
#include <gtest/gtest.h>
#include "com/CodePageText.h"
#include "FakeClock.h"
#include "PhaseTimes.h"
#include "RecordedTest.h"
#include "ReportPage.h"

namespace {

using Lines = std::vector<std::wstring>;

TEST(RecordedTest, ArgumentsAreTheNumbersOfTheCells) {
    std::wstring out;
    EXPECT_TRUE(ScriptArguments(L"[I4:10,UI2:15]", out));
    EXPECT_EQ(L"10, 15", out);
    EXPECT_TRUE(ScriptArguments(L"[I4:-5,I4:7,I4:1]", out));
    EXPECT_EQ(L"-5, 7, 1", out);
    EXPECT_TRUE(ScriptArguments(L"[]", out));
    EXPECT_EQ(L"", out);
    // Nothing but numbers is written: a text could hold the separators.
    for (const wchar_t* bad : {L"[BSTR:a,b]", L"(null)", L"[I4:]", L"[I4:1", L"[I4:-]", L"[not VARIANT]"})
        EXPECT_FALSE(ScriptArguments(bad, out)) << bad;
}

TEST(RecordedTest, TwoClicksAtOnePointWithinTheDoubleClickTimeAreADoubleClick) {
    const std::vector<RecordedAction> steps = {
        {L"Hello", L"Click", L"[I4:35,I4:18]", 1000},
        {L"Hello", L"Click", L"[I4:55,I4:22]", 1100},  // another point
        {L"Hello", L"Click", L"[I4:55,I4:22]", 1600},  // at the limit
        {L"Seven", L"Click", L"[I4:55,I4:22]", 1650},  // another object
        {L"Seven", L"Click", L"[I4:20,I4:15]", 3000},
        {L"Seven", L"Click", L"[I4:20,I4:15]", 3501},  // too late
        {L"Eight", L"Click", L"[I4:1,I4:2]", 4000},
        {L"Eight", L"Click", L"[I4:1,I4:2]", 4010},
        {L"Eight", L"Click", L"[I4:1,I4:2]", 4020},  // a third click starts anew
    };
    Lines lines;
    std::wstring failed;
    ASSERT_TRUE(ScriptLines(steps, 500, lines, failed));
    EXPECT_EQ((Lines{L"Hello.Click 35, 18", L"Hello.DblClick 55, 22", L"Seven.Click 55, 22", L"Seven.Click 20, 15",
                     L"Seven.Click 20, 15", L"Eight.DblClick 1, 2", L"Eight.Click 1, 2"}),
              lines);
    EXPECT_EQ(L"", failed);
}

TEST(RecordedTest, AStepThatCannotBeWrittenStopsTheTest) {
    const std::vector<RecordedAction> steps = {{L"Hello", L"Click", L"[I4:1,I4:2]", 0},
                                               {L"Hello", L"Select", L"[BSTR:a]", 10}};
    Lines lines;
    std::wstring failed;
    EXPECT_FALSE(ScriptLines(steps, 500, lines, failed));
    EXPECT_EQ(L"Hello.Select [BSTR:a]", failed);
}

TEST(ReportPage, AFailedStepIsMarkedInWordsUnderTheSummaryAndTextsAreUtf8) {
    standin::ReportedEvent step;
    step.type = L"Replay";
    step.items = {{L"Status", kcom::CComVariant(3L)},
                  {L"StepInfo", kcom::CComVariant(L"Gr\u00FC\u00DFe \u2192 Seven")},
                  {L"ReporterDispatch", kcom::CComVariant(static_cast<IDispatch*>(nullptr))}};
    ReportSummary summary;
    summary.failure = L"FAILED (replay): 1 of 2 replayed steps failed";
    summary.counts = L"2 steps recorded, 2 steps replayed, 1 passed, 1 failed; set-up 0.4 s";
    summary.steps = {L"pass  Hello.Click 35, 18", L"FAIL  Seven.Click 20, 15: Seven did not get WM_LBUTTONDOWN"};
    const std::string page = ReportPage(L"Report", summary, {step});
    for (const char* part : {"<p class=\"fail\"><b>\xE2\x9C\x97 FAILED (replay): 1 of 2 replayed steps failed</b></p>\n"
                             "<p>2 steps recorded, 2 steps replayed, 1 passed, 1 failed; set-up 0.4 s</p>",
                             "<li>pass  Hello.Click 35, 18</li>", "<li class=\"fail\">\xE2\x9C\x97 FAIL  Seven.Click",
                             "<tr class=\"fail\"><td>0</td><td>0</td><td>Replay</td><td>\xE2\x9C\x97 step failed</td>",
                             "<b>StepInfo</b>: Gr\xC3\xBC\xC3\x9F" "e \xE2\x86\x92 Seven<br></td></tr>"})
        EXPECT_NE(std::string::npos, page.find(part)) << part;
}

TEST(PhaseTimes, EachPhaseEndsWhereTheNextBeginsAndTheLineCountsTheSteps) {
    CFakeClock clock(5000);
    CPhaseTimes times;
    EXPECT_EQ(L"", times.Text());
    times.Begin(L"set-up");
    clock.Advance(1234);
    times.Begin(L"record");
    clock.Advance(999);
    EXPECT_EQ(L"set-up 1.2 s, record 0.9 s", times.Text());  // the running phase up to now
    times.Begin(L"replay");
    clock.Advance(61000);
    times.End();
    times.End();
    clock.Advance(5000);
    EXPECT_EQ(L"set-up 1.2 s, record 0.9 s, replay 61.0 s", times.Text());
    EXPECT_EQ(L"12 steps recorded, 10 steps replayed, 9 passed, 1 failed; set-up 1.2 s, record 0.9 s, replay 61.0 s",
              SummaryLine({12, 10, 9, 1}, times));
}

}  // namespace

namespace {

TEST(ReplayScript, TheObjectsAndTheStepsTakeTheMarkersPlaces) {
    const std::wstring frame = L"Set h = Host\r\n' @OBJECTS@\r\nx\r\n' @STEPS@\r\nEnd\r\n";
    std::wstring script;
    ASSERT_TRUE(ReplayScript(frame, {L"Hello", L"Seven"}, {L"Hello.Click 35, 18", L"Seven.Type \"a\""}, script));
    EXPECT_EQ(L"Set h = Host\r\n"
              L"Dim Hello, Seven\r\nSet Hello = Load(\"Hello\")\r\nSet Seven = Load(\"Seven\")\r\n"
              L"x\r\n"
              L"Begin \"Hello.Click 35, 18\", Empty\r\nHello.Click 35, 18\r\nFinish Err.Number, Err.Description\r\n"
              L"Begin \"Seven.Type \"\"a\"\"\", Empty\r\nSeven.Type \"a\"\r\nFinish Err.Number, Err.Description\r\n"
              L"End\r\n",
              script);
    // The script is written in cscript's code page: a character it lacks is reported, not replaced
    // by a look-alike.
    bool lossless = false;
    EXPECT_EQ("\xDC" "bernehmen", kcom::Narrow(L"\u00DCbernehmen", 1252, &lossless));
    EXPECT_TRUE(lossless);
    kcom::Narrow(L"\u0100bernehmen", 1252, &lossless);
    EXPECT_FALSE(lossless);
}

TEST(ReplayScript, AFrameWithoutItsMarkersIsRefused) {
    std::wstring script;
    EXPECT_FALSE(ReplayScript(L"' @OBJECTS@\r\n", {L"Hello"}, {L"Hello.Click 1, 2"}, script));
    EXPECT_FALSE(ReplayScript(L"' @STEPS@\r\n", {L"Hello"}, {L"Hello.Click 1, 2"}, script));
    // Nothing recorded: the markers go, the frame stays.
    ASSERT_TRUE(ReplayScript(L"a\r\n' @OBJECTS@\r\n' @STEPS@\r\nb", {}, {}, script));
    EXPECT_EQ(L"a\r\n\r\n\r\nb", script);
}

}  // namespace
