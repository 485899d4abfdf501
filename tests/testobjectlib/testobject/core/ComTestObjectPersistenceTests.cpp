// The persisted description: exact bytes, older versions with their hooks, the inner object's
// stream, failing writes, and damaged streams.
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include "com/ComBSTR.h"
#include "description/PropertyFactory.h"
#include "values/StreamTestSupport.h"
#include "TestObjects.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

constexpr wchar_t kMarker[] = L"@@@T.O. Version@@@";
constexpr size_t kHeaderBytes = 4 + 38 + 4;  // counted marker and version

Bytes SavedBytes(CTestObject& o, BOOL clearDirty = TRUE) {
    CComPtr<IStream> s = NewStream();
    EXPECT_EQ(o.Save(s, clearDirty), S_OK);
    return BytesOf(s);
}

HRESULT LoadBytes(CTestObject& o, const Bytes& data) {
    CComPtr<IStream> s = StreamOf(data);
    return o.Load(s);
}

void Describe(CTestObject& o) {
    o.Put(L"text", CComVariant(L"OK"), 0x10);
    long flags = 0x448, cmp = 1;
    CComBSTR index(L"index");
    o.ITestObjectInfo_put_PropExpr(index, &flags, nullptr, &cmp, CComVariant(2));
    o.m_algorithm = L"Quorvel.TolerantPriority";
    o.m_useAlgorithm = 1;
}

// What the object holds that a description changes.
Bytes Fingerprint(CTestObject& o) {
    CComPtr<IStream> s = NewStream();
    o.m_properties.Save(s);
    ByteWriter w;
    w.append(BytesOf(s)).text(o.m_algorithm.c_str()).u32(o.m_useAlgorithm).u8(o.m_algorithmAbsent);
    return w.u32(o.m_oldVersion).u8(o.m_dirty).b;
}

// A stream of the given version around the collection part of a saved description.
Bytes Versioned(ULONG version, const Bytes& collection, const wchar_t* algorithm, ULONG flag) {
    ByteWriter w;
    w.text(kMarker).u32(version).append(collection);
    if (version >= 4) w.text(algorithm);
    if (version >= 11) w.u32(flag);
    return w.b;
}

class TestObjectPersistence : public ::testing::Test {
protected:
    void SetUp() override {
        dynamic::RegisterPropertyFactories();
        Describe(original);
        valid = SavedBytes(original);
        const size_t tail = 4 + (std::wcslen(L"Quorvel.TolerantPriority") + 1) * 2 + 4;
        collection.assign(valid.begin() + kHeaderBytes, valid.end() - static_cast<long>(tail));
    }
    CTestObject original;
    Bytes valid;
    Bytes collection;
};

// A stream whose writes fail once a number of bytes has been written.
class CFullStream final : public CNoStatStream {
public:
    CFullStream(IStream* inner, ULONG room) : CNoStatStream(inner), room_(room) {}
    STDMETHOD(Write)(const void* p, ULONG n, ULONG* written) override {
        if (written) *written = 0;
        if (n > room_) return STG_E_MEDIUMFULL;
        room_ -= n;
        return CNoStatStream::Write(p, n, written);
    }

private:
    ULONG room_;
};

}  // namespace

TEST_F(TestObjectPersistence, RoundTripIsByteForByte) {
    ByteWriter head;
    head.text(kMarker).u32(60);
    ASSERT_GE(valid.size(), kHeaderBytes);
    EXPECT_EQ(Bytes(valid.begin(), valid.begin() + kHeaderBytes), head.b);
    EXPECT_EQ(head.b[0], 38);
    ByteWriter tail;
    tail.text(L"Quorvel.TolerantPriority").u32(1);
    EXPECT_EQ(Bytes(valid.end() - static_cast<long>(tail.b.size()), valid.end()), tail.b);

    CTestObject copy;
    ASSERT_EQ(LoadBytes(copy, valid), S_OK);
    EXPECT_EQ(SavedBytes(copy), valid);
    EXPECT_EQ(copy.m_oldVersion, 0u);
    EXPECT_TRUE(copy.before.empty());
    EXPECT_TRUE(copy.after.empty());
    EXPECT_STREQ(copy.Get(L"text").bstrVal, L"OK");
}

