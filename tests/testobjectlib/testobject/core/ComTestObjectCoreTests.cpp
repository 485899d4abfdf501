// The test object's core: built-in properties, identity and outer delegation, run-state
// readers and their caches, class options, host services, run-time values.
#include <gtest/gtest.h>
#include <string>
#include "CerulinStandIn.h"
#include "com/ComBSTR.h"
#include "description/PropertyFactory.h"
#include "errors/TestObjectError.h"
#include "TestObjects.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

// The host's rack with its "TestOptions" tree and query engine.
struct Host {
    standin::Holder<standin::CRackStandIn> rack = standin::Holder<standin::CRackStandIn>::New();
    standin::Holder<standin::CSettingsStandIn> options = standin::Holder<standin::CSettingsStandIn>::New();
    standin::Holder<standin::CQueryEngineStandIn> engine = standin::Holder<standin::CQueryEngineStandIn>::New();
    Host() {
        rack->Put(L"TestOptions", options.as<IKorSettings>());
        rack->Put(L"StdPackageQueryEngine", engine.as<IKorQuery>());
    }
    // Reads of one run-state value through the tree's item getter.
    int Reads(const wchar_t* name) const {
        const std::wstring line = std::wstring(L"get_Item(BSTR:") + name + L")";
        int n = 0;
        for (const auto& l : options->Log().Lines()) n += l == line;
        return n;
    }
};

class TestObjectCore : public ::testing::Test {
protected:
    void SetUp() override {
        dynamic::RegisterPropertyFactories();
        object.rack = host.rack.as<IObjectRack>();
    }
    Host host;
    CTestObject object;
};

DWORD FlagsOf(CTestObject& o, const wchar_t* name) {
    ULONG flags = 0;
    CComBSTR n(name);
    EXPECT_EQ(o.ITestObjectInfo_InternalGetPropFlags(n, &flags), S_OK) << name;
    return flags;
}

}  // namespace

TEST_F(TestObjectCore, StartsWithItsBuiltInPropertiesAndDefaults) {
    EXPECT_EQ(object.ConstructionResult(), S_OK);
    const std::pair<const wchar_t*, const char*> builtIns[] = {
        {L"objectid", "CProperty"},          {L"parent", "CProperty"},
        {L"korclass", "CKorClassProperty"},  {L"Class Name", "CKorClassProperty"},
        {L"TestObjName", "CKorLogicalNameProperty"}, {L"TestObjGenType", "CKorGenTypeProperty"},
        {L"visual relations", "CKorObjectRelationsProperty"}};
    EXPECT_EQ(object.m_properties.Records().size(), 7u);
    for (const auto& [name, cls] : builtIns) {
        CComBSTR n(name);
        CProperty* p = object.m_properties.Find(n);
        ASSERT_NE(p, nullptr) << name;
        EXPECT_STREQ(p->GetClassName(), cls);
    }
    EXPECT_EQ(FlagsOf(object, L"objectid"), 9u);
    EXPECT_EQ(FlagsOf(object, L"korclass"), 3u);
    EXPECT_EQ(FlagsOf(object, L"visual relations"), 0x200008u);
    EXPECT_EQ(object.m_stepRecordFormat, ::RegisterClipboardFormatW(L"FormatVovuvarShellTestObjects"));
    ULONG version = 0;
    EXPECT_EQ(object.ITestObjectInfo_get_Version(&version), S_OK);
    EXPECT_EQ(version, 60u);
    ASSERT_NE(static_cast<BSTR>(object.m_algorithm), nullptr);  // empty, not null
    EXPECT_EQ(object.m_algorithm.Length(), 0u);
    EXPECT_EQ(object.m_innerRuntimeAttributes, 1);
    EXPECT_EQ(object.m_reportEventMask, 0xEFFFFFFFu);
    EXPECT_EQ(object.IsDirty(), S_FALSE);
    // The class property reads the class name from its owner.
    CComBSTR korClass;
    EXPECT_TRUE(object.GetKorClass(korClass.Put()));
    EXPECT_STREQ(korClass.c_str(), L"TestClass");
}

