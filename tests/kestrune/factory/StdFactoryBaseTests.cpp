// The standard factory base: its site, test objects for runtime identifiers with their rack and
// parent, the object cache, the package services and the chain walk.
#include "FactoryFixture.h"
#include "tables/KorSafeArray.h"

using kcom::CComPtr;
using kcom::CComVariant;

namespace {
LONG RefCount(IUnknown* object) {
    object->AddRef();
    return static_cast<LONG>(object->Release());
}
const HWND kSomeWindow = reinterpret_cast<HWND>(0x1234);
}  // namespace

class StdFactory : public FactoryFixture {};

TEST_F(StdFactory, TheSiteIsHeldOnlyWhenAskedAndReplacedCleanly) {
    IUnknown* site = site_.as<ITestObjFactorySite>();
    const LONG owned = RefCount(site);  // both of the site's interfaces are held
    factory_ = {};
    const LONG alone = RefCount(site);
    EXPECT_EQ(owned - 2, alone);
    auto factory = New<CTestFactory>(false);
    EXPECT_EQ(S_OK, factory->SetFactorySite(site_.as<ITestObjFactorySite>(), 0));
    EXPECT_EQ(alone, RefCount(site));
    EXPECT_EQ(S_OK, factory->SetFactorySite(site_.as<ITestObjFactorySite>(), 1));
    EXPECT_EQ(owned, RefCount(site));
    auto other = standin::Holder<standin::CFactorySiteStandIn>::New();
    other->SetHandsOver(false);
    EXPECT_EQ(E_NOINTERFACE, factory->SetFactorySite(other.as<ITestObjFactorySite>(), 1));
    EXPECT_EQ(alone, RefCount(site));
    EXPECT_EQ(E_POINTER, factory->SetFactorySite(nullptr, 1));
}

TEST_F(StdFactory, ATestObjectGetsItsIdentifierRackAndParent) {
    CRuntimeId id = WindowId(kSomeWindow);
    CComPtr<IDispatch> object;
    ASSERT_EQ(S_OK, factory_->CreateTestObjFromRuntimeId(id, object.Put()));
    EXPECT_EQ(S_OK, CRuntimeId(Of(object)->Peek(L"objectid"))->IsEqual(id));
    EXPECT_EQ(2, Of(object)->Log().Count(L"SetRack"));  // before and after its parent is set
    const CComVariant parent = Of(object)->Peek(L"parent");
    EXPECT_EQ(VT_DISPATCH, parent.vt);
    EXPECT_EQ(parent_.as<IDispatch>(), parent.pdispVal);
    EXPECT_EQ(1, Of(object)->Log().Count(L"SetParent"));
    EXPECT_EQ(1, parent_->Log().Count(L"AddChild"));

    EXPECT_EQ(E_POINTER, factory_->CreateTestObjFromRuntimeId(id, nullptr));
    EXPECT_EQ(E_POINTER, factory_->CreateTestObjFromRuntimeId(nullptr, object.Put()));
    CRuntimeId foreign = WindowId(kSomeWindow, ::RegisterClipboardFormatW(L"SomeOtherFormat"));
    EXPECT_EQ(S_FALSE, factory_->CreateTestObjFromRuntimeId(foreign, object.Put()));
}

TEST_F(StdFactory, CreationFallsBackOrFailsWithoutAnObjectLeftBehind) {
    factory_->classIds = S_FALSE;
    Create(kSomeWindow, S_FALSE);
    factory_->classIds = S_OK;
    factory_->primary = GUID_NULL;
    Create(kSomeWindow, E_FAIL);
    factory_->primary = {0x5D2E4A62, 0x7C3B, 0x4E19, {0x9A, 0x0F, 0x31, 0x6B, 0x84, 0xD2, 0x57, 0xC1}};
    Create(kSomeWindow, REGDB_E_CLASSNOTREG);
    factory_->fallback = kTestObjectClsid;
    EXPECT_TRUE(Create(kSomeWindow));
    // No parent from the site, no site, no rack: the object is made and let go again.
    site_->SetParent(nullptr, S_FALSE);
    EXPECT_FALSE(Create(kSomeWindow, E_FAIL));
    factory_ = New<CTestFactory>(false);
    Create(kSomeWindow, E_FAIL);
    factory_ = standin::Holder<CTestFactory>::New();
    factory_->SetFactorySite(site_.as<ITestObjFactorySite>(), 1);
    Create(kSomeWindow, E_FAIL);
    EXPECT_EQ(4, Created());
}