TEST_F(TestObjectPersistence, DirtyFlagFollowsSaveAndLoad) {
    SavedBytes(original, FALSE);
    EXPECT_EQ(original.IsDirty(), S_OK);
    EXPECT_EQ(LoadBytes(original, valid), S_OK);
    EXPECT_EQ(original.IsDirty(), S_FALSE);
    EXPECT_EQ(original.Save(nullptr, TRUE), E_INVALIDARG);
    EXPECT_EQ(original.Load(nullptr), E_INVALIDARG);
}

TEST_F(TestObjectPersistence, AStreamWithoutTheMarkerIsVersionOne) {
    CTestObject old;
    old.m_algorithm = L"kept";
    ASSERT_EQ(LoadBytes(old, collection), S_OK);
    EXPECT_EQ(old.m_oldVersion, 1u);
    EXPECT_EQ(old.m_algorithmAbsent, 1);
    EXPECT_EQ(old.m_useAlgorithm, 1u);
    EXPECT_STREQ(old.m_algorithm.c_str(), L"kept");
    EXPECT_EQ(old.before, std::vector<DWORD>{1});
    EXPECT_EQ(old.after, std::vector<DWORD>{1});
    EXPECT_STREQ(old.Get(L"text").bstrVal, L"OK");
}

TEST_F(TestObjectPersistence, OlderVersionsReadTheFieldsTheyHave) {
    struct Case {
        ULONG version;
        const wchar_t* algorithm;
        ULONG flag;
        DWORD use;
        BYTE absent;
    };
    const Case cases[] = {{3, L"", 0, 1, 1}, {10, L"", 0, 0, 0}, {10, L"Alg", 0, 1, 0}, {11, L"Alg", 0, 0, 0},
                          {59, L"", 1, 1, 0}, {61, L"", 1, 1, 0}};
    for (const Case& c : cases) {
        CTestObject o;
        ASSERT_EQ(LoadBytes(o, Versioned(c.version, collection, c.algorithm, c.flag)), S_OK) << c.version;
        EXPECT_EQ(o.m_useAlgorithm, c.use) << c.version;
        EXPECT_EQ(o.m_algorithmAbsent, c.absent) << c.version;
        EXPECT_EQ(o.m_oldVersion, c.version < 60 ? 1u : 0u) << c.version;
        EXPECT_EQ(o.before.size(), c.version < 60 ? 1u : 0u) << c.version;
    }
}

TEST_F(TestObjectPersistence, SaveWritesOnlyWhatItsVersionReads) {
    for (ULONG version : {3u, 10u}) {
        CTestObject o;
        o.keepLoadedVersion = true;  // as a concrete class keeps the description's version
        const Bytes old = Versioned(version, collection, L"Alg", 0);
        ASSERT_EQ(LoadBytes(o, old), S_OK);
        EXPECT_EQ(SavedBytes(o), old) << version;
        // Whatever follows the description in the same stream is read correctly.
        ByteWriter both;
        both.append(SavedBytes(o)).u32(0xC0FFEE);
        CComPtr<IStream> s = StreamOf(both.b);
        CTestObject again;
        again.keepLoadedVersion = true;
        ASSERT_EQ(again.Load(s), S_OK);
        ULONG next = 0, read = 0;
        s->Read(&next, 4, &read);
        EXPECT_EQ(next, 0xC0FFEEu) << version;
    }
}

TEST_F(TestObjectPersistence, HooksAndFailedStepsLeaveTheObjectAsItWas) {
    CTestObject o;
    o.Put(L"mine", CComVariant(1));
    const Bytes before = Fingerprint(o);
    o.hookResult = E_ABORT;
    CComPtr<IStream> s = StreamOf(collection);
    EXPECT_EQ(o.Load(s), E_ABORT);
    EXPECT_EQ(PositionOf(s), 0u);
    EXPECT_EQ(Fingerprint(o), before);
    o.hookResult = S_OK;
    o.hookContinue = FALSE;
    EXPECT_EQ(LoadBytes(o, collection), S_OK);
    EXPECT_EQ(Fingerprint(o), before);
    o.hookContinue = TRUE;
    // The collection loads, the flag is missing: nothing of it is kept.
    Bytes cut(valid.begin(), valid.end() - 2);
    s = StreamOf(cut);
    EXPECT_TRUE(FAILED(o.Load(s)));
    EXPECT_EQ(PositionOf(s), 0u);
    EXPECT_EQ(Fingerprint(o), before);
}

