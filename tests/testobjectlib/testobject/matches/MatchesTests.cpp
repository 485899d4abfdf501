// Every matching object: id paths up the hierarchy, the candidates of one parent with retries on
// the fake clock, the children of the script's ChildObjects and their own children.
#include <gtest/gtest.h>
#include <map>
#include "FakeClock.h"
#include "testobject/matches/IdList.h"
#include "testobject/runtime/RunTimeTestObject.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;
using standin::Holder;

namespace {

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80040202);
const CLSID kCollectionClsid = {0x5c3a7e93, 0x8d4b, 0x4f0a, {0xb1, 0xe6, 0x3a, 0x9d, 0x2f, 0x7c, 0x4b, 0x10}};
using Ids = std::vector<CComPtr<IUnknown>>;

Ids NewIds(int n) {
    Ids ids;
    for (int i = 0; i < n; ++i) ids.push_back(CFakeRuntimeId::New());
    return ids;
}

CComPtr<IUnknown> Cell(SAFEARRAY* table, ULONG row, ULONG column) {
    CComPtr<IUnknown> object;
    IdListObject(table, row, column, object.Put());
    return object;
}

class Matches : public ::testing::Test {
protected:
    CRunTimeTestObject& object() { return *host_.object.get(); }
    RunTimeHost host_;
};

TEST_F(Matches, CachedObjectsUpTheHierarchyMakeOneRowWithoutAQuery) {
    RunTimeObject parent = host_.NewObject(), top = host_.NewObject();
    Ids ids = NewIds(3);
    object().Put(L"objectid", CComVariant(ids[0].get()), 9);
    object().Put(L"parent", CComVariant(parent.as<IDispatch>()), 9);
    parent->Put(L"objectid", CComVariant(ids[1].get()), 9);
    parent->Put(L"parent", CComVariant(top.as<IDispatch>()), 9);
    top->Put(L"objectid", CComVariant(ids[2].get()), 9);
    SAFEARRAY* table = nullptr;
    ASSERT_EQ(S_OK, host_.object.as<ITestObject2>()->FindAllIds(&table, nullptr, 0));
    CKorSafeArray owner;
    owner.Attach(table, true);
    ASSERT_EQ(1u, IdListRows(table));
    ASSERT_EQ(3u, IdListColumns(table));
    for (ULONG c = 0; c < 3; ++c) EXPECT_TRUE(Cell(table, 0, c).IsEqualObject(ids[c]));
    EXPECT_TRUE(object().queries.empty());
    // An ancestor without its object fails the cached path.
    top->Put(L"objectid", CComVariant(), 9);
    EXPECT_EQ(E_FAIL, host_.object.as<ITestObject2>()->FindAllIds(&table, nullptr, 0));
}

TEST_F(Matches, WithoutAParentTheCandidatesAreTheAnswer) {
    Ids ids = NewIds(2);
    object().candidates = [&](SAFEARRAY** list, QueryIdInfo*) {
        *list = IdList(ids);
        return S_OK;
    };
    SAFEARRAY* table = nullptr;
    ASSERT_EQ(S_OK, object().ITestObject2_FindAllIds(&table, nullptr, 0));
    EXPECT_EQ(2u, IdListRows(table));
    ::SafeArrayDestroy(table);
    ids.clear();
    EXPECT_EQ(kNotFound, object().ITestObject2_FindAllIds(&table, nullptr, 0));
    object().Put(L"parent", CComVariant(7L), 9);
    EXPECT_EQ(E_UNEXPECTED, object().ITestObject2_FindAllIds(&table, nullptr, 0));
    EXPECT_EQ(E_POINTER, object().ITestObject2_FindAllIds(nullptr, nullptr, 0));
}