TEST_F(StdFactory, ParentLinksAreFoundAlongTheChain) {
    CRuntimeId id;
    auto given = TestObject::New();
    given->Put(L"parent", CComVariant(parent_.as<IDispatch>()));
    EXPECT_EQ(S_OK, factory_->InitObject(id, given.as<IDispatch>()));
    EXPECT_EQ(0, site_->Log().Count(L"CreateTestObj"));  // a parent already set is kept
    EXPECT_EQ(E_POINTER, factory_->InitObject(id, nullptr));

    // Neither the child nor the parent answers its link: the objects further along do.
    auto child = TestObject::New(), childOuter = TestObject::New(), mid = TestObject::New(), end = TestObject::New();
    child->Refuse(__uuidof(IKorParentLink));
    child->SetNext(childOuter.as<IDispatch>());
    parent_->Refuse(__uuidof(IKorChildLink));
    mid->Refuse(__uuidof(IKorChildLink));
    parent_->SetNext(mid.as<IDispatch>());
    mid->SetNext(end.as<IDispatch>());
    EXPECT_EQ(S_OK, factory_->InitObject(id, child.as<IDispatch>()));
    EXPECT_EQ(1, childOuter->Log().Count(L"SetParent"));
    EXPECT_EQ(1, end->Log().Count(L"AddChild"));
    // A refused parent link leaves the parent's side alone; a parent that cannot be stored fails.
    auto refusing = TestObject::New(), readOnly = TestObject::New();
    refusing->SetParentLinkResult(E_ACCESSDENIED);
    EXPECT_EQ(S_OK, factory_->InitObject(id, refusing.as<IDispatch>()));
    EXPECT_EQ(1, end->Log().Count(L"AddChild"));
    readOnly->SetPutResult(E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, factory_->InitObject(id, readOnly.as<IDispatch>()));
}

TEST_F(StdFactory, TheChainWalkEndsOnACycle) {
    auto a = TestObject::New(), b = TestObject::New();
    a->Refuse(__uuidof(IKorChildLink));
    b->Refuse(__uuidof(IKorChildLink));
    a->SetNext(b.as<IDispatch>());
    b->SetNext(a.as<IDispatch>());
    CComPtr<IUnknown> found;
    EXPECT_EQ(S_OK, factory_->FindInChainA(a.as<IDispatch>(), found.Put()));
    EXPECT_FALSE(found);
    EXPECT_GT(b->Log().Count(L"GetNext"), 0);
    EXPECT_LE(b->Log().Count(L"GetNext"), 64);
    EXPECT_EQ(E_POINTER, factory_->FindInChainB(a.as<IDispatch>(), nullptr));
    b->SetNext(nullptr);
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
    EXPECT_FALSE(standin::Holder<CTestFactory>::New()->IsRecording());
}

TEST_F(StdFactory, RecordingCachesObjectsOfVisibleWindowsOnly) {
    StartAut();
    Recording(true);
    CComPtr<IDispatch> first = Create(W(L"alpha"));
    CComPtr<IDispatch> again = Create(W(L"alpha"));
    EXPECT_EQ(first, again);
    EXPECT_EQ(L"put_Cookie(0)", Of(again)->Log().Lines().back());
    EXPECT_NE(Create(W(L"hidden")), Create(W(L"hidden")));
    EXPECT_EQ(3, Created());
    // Not recording: the cached object is still handed out, new ones are not kept.
    Recording(false);
    EXPECT_EQ(first, Create(W(L"alpha")));
    EXPECT_NE(Create(W(L"button")), Create(W(L"button")));
}