TEST_F(TestObjectPersistence, InnerObjectStreamTravelsWithTheDescription) {
    TestComHolder inner = TestComHolder::New();
    inner->Put(L"hwnd", CComVariant(7));
    original.m_inner = inner.as<ITestObject>();
    const Bytes withInner = SavedBytes(original);

    TestComHolder freshInner = TestComHolder::New();
    freshInner->Put(L"innerOwn", CComVariant(1));
    CTestObject copy;
    copy.m_inner = freshInner.as<ITestObject>();
    ASSERT_EQ(LoadBytes(copy, withInner), S_OK);
    EXPECT_EQ(freshInner->Get(L"hwnd").lVal, 7);
    EXPECT_EQ(SavedBytes(copy).size(), withInner.size() + SavedBytes(*freshInner.get()).size() -
                                           SavedBytes(*inner.get()).size());

    // A failure after the inner object has loaded gives it back what it held.
    TestComHolder third = TestComHolder::New();
    third->Put(L"hwnd", CComVariant(1));
    CTestObject failing;
    failing.m_inner = third.as<ITestObject>();
    EXPECT_TRUE(FAILED(LoadBytes(failing, Bytes(withInner.begin(), withInner.end() - 3))));
    EXPECT_EQ(third->Get(L"hwnd").lVal, 1);
}

TEST_F(TestObjectPersistence, SaveFailsWhenAnyWriteFails) {
    for (ULONG room : {ULONG{0}, ULONG{10}, static_cast<ULONG>(valid.size() - 1)}) {
        CComPtr<IStream> target = NewStream();
        CComPtr<IStream> full;
        full.Attach(new CFullStream(target, room));
        EXPECT_TRUE(FAILED(original.Save(full, FALSE))) << room;
        EXPECT_EQ(original.IsDirty(), S_FALSE);
        EXPECT_EQ(PositionOf(target), 0u);
        EXPECT_TRUE(BytesOf(target).empty());
    }
    // An inner object that cannot save fails the save before the caller's stream is touched.
    TestComHolder inner = TestComHolder::New();
    inner->saveFailure = E_ACCESSDENIED;
    original.m_inner = inner.as<ITestObject>();
    CComPtr<IStream> target = NewStream();
    EXPECT_EQ(original.Save(target, TRUE), E_ACCESSDENIED);
    EXPECT_TRUE(BytesOf(target).empty());
}

TEST_F(TestObjectPersistence, DamagedDescriptionsNeverCrashHangOrLeak) {
    const Bytes versionOne = collection;
    const Bytes versionTen = Versioned(10, collection, L"Alg", 0);
    auto fresh = [] {
        auto o = std::make_unique<CTestObject>();
        o->Put(L"mine", CComVariant(L"kept"));
        return o;
    };
    std::unique_ptr<CTestObject> target = fresh();
    const Bytes before = Fingerprint(*target);
    int failures = 0, loads = 0, seeded = 0;
    auto load = [&](const Bytes& data) {
        ++loads;
        CComPtr<IStream> s = StreamOf(data);
        if (SUCCEEDED(target->Load(s))) {
            target = fresh();
            return;
        }
        ++failures;
        EXPECT_EQ(Fingerprint(*target), before);
        EXPECT_EQ(PositionOf(s), 0u);
    };
    std::mt19937 rng(20240611);
    const SIZE_T growth = PrivateGrowth([&] {
        for (const Bytes* valid : {static_cast<const Bytes*>(&this->valid), &versionOne, &versionTen}) {
            for (size_t n = 0; n < valid->size(); ++n) load(Bytes(valid->begin(), valid->begin() + static_cast<long>(n)));
            ForEachCorruption(*valid, rng, 7, 3400, 6, load);
            seeded += 3400;
        }
    });
    EXPECT_GE(seeded, 3 * 10000);  // three runs of the work
    EXPECT_GT(failures, loads / 2);
    EXPECT_LT(growth, 256u * 1024u) << "memory left behind by damaged descriptions";
}
