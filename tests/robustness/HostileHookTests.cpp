// Applications under test that do not play along: a hook that never answers in time, one that
// answers nonsense to every request, and a process that ends in the middle of a step. Every script
// call on the ActiveX test objects comes back within the configured time-outs, with a failure
// code rather than a hang or a crash. The time-outs come from the same calls made first against a
// hook that answers, so that on a slow machine the answers still come in time and one time-out
// more than a call may wait still shows.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <string>
#include <vector>
#include "AcxHostBed.h"
#include "AutTestBed.h"
#include "DescribedObject.h"
#include "QuillonStub.h"
#include "activex/core/KorActiveX.h"
#include "com/Handles.h"
#include "contracts/QuillonRequests.h"
#include "testobject/clock/TestObjectClock.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

constexpr DWORD kLeastChannelTimeoutMs = 150;
// The longest pause of the package's waits (a property wait's poll), which may run past a deadline.
constexpr DWORD kPauseMs = 100;
// The pause between a search's passes.
constexpr DWORD kFindDelayMs = 50;

// Every request about every target answered with the same reply options.
std::wstring EveryReply(const std::wstring& options) {
    std::wstring lines;
    for (const wchar_t* target : {L"main", L"ctl", L"main:7"})
        for (const wchar_t* request : kQuillonRequestNames)
            lines += std::wstring(L"reply ") + target + L" " + request + L" " + options + L"\n";
    return lines;
}

enum Target { kWindowed, kWindowless, kDescribed };

// A script call on one of the test objects.
struct Call {
    const char* name;
    Target target;
    const wchar_t* member;
    WORD kind;
    std::vector<CComVariant> args;  // first argument first
    int requests;  // requests it makes to a hook that answers none, outside its searches
    int searches;  // searches for its control that run out the step's time-out
};

// An empty list of event arguments, as a script's Array() is.
CComVariant NoArguments() {
    SAFEARRAYBOUND bound{0, 0};
    CComVariant list;
    list.parray = ::SafeArrayCreate(VT_VARIANT, 1, &bound);
    if (list.parray) list.vt = VT_ARRAY | VT_VARIANT;
    return list;
}

// A windowless control is asked for its ProgID and a property before anything else; the control
// found by description is searched for by the step and once more before the step fails, its one
// request inside the first search.
std::vector<Call> Calls() {
    return {
        {"windowless click", kWindowless, L"Click", DISPATCH_METHOD, {}, 3, 0},
        {"windowed click", kWindowed, L"Click", DISPATCH_METHOD, {}, 1, 0},
        {"windowless double click", kWindowless, L"DblClick", DISPATCH_METHOD, {CComVariant(5L), CComVariant(5L)}, 3, 0},
        {"run-time value", kWindowless, L"GetROProperty", DISPATCH_METHOD, {CComVariant(L"Caption")}, 4, 0},
        {"control", kWindowless, L"Object", DISPATCH_PROPERTYGET, {}, 3, 0},
        {"windowed control", kWindowed, L"Object", DISPATCH_PROPERTYGET, {}, 1, 0},
        {"event", kWindowless, L"FireEvent", DISPATCH_METHOD, {CComVariant(L"Clicked"), NoArguments()}, 3, 0},
        {"visible text", kWindowless, L"GetVisibleText", DISPATCH_METHOD, {}, 5, 0},
        {"make visible", kWindowless, L"MakeVisible", DISPATCH_METHOD, {}, 4, 0},
        {"click found by description", kDescribed, L"Click", DISPATCH_METHOD, {}, 0, 2},
    };
}