// Two windows match the parent; under each three controls match: six rows of two columns, the
// first window's first, the parent's pinned object cleared afterwards.
TEST_F(Matches, EveryParentMatchIsSearchedUnderAndUnpinnedAfterwards) {
    CFakeClock clock(0xFFFFFF00);
    RunTimeObject parent = host_.NewObject();
    object().Put(L"parent", CComVariant(parent.as<IDispatch>()), 9);
    Ids windows = NewIds(2);
    std::map<IUnknown*, Ids> controls{{windows[0].get(), NewIds(3)}, {windows[1].get(), NewIds(3)}};
    parent->candidates = [&](SAFEARRAY** list, QueryIdInfo*) {
        clock.Advance(700);  // the parent's search takes its time
        *list = IdList(windows);
        return S_OK;
    };
    std::vector<IUnknown*> pinned;
    object().candidates = [&](SAFEARRAY** list, QueryIdInfo*) {
        CComVariant id = parent->Get(L"objectid");
        pinned.push_back(id.vt == VT_UNKNOWN ? id.punkVal : nullptr);
        *list = IdList(controls[pinned.back()]);
        return S_OK;
    };
    QueryIdInfo context{1000, 50};
    SAFEARRAY* table = nullptr;
    ASSERT_EQ(S_OK, object().ITestObject2_FindAllIds(&table, &context, 0));
    CKorSafeArray owner;
    owner.Attach(table, true);
    EXPECT_EQ(300, context.timeout);  // across the tick wrap
    ASSERT_EQ(6u, IdListRows(table));
    ASSERT_EQ(2u, IdListColumns(table));
    for (ULONG row = 0; row < 6; ++row) {
        const Ids& under = controls[windows[row / 3].get()];
        EXPECT_TRUE(Cell(table, row, 0).IsEqualObject(under[row % 3])) << row;
        EXPECT_TRUE(Cell(table, row, 1).IsEqualObject(windows[row / 3])) << row;
    }
    EXPECT_EQ((std::vector<IUnknown*>{windows[0].get(), windows[1].get()}), pinned);
    EXPECT_EQ(VT_EMPTY, parent->Get(L"objectid").vt);

    // The default time-out stays the default; a used-up time stays at 0.
    context = {-1, 50};
    ASSERT_EQ(S_OK, object().ITestObject2_FindAllIds(&table, &context, 0));
    ::SafeArrayDestroy(table);
    EXPECT_EQ(-1, context.timeout);
    context = {500, 50};
    ASSERT_EQ(S_OK, object().ITestObject2_FindAllIds(&table, &context, 0));
    ::SafeArrayDestroy(table);
    EXPECT_EQ(0, context.timeout);

    // Nothing under any window: not found, and still unpinned.
    for (auto& entry : controls) entry.second.clear();
    EXPECT_EQ(kNotFound, object().ITestObject2_FindAllIds(&table, nullptr, 0));
    EXPECT_EQ(VT_EMPTY, parent->Get(L"objectid").vt);
}

TEST_F(Matches, MatchingIdsOutsideAReplayIsOnePass) {
    CFakeClock clock;
    object().candidates = [](SAFEARRAY** list, QueryIdInfo*) {
        *list = IdList({});
        return S_OK;
    };
    SAFEARRAY* ids = nullptr;
    ASSERT_EQ(S_FALSE, host_.object.as<ITestObject7>()->FindMatchingIds(0, &ids));
    ASSERT_NE(nullptr, ids);
    EXPECT_EQ(0u, IdListRows(ids));
    EXPECT_EQ(1u, IdListColumns(ids));
    ::SafeArrayDestroy(ids);
    EXPECT_EQ(1u, object().queries.size());
    EXPECT_EQ(10000, object().queries[0].timeout);
    EXPECT_EQ(E_INVALIDARG, host_.object.as<ITestObject7>()->FindMatchingIds(0, nullptr));
}

