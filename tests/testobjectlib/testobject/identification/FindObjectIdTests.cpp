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

void SetProp(CComTestObject* object, const wchar_t* name, const VARIANT& value, long flags = 0x58) {
    CComBSTR n(name);
    ASSERT_EQ(object->ITestObjectInfo_put_PropExpr(n, &flags, nullptr, nullptr, value), S_OK);
}

CComVariant GetProp(CComTestObject* object, const wchar_t* name) {
    CComBSTR n(name);
    CComVariant v;
    object->ITestObjectInfo_get_InternalPropExpr(n, nullptr, nullptr, nullptr, v.Put());
    return v;
}

FindObject NewObject(CTestHost& host) {
    FindObject object = FindObject::New();
    object.as<IObjectRackClient>()->SetRack(host.Rack());
    SetProp(object.get(), L"text", CComVariant(L"OK"), 0x10);
    return object;
}

class FindObjectId : public ::testing::Test {
protected:
    void SetUp() override {
        host.queryEngine->SetClock([](DWORD ms) { dynamic_cast<CFakeClock&>(CTestObjectClock::Current()).Advance(ms); });
        host.options->Put(L"", L"OnReplay", CComVariant(true));
        host.options->Put(L"", L"DefaultTimeout", 3000L);
        host.options->Put(L"", L"DefaultDelay", 500L);
        button = host.queryEngine->AddObject(L"Button1");
        other = host.queryEngine->AddObject(L"Button2");
    }
    HRESULT Find(QueryIdInfo* context = nullptr) {
        found.Release();
        return object->ITestObject_FindObjectId(found.Put(), context);
    }
    void Script(std::vector<QueryPass> passes) { host.queryEngine->Script(std::move(passes)); }
    static QueryPass Pass(std::vector<RuntimeObject> candidates, DWORD queryTime = 0) {
        QueryPass pass;
        pass.candidates = std::move(candidates);
        pass.queryTime = queryTime;
        return pass;
    }
    std::vector<long> TimesLeft() const {
        std::vector<long> out;
        for (const auto& call : host.queryEngine->Calls()) out.push_back(call.timeout);
        return out;
    }
    bool Is(IUnknown* a, const RuntimeObject& b) const { return a == static_cast<IUnknown*>(b.as<IRuntimeID>()); }
    // The replay logs the search left, as their texts.
    std::vector<std::wstring> Logs() const {
        std::vector<std::wstring> out;
        for (const auto& e : host.report->Events())
            if (e.type == L"ReplayLog") out.push_back(e.Text(L"StepInfo"));
        return out;
    }

    CFakeClock clock{1000};
    CTestHost host;
    RuntimeObject button, other;
    FindObject object = NewObject(host);
    CComPtr<IUnknown> found;
};

TEST_F(FindObjectId, OneCandidateIsTakenDirectlyAndThenAnsweredFromTheRecord) {
    Script({Pass({button})});
    EXPECT_EQ(Find(), S_OK);
    EXPECT_TRUE(Is(found, button));
    EXPECT_EQ(object->m_foundDirectly, 1);
    CComVariant id = GetProp(object.get(), L"objectid");
    ASSERT_EQ(id.vt, VT_UNKNOWN);
    EXPECT_TRUE(Is(id.punkVal, button));
    ASSERT_EQ(host.queryEngine->Calls().size(), 1u);
    const QueryCall& call = host.queryEngine->Calls()[0];
    EXPECT_EQ(call.names, L"text");
    EXPECT_EQ(call.values, L"BSTR:OK");
    EXPECT_FALSE(call.container);
    EXPECT_EQ(call.delay, 500);
    EXPECT_EQ(host.relations->Log().Joined(), L"FilterByRelations(object,0,1)");
    EXPECT_TRUE(Logs().empty());

    // The record answers without a query, even with the control gone; no out pointer is needed.
    EXPECT_EQ(object->ITestObject_FindObjectId(nullptr, nullptr), S_OK);
    EXPECT_EQ(Find(), S_OK);
    EXPECT_TRUE(Is(found, button));
    EXPECT_EQ(host.queryEngine->Passes(), 1);
}

