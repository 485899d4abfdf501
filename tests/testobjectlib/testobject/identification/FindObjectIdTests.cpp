// Finding the object by its description: every way out of the search against the scripted query
// engine on a fake clock, with the passes, time left, waits, records and reports each leaves.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "FakeClock.h"
#include "TestHost.h"
#include "com/ComBSTR.h"
#include "errors/TestObjectError.h"
#include "testobject/forwarding/TestableObject.h"
#include "testobject/replay/ReplaySkeletonContext.h"

using namespace standin;
using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

class CFindTestObject : public CTestableObject {
public:
    using CComTestObject::m_currentStep;
    using CComTestObject::m_foundDirectly;
    using CComTestObject::m_updateDescriptionFlag;
    std::vector<short> summaries;  // the update-description flag each description update saw
    HRESULT STDMETHODCALLTYPE GetFlagsChangeSummary() override {
        summaries.push_back(m_updateDescriptionFlag);
        return S_OK;
    }
};
using FindObject = Holder<CFindTestObject>;

void SetProp(CComTestObject* object, const wchar_t* name, const VARIANT& value, long flags) {
    ASSERT_EQ(object->ITestObjectInfo_put_PropExpr(CComBSTR(name), &flags, nullptr, nullptr, value), S_OK);
}

CComVariant GetProp(CComTestObject* object, const wchar_t* name) {
    CComVariant v;
    object->ITestObjectInfo_get_InternalPropExpr(CComBSTR(name), nullptr, nullptr, nullptr, v.Put());
    return v;
}

CComVariant DispatchOf(const FindObject& o) { return CComVariant(static_cast<IDispatch*>(o.as<DispTestObject>())); }

class FindObjectId : public ::testing::Test {
protected:
    void SetUp() override {
        host.queryEngine->SetClock([](DWORD ms) { dynamic_cast<CFakeClock&>(CTestObjectClock::Current()).Advance(ms); });
        Option(L"OnReplay", CComVariant(true));
        Option(L"DefaultTimeout", CComVariant(3000L));
        Option(L"DefaultDelay", CComVariant(500L));
        button = host.queryEngine->AddObject(L"Button1");
        other = host.queryEngine->AddObject(L"Button2");
    }
    FindObject NewObject() {
        FindObject o = FindObject::New();
        o.as<IObjectRackClient>()->SetRack(host.Rack());
        SetProp(o.get(), L"text", CComVariant(L"OK"), 0x10);
        return o;
    }
    void Option(const wchar_t* name, const VARIANT& value) { host.options->Put(L"", name, value); }
    HRESULT Find(QueryIdInfo* context = nullptr) {
        object->DispTestObject_Init();
        found.Release();
        return object->ITestObject_FindObjectId(found.Put(), context);
    }
    static QueryPass Pass(std::vector<RuntimeObject> candidates, DWORD queryTime = 0) {
        QueryPass pass;
        pass.candidates = std::move(candidates);
        pass.queryTime = queryTime;
        return pass;
    }
    // The time left each query of the last search got.
    std::vector<long> TimesLeft(size_t from) const {
        std::vector<long> out;
        for (size_t i = from; i < host.queryEngine->Calls().size(); ++i) out.push_back(host.queryEngine->Calls()[i].timeout);
        return out;
    }
    bool Is(IUnknown* a, const RuntimeObject& b) const { return a == static_cast<IUnknown*>(b.as<IRuntimeID>()); }
    int Logs() const {
        int n = 0;
        for (const auto& e : host.report->Events()) n += e.type == L"ReplayLog";
        return n;
    }

    CFakeClock clock{1000};
    CTestHost host;
    RuntimeObject button, other;
    FindObject object = NewObject();
    CComPtr<IUnknown> found;
};