TEST_F(StdFactory, CacheRulesForItsOwnOperations) {
    StartAut();
    CRuntimeId alpha = WindowId(W(L"alpha")), zero = WindowId(nullptr);
    auto object = TestObject::New(), plain = TestObject::New();
    CComPtr<IDispatch> out;
    EXPECT_EQ(E_FAIL, factory_->CachePut(alpha, object.as<IDispatch>()));  // neither recording nor replaying
    settings_->Put(L"", L"OnReplay", 1L);
    EXPECT_EQ(S_OK, factory_->CachePut(alpha, object.as<IDispatch>()));
    EXPECT_EQ(E_FAIL, factory_->CachePut(alpha, nullptr));
    EXPECT_EQ(E_FAIL, factory_->CachePut(zero, object.as<IDispatch>()));
    object->SetCookieResult(E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, factory_->CacheGet(alpha, out.Put()));
    plain->Refuse(__uuidof(IObjectManagerClient));
    EXPECT_EQ(S_OK, factory_->CachePut(alpha, plain.as<IDispatch>()));
    EXPECT_EQ(E_NOINTERFACE, factory_->CacheGet(alpha, out.Put()));
    EXPECT_FALSE(out);
    const LONG held = RefCount(plain.as<IDispatch>());
    EXPECT_EQ(S_OK, factory_->CacheRemove(alpha));
    EXPECT_EQ(held - 1, RefCount(plain.as<IDispatch>()));
    EXPECT_EQ(S_FALSE, factory_->CacheRemove(alpha));
    EXPECT_EQ(E_FAIL, standin::Holder<CUncachedTestFactory>::New()->CachePut(alpha, object.as<IDispatch>()));
}

TEST_F(StdFactory, TableRowsWithoutAnObjectGetOne) {
    CKorSafeArray rows(3, 2, VT_VARIANT);
    CRuntimeId a = WindowId(kSomeWindow), b = WindowId(kSomeWindow);
    CComVariant idA = AsVariant(a), idB = AsVariant(b), taken(L"taken"), text(L"no identifier"), cell;
    rows.PutElement(&idA, 0, 0);
    rows.PutElement(&idB, 1, 0);
    rows.PutElement(&taken, 1, 1);
    rows.PutElement(&text, 2, 0);
    EXPECT_EQ(S_OK, factory_->CreateTestObjsForTable(&rows.psa));
    rows.GetElement(cell.Put(), 0, 1);
    ASSERT_EQ(VT_DISPATCH, cell.vt);
    EXPECT_EQ(kSomeWindow, WindowOf(cell.pdispVal));
    rows.GetElement(cell.Put(), 1, 1);
    EXPECT_EQ(VT_BSTR, cell.vt);
    EXPECT_EQ(1, Created());
    SAFEARRAY* none = nullptr;
    EXPECT_EQ(E_POINTER, factory_->CreateTestObjsForTable(&none));
}

TEST_F(StdFactory, TheClassServiceNamesTheClassOfAnIdentifier) {
    GUID service = CStdFactoryBase::kClassNameService, other = IID_IUnknown;
    CRuntimeId id = WindowId(kSomeWindow);
    CComVariant in = AsVariant(id), out, known(L"Known"), number(5L);
    EXPECT_EQ(E_POINTER, factory_->QueryClassService(&service, 3, &in, nullptr));
    EXPECT_EQ(S_FALSE, factory_->QueryClassService(&other, 3, &in, &out));
    EXPECT_EQ(S_FALSE, factory_->QueryClassService(&service, 4, &in, &out));
    ASSERT_EQ(S_OK, factory_->QueryClassService(&service, 3, &in, &out));
    EXPECT_STREQ(L"TestClass", out.bstrVal);
    EXPECT_EQ(S_OK, factory_->QueryClassService(&service, 3, &number, &known));  // a name there is kept
    EXPECT_STREQ(L"Known", known.bstrVal);
    EXPECT_EQ(E_FAIL, factory_->QueryClassService(&service, 3, &number, out.Put()));
}