// During a replay, relations that do not apply are asked again after each delay until the
// time-out, across the tick wrap; then an empty list.
TEST_F(Matches, RelationsThatDoNotApplyRetryUntilTheTimeOut) {
    CFakeClock clock(0xFFFFF000);
    host_.host.options->Put(L"", L"OnReplay", CComVariant(true));
    host_.host.options->Put(L"", L"DefaultTimeout", 3000L);
    host_.host.options->Put(L"", L"DefaultDelay", 500L);
    Ids ids = NewIds(2);
    // VARIANT cells, as the host's engine hands them to its filters.
    object().candidates = [&](SAFEARRAY** list, QueryIdInfo*) {
        CKorSafeArray table(2, 1, VT_VARIANT);
        for (LONG row = 0; row < 2; ++row) {
            CComVariant cell(ids[static_cast<size_t>(row)].get());
            table.PutElement(&cell, row, 0);
        }
        *list = table.Detach();
        return S_OK;
    };
    SAFEARRAY* found = nullptr;
    ASSERT_EQ(S_FALSE, object().ITestObject7_FindMatchingIds(2, &found));
    EXPECT_EQ(0u, IdListRows(found));
    ::SafeArrayDestroy(found);
    // Each pass stores the time left before its delay; a pass follows while that was 1 ms or more.
    ASSERT_EQ(8u, object().queries.size());
    for (long pass = 0; pass < 8; ++pass)
        EXPECT_EQ(pass == 0 ? 3000 : 3500 - 500 * pass, object().queries[static_cast<size_t>(pass)].timeout);
    EXPECT_EQ(std::vector<DWORD>(7, 500), clock.Pumps());

    // Applied relations answer their survivors at once; no list handed back means none survived.
    object().queries.clear();
    host_.host.relations->SetAnswer(S_OK, {1});
    ASSERT_EQ(S_OK, object().ITestObject7_FindMatchingIds(2, &found));
    ASSERT_EQ(1u, IdListRows(found));
    EXPECT_TRUE(Cell(found, 0, 0).IsEqualObject(ids[1]));
    ::SafeArrayDestroy(found);
    host_.host.relations->SetAnswer(S_OK, {}, false);
    ASSERT_EQ(S_OK, object().ITestObject7_FindMatchingIds(2, &found));
    EXPECT_EQ(0u, IdListRows(found));
    ::SafeArrayDestroy(found);
    EXPECT_EQ(2u, object().queries.size());

    // The one ordinal property's selector narrows the candidates and gives its code.
    const std::wstring selectorProgId = L"Kestrune.Test.Selector." + std::to_wstring(::GetCurrentProcessId());
    Holder<standin::CSelectorStandIn> selector = Holder<standin::CSelectorStandIn>::New();
    standin::CProgIdObjectRegistration selectorClass{selectorProgId.c_str(), selector.as<IKorSelector>()};
    host_.host.options->Put(L"Selectors\\index", L"ProgID", selectorProgId.c_str());
    object().Put(L"index", CComVariant(1L), 0x448);
    for (HRESULT code : {S_OK, S_FALSE}) {
        selector->SetChoice(1, code);
        ASSERT_EQ(code, object().ITestObject7_FindMatchingIds(1, &found));
        ASSERT_EQ(1u, IdListRows(found));
        EXPECT_TRUE(Cell(found, 0, 0).IsEqualObject(ids[1]));
        ::SafeArrayDestroy(found);
    }
    EXPECT_EQ(L"Filter(2,I4:1)", selector->Log().Lines().back());

    // Mode 0 answers the first candidates it gets; an unknown mode never answers.
    object().queries.clear();
    ASSERT_EQ(S_OK, object().ITestObject7_FindMatchingIds(0, &found));
    EXPECT_EQ(2u, IdListRows(found));
    ::SafeArrayDestroy(found);
    EXPECT_EQ(1u, object().queries.size());
    host_.host.options->Put(L"", L"OnPause", CComVariant(true));
    ASSERT_EQ(S_OK, object().ITestObject7_FindMatchingIds(9, &found));
    ::SafeArrayDestroy(found);
    EXPECT_EQ(2u, object().queries.size());
}

// The host's collection makes a child test object for each run-time object it takes in; each
// child answers ChildObjects from the query engine's answer for its own object.
class Children : public Matches {
protected:
    void SetUp() override {
        collectionClass_ = std::make_unique<standin::CClassRegistration>(kCollectionClsid, &Children::NewCollection);
        progId_ = std::make_unique<standin::CProgIdKey>(L"Quorvel.TOCollection", kCollectionClsid);
        current_ = this;
        host_.host.rack->Drop(L"StdPackageQueryEngine");
        host_.host.rack->Put(L"StdPackageQueryEngine", engine_.as<IKorQuery>());
    }
    void TearDown() override { current_ = nullptr; }

    static HRESULT NewCollection(IUnknown*, REFIID iid, void** out) {
        Holder<standin::CTOCollectionStandIn> made = Holder<standin::CTOCollectionStandIn>::New();
        made->SetMaker([](IUnknown* id, IDispatch** child) {
            RunTimeObject o = current_->host_.NewObject();
            o->Put(L"objectid", CComVariant(id), 9);
            return o.as<DispTestObject>()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(child));
        });
        current_->collections_.push_back(made);
        return made->QueryInterface(iid, out);
    }

    // Answers the children of each container by the container's own run-time object.
    class CEngine : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IKorQuery {
    public:
        BEGIN_COM_MAP(CEngine)
            COM_INTERFACE_ENTRY(IKorQuery)
        END_COM_MAP()
        STDMETHOD(QueryIdFromContainer)(SAFEARRAY* description, IDispatch* container, SAFEARRAY** ids, QueryIdInfo*,
                                        SAFEARRAY*) override {
            rows.push_back(IdListRows(description));
            CComPtr<ITestObjectInfo> info;
            CComVariant id;
            if (container && SUCCEEDED(container->QueryInterface(__uuidof(ITestObjectInfo),
                                                                 reinterpret_cast<void**>(info.Put()))))
                info->get_Prop(CComBSTR(L"objectid"), nullptr, nullptr, nullptr, id.Put());
            *ids = IdList(children[id.vt == VT_UNKNOWN ? id.punkVal : nullptr]);
            return S_OK;
        }
        STDMETHOD(QueryIdFromSet)(SAFEARRAY*, SAFEARRAY**) override { return E_NOTIMPL; }
        STDMETHOD(QueryValue)(IRuntimeID*, SAFEARRAY*) override { return E_NOTIMPL; }
        std::map<IUnknown*, Ids> children;
        std::vector<ULONG> rows;
    };

    Holder<CEngine> engine_ = Holder<CEngine>::New();
    std::vector<Holder<standin::CTOCollectionStandIn>> collections_;
    std::unique_ptr<standin::CClassRegistration> collectionClass_;
    std::unique_ptr<standin::CProgIdKey> progId_;
    static inline Children* current_ = nullptr;
};