TEST_F(FindObjectId, OneCandidateIsTakenDirectlyAndThenAnsweredFromTheRecord) {
    host.queryEngine->Script({Pass({button})});
    object->m_updateDescriptionFlag = 1;
    EXPECT_EQ(object->ITestObject_FindObjectId(found.Put(), nullptr), S_OK);
    EXPECT_TRUE(Is(found, button));
    EXPECT_EQ(object->m_foundDirectly, 1);
    EXPECT_TRUE(Is(GetProp(object.get(), L"objectid").punkVal, button));
    const QueryCall& call = host.queryEngine->Calls().at(0);
    EXPECT_EQ(call.names + L"=" + call.values, L"text=BSTR:OK");
    EXPECT_EQ(call.delay, 500);
    EXPECT_EQ(host.relations->Log().Joined(), L"FilterByRelations(object,0,1)");
    EXPECT_EQ(Logs(), 0);

    // The record answers without a query; the description update runs with the flag cleared.
    EXPECT_EQ(object->ITestObject_FindObjectId(found.Put(), nullptr), S_OK);
    EXPECT_TRUE(Is(found, button));
    EXPECT_EQ(host.queryEngine->Passes(), 1);
    EXPECT_EQ(object->summaries, (std::vector<short>{1, 0}));  // after the search, then around the record
    EXPECT_EQ(object->m_updateDescriptionFlag, 1);
    CReplaySkeletonContext step(&IID_IDispatch, 1, L"Click", nullptr, 0);
    object->m_currentStep = &step;  // not during a step
    EXPECT_EQ(object->ITestObject_FindObjectId(nullptr, nullptr), S_OK);
    EXPECT_EQ(object->summaries.size(), 2u);
    object->m_currentStep = nullptr;
}

TEST_F(FindObjectId, AMissingControlIsSearchedEveryDelayUntilTheTimeIsOut) {
    host.queryEngine->Script({Pass({}, 100)});
    for (DWORD start : {1000u, 0xFFFFFF00u}) {  // the second crosses the tick count's wrap
        SCOPED_TRACE(start);
        CFakeClock run{start};
        const size_t calls = host.queryEngine->Calls().size();
        EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
        EXPECT_EQ(TimesLeft(calls), (std::vector<long>{3000, 2900, 2300, 1700, 1100, 500, 0}));
        EXPECT_EQ(run.Pumps(), std::vector<DWORD>(6, 500));
        EXPECT_EQ(run.TickCount() - start, 3700u);
        EXPECT_EQ(GetProp(object.get(), L"objectid").scode, KOR_E_OBJECT_NOT_FOUND);
        EXPECT_EQ(host.report->Events().back().type, L"ReplayLog");
    }
    EXPECT_EQ(Logs(), 2);
}