class HostileHook : public ::testing::Test {
protected:
    // The calls once against the hook that answers; the slowest (A) sets the time-outs. A call's own
    // work gets 2A + kPauseMs beside the time-outs it waits out, and each search its last two
    // passes, which may begin just before its deadline: a pause and A each. Every step and request
    // (a request at least leastChannelMs) gets 150 ms more than all of that, so that answers come
    // in time on a slow machine and one time-out more always shows. Then the application again, its
    // hook answering every request with the reply options, and stalling past the channel's
    // time-out when asked to.
    void Start(const std::wstring& options, bool stall = false, DWORD leastChannelMs = kLeastChannelTimeoutMs) {
        ASSERT_HRESULT_SUCCEEDED(bed_.Start(kAutControlsScenario));
        Configure(5000, 300);  // every answer comes in time
        std::string slow;
        RunAll(slow);
        const DWORD answered = longestMs_;
        marginMs_ = 2 * answered + kPauseMs;
        searchSlackMs_ = 2 * (kFindDelayMs + answered);
        int mostSearches = 0;
        for (const Call& call : Calls()) mostSearches = std::max(mostSearches, call.searches);
        stepMs_ = static_cast<long>(mostSearches * searchSlackMs_ + marginMs_ + kLeastChannelTimeoutMs);
        channelMs_ = std::max<DWORD>(leastChannelMs, stepMs_);
        requestWaitMs_ = stall ? channelMs_ : 0;
        hangMs_ = stall ? 2 * channelMs_ : 0;
        if (!options.empty() || stall) {
            ASSERT_HRESULT_SUCCEEDED(bed_.aut.Start(
                kAutControlsScenario + EveryReply(stall ? options + L" hang=" + std::to_wstring(hangMs_) : options)));
            bed_.queryEngine->SetApplication(bed_.aut.ProcessId());
        }
        Configure(channelMs_, stepMs_);
    }

    void Configure(DWORD channelTimeoutMs, long stepTimeoutMs) {
        CComPtr<IOutputChannel> channel;
        ASSERT_HRESULT_SUCCEEDED(PelluceStub_CreateChannel(channelTimeoutMs, channel.Put()));
        bed_.rack->Put(L"TestOutputChannel", channel);
        kcom::CComQIPtr<IObjectRackClient>(static_cast<IUnknown*>(bed_.agent.get()))->SetRack(bed_.Rack());
        bed_.options->Put(L"", L"OnReplay", CComVariant(true));
        bed_.options->Put(L"", L"DefaultTimeout", stepTimeoutMs);
        bed_.options->Put(L"", L"DefaultDelay", static_cast<long>(kFindDelayMs));
        main_ = bed_.aut.Window(L"main");
        ctl_ = bed_.aut.Window(L"ctl");
        bed_.TakeDesktop(main_);
    }

    CComPtr<IDispatch> TestObject(bool windowless) {
        CComPtr<IDispatch> object;
        EXPECT_HRESULT_SUCCEEDED(IdentifiedTestObject(bed_.Rack(), windowless ? main_ : ctl_, windowless ? 7 : 0, object.Put()));
        return object;
    }

