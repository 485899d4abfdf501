// Replay steps: opening and closing, the step times and their fold, and the attempts of
// ReplayWithRetry with their hooks, retries, reports and raises in order.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "FakeClock.h"
#include "StepTestObject.h"
#include "com/ComBSTR.h"

using namespace standin;
using kcom::CComBSTR;
using kcom::CComVariant;

namespace {

using Calls = std::vector<std::wstring>;

void SetProp(CComTestObject* object, const wchar_t* name, const VARIANT& value) {
    CComBSTR n(name);
    ASSERT_EQ(object->ITestObjectInfo_put_PropExpr(n, nullptr, nullptr, nullptr, value), S_OK);
}

class ReplayStep : public ::testing::Test {
protected:
    void SetUp() override {
        control = host.queryEngine->AddObject(L"Button1");
        SetProp(object.get(), L"objectid", CComVariant(static_cast<IUnknown*>(control.as<IRuntimeID>())));
        object->methods = {{L"Click", kRunOwnHooks}};
        operation.object = object.get();
    }
    // The operations themselves, not the interface methods of the same names.
    CComTestObject& Op() { return *object.get(); }
    StepOutcome Run(EXCEPINFO* excepInfo = nullptr) {
        return RunStep(object.get(), &operation, &ScriptedOperation::Run, nullptr, excepInfo);
    }
    void Retry(DWORD maximum) {
        operation.during = [maximum](CReplaySkeletonContext& step) { step.m_retry = 1, step.m_maxAttempts = maximum; };
    }

