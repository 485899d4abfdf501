// Replay steps: opening and closing, the step times and their fold, the method flags, and the
// attempts of ReplayWithRetry with their hooks, retries, reports and raises in order.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "FakeClock.h"
#include "StepTestObject.h"
#include "com/ComBSTR.h"
#include "errors/TestObjectError.h"

using namespace standin;
using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

using Calls = std::vector<std::wstring>;

void SetProp(CComTestObject* object, const wchar_t* name, const VARIANT& value, long flags = 0x58) {
    CComBSTR n(name);
    ASSERT_EQ(object->ITestObjectInfo_put_PropExpr(n, &flags, nullptr, nullptr, value), S_OK);
}

class ReplayStep : public ::testing::Test {
protected:
    void SetUp() override {
        host.options->Put(L"", L"OnReplay", CComVariant(true));
        control = host.queryEngine->AddObject(L"Button1");
        SetProp(object.get(), L"objectid", CComVariant(static_cast<IUnknown*>(control.as<IRuntimeID>())));
        object->methods = {{L"Click", kRunOwnHooks}};
        operation.object = object.get();
    }
    // The operations themselves, not the interface methods of the same names.
    CComTestObject& Op() { return *object.get(); }
    StepOutcome Run(const wchar_t* method = L"Click", EXCEPINFO* excepInfo = nullptr) {
        return RunStep(object.get(), method, &operation, &ScriptedOperation::Run, nullptr, excepInfo);
    }
    // The calls from the first attempt on, without the flag reads.
    Calls Attempts() const {
        Calls out;
        for (const auto& c : object->calls)
            if (c != L"GetMethodInfoTable") out.push_back(c);
        return out;
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
    v.vt = VT_BYREF | VT_VARIANT;
    v.byref = &first;
    EXPECT_EQ(Op().BeginReplayStep(v), E_FAIL);
    v.vt = VT_BYREF;
    v.byref = nullptr;
    EXPECT_EQ(Op().BeginReplayStep(v), E_FAIL);
    v.byref = &first;
    EXPECT_EQ(Op().BeginReplayStep(v), S_OK);
    v.byref = &second;
    EXPECT_EQ(Op().BeginReplayStep(v), E_FAIL);
    EXPECT_EQ(object->m_currentStep, &first);
    EXPECT_EQ(Op().EndReplayStep(), S_OK);
    EXPECT_EQ(object->m_currentStep, nullptr);

    // An inner object that refuses the step: the step is not kept, so the next one can begin.
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
    host.inner->SetStepResult(0x80040777);  // its end's answer is passed on
    EXPECT_EQ(Op().EndReplayStep(), static_cast<HRESULT>(0x80040777));
    EXPECT_EQ(object->m_currentStep, nullptr);
    EXPECT_EQ(host.inner->Log().Count(L"BeginReplayStep"), 2);
    EXPECT_EQ(host.inner->Log().Count(L"EndReplayStep"), 1);
}

TEST_F(ReplayStep, StepTimesFoldTheInnerObjectsAnswerWithTheParents) {
    StepObject parent = NewStepObject(host);
    auto times = [&](std::optional<std::pair<DWORD, DWORD>> inner, std::optional<std::pair<DWORD, DWORD>> up) {
        object->m_inner.Release();
        if (inner) {
            object->m_inner = host.inner.as<IReplaySkeleton>();
            host.inner->SetStepTimes(inner->first, inner->second);
        }
        parent->stepTimes = up;
        SetProp(object.get(), L"parent", up ? CComVariant(static_cast<IDispatch*>(parent.as<DispTestObject>())) : CComVariant());
        DWORD t = 0xFFFFFFFF, d = 0xFFFFFFFF;
        object->GetStepTimes(&t, &d);
        return std::make_pair(static_cast<long>(t), static_cast<long>(d));
    };
    using P = std::pair<long, long>;
    EXPECT_EQ(times(std::make_pair(5000, 200), std::nullopt), P(-1, -1));  // a top-level object
    EXPECT_EQ(times(std::make_pair(5000, 200), std::make_pair(8000, 300)), P(-1, -1));
    EXPECT_EQ(times(std::make_pair(0xFFFFFFFF, 0xFFFFFFFF), std::make_pair(8000, 300)), P(8000, 300));
    EXPECT_EQ(times(std::nullopt, std::make_pair(8000, 300)), P(8000, 300));
    EXPECT_EQ(times(std::make_pair(0xFFFFFFFF, 200), std::make_pair(8000, 300)), P(8000, -1));

    DWORD t = 0;
    EXPECT_EQ(object->GetStepTimes(&t, nullptr), E_POINTER);
}

TEST_F(ReplayStep, FindContextTakesTheOptionsForUnsetTimes) {
    QueryIdInfo context{};
    EXPECT_EQ(object->GetReplayFindContext(&context), S_OK);
    EXPECT_EQ(context.timeout, -1);  // nothing configured
    EXPECT_EQ(context.delay, -1);
    host.options->Put(L"", L"DefaultTimeout", L"2500");
    host.options->Put(L"", L"DefaultDelay", CComVariant(true));  // not a number: stays unset
    EXPECT_EQ(object->GetReplayFindContext(&context), S_OK);
    EXPECT_EQ(context.timeout, 2500);
    EXPECT_EQ(context.delay, -1);

    StepObject parent = NewStepObject(host);
    parent->stepTimes = std::make_pair(700, 30);
    SetProp(object.get(), L"parent", CComVariant(static_cast<IDispatch*>(parent.as<DispTestObject>())));
    EXPECT_EQ(object->GetReplayFindContext(&context), S_OK);
    EXPECT_EQ(context.timeout, 700);
    EXPECT_EQ(context.delay, 30);
}

TEST_F(ReplayStep, MethodFlagsComeFromTheMethodTable) {
    DWORD flags = 7;
    EXPECT_EQ(Op().GetReplayMethodFlags(nullptr), E_POINTER);
    object->methods.clear();
    EXPECT_EQ(Op().GetReplayMethodFlags(&flags), S_FALSE);  // no table
    EXPECT_EQ(flags, 0u);

    object->methods = {{L"Click", 0x201}, {L"Type", 0x400}};
    CReplaySkeletonContext step(&IID_IDispatch, 1, L"Type", nullptr, 0);
    object->m_currentStep = &step;
    EXPECT_EQ(Op().GetReplayMethodFlags(&flags), S_OK);
    EXPECT_EQ(flags, 0x400u);
    step.m_methodName = L"type";  // names are compared with their case
    EXPECT_EQ(Op().GetReplayMethodFlags(&flags), S_OK);
    EXPECT_EQ(flags, 0x201u);  // row 0 for a method the table does not name
    EXPECT_EQ(object->Count(L"GetMethodInfoTable"), 2);  // read until it gives rows, then kept
    object->m_currentStep = nullptr;
}

TEST_F(ReplayStep, OneAttemptRunsTheHooksInOrderAroundTheOperation) {
    const StepOutcome out = Run();
    EXPECT_EQ(out.hr, S_OK);
    EXPECT_FALSE(out.raised);
    EXPECT_EQ(Attempts(), (Calls{L"BeforeReplayAttempts", L"BeginReplayAttempt", L"ReplayFindObject", L"SetRuntimeId",
                                 L"AfterObjectFound", L"BeforeActionFirst", L"BeforeActionSecond", L"WaitVisible",
                                 L"WaitEnabled", L"GetFlagsChangeSummary", L"operation", L"AfterReplayAction"}));
    EXPECT_EQ(host.queryEngine->Passes(), 0);  // the object was already known
}

TEST_F(ReplayStep, RetriesWhileTheOperationAsksAndTheMaximumAllows) {
    operation.during = [](CReplaySkeletonContext& step) {
        step.m_retry = 1;
        step.m_maxAttempts = 2;
    };
    EXPECT_EQ(Run().hr, S_OK);
    EXPECT_EQ(operation.runs, 3);
    EXPECT_EQ(object->Count(L"BeginReplayAttempt"), 3);
    EXPECT_EQ(object->Count(L"WaitEnabled"), 3);
    EXPECT_EQ(object->Count(L"GetFlagsChangeSummary"), 1);  // first attempt only

    // A maximum below the attempts made: one run only.
    object->calls.clear();
    operation.runs = 0;
    operation.during = [](CReplaySkeletonContext& step) {
        step.m_retry = 1;
        step.m_maxAttempts = 0;
    };
    EXPECT_EQ(Run().hr, S_OK);
    EXPECT_EQ(operation.runs, 1);
}

TEST_F(ReplayStep, AFailedOperationIsRaisedOnceWithItsExceptionCodeAndNeverRetried) {
    operation.result = DISP_E_EXCEPTION;
    operation.excepScode = 0x80040211;
    operation.during = [](CReplaySkeletonContext& step) { step.m_retry = 1, step.m_maxAttempts = 5; };
    EXCEPINFO info{};
    StepOutcome out = Run(L"Click", &info);
    EXPECT_TRUE(out.raised);
    EXPECT_EQ(out.hr, static_cast<HRESULT>(0x80040211));
    EXPECT_EQ(operation.runs, 1);
    EXPECT_EQ(object->Count(L"ReportReplayArguments"), 1);
    EXPECT_EQ(object->Count(L"AfterReplayAction"), 0);
    EXPECT_EQ(object->m_currentStep, nullptr);  // closed all the same

    // Without an exception code the operation's own answer is raised.
    object->calls.clear();
    operation.runs = 0;
    operation.result = E_ACCESSDENIED;
    operation.excepScode = 0;
    info = EXCEPINFO{};
    out = Run(L"Click", &info);
    EXPECT_EQ(out.hr, E_ACCESSDENIED);
    EXPECT_TRUE(out.raised);
}

TEST_F(ReplayStep, AFailingHookStopsTheAttemptWithARaise) {
    for (const wchar_t* hook : {L"BeginReplayAttempt", L"ReplayFindObject", L"SetRuntimeId", L"AfterObjectFound",
                                L"BeforeActionFirst", L"BeforeActionSecond", L"WaitVisible", L"WaitEnabled"}) {
        SCOPED_TRACE(std::wstring(hook).c_str());
        object->calls.clear();
        object->answers = {{hook, static_cast<HRESULT>(0x80040208)}};
        operation.runs = 0;
        const StepOutcome out = Run();
        EXPECT_TRUE(out.raised);
        EXPECT_EQ(out.hr, static_cast<HRESULT>(0x80040208));
        EXPECT_EQ(operation.runs, 0);
        EXPECT_EQ(object->Count(L"ReportReplayArguments"), 1);
    }
}

TEST_F(ReplayStep, FailuresBeforeAndAfterTheAttemptsAreAnsweredNotRaised) {
    object->answers = {{L"BeforeReplayAttempts", E_ABORT}};
    StepOutcome out = Run();
    EXPECT_EQ(out.hr, E_ABORT);
    EXPECT_FALSE(out.raised);
    EXPECT_EQ(object->Count(L"BeginReplayAttempt"), 0);

    object->answers = {{L"AfterReplayAction", E_ABORT}};
    operation.during = [](CReplaySkeletonContext& step) { step.m_retry = 1, step.m_maxAttempts = 3; };
    out = Run();
    EXPECT_EQ(out.hr, E_ABORT);
    EXPECT_FALSE(out.raised);
    EXPECT_EQ(operation.runs, 1);  // no retry after it either
}

TEST_F(ReplayStep, ArgumentsReportsFollowTheMethodFlags) {
    host.options->Put(L"", L"UpdateModeFlags", 4L);
    object->methods = {{L"Click", kRunOwnHooks | 0x200}};
    operation.during = [](CReplaySkeletonContext& step) { step.m_retry = 1, step.m_maxAttempts = 2; };
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
    EXPECT_EQ(Attempts().back(), L"ReportReplayArguments");
    EXPECT_EQ(object->Count(L"PrepareScriptInfo"), 1);
}

TEST_F(ReplayStep, ArgumentsAreReportedInCallOrderWithTheStepsStatus) {
    CComVariant text(L"b"), number(10L);
    VARIANT byRef;
    byRef.vt = VT_BYREF | VT_VARIANT;
    byRef.pvarVal = &text;
    VARIANT arguments[2] = {byRef, number};  // last first, as a script hands them over
    DISPPARAMS params{arguments, nullptr, 2, 0};
    CReplaySkeletonContext step(&IID_IDispatch, 1, L"Click", &params, 0);
    object->m_currentStep = &step;
    step.m_lastResult = E_FAIL;
    EXPECT_EQ(Op().ReportReplayArguments(), S_OK);
    step.m_lastResult = S_FALSE;
    EXPECT_EQ(Op().ReportReplayArguments(), S_OK);
    object->m_currentStep = nullptr;
    EXPECT_EQ(Op().ReportReplayArguments(), E_FAIL);  // no step

    const auto& events = host.report->Events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].type, L"ReplayLog");
    EXPECT_EQ(events[0].Text(L"StepInfo"), L"Click 10, \"b\"");
    EXPECT_EQ(events[0].Item(L"Status").lVal, 3);
    EXPECT_EQ(events[1].type, L"Replay");
    EXPECT_EQ(events[1].Text(L"NodeName"), L"[ TestClass ].Click");
    EXPECT_EQ(events[1].Text(L"StepInfo"), L"10, \"b\"");
    EXPECT_EQ(events[1].Item(L"Status").lVal, 3);
    EXPECT_EQ(events[3].Item(L"Status").lVal, 2);
}

TEST_F(ReplayStep, TheStepsTimeLeftShrinksAndStopsAtZeroAcrossTheTickWrap) {
    CFakeClock wrap{0xFFFFFF00};
    host.options->Put(L"", L"DefaultTimeout", 1000L);
    std::vector<long> seen;
    object->onNote = [&](const wchar_t* hook) {
        if (std::wstring(hook) == L"GetMethodInfoTable") return;
        seen.push_back(object->m_currentStep->m_findContext.timeout);
        if (std::wstring(hook) != L"BeforeReplayAttempts") wrap.Advance(300);
    };
    EXPECT_EQ(Run().hr, S_OK);
    // Before the attempts, then before each hook; the time left is updated after each hook from
    // SetRuntimeId on.
    ASSERT_GE(seen.size(), 9u);
    EXPECT_EQ(std::vector<long>(seen.begin(), seen.begin() + 9),
              (std::vector<long>{-1, 1000, 1000, 1000, 100, 0, 0, 0, 0}));
    EXPECT_EQ(object->m_currentStep, nullptr);
}

}  // namespace