    // The call through IDispatch as a script makes it; its code and how long it took.
    // What came back is noted as its type, and for an object whether it is there.
    static HRESULT Run(IDispatch* object, const Call& call, DWORD& elapsedMs, CComVariant* answer = nullptr) {
        const DWORD start = ::GetTickCount();
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(call.member)};
        HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
        if (SUCCEEDED(hr)) {
            std::vector<CComVariant> args(call.args.rbegin(), call.args.rend());
            DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
            EXCEPINFO excep{};
            CComVariant result;
            hr = object->Invoke(id, IID_NULL, 0, call.kind, &params, result.Put(), &excep, nullptr);
            ::SysFreeString(excep.bstrSource);
            ::SysFreeString(excep.bstrDescription);
            ::SysFreeString(excep.bstrHelpFile);
            if (hr == DISP_E_EXCEPTION && excep.scode) hr = excep.scode;
            if (answer) *answer = result;
        }
        elapsedMs = ::GetTickCount() - start;
        return hr;
    }

    // "<name> <code>" of every call, and every call that took longer than the time-outs it may
    // wait out and the margin; the longest call in longestMs_.
    std::string RunAll(std::string& slow) {
        CComPtr<IDispatch> objects[3] = {TestObject(false), TestObject(true), nullptr};
        EXPECT_HRESULT_SUCCEEDED(DescribedTestObject(bed_.Rack(), main_, L"KorTest.WndCtl", objects[kDescribed].Put()));
        std::string codes;
        longestMs_ = 0;
        // A windowed call places the application's window, which waits for the application's
        // thread: under a stalling hook, until it is through every stall asked of it so far.
        DWORD stalledUntil = ::GetTickCount();
        for (const Call& call : Calls()) {
            const DWORD start = ::GetTickCount();
            if (static_cast<LONG>(stalledUntil - start) < 0) stalledUntil = start;
            stalledUntil += call.requests * hangMs_;
            DWORD elapsed = 0;
            CComVariant answer;
            const HRESULT hr = Run(objects[call.target], call, elapsed, &answer);
            const char* kind = answer.vt == VT_EMPTY ? "" : answer.vt != VT_DISPATCH ? " value" : answer.pdispVal ? " object" : "";
            char line[160];
            snprintf(line, sizeof line, "%s %08lX%s\n", call.name, static_cast<unsigned long>(hr), kind);
            codes += line;
            DWORD limitMs = call.requests * requestWaitMs_ + call.searches * (stepMs_ + searchSlackMs_) + marginMs_;
            if (call.target == kWindowed && hangMs_) limitMs = std::max(limitMs, stalledUntil - start + marginMs_);
            if (elapsed > limitMs)
                slow += std::string(call.name) + " " + std::to_string(elapsed) + " ms, limit " + std::to_string(limitMs) + "\n";
            longestMs_ = std::max(longestMs_, elapsed);
        }
        return codes;
    }

    CAcxHostBed bed_;
    standin::CClassRegistration activeXClass_{CLSID_KorActiveX, KorActiveXCreator};
    HWND main_ = nullptr;
    HWND ctl_ = nullptr;
    DWORD channelMs_ = 0;
    long stepMs_ = 0;
    DWORD marginMs_ = 0;
    DWORD searchSlackMs_ = 0;
    DWORD requestWaitMs_ = 0;  // what each request may wait: the channel's time-out when the hook stalls
    DWORD hangMs_ = 0;         // how long the hook stalls on each request
    DWORD longestMs_ = 0;
};

// The same answers whatever the hook does not say: the control is not found, not visible or has
// no area, and a run-time value is empty; a control known by its description is not found again.
constexpr char kNothingAnswered[] =
    "windowless click 80040205\n"
    "windowed click 00000000\n"  // the inner standard window object's click needs no hook
    "windowless double click 80040205\n"
    "run-time value 00000000\n"
    "control 80040202\n"
    "windowed control 80040202\n"
    "event 80040202\n"
    "visible text 80040206 value\n"
    "make visible 8000FFFF\n"
    "click found by description 80040202\n";

TEST_F(HostileHook, AHookThatStallsPastTheTimeOut) {
    Start(L"", true);
    std::string slow;
    EXPECT_EQ(kNothingAnswered, RunAll(slow));
    EXPECT_EQ("", slow);
}

TEST_F(HostileHook, AHookThatNeverAnswers) {
    Start(L"answer=0");
    std::string slow;
    EXPECT_EQ(kNothingAnswered, RunAll(slow));
    EXPECT_EQ("", slow);
}

TEST_F(HostileHook, AHookThatAnswersNonsense) {
    // Wrong types, shapes, windows and cookies, and a rectangle blob of the wrong size, answered to
    // every request; only the marshalled control, which is no blob, still comes through.
    Start(L"result=1 cookie=3 window=main a=bstr:junk b=i4[2x2]:1,2,3,4 blob=DEADBEEF00112233445566");
    std::string slow;
    EXPECT_EQ("windowless click 80040205\n"
              "windowed click 00000000\n"
              "windowless double click 80040205\n"
              "run-time value 00000000 value\n"
              "control 00000000 object\n"
              "windowed control 00000000 object\n"
              "event 00000000\n"
              "visible text 80040206 value\n"
              "make visible 00000000\n"
              "click found by description 80040202\n",
              RunAll(slow));
    EXPECT_EQ("", slow);
}