TEST_F(FindObjectId, TheDescriptionUpdateRunsAroundTheRecordOutsideAStep) {
    Script({Pass({button})});
    object->m_updateDescriptionFlag = 1;
    EXPECT_EQ(Find(), S_OK);  // found: once, the flag left as it is
    EXPECT_EQ(object->summaries, std::vector<short>{1});
    EXPECT_EQ(Find(), S_OK);  // from the record: the flag cleared around it, then set again
    EXPECT_EQ(object->summaries, (std::vector<short>{1, 0}));
    EXPECT_EQ(object->m_updateDescriptionFlag, 1);
    CReplaySkeletonContext step(&IID_IDispatch, 1, L"Click", nullptr, 0);
    object->m_currentStep = &step;
    EXPECT_EQ(Find(), S_OK);
    EXPECT_EQ(object->summaries.size(), 2u);
    object->m_currentStep = nullptr;
}

TEST_F(FindObjectId, AMissingControlIsSearchedEveryDelayUntilTheTimeIsOut) {
    Script({Pass({}, 100)});
    for (DWORD start : {1000u, 0xFFFFFF00u}) {  // the second crosses the tick count's wrap
        SCOPED_TRACE(start);
        CFakeClock run{start};
        const size_t calls = host.queryEngine->Calls().size(), events = host.report->Events().size();
        object->DispTestObject_Init();
        EXPECT_EQ(object->ITestObject_FindObjectId(nullptr, nullptr), KOR_E_OBJECT_NOT_FOUND);
        const std::vector<long> left = TimesLeft();
        EXPECT_EQ(std::vector<long>(left.begin() + calls, left.end()),
                  (std::vector<long>{3000, 2900, 2300, 1700, 1100, 500, 0}));
        EXPECT_EQ(run.Pumps(), std::vector<DWORD>(6, 500));
        EXPECT_EQ(run.TickCount() - start, 3700u);
        CComVariant id = GetProp(object.get(), L"objectid");
        EXPECT_EQ(id.vt, VT_ERROR);
        EXPECT_EQ(id.scode, KOR_E_OBJECT_NOT_FOUND);
        ASSERT_EQ(host.report->Events().size(), events + 1);
        EXPECT_EQ(host.report->Events().back().type, L"ReplayLog");
        EXPECT_EQ(host.report->Events().back().Item(L"Status").lVal, 2);
    }
}

TEST_F(FindObjectId, OutsideAReplayOnePassAndTheLastChance) {
    host.options->Put(L"", L"OnReplay", CComVariant(false));
    Script({Pass({})});
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(host.queryEngine->Passes(), 1);
    EXPECT_TRUE(clock.Pumps().empty());
    EXPECT_EQ(Logs().size(), 1u);
    EXPECT_EQ(found.get(), nullptr);
}