TEST_F(FindObjectId, TheFindContextGivesTheTimesAndHoldsWhatIsLeft) {
    host.queryEngine->Script({Pass({}, 100)});
    QueryIdInfo context{0, 100};  // no time: one pass
    EXPECT_EQ(Find(&context), KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(TimesLeft(0), std::vector<long>{0});
    EXPECT_EQ(host.queryEngine->Calls()[0].delay, 100);

    context = {1000, 200};
    EXPECT_EQ(Find(&context), KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(TimesLeft(1), (std::vector<long>{1000, 900, 600, 300, 0}));
    EXPECT_EQ(context.timeout, 0);  // never below 0, though the last pass ran past the deadline

    context = {-1, -1};  // the options', a text converted
    Option(L"DefaultTimeout", CComVariant(L"100"));
    EXPECT_EQ(Find(&context), KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(TimesLeft(6), (std::vector<long>{100, 0}));
    host.rack->Drop(L"TestOptions");  // 10 seconds, half a second apart; no replay to repeat in
    const size_t calls = host.queryEngine->Calls().size();
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
    ASSERT_EQ(host.queryEngine->Calls().size(), calls + 1);
    EXPECT_EQ(host.queryEngine->Calls().back().timeout, 10000);
    EXPECT_EQ(host.queryEngine->Calls().back().delay, 500);
}

TEST_F(FindObjectId, APauseAnAbortOrTheReplaysEndStopsTheSearchAfterThatPass) {
    for (const wchar_t* flag : {L"OnPause", L"OnAbort", L"OnReplay"}) {
        SCOPED_TRACE(std::wstring(flag).c_str());
        Option(L"OnReplay", CComVariant(true));
        Option(L"OnPause", CComVariant(false));
        Option(L"OnAbort", CComVariant(false));
        QueryPass third = Pass({});
        third.during = [&, flag] { Option(flag, CComVariant(std::wstring(flag) != L"OnReplay")); };
        host.queryEngine->Script({Pass({}), Pass({}), third, Pass({})});
        const int before = host.queryEngine->Passes();
        EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
        EXPECT_EQ(host.queryEngine->Passes() - before, 3);
    }
}

// One search pass decided by the candidates and the relations; outside a replay, one pass.
TEST_F(FindObjectId, TheCandidatesAndTheRelationsDecide) {
    Option(L"OnReplay", CComVariant(false));
    struct Case {
        const wchar_t* what;
        std::vector<RuntimeObject> candidates;
        HRESULT relations;
        std::vector<ULONG> kept;
        HRESULT expected;
        IUnknown* chosen;
    };
    const Case cases[] = {
        {L"none", {}, S_FALSE, {}, KOR_E_OBJECT_NOT_FOUND, nullptr},
        {L"one, relations not judged", {button}, S_FALSE, {}, S_OK, button.as<IRuntimeID>()},
        {L"one, relations keep it", {button}, S_OK, {0}, S_OK, button.as<IRuntimeID>()},
        {L"one, relations drop it", {button}, S_OK, {}, KOR_E_OBJECT_NOT_FOUND, nullptr},
        {L"one, relations fail", {button}, E_FAIL, {}, KOR_E_OBJECT_NOT_FOUND, nullptr},
        {L"two, relations not judged", {button, other}, S_FALSE, {}, KOR_E_OBJECT_NOT_UNIQUE, nullptr},
        {L"two, relations keep one", {button, other}, S_OK, {1}, S_OK, other.as<IRuntimeID>()},
        {L"two, relations keep both", {button, other}, S_OK, {0, 1}, KOR_E_OBJECT_NOT_UNIQUE, nullptr},
        {L"two, relations keep none", {button, other}, S_OK, {}, KOR_E_OBJECT_NOT_FOUND, nullptr},
        {L"two, relations fail", {button, other}, E_FAIL, {}, KOR_E_OBJECT_NOT_FOUND, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::wstring(c.what).c_str());
        host.queryEngine->Script({Pass(c.candidates)});
        host.relations->SetAnswer(c.relations, c.kept);
        const int logs = Logs();
        EXPECT_EQ(Find(), c.expected);
        EXPECT_EQ(found.get(), c.chosen);
        const CComVariant id = GetProp(object.get(), L"objectid");
        EXPECT_EQ(id.vt, SUCCEEDED(c.expected) ? VT_UNKNOWN : VT_ERROR);
        EXPECT_EQ(object->m_foundDirectly, SUCCEEDED(c.expected) ? 1 : 0);
        EXPECT_EQ(Logs() - logs, FAILED(c.expected) ? 1 : 0);
    }
    // During a replay, several candidates that nothing tells apart are not searched for again.
    Option(L"OnReplay", CComVariant(true));
    host.relations->SetAnswer(S_FALSE);
    host.queryEngine->Script({Pass({button, other})});
    const int before = host.queryEngine->Passes();
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_UNIQUE);
    EXPECT_EQ(host.queryEngine->Passes() - before, 1);
}

TEST_F(FindObjectId, FailuresOfTheQueryStepEndTheSearchAtOnce) {
    QueryPass failing;
    failing.result = E_ACCESSDENIED;
    host.queryEngine->Script({failing});
    EXPECT_EQ(Find(), E_ACCESSDENIED);
    EXPECT_EQ(host.queryEngine->Passes(), 1);
    EXPECT_EQ(GetProp(object.get(), L"objectid").scode, E_ACCESSDENIED);

    host.rack->Drop(L"StdPackageQueryEngine");
    EXPECT_EQ(Find(), E_FAIL);
    EXPECT_EQ(Logs(), 2);

    // Without identification properties nothing is queried, and nothing found.
    host.rack->Put(L"StdPackageQueryEngine", host.queryEngine.as<IKorQuery>());
    object->ITestObjectInfo_InternalSetPropFlags(CComBSTR(L"text"), 0x8);
    Option(L"DefaultTimeout", CComVariant(1000L));
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(host.queryEngine->Passes(), 1);
    EXPECT_EQ(clock.Pumps(), std::vector<DWORD>(3, 500));  // taken before each wait: 1000, 1000, 500, 0 left
}

TEST_F(FindObjectId, ThePassesAfterTheFirstDropTheAncestorsObjects) {
    FindObject parent = NewObject(), grandparent = NewObject();
    SetProp(object.get(), L"parent", DispatchOf(parent), 9);
    SetProp(parent.get(), L"parent", DispatchOf(grandparent), 9);
    SetProp(grandparent.get(), L"parent", DispatchOf(object), 9);  // a loop ends the walk all the same
    const CComVariant known(static_cast<IUnknown*>(other.as<IRuntimeID>()));
    SetProp(parent.get(), L"objectid", known, 9);
    SetProp(grandparent.get(), L"objectid", known, 9);
    Option(L"DefaultTimeout", CComVariant(0L));
    host.queryEngine->Script({Pass({})});
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);  // one pass: nothing dropped
    EXPECT_TRUE(host.queryEngine->Calls()[0].container);
    EXPECT_EQ(GetProp(parent.get(), L"objectid").vt, VT_UNKNOWN);

    Option(L"DefaultTimeout", CComVariant(500L));
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);  // two passes
    EXPECT_EQ(GetProp(parent.get(), L"objectid").vt, VT_EMPTY);
    EXPECT_EQ(GetProp(grandparent.get(), L"objectid").vt, VT_EMPTY);
    SetProp(grandparent.get(), L"parent", CComVariant(), 9);

    // An outer object takes the whole call.
    FindObject outer = NewObject();
    SetProp(outer.get(), L"objectid", known, 9);
    object->ITestObject_SetOuterObject(outer.as<ITestObject>());
    const int passes = host.queryEngine->Passes();
    EXPECT_EQ(object->ITestObject_FindObjectId(found.Put(), nullptr), S_OK);
    EXPECT_TRUE(Is(found, other));
    EXPECT_EQ(host.queryEngine->Passes(), passes);
}

