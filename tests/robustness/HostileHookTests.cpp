// Applications under test that do not play along: a hook that never answers in time, one that
// answers nonsense to every request, and a process that ends in the middle of a step. Every script
// call on the ActiveX test objects comes back within the configured time-outs, with a failure
// code rather than a hang or a crash.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <string>
#include <vector>
#include "AcxHostBed.h"
#include "AutTestBed.h"
#include "DescribedObject.h"
#include "activex/core/KorActiveX.h"
#include "com/Handles.h"
#include "contracts/QuillonRequests.h"
#include "testobject/clock/TestObjectClock.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

constexpr DWORD kChannelTimeoutMs = 150;
constexpr long kStepTimeoutMs = 300;

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
};

// An empty list of event arguments, as a script's Array() is.
CComVariant NoArguments() {
    SAFEARRAYBOUND bound{0, 0};
    CComVariant list;
    list.parray = ::SafeArrayCreate(VT_VARIANT, 1, &bound);
    if (list.parray) list.vt = VT_ARRAY | VT_VARIANT;
    return list;
}

std::vector<Call> Calls() {
    return {
        {"windowless click", kWindowless, L"Click", DISPATCH_METHOD, {}},
        {"windowed click", kWindowed, L"Click", DISPATCH_METHOD, {}},
        {"windowless double click", kWindowless, L"DblClick", DISPATCH_METHOD, {CComVariant(5L), CComVariant(5L)}},
        {"run-time value", kWindowless, L"GetROProperty", DISPATCH_METHOD, {CComVariant(L"Caption")}},
        {"control", kWindowless, L"Object", DISPATCH_PROPERTYGET, {}},
        {"windowed control", kWindowed, L"Object", DISPATCH_PROPERTYGET, {}},
        {"event", kWindowless, L"FireEvent", DISPATCH_METHOD, {CComVariant(L"Clicked"), NoArguments()}},
        {"visible text", kWindowless, L"GetVisibleText", DISPATCH_METHOD, {}},
        {"make visible", kWindowless, L"MakeVisible", DISPATCH_METHOD, {}},
        {"click found by description", kDescribed, L"Click", DISPATCH_METHOD, {}},
    };
}