    CFakeClock clock{5000};
    CTestHost host;
    RuntimeObject control;
    StepObject object = NewStepObject(host);
    ScriptedOperation operation;
};

TEST_F(ReplayStep, OneStepIsCurrentAtATimeAndTheInnerObjectFollowsIt) {
    CReplaySkeletonContext first(&IID_IDispatch, 1, L"Click", nullptr, 0), second(&IID_IDispatch, 1, L"Type", nullptr, 0);
    VARIANT v;
    v.vt = VT_BYREF | VT_VARIANT;  // exactly VT_BYREF, with a record
    v.byref = &first;
    EXPECT_EQ(Op().BeginReplayStep(v), E_FAIL);
    v.vt = VT_BYREF;
    EXPECT_EQ(Op().BeginReplayStep(v), S_OK);
    v.byref = &second;
    EXPECT_EQ(Op().BeginReplayStep(v), E_FAIL);
    EXPECT_EQ(object->m_currentStep, &first);
    EXPECT_EQ(Op().EndReplayStep(), S_OK);

    // A step the inner object refuses is not kept: the dispatcher lets its record go at once.
    object->m_inner = host.inner.as<IReplaySkeleton>();
    host.inner->SetStepResult(0x80040777);
    {
        CReplaySkeletonContext refused(&IID_IDispatch, 1, L"Click", nullptr, 0);
        v.byref = &refused;
        EXPECT_EQ(Op().BeginReplayStep(v), E_FAIL);
    }
    EXPECT_EQ(object->m_currentStep, nullptr);
    host.inner->SetStepResult(S_OK);
    v.byref = &second;
    EXPECT_EQ(Op().BeginReplayStep(v), S_OK);
    host.inner->SetStepResult(0x80040777);
    EXPECT_EQ(Op().EndReplayStep(), static_cast<HRESULT>(0x80040777));  // the inner object's end
    EXPECT_EQ(object->m_currentStep, nullptr);
}

TEST_F(ReplayStep, StepTimesFoldTheInnerObjectsAnswerWithTheParents) {
    using Times = std::optional<std::pair<DWORD, DWORD>>;
    StepObject parent = NewStepObject(host);
    auto times = [&](Times inner, Times up) {
        object->m_inner.Release();
        if (inner) object->m_inner = host.inner.as<IReplaySkeleton>(), host.inner->SetStepTimes(inner->first, inner->second);
        parent->stepTimes = up;
        SetProp(object.get(), L"parent",
                up ? CComVariant(static_cast<IDispatch*>(parent.as<DispTestObject>())) : CComVariant());
        QueryIdInfo context{};
        object->GetReplayFindContext(&context);
        return std::make_pair(context.timeout, context.delay);
    };
    using P = std::pair<long, long>;
    const DWORD unset = 0xFFFFFFFF;
    EXPECT_EQ(times(std::make_pair(5000, 200), std::nullopt), P(-1, -1));  // a top-level object
    EXPECT_EQ(times(std::make_pair(5000, 200), std::make_pair(8000, 300)), P(-1, -1));
    EXPECT_EQ(times(std::make_pair(unset, unset), std::make_pair(8000, 300)), P(8000, 300));
    EXPECT_EQ(times(std::make_pair(unset, 200), std::make_pair(8000, 300)), P(8000, -1));
    // What stays unset is taken from the options.
    host.options->Put(L"", L"DefaultTimeout", L"2500");
    host.options->Put(L"", L"DefaultDelay", CComVariant(true));  // not a number
    EXPECT_EQ(times(std::nullopt, std::nullopt), P(2500, -1));
}

TEST_F(ReplayStep, AMethodTheTableDoesNotNameTakesTheFlagsOfItsFirstRow) {
    object->methods = {{L"Type", 0x201}, {L"Click", 0x400}};
    CReplaySkeletonContext step(&IID_IDispatch, 1, L"click", nullptr, 0);  // names keep their case
    object->m_currentStep = &step;
    DWORD flags = 0;
    EXPECT_EQ(Op().GetReplayMethodFlags(&flags), S_OK);
    EXPECT_EQ(flags, 0x201u);
    object->m_currentStep = nullptr;
}

TEST_F(ReplayStep, AttemptsRunTheHooksInOrderAroundTheOperationWhileItAsks) {
    Retry(2);
    EXPECT_EQ(Run().hr, S_OK);
    const Calls attempt = {L"BeginReplayAttempt", L"ReplayFindObject", L"SetRuntimeId", L"AfterObjectFound",
                           L"BeforeActionFirst", L"BeforeActionSecond", L"WaitVisible", L"WaitEnabled"};
    Calls expected = {L"BeforeReplayAttempts"};
    for (int i = 0; i < 3; ++i) {
        expected.insert(expected.end(), attempt.begin(), attempt.end());
        if (i == 0) expected.push_back(L"GetFlagsChangeSummary");  // the first attempt only
        expected.insert(expected.end(), {L"operation", L"AfterReplayAction"});
    }
    EXPECT_EQ(object->calls, expected);
    EXPECT_EQ(host.queryEngine->Passes(), 0);  // the object was already known
}

TEST_F(ReplayStep, AFailureInAnAttemptIsReportedOnceAndRaisedNeverRetried) {
    Retry(5);
    operation.result = DISP_E_EXCEPTION;
    operation.excepScode = 0x80040211;  // the exception's code is the one raised
    EXCEPINFO info{};
    StepOutcome out = Run(&info);
    EXPECT_TRUE(out.raised);
    EXPECT_EQ(out.hr, static_cast<HRESULT>(0x80040211));
    EXPECT_EQ(operation.runs, 1);
    EXPECT_EQ(object->Count(L"ReportReplayArguments"), 1);
    EXPECT_EQ(object->Count(L"AfterReplayAction"), 0);
    EXPECT_EQ(object->m_currentStep, nullptr);

    for (const wchar_t* hook : {L"BeginReplayAttempt", L"ReplayFindObject", L"SetRuntimeId", L"AfterObjectFound",
                                L"BeforeActionFirst", L"BeforeActionSecond", L"WaitVisible", L"WaitEnabled"}) {
        SCOPED_TRACE(std::wstring(hook).c_str());
        object->calls.clear();
        object->answers = {{hook, static_cast<HRESULT>(0x80040208)}};
        operation.runs = 0;
        out = Run();
        EXPECT_TRUE(out.raised);
        EXPECT_EQ(out.hr, static_cast<HRESULT>(0x80040208));
        EXPECT_EQ(operation.runs, 0);
        EXPECT_EQ(object->Count(L"ReportReplayArguments"), 1);
    }
    // Before and after the attempts a failure is answered, not raised.
    operation.result = S_OK;
    for (const wchar_t* hook : {L"BeforeReplayAttempts", L"AfterReplayAction"}) {
        object->answers = {{hook, E_ABORT}};
        operation.runs = 0;
        out = Run();
        EXPECT_EQ(out.hr, E_ABORT);
        EXPECT_FALSE(out.raised);
        EXPECT_EQ(operation.runs, std::wstring(hook) == L"AfterReplayAction" ? 1 : 0);  // and no retry after it
    }
}

TEST_F(ReplayStep, ArgumentsReportsFollowTheMethodFlags) {
    host.options->Put(L"", L"UpdateModeFlags", 4L);
    object->methods = {{L"Click", kRunOwnHooks | 0x200}};
    Retry(2);
    EXPECT_EQ(Run().hr, S_OK);
    Calls reports;
    for (const auto& c : object->calls)
        if (c == L"PrepareScriptInfo" || c == L"ReportReplayArguments" || c == L"operation") reports.push_back(c);
    EXPECT_EQ(reports, (Calls{L"PrepareScriptInfo", L"ReportReplayArguments", L"operation", L"ReportReplayArguments",
                              L"operation", L"ReportReplayArguments", L"operation"}));

    // 0x400: both once, after the last attempt; a failing report is answered without a raise.
    object->calls.clear();
    object->methods = {{L"Click", kRunOwnHooks | 0x400}};
    object->m_methodInfoTable.Destroy();
    operation.during = nullptr;
    object->answers = {{L"ReportReplayArguments", E_OUTOFMEMORY}};
    const StepOutcome out = Run();
    EXPECT_EQ(out.hr, E_OUTOFMEMORY);
    EXPECT_FALSE(out.raised);
    EXPECT_EQ(object->calls.back(), L"ReportReplayArguments");
    EXPECT_EQ(object->Count(L"PrepareScriptInfo"), 1);
}

TEST_F(ReplayStep, ArgumentsAreReportedInCallOrderWithTheStepsStatus) {
    CComVariant text(L"b");
    VARIANT arguments[2];  // last first, as a script hands them over; a variable by reference
    arguments[0].vt = VT_BYREF | VT_VARIANT;
    arguments[0].pvarVal = &text;
    arguments[1].vt = VT_I4;
    arguments[1].lVal = 10;
    DISPPARAMS params{arguments, nullptr, 2, 0};
    CReplaySkeletonContext step(&IID_IDispatch, 1, L"Click", &params, 0);
    object->m_currentStep = &step;
    step.m_lastResult = E_FAIL;
    EXPECT_EQ(Op().ReportReplayArguments(), S_OK);
    object->m_currentStep = nullptr;

    const auto& events = host.report->Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].type, L"ReplayLog");
    EXPECT_EQ(events[0].Text(L"StepInfo"), L"Click 10, \"b\"");
    EXPECT_EQ(events[1].type, L"Replay");
    EXPECT_EQ(events[1].Text(L"NodeName"), L"[ TestClass ].Click");
    EXPECT_EQ(events[1].Text(L"StepInfo"), L"10, \"b\"");
    EXPECT_EQ(events[1].Item(L"Status").lVal, 3);  // the step failed
}

TEST_F(ReplayStep, TheStepsTimeLeftShrinksAndStopsAtZeroAcrossTheTickWrap) {
    CFakeClock wrap{0xFFFFFF00};
    host.options->Put(L"", L"DefaultTimeout", 1000L);
    std::vector<long> seen;
    object->onNote = [&](const wchar_t* hook) {
        seen.push_back(object->m_currentStep->m_findContext.timeout);
        if (std::wstring(hook) != L"BeforeReplayAttempts") wrap.Advance(300);
    };
    EXPECT_EQ(Run().hr, S_OK);
    // The time left is brought up to date after each hook from SetRuntimeId on.
    ASSERT_GE(seen.size(), 9u);
    EXPECT_EQ(std::vector<long>(seen.begin(), seen.begin() + 9),
              (std::vector<long>{-1, 1000, 1000, 1000, 100, 0, 0, 0, 0}));
}

}  // namespace