TEST_F(Children, ChildObjectsTakesTheScriptsDescriptionAndFillsTheHostCollection) {
    Ids direct = NewIds(2);
    engine_->children[nullptr] = direct;
    Holder<standin::CPropertyCollectionStandIn> description = Holder<standin::CPropertyCollectionStandIn>::New();
    description->Add(L"text", CComVariant(L"OK.*"), VARIANT_TRUE);
    description->Add(L"index", CComVariant(1L), VARIANT_FALSE);
    CComPtr<IDispatch> found;
    ASSERT_EQ(S_OK, host_.object.as<DispTestObject>()->ChildObjects(description.as<IDispatch>(), found.Put()));
    EXPECT_EQ(std::vector<ULONG>{2}, engine_->rows);
    ASSERT_EQ(1u, collections_.size());
    EXPECT_EQ(L"SetRack(rack)\nAddIds(2)", collections_[0]->Log().Joined());
    EXPECT_TRUE(found.IsEqualObject(collections_[0].as<IKorTOCollection>()));
    // Not a property collection: refused.
    EXPECT_EQ(E_FAIL, host_.object.as<DispTestObject>()->ChildObjects(host_.object.as<IDispatch>(), found.Put()));
}

TEST_F(Children, TheHierarchyAppendsEachLevelAfterTheOneAbove) {
    Ids direct = NewIds(2), grand = NewIds(2);
    engine_->children[nullptr] = direct;
    engine_->children[direct[1].get()] = grand;
    CComPtr<IDispatch> all;
    ASSERT_EQ(S_OK, host_.object.as<ITestObject4>()->GetChildObjectsHierarchy(nullptr, all.Put()));
    const auto& items = collections_[0]->Items();
    ASSERT_EQ(4u, items.size());
    for (size_t i = 0; i < 4; ++i) {
        CComVariant id;
        CComPtr<ITestObjectInfo> info;
        items[i]->QueryInterface(__uuidof(ITestObjectInfo), reinterpret_cast<void**>(info.Put()));
        info->get_Prop(CComBSTR(L"objectid"), nullptr, nullptr, nullptr, id.Put());
        EXPECT_EQ(i < 2 ? direct[i].get() : grand[i - 2].get(), id.punkVal) << i;
    }
    // Handed in again, the same collection comes back and gains nothing.
    IDispatch* handed = all.get();
    handed->AddRef();  // the call's to keep or hand back
    ASSERT_EQ(S_OK, host_.object.as<ITestObject4>()->GetChildObjectsHierarchy(nullptr, &handed));
    CComPtr<IDispatch> back;
    back.Attach(handed);
    EXPECT_TRUE(back.IsEqualObject(all));
    EXPECT_EQ(4u, collections_[0]->Items().size());
}

// A host that answers an object among its own children does not make the walk endless.
TEST_F(Children, AChildThatAnswersItsOwnAncestorsEndsTheWalk) {
    Ids direct = NewIds(2);
    engine_->children[nullptr] = direct;
    engine_->children[direct[0].get()] = {direct[1], direct[0]};
    engine_->children[direct[1].get()] = {direct[0]};
    CComPtr<IDispatch> all;
    ASSERT_EQ(S_OK, host_.object.as<ITestObject4>()->GetChildObjectsHierarchy(nullptr, all.Put()));
    EXPECT_EQ(2u, collections_[0]->Items().size());
    EXPECT_EQ(E_POINTER, host_.object.as<ITestObject4>()->GetChildObjectsHierarchy(nullptr, nullptr));
}

}  // namespace
