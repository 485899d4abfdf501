// The standard factory base: its site, test objects for runtime identifiers with their rack and
// parent, the object cache, the package services and the chain walk.
#include "FactoryFixture.h"
#include "com/ComSafeArray.h"
#include "tables/KorSafeArray.h"

using kcom::CComPtr;
using kcom::CComVariant;
using standin::CTestObjectStandIn;
using standin::Holder;

namespace {

LONG RefCount(IUnknown* object) {
    object->AddRef();
    return static_cast<LONG>(object->Release());
}

long HwndOf(IUnknown* object) {
    CComVariant id = standin::CTestObjectStandIn::Of(object)->Peek(L"objectid");
    long window = 0;
    if (id.vt == VT_UNKNOWN) CRuntimeId(id).GetLong(L"hwnd", &window);
    return window;
}

}  // namespace

class StdFactory : public FactoryFixture {};

TEST_F(StdFactory, TheSiteIsHeldOnlyWhenAskedAndReplacedCleanly) {
    IUnknown* site = site_.as<ITestObjFactorySite>();
    const LONG owned = RefCount(site);  // the factory of SetUp holds both of the site's interfaces
    factory_ = {};
    const LONG alone = RefCount(site);
    EXPECT_EQ(owned - 2, alone);

    auto unowned = Holder<CTestFactory>::New();
    EXPECT_EQ(S_OK, unowned->SetFactorySite(site_.as<ITestObjFactorySite>(), 0));
    EXPECT_EQ(alone, RefCount(site));
    // A site set again replaces the first; an owned one is let go with it.
    EXPECT_EQ(S_OK, unowned->SetFactorySite(site_.as<ITestObjFactorySite>(), 1));
    EXPECT_EQ(owned, RefCount(site));
    auto other = Holder<standin::CFactorySiteStandIn>::New();
    EXPECT_EQ(S_OK, unowned->SetFactorySite(other.as<ITestObjFactorySite>(), 0));
    EXPECT_EQ(alone, RefCount(site));

    EXPECT_EQ(E_POINTER, unowned->SetFactorySite(nullptr, 1));
    other->SetHandsOver(false);
    EXPECT_EQ(E_NOINTERFACE, unowned->SetFactorySite(other.as<ITestObjFactorySite>(), 1));
}

TEST_F(StdFactory, ATestObjectGetsItsIdentifierRackAndParent) {
    CRuntimeId id = WindowId(reinterpret_cast<HWND>(0x1234));
    CComPtr<IDispatch> object;
    ASSERT_EQ(S_OK, factory_->CreateTestObjFromRuntimeId(id, object.Put()));
    CTestObjectStandIn* made = Of(object);
    const CComVariant objectId = made->Peek(L"objectid");
    ASSERT_EQ(VT_UNKNOWN, objectId.vt);
    EXPECT_EQ(S_OK, CRuntimeId(objectId)->IsEqual(id));
    // The rack goes over before the parent is looked for and once more after.
    EXPECT_EQ(2, made->Log().Count(L"SetRack"));
    EXPECT_EQ(L"CreateTestObj(object)", site_->Log().Joined());
    const CComVariant parent = made->Peek(L"parent");
    ASSERT_EQ(VT_DISPATCH, parent.vt);
    EXPECT_EQ(parent_.as<IDispatch>(), parent.pdispVal);
    EXPECT_EQ(1, made->Log().Count(L"SetParent"));
    EXPECT_EQ(1, parent_->Log().Count(L"AddChild"));
    EXPECT_EQ(0, made->Log().Count(L"put_Cookie"));  // not recording: nothing cached
}