TEST_F(TestObjectCore, HashGivesTheClassIdForKindsZeroAndOne) {
    // Characters at 0-based index i, blanks and tabs skipped but counted: sum of (i+1)*code*m,
    // m = 0x600937 to the power of the characters added so far.
    const DWORD f = 0x600937;
    DWORD expected = 1 * 'T' * f;
    expected += 3 * 'C' * (f * f);  // "T C": index 2
    object.Put(L"korclass", CComVariant(L"T C"));
    TestObjectHash hash{0, {}};
    EXPECT_EQ(object.ITestObject_Hash(&hash), S_OK);
    EXPECT_EQ(hash.kind, 1u);
    EXPECT_EQ(hash.id.Data1, expected);
    EXPECT_EQ(hash.id.Data2, 0);
    EXPECT_EQ(hash.id.Data4[7], 0);
    hash.kind = 2;
    EXPECT_EQ(object.ITestObject_Hash(&hash), E_FAIL);
    EXPECT_EQ(object.ITestObject_Hash(nullptr), E_POINTER);
}

TEST_F(TestObjectCore, OuterObjectTakesTheNamesAndHandsOutItsOuter) {
    TestComHolder outer = TestComHolder::New();
    EXPECT_EQ(object.ITestObject_SetOuterObject(nullptr), E_POINTER);
    CComBSTR own(L"own");
    EXPECT_EQ(object.ITestObject_SetLogicalName(own), S_OK);
    ASSERT_EQ(object.ITestObject_SetOuterObject(outer.as<ITestObject>()), S_OK);
    CComBSTR name(L"Outer name");
    EXPECT_EQ(object.ITestObject_SetLogicalName(name), S_OK);
    CComBSTR read;
    EXPECT_EQ(object.ITestObject_GetLogicalName(read.Put()), S_OK);
    EXPECT_STREQ(read.c_str(), L"Outer name");
    EXPECT_STREQ(outer->m_logicalName.c_str(), L"Outer name");
    // Without an outer of its own, the outer answers its own identity.
    CComPtr<IUnknown> top;
    EXPECT_EQ(object.ITestObject_GetOuterObject(top.Put()), S_OK);
    EXPECT_TRUE(top.IsEqualObject(outer.as<ITestObject>()));
}

TEST_F(TestObjectCore, TagNameFallsBackToTheClass) {
    CComBSTR tag;
    // No class options node: the tag query fails and "korclass" answers.
    EXPECT_EQ(object.ITestObject_GetTagName(tag.Put()), S_OK);
    EXPECT_STREQ(tag.c_str(), L"TestClass");
    // With an override, the run-time value of that property is the tag.
    object.m_tagQueryNameOverride = L"text";
    object.found = CComPtr<IUnknown>(host.rack.as<IObjectRack>());  // any run-time object
    EXPECT_EQ(object.ITestObject_GetInternalTagName(tag.Put()), E_NOINTERFACE);  // not an IRuntimeID
    EXPECT_EQ(object.ITestObject_GetTagName(nullptr), E_POINTER);
}

TEST_F(TestObjectCore, RefreshWalksUpToTheParent) {
    TestComHolder parent = TestComHolder::New();
    object.Put(L"parent", CComVariant(static_cast<IDispatch*>(nullptr)));
    EXPECT_EQ(object.RefreshObject(), E_NOINTERFACE);
    object.Put(L"parent", CComVariant(12));
    EXPECT_EQ(object.RefreshObject(), E_UNEXPECTED);
    object.Put(L"parent", CComVariant());
    EXPECT_EQ(object.RefreshObject(), S_OK);
    // A parent that is its own parent: the walk ends at the deepest level any walk allows. The
    // parent answers only through QueryInterface, which is all the walk asks of it.
    CComVariant loop;
    loop.vt = VT_DISPATCH;
    loop.pdispVal = reinterpret_cast<IDispatch*>(parent.as<ITestObject>());
    loop.pdispVal->AddRef();
    parent->Put(L"parent", loop);
    object.Put(L"parent", loop);
    EXPECT_EQ(object.RefreshObject(), S_OK);
    parent->Put(L"parent", CComVariant());
}

TEST_F(TestObjectCore, ModeReadersCacheOnlyWhatTheyCanTell) {
    host.options->Put(L"", L"AutMode", 1L);
    EXPECT_EQ(object.IsAutMode(), 1u);
    EXPECT_EQ(object.IsAutMode(), 1u);
    EXPECT_EQ(host.Reads(L"AutMode"), 1);

    // A VT_BOOL answer is read again every time and gives the marker.
    host.options->Put(L"", L"VUserMode", CComVariant(true));
    EXPECT_EQ(object.IsVUserMode(), 0xFFFFFFFFu);
    EXPECT_EQ(object.IsVUserMode(), 0xFFFFFFFFu);
    EXPECT_EQ(host.Reads(L"VUserMode"), 2);

    // A number other than 1 caches 0.
    CTestObject other;
    other.rack = host.rack.as<IObjectRack>();
    host.options->Log().Clear();
    host.options->Put(L"", L"VUserMode", 7L);
    EXPECT_EQ(other.IsVUserMode(), 0u);
    EXPECT_EQ(other.IsVUserMode(), 0u);
    EXPECT_EQ(host.Reads(L"VUserMode"), 1);
    // Without a rack the read fails with nothing read: cached as 0.
    CTestObject alone;
    EXPECT_EQ(alone.IsVUserMode(), 0u);
}