// ---- The identification algorithm and the last-resort selector ----------------------------------

class FindWithRules : public FindObjectId {
protected:
    void SetUp() override {
        FindObjectId::SetUp();
        object->ITestObject3_put_UseAlgorithm(1);
        object->ITestObject5_put__Algorithm(CComBSTR(algorithmProgId.c_str()));
        host.options->Put(L"Selectors\\index", L"ProgID", selectorProgId.c_str());
        SetProp(object.get(), L"index", CComVariant(1L), 0x448);
        host.queryEngine->Script({Pass({button, other})});
    }

    // Test programs run side by side in one registry: each process names its own classes.
    const std::wstring algorithmProgId = L"Kestrune.Test.Algorithm." + std::to_wstring(::GetCurrentProcessId());
    const std::wstring selectorProgId = L"Kestrune.Test.Selector." + std::to_wstring(::GetCurrentProcessId());
    Holder<CAlgorithmStandIn> algorithm = Holder<CAlgorithmStandIn>::New();
    Holder<CSelectorStandIn> selector = Holder<CSelectorStandIn>::New();
    CProgIdObjectRegistration algorithmClass{algorithmProgId.c_str(), algorithm.as<IIdentificationAlgorithm4>()};
    CProgIdObjectRegistration selectorClass{selectorProgId.c_str(), selector.as<IKorSelector>()};
};