TEST_F(StdFactory, CreationFailuresReleaseTheObject) {
    CComPtr<IDispatch> object;
    CRuntimeId id = WindowId(reinterpret_cast<HWND>(0x1234));
    EXPECT_EQ(E_POINTER, factory_->CreateTestObjFromRuntimeId(id, nullptr));
    EXPECT_EQ(E_POINTER, factory_->CreateTestObjFromRuntimeId(nullptr, object.Put()));
    CRuntimeId foreign = WindowId(reinterpret_cast<HWND>(0x1234), ::RegisterClipboardFormatW(L"SomeOtherFormat"));
    EXPECT_EQ(S_FALSE, factory_->CreateTestObjFromRuntimeId(foreign, object.Put()));

    factory_->classIds = S_FALSE;
    EXPECT_EQ(S_FALSE, factory_->CreateTestObjFromRuntimeId(id, object.Put()));
    factory_->classIds = S_OK;
    factory_->primary = GUID_NULL;
    EXPECT_EQ(E_FAIL, factory_->CreateTestObjFromRuntimeId(id, object.Put()));
    factory_->primary = kMissingClsid;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, factory_->CreateTestObjFromRuntimeId(id, object.Put()));
    EXPECT_EQ(0, Created());
    // The fallback class stands in for a primary one that cannot be made.
    factory_->fallback = kTestObjectClsid;
    EXPECT_EQ(S_OK, factory_->CreateTestObjFromRuntimeId(id, object.Put()));
    EXPECT_TRUE(object);

    // A site without a parent, or no site at all, leaves the object without one: a failure.
    site_->SetParent(nullptr, S_FALSE);
    EXPECT_EQ(E_FAIL, factory_->CreateTestObjFromRuntimeId(id, object.Put()));
    EXPECT_FALSE(object);
    auto siteless = Holder<CTestFactory>::New();
    siteless->SetRack(rack_.as<IObjectRack>());
    EXPECT_EQ(E_FAIL, siteless->CreateTestObjFromRuntimeId(id, object.Put()));
    // Without a rack nothing is made either.
    auto rackless = Holder<CTestFactory>::New();
    rackless->SetFactorySite(site_.as<ITestObjFactorySite>(), 1);
    EXPECT_EQ(E_FAIL, rackless->CreateTestObjFromRuntimeId(id, object.Put()));
    EXPECT_EQ(4, Created());
}

TEST_F(StdFactory, AParentAlreadySetIsKeptAndLinksFollowTheChain) {
    CComPtr<IDispatch> object;
    auto given = Holder<CTestObjectStandIn>::New();
    object = given.as<IDispatch>();
    given->Put(L"parent", CComVariant(parent_.as<IDispatch>()));
    CRuntimeId id;
    EXPECT_EQ(S_OK, factory_->InitObject(id, object));
    EXPECT_EQ(0, site_->Log().Count(L"CreateTestObj"));
    EXPECT_EQ(E_POINTER, factory_->InitObject(id, nullptr));

    // The object answers no parent link itself: the next object of its chain does. The parent's
    // child link sits two links away.
    auto child = Holder<CTestObjectStandIn>::New();
    auto childOuter = Holder<CTestObjectStandIn>::New();
    child->Refuse(__uuidof(IKorParentLink));
    child->SetNext(childOuter.as<IDispatch>());
    auto mid = Holder<CTestObjectStandIn>::New();
    auto distant = Holder<CTestObjectStandIn>::New();
    parent_->Refuse(__uuidof(IKorChildLink));
    mid->Refuse(__uuidof(IKorChildLink));
    parent_->SetNext(mid.as<IDispatch>());
    mid->SetNext(distant.as<IDispatch>());
    EXPECT_EQ(S_OK, factory_->InitObject(id, child.as<IDispatch>()));
    EXPECT_EQ(1, childOuter->Log().Count(L"SetParent"));
    EXPECT_EQ(1, distant->Log().Count(L"AddChild"));

    // A refused parent link leaves the parent's side alone.
    auto refused = Holder<CTestObjectStandIn>::New();
    refused->SetParentLinkResult(E_ACCESSDENIED);
    EXPECT_EQ(S_OK, factory_->InitObject(id, refused.as<IDispatch>()));
    EXPECT_EQ(1, distant->Log().Count(L"AddChild"));
    // A parent that cannot be stored is a failure.
    auto readOnly = Holder<CTestObjectStandIn>::New();
    readOnly->SetPutResult(E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, factory_->InitObject(id, readOnly.as<IDispatch>()));
}