TEST_F(StdFactory, RunTimeValuesOfOwnObjectsComeFromTheQueryEngine) {
    auto component = standin::Holder<standin::CRuntimeValuesStandIn>::New();
    component->SetNames({L"width", L"text"});
    standin::CObjectRegistration registration(CStdFactoryBase::kRuntimeValuesClsid, component.as<IKorRuntimeValues>());
    engine_->PutValue(L"width", CComVariant(42L));
    engine_->PutValue(L"text", CComVariant(L"hello"));
    auto own = TestObject::New(), foreign = TestObject::New(), noId = TestObject::New();
    CRuntimeId id = WindowId(kSomeWindow);
    own->Put(L"korclass", CComVariant(L"TestClass"));
    own->Put(L"objectid", AsVariant(id));
    noId->Put(L"korclass", CComVariant(L"TestClass"));
    foreign->Put(L"korclass", CComVariant(L"Other"));
    CKorSafeArray objects(3, 1, VT_VARIANT);
    CComVariant cells[3] = {own.as<IDispatch>(), foreign.as<IDispatch>(), noId.as<IDispatch>()}, cell;
    for (LONG i = 0; i < 3; ++i) objects.PutElement(&cells[i], i, 0);

    ASSERT_EQ(S_OK, factory_->FillRuntimeValuesForObjects(0, objects.psa, 7));
    EXPECT_EQ(L"BuildTable(2,7)\nTakeTable()", component->Log().Joined());
    CKorSafeArray taken;
    taken.Attach(component->Taken(), false);
    taken.GetElement(cell.Put(), 1, 2);
    EXPECT_EQ(42L, cell.lVal);
    taken.GetElement(cell.Put(), 1, 3);
    EXPECT_STREQ(L"hello", cell.bstrVal);
    taken.GetElement(cell.Put(), 2, 2);  // no identifier: left alone
    EXPECT_EQ(VT_EMPTY, cell.vt);
    // Nothing of this factory's: the component is not asked.
    CKorSafeArray others(1, 1, VT_VARIANT);
    others.PutElement(&cells[1], 0, 0);
    EXPECT_EQ(S_OK, factory_->FillRuntimeValuesForObjects(0, others.psa, 7));
    EXPECT_EQ(1, component->Log().Count(L"BuildTable"));
    CKorSafeArray small(1, 3, VT_VARIANT);
    EXPECT_EQ(E_INVALIDARG, factory_->FillRuntimeValues(0, small.psa, 0));
}

TEST_F(StdFactory, TheArrayAtAPointListsTheObjectAndItsParentsUpToACap) {
    SAFEARRAY* out = nullptr;
    EXPECT_EQ(E_FAIL, factory_->FillArrayFromPoint(1, 2, &out));
    auto child = TestObject::New(), grand = TestObject::New();
    child->Put(L"parent", CComVariant(parent_.as<IDispatch>()));
    parent_->Put(L"parent", CComVariant(static_cast<IUnknown*>(grand.as<IDispatch>())));
    factory_->pointObject = child.as<IDispatch>();
    ASSERT_EQ(S_OK, factory_->FillArrayFromPoint(1, 2, &out));
    CKorSafeArray list, capped;
    list.Attach(out, true);
    EXPECT_EQ(3u, list.GetRowCount());
    grand->Put(L"parent", CComVariant(child.as<IDispatch>()));
    ASSERT_EQ(S_OK, factory_->FillArrayFromPoint(1, 2, &out));
    capped.Attach(out, true);
    EXPECT_EQ(256u, capped.GetRowCount());
    grand->Put(L"parent", CComVariant());
}