TEST_F(TestObjectCore, RunStateReadersAreReadAtEveryCall) {
    EXPECT_FALSE(object.IsOnReplay());
    EXPECT_TRUE(object.IsReplayInterrupted());
    host.options->Put(L"", L"OnReplay", 1L);  // any type: the low byte counts
    host.options->Put(L"", L"OnPause", 1L);   // only VT_BOOL counts
    EXPECT_TRUE(object.IsOnReplay());
    EXPECT_FALSE(object.IsOnPause());
    EXPECT_FALSE(object.IsReplayInterrupted());
    host.options->Put(L"", L"OnAbort", CComVariant(true));
    EXPECT_TRUE(object.IsReplayInterrupted());
    EXPECT_EQ(host.Reads(L"OnReplay"), 5);  // IsReplayInterrupted reads it too

    host.options->Put(L"", L"OnRecord", 0x100L);  // low byte zero
    EXPECT_FALSE(object.IsOnRecord());
    host.options->Put(L"", L"OnRecord", CComVariant(true));
    EXPECT_TRUE(object.IsOnRecord());
    // "VUserMode" was read once and is kept: a later change is not seen.
    host.options->Put(L"", L"VUserMode", 1L);
    EXPECT_TRUE(object.IsOnRecord());
    CTestObject virtualUser;
    virtualUser.rack = host.rack.as<IObjectRack>();
    EXPECT_FALSE(virtualUser.IsOnRecord());

    host.options->Put(L"", L"OnMonitor", 1L);
    EXPECT_FALSE(object.IsOnMonitor());
    host.options->Put(L"", L"OnMonitor", CComVariant(true));
    EXPECT_TRUE(object.IsOnMonitor());

    host.options->Put(L"", L"DisableReplayUsingAlgorithm", CComVariant(true));
    EXPECT_FALSE(object.IsReplayAlgorithmDisabled());
    host.options->Put(L"", L"DisableReplayUsingAlgorithm", 2L);
    EXPECT_TRUE(object.IsReplayAlgorithmDisabled());
    object.m_algorithm = L"Quorvel.TolerantPriority";
    CComBSTR algorithm;
    EXPECT_EQ(object.ITestObject3_get_Algorithm(algorithm.Put()), S_OK);
    EXPECT_STREQ(algorithm.c_str(), L"");
    EXPECT_EQ(object.ITestObject5_get__Algorithm(algorithm.Put()), S_OK);
    EXPECT_STREQ(algorithm.c_str(), L"Quorvel.TolerantPriority");
}

TEST_F(TestObjectCore, OptionReaders) {
    long timeout = 0;
    EXPECT_EQ(object.GetDefaultTimeout(&timeout), E_FAIL);
    host.options->Put(L"", L"DefaultTimeout", L"2500");
    EXPECT_EQ(object.GetDefaultTimeout(&timeout), S_OK);
    EXPECT_EQ(timeout, 2500);
    host.options->Put(L"", L"DefaultTimeout", L"soon");
    EXPECT_EQ(object.GetDefaultTimeout(&timeout), E_FAIL);

    long flags = -1;
    EXPECT_EQ(CComTestObject::GetUpdateModeFlags(nullptr, &flags, false), E_POINTER);
    EXPECT_EQ(flags, 0);
    host.options->Put(L"", L"UpdateModeFlags", L"6");
    host.options->Put(L"", L"UpdateModeFlagsPersist", 2L);
    EXPECT_EQ(CComTestObject::GetUpdateModeFlags(host.rack.as<IObjectRack>(), &flags, false), S_OK);
    EXPECT_EQ(flags, 6);
    EXPECT_EQ(CComTestObject::GetUpdateModeFlags(host.rack.as<IObjectRack>(), &flags, true), S_OK);
    EXPECT_EQ(flags, 2);
    host.options->Put(L"", L"UpdateModeFlags", L"x");
    EXPECT_EQ(CComTestObject::GetUpdateModeFlags(host.rack.as<IObjectRack>(), &flags, false), E_FAIL);
}