TEST_F(StdFactory, TheChainWalkEndsOnACycle) {
    auto a = Holder<CTestObjectStandIn>::New();
    auto b = Holder<CTestObjectStandIn>::New();
    for (auto* o : {a.get(), b.get()}) o->Refuse(__uuidof(IKorChildLink));
    a->SetNext(b.as<IDispatch>());
    b->SetNext(a.as<IDispatch>());
    CComPtr<IUnknown> found;
    EXPECT_EQ(S_OK, factory_->FindInChainA(a.as<IDispatch>(), found.Put()));
    EXPECT_FALSE(found);
    EXPECT_GT(b->Log().Count(L"GetNext"), 0);
    EXPECT_LE(b->Log().Count(L"GetNext"), 64);
    EXPECT_EQ(E_POINTER, factory_->FindInChainB(a.as<IDispatch>(), nullptr));
    EXPECT_EQ(S_OK, factory_->FindInChainB(nullptr, found.Put()));
    b->SetNext(nullptr);
    a->SetNext(nullptr);  // breaks the cycle of references
}

TEST_F(StdFactory, RunStateReadsTheLowByteOfTheSettingsValue) {
    EXPECT_FALSE(factory_->IsRecording());
    settings_->Put(L"", L"OnRecord", 256L);
    EXPECT_FALSE(factory_->IsRecording());
    settings_->Put(L"", L"OnRecord", CComVariant(true));
    EXPECT_TRUE(factory_->IsRecording());
    settings_->Put(L"", L"OnReplay", 0x101L);
    EXPECT_TRUE(factory_->IsReplaying());
    OrlentyStandIn_Reset();
    auto bare = Holder<CTestFactory>::New();
    EXPECT_FALSE(bare->IsRecording());
}

// ---- the cache, on real windows ----

TEST_F(StdFactory, RecordingCachesObjectsOfVisibleWindowsOnly) {
    StartAut(kScenario);
    Recording(true);
    CComPtr<IDispatch> first = Create(W(L"alpha"));
    CComPtr<IDispatch> again = Create(W(L"alpha"));
    EXPECT_EQ(first, again);
    EXPECT_EQ(1, Created());
    // Handed out again with the object-manager cookie reset.
    EXPECT_EQ(L"put_Cookie(0)", Of(again)->Log().Lines().back());
    EXPECT_EQ(0u, Of(again)->Cookie());

    CComPtr<IDispatch> hidden = Create(W(L"hidden"));
    EXPECT_NE(hidden, Create(W(L"hidden")));
    EXPECT_EQ(3, Created());

    // Not recording: the cached object is still handed out, new ones are not kept.
    Recording(false);
    EXPECT_EQ(first, Create(W(L"alpha")));
    EXPECT_NE(Create(W(L"button")), Create(W(L"button")));
}

TEST_F(StdFactory, CacheRulesForItsOwnOperations) {
    StartAut(kScenario);
    CRuntimeId alpha = WindowId(W(L"alpha"));
    auto object = Holder<CTestObjectStandIn>::New();
    CComPtr<IDispatch> out;
    // Neither recording nor replaying: nothing is kept.
    EXPECT_EQ(E_FAIL, factory_->CachePut(alpha, object.as<IDispatch>()));
    Replaying(true);
    EXPECT_EQ(S_OK, factory_->CachePut(alpha, object.as<IDispatch>()));
    EXPECT_EQ(S_OK, factory_->CacheGet(alpha, out.Put()));
    EXPECT_EQ(E_FAIL, factory_->CachePut(alpha, nullptr));
    CRuntimeId zero = WindowId(nullptr);
    EXPECT_EQ(E_FAIL, factory_->CachePut(zero, object.as<IDispatch>()));
    CRuntimeId foreign = WindowId(W(L"alpha"), ::RegisterClipboardFormatW(L"SomeOtherFormat"));
    EXPECT_EQ(E_FAIL, factory_->CacheGet(foreign, out.Put()));

    // An object without the object-manager interface, or whose cookie cannot be set, is not handed out.
    object->SetCookieResult(E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, factory_->CacheGet(alpha, out.Put()));
    EXPECT_FALSE(out);
    auto plain = Holder<CTestObjectStandIn>::New();
    plain->Refuse(__uuidof(IObjectManagerClient));
    EXPECT_EQ(S_OK, factory_->CachePut(alpha, plain.as<IDispatch>()));
    EXPECT_EQ(E_NOINTERFACE, factory_->CacheGet(alpha, out.Put()));
    const LONG held = RefCount(plain.as<IDispatch>());

    EXPECT_EQ(S_OK, factory_->CacheRemove(alpha));
    EXPECT_EQ(held - 1, RefCount(plain.as<IDispatch>()));
    EXPECT_EQ(S_FALSE, factory_->CacheRemove(alpha));
    EXPECT_EQ(E_FAIL, factory_->CacheGet(alpha, out.Put()));
    EXPECT_EQ(S_OK, factory_->CacheClear());

    auto uncached = Holder<CUncachedTestFactory>::New();
    EXPECT_EQ(E_FAIL, uncached->CachePut(alpha, object.as<IDispatch>()));
    EXPECT_EQ(E_FAIL, uncached->CacheClear());
}