// Ends the application under test as soon as its hook stalls on a request, while the call that
// made it waits for the answer; 1 when it did, 0 when the calls ended without a stall.
struct CEnder {
    DWORD pid;
    kcom::CHandle stalled, done;
};

DWORD WINAPI EndOnStall(void* context) {
    auto* ender = static_cast<CEnder*>(context);
    HANDLE events[] = {ender->stalled.get(), ender->done.get()};
    if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) return 0;
    kcom::CHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, ender->pid));
    return process && ::TerminateProcess(process, 9) ? 1 : 0;
}

TEST_F(HostileHook, AProcessThatEndsDuringARequest) {
    // A stalled request that would wait at least three seconds for its answer: the process ends
    // under it, and no call waits for any request.
    Start(L"", true, 3000);
    requestWaitMs_ = 0;
    const DWORD pid = bed_.aut.ProcessId();
    CEnder ender{pid, kcom::CHandle(::CreateEventW(nullptr, TRUE, FALSE,
                                                   (kQuillonStubStallEvent + std::to_wstring(pid)).c_str())),
                 kcom::CHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr))};
    ASSERT_TRUE(ender.stalled && ender.done);
    kcom::CHandle thread(::CreateThread(nullptr, 0, EndOnStall, &ender, 0, nullptr));
    ASSERT_TRUE(thread);
    std::string slow;
    // As when the hook says nothing, but the windowed control's window is gone too.
    std::string expected = kNothingAnswered;
    const std::string windowedClick = "windowed click 00000000";
    expected.replace(expected.find(windowedClick), windowedClick.size(), "windowed click 80004005");
    EXPECT_EQ(expected, RunAll(slow));
    EXPECT_EQ("", slow);
    ::SetEvent(ender.done);
    ::WaitForSingleObject(thread, INFINITE);
    DWORD ended = 0;
    EXPECT_TRUE(::GetExitCodeThread(thread, &ended) && ended == 1);
}

// Ends the application under test when a wait first begins.
class CEndingClock : public CTestObjectClock {
public:
    explicit CEndingClock(DWORD pid) : pid_(pid) { previous_ = Install(this); }
    ~CEndingClock() override { Install(previous_); }
    void PumpWait(DWORD ms) noexcept override {
        if (pid_) {
            kcom::CHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid_));
            if (process && ::TerminateProcess(process, 9)) ::WaitForSingleObject(process, 5000);
            pid_ = 0;
        }
        CTestObjectClock::PumpWait(ms);
    }

private:
    DWORD pid_;
    CTestObjectClock* previous_ = nullptr;
};

TEST_F(HostileHook, AProcessThatEndsWhileACallWaits) {
    // The step's time-out holds the run-time value's query twice over: the wait begins.
    Start(L"");
    CComPtr<IDispatch> object = TestObject(true);
    CEndingClock clock(bed_.aut.ProcessId());
    const Call wait{"wait", kWindowless, L"WaitProperty", DISPATCH_METHOD,
                    {CComVariant(L"Caption"), CComVariant(L"Never"), CComVariant(stepMs_)}, 0, 0};
    DWORD elapsed = 0;
    CComVariant matched;
    EXPECT_EQ(S_OK, Run(object, wait, elapsed, &matched));
    EXPECT_EQ(VT_BOOL, matched.vt);
    EXPECT_EQ(VARIANT_FALSE, matched.boolVal);
    // The wait runs out its own time-out: what it asks of the ended process fails at once.
    EXPECT_LT(elapsed, stepMs_ + marginMs_);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(kcom::CHandle(::OpenProcess(SYNCHRONIZE, FALSE, bed_.aut.ProcessId())), 0));
}

}  // namespace