TEST_F(TestObjectCore, ClassOptionsAreFetchedOnceAndGiveTheGenType) {
    CComPtr<IKorSettings> node;
    EXPECT_EQ(object.GetClassOptions(node.Put()), E_FAIL);  // no "Test Objects" yet
    host.options->Put(L"Test Objects\\TestClass", L"GenTypeId", L"button");
    host.options->Put(L"SummaryData\\GenTypes\\button", L"GenTypeName", L"Push button");
    EXPECT_EQ(object.GetClassOptions(node.Put()), S_OK);
    ASSERT_TRUE(node);
    host.options->Log().Clear();
    EXPECT_EQ(object.GetClassOptions(node.Put()), S_OK);
    EXPECT_EQ(host.Reads(L"Test Objects"), 0);

    CComBSTR genType;
    EXPECT_EQ(object.GetGenTypeName(genType.Put()), S_OK);
    EXPECT_STREQ(genType.c_str(), L"Push button");
    // The class's own summary wins over the generic type's.
    host.options->Put(L"SummaryData\\Objects\\TestClass", L"GenTypeName", L"Test button");
    EXPECT_EQ(object.GetGenTypeName(genType.Put()), S_OK);
    EXPECT_STREQ(genType.c_str(), L"Test button");
}

TEST_F(TestObjectCore, ObjectRectNeedsFourNumbers) {
    object.found = nullptr;
    host.engine->PutValue(L"abs_x", CComVariant(10));
    host.engine->PutValue(L"abs_y", CComVariant(20));
    host.engine->PutValue(L"width", CComVariant(30));
    host.engine->PutValue(L"height", CComVariant(40));
    RECT rect{};
    EXPECT_EQ(object.GetObjectRect(&rect), S_OK);
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.top, 20);
    EXPECT_EQ(rect.right, 40);
    EXPECT_EQ(rect.bottom, 60);
    host.engine->PutValue(L"height", CComVariant(L"40"));
    EXPECT_EQ(object.GetObjectRect(&rect), E_FAIL);
}

TEST_F(TestObjectCore, QueryValueCachesOnlyWhileLearning) {
    host.engine->PutValue(L"text", CComVariant(L"OK"));
    object.found = CComPtr<IUnknown>(host.engine.as<IKorQuery>());  // stands for a run-time object
    CComVariant value;
    CComBSTR name(L"text");
    EXPECT_EQ(object.DispTestObject_QueryValue(name, nullptr, value.Put()), E_NOINTERFACE);  // not an identifier
    object.found = nullptr;
    EXPECT_EQ(object.DispTestObject_QueryValue(name, nullptr, value.Put()), E_FAIL);  // found nothing
    object.findResult = KOR_E_OBJECT_NOT_FOUND;
    EXPECT_EQ(object.DispTestObject_QueryValue(name, nullptr, value.Put()), KOR_E_OBJECT_NOT_FOUND);
    CComBSTR blank(L" \t");
    EXPECT_EQ(object.DispTestObject_QueryValue(blank, nullptr, value.Put()), E_INVALIDARG);
    EXPECT_EQ(object.DispTestObject_QueryValue(name, nullptr, nullptr), E_POINTER);

    // A cached value answers without identifying the object again.
    CerulinStandIn_SetInLearn(TRUE);
    object.m_valueCache[name] = CComVariant(L"cached");
    object.finds = 0;
    EXPECT_EQ(object.DispTestObject_QueryValue(name, nullptr, value.Put()), S_OK);
    EXPECT_STREQ(value.bstrVal, L"cached");
    EXPECT_EQ(object.finds, 0);
    CerulinStandIn_SetInLearn(FALSE);
    EXPECT_EQ(object.DispTestObject_QueryValue(name, nullptr, value.Put()), KOR_E_OBJECT_NOT_FOUND);
}

TEST_F(TestObjectCore, InitDropsTheFoundObject) {
    object.Put(L"objectid", CComVariant(static_cast<IUnknown*>(host.rack.as<IObjectRack>())), 9);
    object.m_foundDirectly = 1;
    object.m_updateDescriptionFlag = 1;
    EXPECT_EQ(object.DispTestObject_Init(), S_OK);
    EXPECT_EQ(object.Get(L"objectid").vt, VT_EMPTY);
    EXPECT_EQ(object.m_foundDirectly, 0);
    EXPECT_EQ(object.m_updateDescriptionFlag, 0);

    CComVariant value;
    CComBSTR name(L"objectid");
    EXPECT_EQ(object.DispTestObject_GetProperty(name, nullptr, nullptr, nullptr, nullptr), E_POINTER);
    CComBSTR blank(L"");
    EXPECT_EQ(object.DispTestObject_GetProperty(blank, nullptr, nullptr, nullptr, value.Put()), E_INVALIDARG);
    long flags = 0;
    EXPECT_EQ(object.DispTestObject_GetProperty(name, &flags, nullptr, nullptr, value.Put()), S_OK);
    EXPECT_EQ(flags, 9);
}