// ---- package services ----

TEST_F(StdFactory, TableRowsWithoutAnObjectGetOne) {
    CKorSafeArray rows(3, 2, VT_VARIANT);
    CRuntimeId a = WindowId(reinterpret_cast<HWND>(0x10)), b = WindowId(reinterpret_cast<HWND>(0x20));
    CComVariant idA(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(a)));
    CComVariant idB(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(b)));
    CComVariant taken(L"taken"), text(L"no identifier");
    rows.PutElement(&idA, 0, 0);
    rows.PutElement(&idB, 1, 0);
    rows.PutElement(&taken, 1, 1);
    rows.PutElement(&text, 2, 0);
    EXPECT_EQ(S_OK, factory_->CreateTestObjsForTable(&rows.psa));
    CComVariant cell;
    rows.GetElement(cell.Put(), 0, 1);
    ASSERT_EQ(VT_DISPATCH, cell.vt);
    EXPECT_EQ(0x10, HwndOf(cell.pdispVal));
    rows.GetElement(cell.Put(), 1, 1);
    EXPECT_EQ(VT_BSTR, cell.vt);
    rows.GetElement(cell.Put(), 2, 1);
    EXPECT_EQ(VT_EMPTY, cell.vt);
    EXPECT_EQ(1, Created());

    EXPECT_EQ(E_POINTER, factory_->CreateTestObjsForTable(nullptr));
    SAFEARRAY* none = nullptr;
    EXPECT_EQ(E_POINTER, factory_->CreateTestObjsForTable(&none));
    kcom::CComSafeArray flat(::SafeArrayCreateVector(VT_VARIANT, 0, 2));
    SAFEARRAY* vector = flat.get();
    EXPECT_EQ(E_INVALIDARG, factory_->CreateTestObjsForTable(&vector));
}

TEST_F(StdFactory, TheClassServiceNamesTheClassOfAnIdentifier) {
    GUID service = CStdFactoryBase::kClassNameService, other = IID_IUnknown;
    CRuntimeId id = WindowId(reinterpret_cast<HWND>(0x10));
    CComVariant in(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(id))), out;
    EXPECT_EQ(E_POINTER, factory_->QueryClassService(nullptr, 3, &in, &out));
    EXPECT_EQ(E_POINTER, factory_->QueryClassService(&service, 3, &in, nullptr));
    EXPECT_EQ(S_FALSE, factory_->QueryClassService(&other, 3, &in, &out));
    EXPECT_EQ(S_FALSE, factory_->QueryClassService(&service, 4, &in, &out));
    EXPECT_EQ(VT_EMPTY, out.vt);
    ASSERT_EQ(S_OK, factory_->QueryClassService(&service, 3, &in, &out));
    ASSERT_EQ(VT_BSTR, out.vt);
    EXPECT_STREQ(L"TestClass", out.bstrVal);
    // A name already there is kept; an input that is no identifier fails.
    CComVariant known(L"Known"), number(5L);
    EXPECT_EQ(S_OK, factory_->QueryClassService(&service, 3, &number, &known));
    EXPECT_STREQ(L"Known", known.bstrVal);
    EXPECT_EQ(E_FAIL, factory_->QueryClassService(&service, 3, &number, out.Put()));
    // The class's own answer passes through.
    CRuntimeId bare(factory_->WindowFormat());
    CComVariant bareIn(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(bare)));
    EXPECT_EQ(S_FALSE, factory_->QueryClassService(&service, 3, &bareIn, out.Put()));
}

