// The main job's own parts: the recorded test's script lines, the report page and the phase times.
#include <gtest/gtest.h>
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

TEST(ReportPage, EachEventIsARowWithItsStatusAndEscapedTexts) {
    standin::ReportedEvent step;
    step.type = L"Replay";
    step.id = 101;
    step.parentId = 100;
    step.items = {{L"Status", kcom::CComVariant(2L)},
                  {L"NodeName", kcom::CComVariant(L"Hello.Click")},
                  {L"StepInfo", kcom::CComVariant(L"Click <35,18> & \"more\"")},
                  {L"ReporterDispatch", kcom::CComVariant(static_cast<IDispatch*>(nullptr))}};
    standin::ReportedEvent bare;
    bare.type = L"General";
    const std::wstring page = ReportPage(L"A <report>", {step, bare});
    EXPECT_NE(std::wstring::npos, page.find(L"<title>A &lt;report&gt;</title>"));
    EXPECT_NE(std::wstring::npos, page.find(L"<p>2 report events</p>"));
    EXPECT_NE(std::wstring::npos,
              page.find(L"<tr><td>101</td><td>100</td><td>Replay</td><td>2</td><td>Hello.Click</td><td>"
                        L"<b>StepInfo</b>: Click &lt;35,18&gt; &amp; &quot;more&quot;<br><b>ReporterDispatch</b>: "
                        L"(object)<br></td></tr>"));
    EXPECT_NE(std::wstring::npos, page.find(L"<tr><td>0</td><td>0</td><td>General</td><td></td><td></td><td></td></tr>"));
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