TEST_F(FindObjectId, TheFindContextGivesTheTimesAndHoldsWhatIsLeft) {
    Script({Pass({}, 100)});
    QueryIdInfo context{0, 100};  // no time: one pass
    EXPECT_EQ(Find(&context), KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(TimesLeft(), std::vector<long>{0});
    EXPECT_EQ(host.queryEngine->Calls()[0].delay, 100);
    EXPECT_EQ(context.timeout, 0);

    object->DispTestObject_Init();
    context = {1000, 200};
    EXPECT_EQ(Find(&context), KOR_E_OBJECT_NOT_FOUND);
    const std::vector<long> left = TimesLeft();
    EXPECT_EQ(std::vector<long>(left.begin() + 1, left.end()), (std::vector<long>{1000, 900, 600, 300, 0}));
    EXPECT_EQ(context.timeout, 0);  // never below 0, though the last pass ran past the deadline

    object->DispTestObject_Init();
    context = {-1, -1};  // the options'
    host.options->Put(L"", L"DefaultTimeout", L"200");
    EXPECT_EQ(Find(&context), KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(host.queryEngine->Calls()[6].timeout, 200);
    EXPECT_EQ(host.queryEngine->Calls()[6].delay, 500);

    // Without options: 10 seconds, half a second apart.
    host.rack->Drop(L"TestOptions");
    object->DispTestObject_Init();
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
    ASSERT_EQ(host.queryEngine->Calls().size(), 10u);  // "OnReplay" cannot be read: no retry
    EXPECT_EQ(host.queryEngine->Calls()[9].timeout, 10000);
    EXPECT_EQ(host.queryEngine->Calls()[9].delay, 500);
}

TEST_F(FindObjectId, APauseAnAbortOrTheReplaysEndStopsTheSearchAfterThatPass) {
    for (const wchar_t* flag : {L"OnPause", L"OnAbort", L"OnReplay"}) {
        SCOPED_TRACE(std::wstring(flag).c_str());
        host.options->Put(L"", L"OnReplay", CComVariant(true));
        host.options->Put(L"", L"OnPause", CComVariant(false));
        host.options->Put(L"", L"OnAbort", CComVariant(false));
        QueryPass third = Pass({});
        third.during = [&, flag] { host.options->Put(L"", flag, CComVariant(std::wstring(flag) != L"OnReplay")); };
        Script({Pass({}), Pass({}), third, Pass({})});
        const int before = host.queryEngine->Passes();
        object->DispTestObject_Init();
        EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
        EXPECT_EQ(host.queryEngine->Passes() - before, 3);
    }
}

TEST_F(FindObjectId, AFailedQueryEndsTheSearchAtOnce) {
    QueryPass failing;
    failing.result = E_ACCESSDENIED;
    Script({failing});
    EXPECT_EQ(Find(), E_ACCESSDENIED);
    EXPECT_EQ(host.queryEngine->Passes(), 1);
    EXPECT_EQ(GetProp(object.get(), L"objectid").scode, E_ACCESSDENIED);
    EXPECT_EQ(Logs().size(), 1u);

    host.rack->Drop(L"StdPackageQueryEngine");
    object->DispTestObject_Init();
    EXPECT_EQ(Find(), E_FAIL);
    EXPECT_EQ(GetProp(object.get(), L"objectid").scode, E_FAIL);
}

TEST_F(FindObjectId, WithoutIdentificationPropertiesNothingIsQueried) {
    CComBSTR text(L"text");
    object->ITestObjectInfo_InternalSetPropFlags(text, 0x8);
    host.options->Put(L"", L"DefaultTimeout", 1000L);
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(host.queryEngine->Passes(), 0);
    // The time left is taken before each wait: passes at 1000, 1000, 500 and 0 ms left.
    EXPECT_EQ(clock.Pumps(), std::vector<DWORD>(3, 500));
}

TEST_F(FindObjectId, SeveralCandidatesTheRelationsDoNotJudgeAndNoOtherRuleAreNotUnique) {
    Script({Pass({button, other})});
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_UNIQUE);  // no retry during the replay
    EXPECT_EQ(host.queryEngine->Passes(), 1);
    EXPECT_EQ(GetProp(object.get(), L"objectid").scode, KOR_E_OBJECT_NOT_UNIQUE);
    EXPECT_EQ(Logs().size(), 1u);
}

TEST_F(FindObjectId, TheRelationsDecideAmongSeveral) {
    Script({Pass({button, other})});
    host.relations->SetAnswer(S_OK, {1});
    EXPECT_EQ(Find(), S_OK);
    EXPECT_TRUE(Is(found, other));
    EXPECT_EQ(object->m_foundDirectly, 1);

    object->DispTestObject_Init();
    host.relations->SetAnswer(S_OK, {0, 1});
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_UNIQUE);

    host.options->Put(L"", L"OnReplay", CComVariant(false));
    host.relations->SetAnswer(S_OK, {});
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
    host.relations->SetAnswer(E_FAIL);  // a failure that left none
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
}