TEST_F(StdFactory, RunTimeValuesOfOwnObjectsComeFromTheQueryEngine) {
    auto component = Holder<standin::CRuntimeValuesStandIn>::New();
    component->SetNames({L"width", L"text"});
    standin::CObjectRegistration registration(CStdFactoryBase::kRuntimeValuesClsid, component.as<IKorRuntimeValues>());
    engine_->PutValue(L"width", CComVariant(42L));
    engine_->PutValue(L"text", CComVariant(L"hello"));

    auto own = Holder<CTestObjectStandIn>::New(), foreign = Holder<CTestObjectStandIn>::New();
    auto noId = Holder<CTestObjectStandIn>::New();
    CRuntimeId id = WindowId(reinterpret_cast<HWND>(0x10));
    own->Put(L"korclass", CComVariant(L"TestClass"));
    own->Put(L"objectid", CComVariant(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(id))));
    noId->Put(L"korclass", CComVariant(L"TestClass"));
    foreign->Put(L"korclass", CComVariant(L"Other"));
    CKorSafeArray objects(3, 1, VT_VARIANT);
    CComVariant a(own.as<IDispatch>()), b(foreign.as<IDispatch>()), c(noId.as<IDispatch>());
    objects.PutElement(&a, 0, 0);
    objects.PutElement(&b, 1, 0);
    objects.PutElement(&c, 2, 0);

    ASSERT_EQ(S_OK, factory_->FillRuntimeValuesForObjects(0, objects.psa, 7));
    EXPECT_EQ(L"BuildTable(2,7)\nTakeTable()", component->Log().Joined());
    CKorSafeArray taken;
    taken.Attach(component->Taken(), false);
    CComVariant cell;
    taken.GetElement(cell.Put(), 1, 2);
    EXPECT_EQ(42L, cell.lVal);
    taken.GetElement(cell.Put(), 1, 3);
    ASSERT_EQ(VT_BSTR, cell.vt);
    EXPECT_STREQ(L"hello", cell.bstrVal);
    taken.GetElement(cell.Put(), 2, 2);  // the object without an identifier is left alone
    EXPECT_EQ(VT_EMPTY, cell.vt);

    // No object of this factory's classes: the component is not asked.
    CKorSafeArray others(1, 1, VT_VARIANT);
    others.PutElement(&b, 0, 0);
    EXPECT_EQ(S_OK, factory_->FillRuntimeValuesForObjects(0, others.psa, 7));
    EXPECT_EQ(1, component->Log().Count(L"BuildTable"));
    EXPECT_EQ(E_POINTER, factory_->FillRuntimeValuesForObjects(0, nullptr, 7));

    CKorSafeArray small(1, 3, VT_VARIANT);
    EXPECT_EQ(E_INVALIDARG, factory_->FillRuntimeValues(0, small.psa, 0));
}

TEST_F(StdFactory, TheArrayAtAPointListsTheObjectAndItsParents) {
    SAFEARRAY* out = nullptr;
    EXPECT_EQ(E_FAIL, factory_->FillArrayFromPoint(1, 2, &out));
    EXPECT_EQ(E_POINTER, factory_->FillArrayFromPoint(1, 2, nullptr));

    auto child = Holder<CTestObjectStandIn>::New(), grand = Holder<CTestObjectStandIn>::New();
    child->Put(L"parent", CComVariant(parent_.as<IDispatch>()));
    parent_->Put(L"parent", CComVariant(static_cast<IUnknown*>(grand.as<IDispatch>())));
    factory_->pointObject = child.as<IDispatch>();
    ASSERT_EQ(S_OK, factory_->FillArrayFromPoint(1, 2, &out));
    CKorSafeArray list;
    list.Attach(out, true);
    EXPECT_EQ(3u, list.GetRowCount());
    CComVariant cell;
    list.GetElement(cell.Put(), 2, 0);
    EXPECT_EQ(VT_UNKNOWN, cell.vt);

    // Parents that point back at each other end at the cap.
    grand->Put(L"parent", CComVariant(child.as<IDispatch>()));
    ASSERT_EQ(S_OK, factory_->FillArrayFromPoint(1, 2, &out));
    CKorSafeArray capped;
    capped.Attach(out, true);
    EXPECT_EQ(256u, capped.GetRowCount());
    grand->Put(L"parent", CComVariant());
    parent_->Put(L"parent", CComVariant());
}