TEST_F(FindWithRules, TheAlgorithmsChoiceIsTakenAndToldToTheHistory) {
    // The only test with the optional history: its class name is the host's.
    auto history = Holder<CMaintenanceHistoryStandIn>::New();
    CProgIdObjectRegistration historyClass{L"Quorvel.AVScriptMaintenanceHistory", history.as<IKorMaintenanceHistory>()};
    algorithm->SetChoice(1);
    EXPECT_EQ(Find(), S_OK);
    EXPECT_TRUE(Is(found, other));
    EXPECT_EQ(object->m_foundDirectly, 0);
    std::vector<std::pair<IUnknown*, long>> told;
    for (const auto& [o, kind] : history->Told()) told.emplace_back(o.get(), kind);
    IUnknown* own = object.as<DispTestObject>();
    EXPECT_EQ(told, (std::vector<std::pair<IUnknown*, long>>{{other.as<IRuntimeID>(), 1}, {own, 0}}));
    EXPECT_NE(algorithm->Log().Joined().find(L"Filter4(2,"), std::wstring::npos);

    // A failing algorithm ends the search at once, without a record or a log.
    algorithm->SetChoice(0, E_UNEXPECTED);
    EXPECT_EQ(Find(), E_UNEXPECTED);
    EXPECT_EQ(GetProp(object.get(), L"objectid").vt, VT_EMPTY);
    EXPECT_EQ(Logs(), 0);
}

TEST_F(FindWithRules, WithoutTheAlgorithmsChoiceTheSelectorDecides) {
    Option(L"OnReplay", CComVariant(false));
    algorithm->SetChoice(-1);
    struct Case {
        HRESULT answer;
        long row;
        HRESULT expected;
    };
    for (const Case& c : {Case{S_OK, 0, S_OK}, Case{S_FALSE, 1, S_FALSE}, Case{E_FAIL, 0, KOR_E_IDENTIFICATION_FAILED},
                          Case{KOR_E_OBJECT_NOT_FOUND, 0, KOR_E_OBJECT_NOT_FOUND},
                          Case{S_OK, -1, KOR_E_OBJECT_NOT_FOUND}}) {  // success without an object
        SCOPED_TRACE(c.expected);
        selector->SetChoice(c.row, c.answer);
        EXPECT_EQ(Find(), c.expected);
        const CComVariant id = GetProp(object.get(), L"objectid");
        if (SUCCEEDED(c.expected))
            EXPECT_TRUE(Is(found, c.row ? other : button) && Is(id.punkVal, c.row ? other : button));
        else
            EXPECT_EQ(id.scode, c.expected);
    }
    EXPECT_NE(selector->Log().Joined().find(L"Choose(2,I4:1)"), std::wstring::npos);

    // Without a selector, or with two last-resort properties, they stay not unique.
    host.options->Put(L"Selectors\\index", L"ProgID", L"Kestrune.Test.Missing");
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_UNIQUE);
    host.options->Put(L"Selectors\\index", L"ProgID", selectorProgId.c_str());
    SetProp(object.get(), L"location", CComVariant(2L), 0x448);
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_UNIQUE);
}

TEST_F(FindWithRules, TheLastChanceCannotHideThatNothingWasFound) {
    Option(L"OnReplay", CComVariant(false));
    host.queryEngine->Script({Pass({})});
    algorithm->SetChoice(-1);
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
    EXPECT_NE(algorithm->Log().Joined().find(L"Filter4((null)"), std::wstring::npos);
    // An algorithm that needs a list fails without one: still "not found", recorded and logged.
    algorithm->SetKind(1);
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(GetProp(object.get(), L"objectid").scode, KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(Logs(), 2);
}

}  // namespace