TEST_F(TestObjectCore, ReplayEngineGoesIntoTheRackOnlyWhenMade) {
    static const IID iid = __uuidof(IKorDeviceReplay);
    static const ReplayEngineEntry table[] = {{L"DeviceReplayEngine", L"Quorvel.NoSuchEngine", &iid},
                                              {L"Nameless", nullptr, &iid},
                                              {nullptr, nullptr, nullptr}};
    CComPtr<IUnknown> engine;
    EXPECT_EQ(object.GetReplayEngine(L"DeviceReplayEngine", engine.Put()), E_FAIL);  // no table
    object.engineTable = table;
    EXPECT_EQ(object.GetReplayEngine(L"Nameless", engine.Put()), E_FAIL);
    EXPECT_EQ(object.GetReplayEngine(L"Other", engine.Put()), E_FAIL);
    EXPECT_TRUE(FAILED(object.GetReplayEngine(L"DeviceReplayEngine", engine.Put())));
    EXPECT_FALSE(host.rack->Has(L"DeviceReplayEngine"));
    EXPECT_EQ(host.rack->Log().Count(L"SetObject"), 0);
}

TEST_F(TestObjectCore, HostServicesPassTheRacksAnswer) {
    CComPtr<IUnknown> manager;
    CTestObject alone;
    EXPECT_EQ(alone.GetObjectManager(manager.Put()), E_FAIL);
    EXPECT_TRUE(FAILED(object.GetObjectManager(manager.Put())));
    EXPECT_FALSE(manager);
    CComPtr<IKorExceptionMgr> exceptions;
    EXPECT_EQ(object.GetExceptionMgr(exceptions.Put()), E_FAIL);
    CComPtr<IKorMaintenanceHistory> history;
    EXPECT_EQ(object.GetActiveMaintenanceHistory(history.Put()), S_OK);  // not registered: none
    EXPECT_FALSE(history);
    CComPtr<IUnknown> skeleton;
    EXPECT_EQ(object.GetReplaySkeleton(skeleton.Put()), E_FAIL);
    TestComHolder inner = TestComHolder::New();
    object.m_inner = inner.as<ITestObject>();
    EXPECT_EQ(object.GetReplaySkeleton(skeleton.Put()), S_OK);
    EXPECT_TRUE(skeleton.IsEqualObject(inner.as<ITestObject>()));
}

TEST(ReportEventInfo, StartsAndResetsAsAGeneralEvent) {
    CReportEventInfo event;
    ASSERT_NE(event.Dictionary(), nullptr);
    EXPECT_STREQ(event.Type(), L"General");
    CComVariant v;
    EXPECT_EQ(event.GetItem(L"ViewType", v.Put()), S_OK);
    EXPECT_STREQ(v.bstrVal, L"Pyrrel.Explorer.2");
    EXPECT_EQ(event.GetItem(L"Status", v.Put()), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 1);

    EXPECT_EQ(event.Set(L"Replay", L"Node", nullptr, nullptr, 3, nullptr, L"<b>"), S_OK);
    EXPECT_STREQ(event.Type(), L"Replay");
    EXPECT_EQ(event.GetItem(L"StepInfo", v.Put()), S_OK);  // set even when null
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(::SysStringLen(v.bstrVal), 0u);
    EXPECT_FALSE(event.HasItem(L"NodeType"));
    EXPECT_EQ(event.GetItem(L"NodeType", v.Put()), S_FALSE);
    EXPECT_FALSE(event.HasItem(L"NodeType"));  // a read does not add the key
    EXPECT_EQ(event.GetItem(L"Status", v.Put()), S_OK);
    EXPECT_EQ(v.lVal, 3);

    event.m_eventId = 7;
    EXPECT_EQ(event.Reset(), S_OK);
    EXPECT_STREQ(event.Type(), L"General");
    EXPECT_EQ(event.m_eventId, 0u);
    EXPECT_FALSE(event.HasItem(L"NodeName"));
    EXPECT_EQ(event.GetItem(L"Status", v.Put()), S_OK);
    EXPECT_EQ(v.lVal, 1);
}