TEST_F(FindObjectId, OneCandidateMustPassTheRelationsWhenTheyApply) {
    host.options->Put(L"", L"OnReplay", CComVariant(false));
    Script({Pass({button})});
    host.relations->SetAnswer(S_OK, {});
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
    host.relations->SetAnswer(E_FAIL);
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
    host.rack->Drop(L"TORelationsMgr");  // no manager is a failure too
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
    host.rack->Put(L"TORelationsMgr", host.relations.as<IKorRelationsMgr>());
    host.relations->SetAnswer(S_OK, {0});
    EXPECT_EQ(Find(), S_OK);
}

TEST_F(FindObjectId, ThePassesAfterTheFirstDropTheAncestorsObjects) {
    FindObject parent = NewObject(host), grandparent = NewObject(host);
    SetProp(object.get(), L"parent", CComVariant(static_cast<IDispatch*>(parent.as<DispTestObject>())));
    SetProp(parent.get(), L"parent", CComVariant(static_cast<IDispatch*>(grandparent.as<DispTestObject>())));
    SetProp(grandparent.get(), L"parent", CComVariant(static_cast<IDispatch*>(object.as<DispTestObject>())));  // a loop
    const CComVariant known(static_cast<IUnknown*>(other.as<IRuntimeID>()));
    SetProp(parent.get(), L"objectid", known);
    SetProp(grandparent.get(), L"objectid", known);
    host.options->Put(L"", L"DefaultTimeout", 0L);
    Script({Pass({})});
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);  // one pass: nothing dropped
    EXPECT_TRUE(host.queryEngine->Calls()[0].container);
    EXPECT_EQ(GetProp(parent.get(), L"objectid").vt, VT_UNKNOWN);

    host.options->Put(L"", L"DefaultTimeout", 500L);
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);  // two passes
    EXPECT_EQ(GetProp(parent.get(), L"objectid").vt, VT_EMPTY);
    EXPECT_EQ(GetProp(grandparent.get(), L"objectid").vt, VT_EMPTY);
    SetProp(grandparent.get(), L"parent", CComVariant());
    SetProp(parent.get(), L"parent", CComVariant());
}

TEST_F(FindObjectId, AnOuterObjectTakesTheWholeCall) {
    FindObject outer = NewObject(host);
    SetProp(outer.get(), L"objectid", CComVariant(static_cast<IUnknown*>(other.as<IRuntimeID>())));
    object->ITestObject_SetOuterObject(outer.as<ITestObject>());
    EXPECT_EQ(Find(), S_OK);
    EXPECT_TRUE(Is(found, other));
    EXPECT_EQ(host.queryEngine->Passes(), 0);
    EXPECT_EQ(GetProp(object.get(), L"objectid").vt, VT_EMPTY);
}

// ---- The identification algorithm and the last-resort selector ----------------------------------

class FindWithRules : public FindObjectId {
protected:
    void SetUp() override {
        FindObjectId::SetUp();
        object->ITestObject3_put_UseAlgorithm(1);
        CComBSTR progId(algorithmProgId.c_str());
        object->ITestObject5_put__Algorithm(progId);
        host.options->Put(L"Selectors\\index", L"ProgID", selectorProgId.c_str());
        SetProp(object.get(), L"index", CComVariant(1L), 0x448);
    }

    // Test programs run side by side in one registry: each process names its own classes.
    const std::wstring algorithmProgId = L"Kestrune.Test.Algorithm." + std::to_wstring(::GetCurrentProcessId());
    const std::wstring selectorProgId = L"Kestrune.Test.Selector." + std::to_wstring(::GetCurrentProcessId());
    Holder<CAlgorithmStandIn> algorithm = Holder<CAlgorithmStandIn>::New();
    Holder<CSelectorStandIn> selector = Holder<CSelectorStandIn>::New();
    CProgIdRegistration algorithmClass{algorithmProgId.c_str(), algorithm.as<IIdentificationAlgorithm4>()};
    CProgIdRegistration selectorClass{selectorProgId.c_str(), selector.as<IKorSelector>()};
};

