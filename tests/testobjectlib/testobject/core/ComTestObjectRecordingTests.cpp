// Recorded steps handed to the host, the refreshed snapshot information, the script path of a
// parent chain and the help pages of replay errors, against the host stand-ins.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "FakeClock.h"
#include "TestHost.h"
#include "com/ComBSTR.h"
#include "com/ComSafeArray.h"
#include "errors/TestObjectError.h"
#include "host/TestObjectSettings.h"
#include "testobject/forwarding/TestableObject.h"

using namespace standin;
using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

// A test object whose snapshots and report name stand in for what later parts supply.
class CStepObject : public CTestableObject {
public:
    int snapshots = 0;
    HRESULT snapshotResult = S_OK;
    std::vector<std::wstring> folders;

    HRESULT STDMETHODCALLTYPE GetSavedSnapshot(BSTR folder, VARIANT* highlightId, long, BSTR* name, BYTE, long,
                                               IDispatch*) override {
        folders.emplace_back(folder ? folder : L"(null)");
        if (FAILED(snapshotResult)) return snapshotResult;
        ++snapshots;
        *name = ::SysAllocString((L"snap" + std::to_wstring(snapshots) + L".png").c_str());
        if (highlightId) {
            ::VariantClear(highlightId);
            highlightId->vt = VT_I4;
            highlightId->lVal = 40 + snapshots;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ITestObject5_GetLogicalNameForReport(BSTR* name) override {
        *name = ::SysAllocString((L"[ " + std::wstring(m_logicalName.c_str()) + L" ]").c_str());
        return S_OK;
    }
};

Holder<CStepObject> NewObject(CTestHost& host, const wchar_t* name, const wchar_t* collection) {
    auto object = Holder<CStepObject>::New();
    object.as<IObjectRackClient>()->SetRack(host.Rack());
    object.as<ITestObject>()->SetRecordMgr(host.RecordTarget());
    object.as<ITestObject>()->SetLogicalName(CComBSTR(name));
    object.as<IObjectManagerClient>()->put_CollectionName(CComBSTR(collection));
    return object;
}

void SetParent(const Holder<CStepObject>& child, IDispatch* parent) {
    CComVariant value(parent);
    if (!parent) value.Clear();
    ASSERT_EQ(PutTestObjectPropExpr(child.as<ITestObject>(), CComBSTR(L"parent"), &value, nullptr, nullptr, nullptr),
              S_OK);
}

class Recording : public ::testing::Test {
protected:
    void SetUp() override {
        clock.UseDoubleClickTime(500);
        host.options->Put(L"", L"OnRecord", CComVariant(true));
        host.options->Put(L"", L"ActionSSPath", L"C:\\Snapshots");
        SAFEARRAYBOUND bound = {2, 0};
        args.Reset(::SafeArrayCreate(VT_VARIANT, 1, &bound));
        for (LONG i = 0; i < 2; ++i) {
            CComVariant v(10L * (i + 1));
            ::SafeArrayPutElement(args, &i, &v);
        }
    }
    HRESULT Record(long kind, DWORD flags = 0xFFFFFFFF) { return object->RegisterObject(L"Click", args, kind, flags); }
    std::wstring LastInfo() const {
        return host.scriptManager->Steps().empty() ? L"(none)" : host.scriptManager->Steps().back().info;
    }

    CFakeClock clock{1000};
    CTestHost host;
    Holder<CStepObject> object = NewObject(host, L"Grid1", L"AcxTable");
    kcom::CComSafeArray args;
};

TEST_F(Recording, OneStepReachesTheRecordManagerTheObjectManagerAndTheScriptManager) {
    EXPECT_EQ(Record(1), S_OK);
    ASSERT_EQ(host.recordMgr->Steps().size(), 1u);
    const RecordedStep& step = host.recordMgr->Steps()[0];
    EXPECT_EQ(step.format, L"FormatVovuvarShellTestObjects");
    EXPECT_TRUE(step.object.IsEqualObject(object.as<ITestObject>()));
    EXPECT_EQ(step.method, L"Click");
    EXPECT_EQ(step.arguments, L"[I4:10,I4:20]");
    EXPECT_EQ(host.recordMgr->Log().Lines()[0],
              L"ReceiveData(FormatVovuvarShellTestObjects,td=null,aspect=1,lindex=-1,tymed=1,medium=1,size=12,"
              L"Click,[I4:10,I4:20])");
    EXPECT_EQ(host.objectManager->Log().Joined(), L"IsRecordingRefused()\nAddObject(object)");
    EXPECT_TRUE(host.objectManager->Added()[0].IsEqualObject(object.as<ITestObject>()));
    EXPECT_EQ(host.recordingState->Log().Count(L"GetState"), 1);
    EXPECT_EQ(object->folders, std::vector<std::wstring>{L"C:\\Snapshots"});
    ASSERT_EQ(host.scriptManager->Steps().size(), 1u);
    EXPECT_EQ(host.scriptManager->Log().Lines()[0],
              L"AddStep(AcxTable(\"Grid1\"),Click,[I4:10,I4:20],1,2,-1,-1,"
              L"script infofile=snap1.png;hightlight id=41)");
}

TEST_F(Recording, StepsOfOneDoubleClickShareTheirScriptInformation) {
    EXPECT_EQ(Record(1), S_OK);
    clock.Advance(500);  // exactly the double-click time: still the same action
    EXPECT_EQ(Record(3), S_OK);
    EXPECT_EQ(LastInfo(), L"script infofile=snap1.png;hightlight id=41");
    clock.Advance(10);  // kind 3 kept nothing for the next step
    EXPECT_EQ(Record(4), S_OK);
    EXPECT_EQ(LastInfo(), L"script infofile=snap2.png;hightlight id=42");

    EXPECT_EQ(Record(5), S_OK);  // a first click that keeps its information
    clock.Advance(501);
    EXPECT_EQ(Record(3), S_OK);
    EXPECT_EQ(LastInfo(), L"script infofile=snap4.png;hightlight id=44");
    EXPECT_EQ(object->snapshots, 4);
}

TEST_F(Recording, DoubleClickTimeSpansTheTickCountsWrap) {
    CFakeClock late(0xFFFFFF00);
    EXPECT_EQ(Record(1), S_OK);
    late.Advance(500);  // across zero
    EXPECT_EQ(Record(3), S_OK);
    EXPECT_EQ(object->snapshots, 1);
}

TEST_F(Recording, MonitoringAloneGoesToTheExceptionManagerOnly) {
    host.options->Put(L"", L"OnMonitor", CComVariant(true));
    host.exceptionMgr->SetResult(static_cast<HRESULT>(0x00040123));
    EXPECT_EQ(Record(1, 0x2), static_cast<HRESULT>(0x00040123));
    EXPECT_EQ(host.exceptionMgr->Log().Joined(), L"MonitorCall(Click,object,[I4:10,I4:20],0)");
    EXPECT_TRUE(host.exceptionMgr->Objects()[0].IsEqualObject(object.as<ITestObject>()));
    EXPECT_TRUE(host.recordMgr->Steps().empty());
    EXPECT_TRUE(host.scriptManager->Steps().empty());

    host.options->Put(L"", L"OnMonitor", CComVariant(false));
    EXPECT_EQ(Record(1, 0x2), S_OK);
    EXPECT_EQ(host.exceptionMgr->Log().Count(L"MonitorCall"), 1);
}

TEST_F(Recording, NothingIsRecordedOutsideRecording) {
    host.options->Put(L"", L"OnRecord", CComVariant(false));
    EXPECT_EQ(Record(1), S_OK);
    EXPECT_TRUE(host.recordMgr->Steps().empty());
    EXPECT_TRUE(host.objectManager->Log().Lines().empty());
}

TEST_F(Recording, RecordManagerStopsTheStepBeforeTheObjectManager) {
    host.recordMgr->SetDataAnswer(0x21);
    EXPECT_EQ(Record(1), S_FALSE);
    EXPECT_EQ(host.recordMgr->Steps().size(), 1u);
    EXPECT_TRUE(host.objectManager->Log().Lines().empty());
    EXPECT_TRUE(host.scriptManager->Steps().empty());
}

TEST_F(Recording, RefusedOrBlockedRecordingShowsTheHostsMessageBox) {
    host.objectManager->SetRefusal(TRUE);
    EXPECT_EQ(Record(1), S_FALSE);
    EXPECT_EQ(host.application->Log().Count(L"ShowMessageBox"), 1);
    EXPECT_NE(host.application->Log().Joined().find(L"ShowMessageBox(0,Recording is not available for this object "
                                                    L"now.,(null),48)"),
              std::wstring::npos);
    host.objectManager->SetRefusal(FALSE);
    host.activeFlow->Action()->SetBlocked(S_OK);
    EXPECT_EQ(Record(1), S_FALSE);
    host.activeFlow->Action()->SetBlocked(E_FAIL);  // a failing answer counts as blocked
    EXPECT_EQ(Record(1), S_FALSE);
    host.activeFlow->SetAction(Holder<CFlowActionStandIn>());  // no current action: blocked
    EXPECT_EQ(Record(1), S_FALSE);
    EXPECT_EQ(host.application->Log().Count(L"ShowMessageBox"), 4);
    EXPECT_TRUE(host.objectManager->Added().empty());
    EXPECT_TRUE(host.scriptManager->Steps().empty());
}

TEST_F(Recording, ObjectManagerAndScriptManagerFailures) {
    host.objectManager->SetAddResult(E_ACCESSDENIED);
    EXPECT_EQ(Record(1), E_ACCESSDENIED);
    host.objectManager->SetAddResult(S_OK);
    host.rack->Drop(L"ScriptManager");
    EXPECT_EQ(Record(1), E_NOINTERFACE);
    host.rack->Drop(L"ObjectManager");
    EXPECT_EQ(Record(1), E_FAIL);
    EXPECT_TRUE(host.scriptManager->Steps().empty());
}

TEST_F(Recording, AnObjectWithACookieIsNotAddedAgain) {
    object.as<IObjectManagerClient>()->put_Cookie(7);
    EXPECT_EQ(Record(1), S_OK);
    EXPECT_EQ(host.objectManager->Log().Count(L"AddObject"), 0);
    EXPECT_EQ(host.scriptManager->Steps().size(), 1u);
}

TEST_F(Recording, RecordingStateDecidesWhetherScriptInformationIsPrepared) {
    host.recordingState->SetState(2);
    EXPECT_EQ(Record(1), S_OK);
    EXPECT_EQ(LastInfo(), L"(null)");
    host.recordingState->SetState(1, 1, 0);
    EXPECT_EQ(Record(1), S_OK);
    EXPECT_EQ(LastInfo(), L"script infofile=snap1.png;hightlight id=41");
    host.recordingState->SetState(1, 1, 1);
    EXPECT_EQ(Record(3), S_OK);  // within the double-click time, but nothing is prepared now
    EXPECT_EQ(LastInfo(), L"script infofile=snap1.png;hightlight id=41");
    host.recordingState->SetState(0, 0, 0, E_FAIL);  // an unanswered state lets the preparation go on
    host.options->Put(L"", L"ActionSSPath", 5L);     // but a folder that is not text prepares nothing
    EXPECT_EQ(Record(1), S_OK);
    EXPECT_EQ(LastInfo(), L"(null)");
    EXPECT_EQ(object->snapshots, 1);
}

TEST_F(Recording, ABlankNameEndsTheStepBeforeTheScriptManager) {
    object.as<ITestObject>()->SetLogicalName(CComBSTR(L"  "));
    EXPECT_EQ(Record(1), S_OK);
    EXPECT_EQ(host.objectManager->Log().Count(L"AddObject"), 1);
    EXPECT_TRUE(host.scriptManager->Steps().empty());
}

// ---- the script path of a parent chain ----

std::wstring PathOf(IDispatch* object, const wchar_t* start = L"", bool notLast = false, bool* answer = nullptr) {
    CComBSTR path(start);
    BSTR raw = path.Detach();
    const bool named = CComTestObject::CollectParentChain(object, &raw, notLast);
    path.Attach(raw);
    if (answer) *answer = named;
    return path.IsNull() ? L"(null)" : path.c_str();
}

TEST(ParentChain, AncestorsComeFirstEachWithItsCollection) {
    CTestHost host;
    auto window = NewObject(host, L"Main", L"Window");
    auto pane = NewObject(host, L"Tools", L"");
    auto grid = NewObject(host, L"Grid1", L"AcxTable");
    SetParent(pane, window.as<DispTestObject>());
    SetParent(grid, pane.as<DispTestObject>());
    bool answer = false;
    EXPECT_EQ(PathOf(grid.as<DispTestObject>(), L"", false, &answer), L"Window(\"Main\").Tools.AcxTable(\"Grid1\")");
    EXPECT_TRUE(answer);
    EXPECT_EQ(PathOf(grid.as<DispTestObject>(), L"x:", true), L"x:Window(\"Main\").Tools.AcxTable(\"Grid1\").");

    // An ancestor without a name adds nothing, the rest still does.
    window.as<ITestObject>()->SetLogicalName(nullptr);
    EXPECT_EQ(PathOf(grid.as<DispTestObject>()), L"Tools.AcxTable(\"Grid1\")");
    // The object's own blank name answers false with what its ancestors added.
    grid.as<ITestObject>()->SetLogicalName(CComBSTR(L"\t"));
    EXPECT_EQ(PathOf(grid.as<DispTestObject>(), L"", false, &answer), L"Tools.");
    EXPECT_FALSE(answer);
    SetParent(grid, nullptr);
    SetParent(pane, nullptr);
}

TEST(ParentChain, NoObjectAndLoopsEndTheWalk) {
    bool answer = true;
    EXPECT_EQ(PathOf(nullptr, L"kept", false, &answer), L"kept");
    EXPECT_FALSE(answer);
    EXPECT_FALSE(CComTestObject::CollectParentChain(nullptr, nullptr, false));

    CTestHost host;
    auto a = NewObject(host, L"A", L"Window");
    auto b = NewObject(host, L"B", L"");
    SetParent(a, b.as<DispTestObject>());
    SetParent(b, a.as<DispTestObject>());
    EXPECT_EQ(PathOf(a.as<DispTestObject>()), L"B.Window(\"A\")");
    SetParent(a, nullptr);
    SetParent(b, nullptr);
}

// ---- snapshot information refreshed while a test is updated ----

class ScriptInfo : public Recording {
protected:
    void SetUp() override {
        Recording::SetUp();
        step = action()->AddStep();
        action()->AddStep();
        action()->SetCurrentStep(step);
    }
    CFlowActionStandIn* action() const { return host.activeFlow->Action().get(); }
    long step = -1;
};

TEST_F(ScriptInfo, TheCurrentStepGetsTheNewSnapshotAndTheOldFileIsReplaced) {
    action()->Step(step).Put(L"script infofile", CComVariant(L"old.png"));
    EXPECT_EQ(object->PrepareScriptInfo(), S_OK);
    EXPECT_EQ(action()->Step(step).Find(L"script infofile")->bstrVal, std::wstring(L"snap1.png"));
    EXPECT_EQ(action()->Step(step).Find(L"hightlight id")->bstrVal, std::wstring(L"41"));
    EXPECT_EQ(host.genericHandler->Log().Joined(),
              L"ReplaceFile(Quorvel.SnapshotFilesMgrWrapper,Quorvel.FileSystemObjMng,old.png,snap1.png)");

    action()->Step(step).Put(L"script infofile", CComVariant(L"snap2.png"));  // the same file: kept
    EXPECT_EQ(object->PrepareScriptInfo(), S_OK);
    action()->Step(step).Put(L"script infofile", CComVariant(L""));  // no old file
    EXPECT_EQ(object->PrepareScriptInfo(), S_OK);
    EXPECT_EQ(host.genericHandler->Log().Count(L"ReplaceFile"), 1);
    action()->Step(step).Put(L"script infofile", CComVariant(L"SNAP4.png"));  // case counts
    EXPECT_EQ(object->PrepareScriptInfo(), S_OK);
    EXPECT_EQ(host.genericHandler->Log().Count(L"ReplaceFile"), 2);
}

TEST_F(ScriptInfo, NothingChangesWithoutACurrentStepOrWhileBlocked) {
    for (long index : {-1L, 2L}) {
        action()->SetCurrentStep(index);
        EXPECT_EQ(object->PrepareScriptInfo(), S_OK);
    }
    action()->SetBlocked(S_OK);
    action()->SetCurrentStep(step);
    EXPECT_EQ(object->PrepareScriptInfo(), S_OK);
    EXPECT_EQ(object->snapshots, 2);  // blocked: not even a snapshot
    EXPECT_EQ(action()->Log().Count(L"PutStepValue"), 0);
}

TEST_F(ScriptInfo, FailuresOfTheSnapshotAndTheFolderOption) {
    object->snapshotResult = E_ACCESSDENIED;
    EXPECT_EQ(object->PrepareScriptInfo(), E_ACCESSDENIED);
    host.options->Put(L"", L"ActionSSPath", 1L);
    EXPECT_EQ(object->PrepareScriptInfo(), E_FAIL);
    EXPECT_EQ(action()->Log().Count(L"PutStepValue"), 0);
}

// ---- help pages of replay errors ----

struct HelpPage {
    HRESULT result = E_UNEXPECTED;
    std::wstring description, page;
    DWORD context = 99;
};

HelpPage HelpOf(CStepObject* object, HRESULT hr) {
    HelpPage out;
    CComBSTR description, page;
    out.result = object->GetErrorHelpPage(hr, description.Put(), page.Put(), &out.context);
    out.description = description.IsNull() ? L"(null)" : description.c_str();
    out.page = page.IsNull() ? L"(null)" : page.c_str();
    return out;
}

std::wstring KorClass(IUnknown* object) {
    CComVariant value;
    GetTestObjectProp(object, CComBSTR(L"korclass"), value.Put(), nullptr, nullptr, nullptr);
    return value.vt == VT_BSTR ? value.bstrVal : L"";
}

TEST(ErrorHelpPage, LibraryErrorsNameTheObjectAndItsPage) {
    CTestHost host;
    auto grid = NewObject(host, L"Grid1", L"AcxTable");
    const std::wstring cls = KorClass(grid.as<ITestObject>());
    HelpPage h = HelpOf(grid.get(), KOR_E_OBJECT_NOT_UNIQUE);
    EXPECT_EQ(h.result, S_OK);
    EXPECT_EQ(h.description,
              L"The object \"[ Grid1 ]\" (of class " + cls + L") has more than one match in the application.");
    EXPECT_EQ(h.page, L"Error_Obj_Not_Unique.htm");
    EXPECT_EQ(h.context, 1u);
    EXPECT_EQ(HelpOf(grid.get(), KOR_E_ITEM_NOT_UNIQUE).description,
              L"The item of \"[ Grid1 ]\" (of class " + cls + L") has more than one match.");
    h = HelpOf(grid.get(), KOR_E_INVALID_ARGUMENTS);
    EXPECT_EQ(h.description, L"Invalid arguments were passed to \"[ Grid1 ]\".");
    EXPECT_EQ(h.page, L"Error_Invalid_Args.htm");
    h = HelpOf(grid.get(), E_FAIL);
    EXPECT_EQ(h.description, L"The test run failed.");
    EXPECT_EQ(h.page, L"Error_Test_Run_Failed.htm");
}

TEST(ErrorHelpPage, ObjectNotFoundBlamesTheUnidentifiedAncestor) {
    CTestHost host;
    auto window = NewObject(host, L"Main", L"Window");
    auto grid = NewObject(host, L"Grid1", L"AcxTable");
    const std::wstring cls = KorClass(grid.as<ITestObject>());
    HelpPage h = HelpOf(grid.get(), KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(h.description, L"Cannot identify the object \"[ Grid1 ]\" (of class " + cls + L").");
    EXPECT_EQ(h.page, L"Error_Cannot_ID.htm");
    SetParent(grid, window.as<DispTestObject>());
    h = HelpOf(grid.get(), KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(h.description, L"Cannot identify the object \"[ Main ]\" (of class " +
                                 KorClass(window.as<ITestObject>()) + L"): a parent object was not found.");
    EXPECT_EQ(h.page, L"Error_Cannot_ID.htm");
    EXPECT_EQ(h.context, 1u);
    SetParent(grid, nullptr);
}

TEST(ErrorHelpPage, OtherErrorsCarryTheirTextAndNoPage) {
    CTestHost host;
    auto grid = NewObject(host, L"Grid1", L"AcxTable");
    HelpPage h = HelpOf(grid.get(), KOR_E_OBJECT_NOT_VISIBLE);
    EXPECT_EQ(h.result, S_OK);
    EXPECT_EQ(h.description, L"The object is not visible.");
    EXPECT_EQ(h.page, L"(null)");
    EXPECT_EQ(h.context, 0u);
    BSTR text = nullptr;
    DWORD context = 0;
    EXPECT_EQ(grid->GetErrorHelpPage(E_FAIL, &text, nullptr, &context), E_POINTER);
}

}  // namespace