class HostileHook : public ::testing::Test {
protected:
    void Start(const std::wstring& extra, DWORD channelTimeoutMs = kChannelTimeoutMs) {
        ASSERT_HRESULT_SUCCEEDED(bed_.Start(std::wstring(kAutControlsScenario) + extra));
        // A short time-out on every hook request, and on every step.
        CComPtr<IOutputChannel> channel;
        ASSERT_HRESULT_SUCCEEDED(PelluceStub_CreateChannel(channelTimeoutMs, channel.Put()));
        bed_.rack->Put(L"TestOutputChannel", channel);
        kcom::CComQIPtr<IObjectRackClient>(static_cast<IUnknown*>(bed_.agent.get()))->SetRack(bed_.Rack());
        bed_.options->Put(L"", L"OnReplay", CComVariant(true));
        bed_.options->Put(L"", L"DefaultTimeout", kStepTimeoutMs);
        bed_.options->Put(L"", L"DefaultDelay", 50L);
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

    // "<name> <code>" of every call, and every call that took longer than limitMs.
    std::string RunAll(DWORD limitMs, std::string& slow) {
        CComPtr<IDispatch> objects[3] = {TestObject(false), TestObject(true), nullptr};
        EXPECT_HRESULT_SUCCEEDED(DescribedTestObject(bed_.Rack(), main_, L"KorTest.WndCtl", objects[kDescribed].Put()));
        std::string codes;
        for (const Call& call : Calls()) {
            DWORD elapsed = 0;
            CComVariant answer;
            const HRESULT hr = Run(objects[call.target], call, elapsed, &answer);
            const char* kind = answer.vt == VT_EMPTY ? "" : answer.vt != VT_DISPATCH ? " value" : answer.pdispVal ? " object" : "";
            char line[160];
            snprintf(line, sizeof line, "%s %08lX%s\n", call.name, static_cast<unsigned long>(hr), kind);
            codes += line;
            if (elapsed > limitMs) slow += std::string(call.name) + " " + std::to_string(elapsed) + " ms\n";
        }
        return codes;
    }

    CAcxHostBed bed_;
    standin::CClassRegistration activeXClass_{CLSID_KorActiveX, KorActiveXCreator};
    HWND main_ = nullptr;
    HWND ctl_ = nullptr;
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

// The step's time-out plus the few requests one call makes, each cut at the channel's time-out.
constexpr DWORD kCallLimitMs = kStepTimeoutMs + 4 * kChannelTimeoutMs;

TEST_F(HostileHook, AHookThatStallsPastTheTimeOut) {
    Start(EveryReply(L"hang=1000"));
    std::string slow;
    EXPECT_EQ(kNothingAnswered, RunAll(kCallLimitMs, slow));
    EXPECT_EQ("", slow);
}

TEST_F(HostileHook, AHookThatNeverAnswers) {
    Start(EveryReply(L"answer=0"));
    std::string slow;
    EXPECT_EQ(kNothingAnswered, RunAll(kCallLimitMs, slow));
    EXPECT_EQ("", slow);
}

TEST_F(HostileHook, AHookThatAnswersNonsense) {
    // Wrong types, shapes, windows and cookies, and a rectangle blob of the wrong size, answered to
    // every request; only the marshalled control, which is no blob, still comes through.
    Start(EveryReply(L"result=1 cookie=3 window=main a=bstr:junk b=i4[2x2]:1,2,3,4 blob=DEADBEEF00112233445566"));
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
              RunAll(kCallLimitMs, slow));
    EXPECT_EQ("", slow);
}

DWORD WINAPI EndSoon(void* pid) {
    ::Sleep(200);
    kcom::CHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(reinterpret_cast<UINT_PTR>(pid))));
    if (process) ::TerminateProcess(process, 9);
    return 0;
}

TEST_F(HostileHook, AProcessThatEndsDuringARequest) {
    // A stalled request that would wait three seconds for its answer: the process ends under it.
    Start(EveryReply(L"hang=5000"), 3000);
    kcom::CHandle ender(::CreateThread(nullptr, 0, EndSoon,
                                       reinterpret_cast<void*>(static_cast<UINT_PTR>(bed_.aut.ProcessId())), 0, nullptr));
    ASSERT_TRUE(ender);
    std::string slow;
    // As when the hook says nothing, but the windowed control's window is gone too.
    std::string expected = kNothingAnswered;
    const std::string windowedClick = "windowed click 00000000";
    expected.replace(expected.find(windowedClick), windowedClick.size(), "windowed click 80004005");
    EXPECT_EQ(expected, RunAll(1000, slow));
    EXPECT_EQ("", slow);
    ::WaitForSingleObject(ender, 5000);
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
    Start(L"");
    CComPtr<IDispatch> object = TestObject(true);
    CEndingClock clock(bed_.aut.ProcessId());
    const Call wait{"wait", kWindowless, L"WaitProperty", DISPATCH_METHOD,
                    {CComVariant(L"Caption"), CComVariant(L"Never"), CComVariant(kStepTimeoutMs)}};
    DWORD elapsed = 0;
    CComVariant matched;
    EXPECT_EQ(S_OK, Run(object, wait, elapsed, &matched));
    EXPECT_EQ(VT_BOOL, matched.vt);
    EXPECT_EQ(VARIANT_FALSE, matched.boolVal);
    // The wait runs out its own time-out: what it asks of the ended process answers nothing.
    EXPECT_LT(elapsed, kCallLimitMs);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(kcom::CHandle(::OpenProcess(SYNCHRONIZE, FALSE, bed_.aut.ProcessId())), 0));
}

}  // namespace