TEST_F(FindWithRules, TheAlgorithmsChoiceIsTakenAndToldToTheHistory) {
    // The only test that has the optional history: its class name is the host's.
    auto history = Holder<CMaintenanceHistoryStandIn>::New();
    CProgIdRegistration historyClass{L"Quorvel.AVScriptMaintenanceHistory", history.as<IKorMaintenanceHistory>()};
    Script({Pass({button, other})});
    algorithm->SetChoice(1);
    EXPECT_EQ(Find(), S_OK);
    EXPECT_TRUE(Is(found, other));
    EXPECT_EQ(object->m_foundDirectly, 0);
    IUnknown* own = object.as<DispTestObject>();
    std::vector<std::pair<IUnknown*, long>> told;
    for (const auto& [o, kind] : history->Told()) told.emplace_back(o.get(), kind);
    EXPECT_EQ(told, (std::vector<std::pair<IUnknown*, long>>{{other.as<IRuntimeID>(), 1}, {own, 0}}));
    EXPECT_EQ(selector->Log().Count(L"Choose"), 0);
    // During a replay with time left it is not the last chance.
    EXPECT_NE(algorithm->Log().Joined().find(L"Filter4(2,"), std::wstring::npos);
}

TEST_F(FindWithRules, WithoutTheAlgorithmsChoiceTheSelectorDecides) {
    Script({Pass({button, other})});
    algorithm->SetChoice(-1);
    selector->SetChoice(0);
    EXPECT_EQ(Find(), S_OK);
    EXPECT_TRUE(Is(found, button));
    EXPECT_EQ(selector->Log().Joined(), L"SetRack(obj)\nChoose(2,I4:1)");

    struct Case {
        HRESULT answer;
        long row;
        HRESULT expected;
    };
    for (const Case& c : {Case{E_FAIL, 0, KOR_E_IDENTIFICATION_FAILED}, Case{KOR_E_OBJECT_NOT_FOUND, 0, KOR_E_OBJECT_NOT_FOUND},
                          Case{S_OK, -1, KOR_E_OBJECT_NOT_FOUND}, Case{S_FALSE, 1, S_FALSE}}) {
        object->DispTestObject_Init();
        host.options->Put(L"", L"OnReplay", CComVariant(false));
        selector->SetChoice(c.row, c.answer);
        EXPECT_EQ(Find(), c.expected);
        CComVariant id = GetProp(object.get(), L"objectid");
        if (SUCCEEDED(c.expected)) {
            EXPECT_TRUE(Is(found, other));
            EXPECT_EQ(id.vt, VT_UNKNOWN);
        } else {
            EXPECT_EQ(id.scode, c.expected);  // a selector's success without an object found nothing
        }
    }

    // Without a selector, or with two last-resort properties, the objects stay not unique.
    object->DispTestObject_Init();
    host.options->Put(L"Selectors\\index", L"ProgID", L"Kestrune.Test.Missing");
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_UNIQUE);
    host.options->Put(L"Selectors\\index", L"ProgID", selectorProgId.c_str());
    SetProp(object.get(), L"location", CComVariant(2L), 0x448);
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_UNIQUE);
}

TEST_F(FindWithRules, AFailingAlgorithmEndsTheSearchWithoutARecord) {
    Script({Pass({button, other})});
    algorithm->SetChoice(0, E_UNEXPECTED);
    EXPECT_EQ(Find(), E_UNEXPECTED);
    EXPECT_EQ(GetProp(object.get(), L"objectid").vt, VT_EMPTY);
    EXPECT_TRUE(Logs().empty());
    EXPECT_EQ(selector->Log().Count(L"Choose"), 0);
}

TEST_F(FindWithRules, TheLastChanceRunsTheAlgorithmWithoutCandidates) {
    host.options->Put(L"", L"OnReplay", CComVariant(false));
    Script({Pass({})});
    algorithm->SetChoice(-1);
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
    EXPECT_NE(algorithm->Log().Joined().find(L"Filter4((null)"), std::wstring::npos);

    // An algorithm that narrows a given list fails without one: still "not found", recorded and
    // logged.
    algorithm->SetKind(1);
    EXPECT_EQ(Find(), KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(GetProp(object.get(), L"objectid").scode, KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(Logs().size(), 2u);
}

}  // namespace
