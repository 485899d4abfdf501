// Class objects and the object map: ordinary and singleton factories, what holds the module,
// caching per entry; and the registry script writer against the real registry.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <memory>
#include <thread>
#include <vector>
#include "com/ComClassFactory.h"
#include "com/ComModule.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ComRegistrar.h"
#include "com/Handles.h"

using namespace kcom;

namespace {

class CCounted : public CComObjectRootEx<CComMultiThreadModel>, public IPersist {
public:
    static inline int live = 0;
    static inline int constructed = 0;
    static inline HRESULT constructResult = S_OK;
    static inline DWORD constructMs = 0;
    CCounted() { ++live; }
    ~CCounted() override { --live; }
    HRESULT FinalConstruct() noexcept {
        ++constructed;
        ::Sleep(constructMs);
        return constructResult;
    }
    BEGIN_COM_MAP(CCounted)
        COM_INTERFACE_ENTRY(IPersist)
    END_COM_MAP()
    STDMETHOD(GetClassID)(CLSID* out) override { *out = CLSID_NULL; return S_OK; }
};

const CreatorFn kPlain = &CComCreator<CCounted>::CreateInstance;
const CreatorFn kCached = &CComCachedCreator<CCounted>::CreateInstance;
const CreatorFn kNone = nullptr;

CComPtr<IClassFactory> Factory(ClassObjectFn make, CreatorFn creator) {
    CComPtr<IUnknown> cached;
    EXPECT_EQ(make(creator, cached.Put()), S_OK);
    CComPtr<IClassFactory> cf;
    EXPECT_EQ(cached.QueryInterface(cf.Put()), S_OK);
    return cf;
}

void Reset() {
    CCounted::live = 0;
    CCounted::constructed = 0;
    CCounted::constructResult = S_OK;
    CCounted::constructMs = 0;
}

TEST(ClassFactory, OrdinaryFactoryCreatesPlainAndAggregatedObjects) {
    Reset();
    auto cf = Factory(&CreateClassObject<CComClassFactory>, kPlain);
    CComPtr<IPersist> plain;
    EXPECT_EQ(cf->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(plain.Put())), S_OK);
    EXPECT_EQ(CCounted::live, 1);

    CComPtr<IPersist> outer;  // any object serves as the outer identity here
    ASSERT_EQ(cf->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(outer.Put())), S_OK);
    void* bad = reinterpret_cast<void*>(1);
    EXPECT_EQ(cf->CreateInstance(outer, IID_IPersist, &bad), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(bad, nullptr);
    CComPtr<IUnknown> inner;
    EXPECT_EQ(cf->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(inner.Put())), S_OK);
    EXPECT_EQ(CCounted::live, 3);
    EXPECT_EQ(cf->CreateInstance(nullptr, IID_IPersist, nullptr), E_POINTER);
}

TEST(ClassFactory, SingletonHandsOutOneObjectAndRefusesAggregation) {
    Reset();
    auto cf = Factory(&CreateClassObject<CComClassFactorySingleton>, kCached);
    CComPtr<IPersist> a, b;
    ASSERT_EQ(cf->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(a.Put())), S_OK);
    ASSERT_EQ(cf->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(b.Put())), S_OK);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(CCounted::constructed, 1);
    CComPtr<IUnknown> agg;
    EXPECT_EQ(cf->CreateInstance(a, IID_IUnknown, reinterpret_cast<void**>(agg.Put())), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(cf->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    a.Release();
    b.Release();
    EXPECT_EQ(CCounted::live, 1);  // the factory keeps it
    cf.Release();
    EXPECT_EQ(CCounted::live, 0);
}

TEST(ClassFactory, SingletonRequestedByManyThreadsAtOnceIsCreatedOnce) {
    Reset();
    CCounted::constructMs = 20;  // the first creation is still running when the others ask
    auto cf = Factory(&CreateClassObject<CComClassFactorySingleton>, kCached);
    CComPtr<IUnknown> got[8];
    CHandle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::vector<std::thread> threads;
    for (auto& out : got)
        threads.emplace_back([&, target = std::addressof(out)] {
            ::WaitForSingleObject(go, INFINITE);
            cf->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(target->Put()));
        });
    ::SetEvent(go);
    for (auto& t : threads) t.join();
    EXPECT_EQ(CCounted::constructed, 1);
    for (auto& out : got) EXPECT_TRUE(out && out.get() == got[0].get());
}

TEST(ClassFactory, FailedCreations) {
    // A class without a creator is not available from either factory.
    for (ClassObjectFn make : {&CreateClassObject<CComClassFactory>, &CreateClassObject<CComClassFactorySingleton>}) {
        auto cf = Factory(make, kNone);
        CComPtr<IUnknown> unk;
        EXPECT_EQ(cf->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(unk.Put())), CLASS_E_CLASSNOTAVAILABLE);
    }
    // The singleton remembers a failed creation.
    Reset();
    CCounted::constructResult = E_ACCESSDENIED;
    auto cf = Factory(&CreateClassObject<CComClassFactorySingleton>, kCached);
    CComPtr<IPersist> p;
    EXPECT_EQ(cf->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(p.Put())), E_ACCESSDENIED);
    CCounted::constructResult = S_OK;
    EXPECT_EQ(cf->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(p.Put())), E_ACCESSDENIED);
    EXPECT_EQ(CCounted::constructed, 1);
    EXPECT_EQ(CCounted::live, 0);
}

TEST(ClassFactory, OnlyReferencesBeyondTheCacheHoldTheModule) {
    Reset();
    const LONG base = Module().GetLockCount();
    CComPtr<IUnknown> cache;
    ASSERT_EQ(CreateClassObject<CComClassFactorySingleton>(kCached, cache.Put()), S_OK);
    EXPECT_EQ(Module().GetLockCount(), base);
    CComPtr<IClassFactory> cf;
    ASSERT_EQ(cache.QueryInterface(cf.Put()), S_OK);
    EXPECT_EQ(Module().GetLockCount(), base + 1);  // a reference beyond the cache's
    CComPtr<IPersist> p;
    ASSERT_EQ(cf->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(p.Put())), S_OK);
    EXPECT_EQ(Module().GetLockCount(), base + 2);
    p.Release();
    EXPECT_EQ(Module().GetLockCount(), base + 1);  // the singleton, held by its factory only
    EXPECT_EQ(cf->LockServer(TRUE), S_OK);
    EXPECT_EQ(Module().GetLockCount(), base + 2);
    EXPECT_EQ(cf->LockServer(FALSE), S_OK);
    cf.Release();
    EXPECT_EQ(Module().GetLockCount(), base);
    cache.Release();
    EXPECT_EQ(CCounted::live, 0);
}

CLSID kPlainClsid = {0x5e0b0a01, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x01}};
CLSID kSingleClsid = {0x5e0b0a01, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x02}};
CLSID kMissingClsid = {0x5e0b0a01, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x03}};

TEST(ObjectMap, ClassObjectsAreCachedPerEntryAndReleasedByTerm) {
    Reset();
    ObjectMapEntry map[] = {
        {&kPlainClsid, &kPlain, &CreateClassObject<CComClassFactory>, 1, nullptr, nullptr},
        {&kSingleClsid, &kCached, &CreateClassObject<CComClassFactorySingleton>, 2, nullptr, nullptr},
        {&kMissingClsid, &kNone, &CreateClassObject<CComClassFactory>, 3, nullptr, nullptr},
    };
    Module().Init(map, 3, nullptr, nullptr);
    const LONG base = Module().GetLockCount();
    CComPtr<IClassFactory> a, b;
    ASSERT_EQ(Module().GetClassObject(kPlainClsid, IID_IClassFactory, reinterpret_cast<void**>(a.Put())), S_OK);
    ASSERT_EQ(Module().GetClassObject(kPlainClsid, IID_IClassFactory, reinterpret_cast<void**>(b.Put())), S_OK);
    EXPECT_EQ(a.get(), b.get());
    a.Release();
    b.Release();
    EXPECT_EQ(Module().GetLockCount(), base);  // the cache alone does not hold the module

    CComPtr<IUnknown> unk;
    EXPECT_EQ(Module().GetClassObject(kMissingClsid, IID_IClassFactory, reinterpret_cast<void**>(unk.Put())),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(Module().GetClassObject(CLSID_NULL, IID_IClassFactory, reinterpret_cast<void**>(unk.Put())),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(Module().GetClassObject(kPlainClsid, IID_IClassFactory, nullptr), E_POINTER);

    ASSERT_EQ(Module().GetClassObject(kSingleClsid, IID_IClassFactory, reinterpret_cast<void**>(a.Put())), S_OK);
    CComPtr<IPersist> single;
    ASSERT_EQ(a->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(single.Put())), S_OK);
    single.Release();
    a.Release();
    EXPECT_EQ(CCounted::live, 1);
    Module().Term();
    EXPECT_EQ(CCounted::live, 0);
    EXPECT_EQ(map[0].cachedClassObject, nullptr);
    Module().Init(nullptr, 0, nullptr, nullptr);
}

class RegistrarTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = L"Software\\KestruneRegistrarTest_" + std::to_wstring(::GetCurrentProcessId());
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, root_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.Put(),
                                    nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        key_.Reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, root_.c_str());
    }
    bool Exists(const wchar_t* path) {
        CRegKey k;
        return ::RegOpenKeyExW(key_, path, 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
    }
    std::wstring Value(const wchar_t* path, const wchar_t* name) {
        wchar_t buf[100] = {};
        DWORD size = sizeof(buf) - 2;
        if (::RegGetValueW(key_, path, name, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS) return L"<missing>";
        return buf;
    }
    static RegScriptKey K(const wchar_t* path, const wchar_t* def = nullptr) {
        RegScriptKey k;
        k.path = path;
        if (def) {
            k.hasDefault = true;
            k.defaultValue = def;
        }
        return k;
    }
    std::wstring root_;
    CRegKey key_;
};

TEST_F(RegistrarTest, WritesKeysAndRemovesOnlyWhatBecameEmpty) {
    RegScript script = {K(L"A", L"top"), K(L"A\\B"), K(L"A\\B\\C", L"leaf"), K(L"A\\F")};
    script[2].values.emplace_back(L"Model", L"both");
    script[3].forceRemove = true;
    ASSERT_EQ(RegisterScript(key_, script), S_OK);
    EXPECT_EQ(Value(L"A", nullptr), L"top");
    EXPECT_EQ(Value(L"A\\B\\C", nullptr), L"leaf");
    EXPECT_EQ(Value(L"A\\B\\C", L"Model"), L"both");

    CRegKey extra;  // somebody else's key below the class key, and below the force-removed key
    ASSERT_EQ(::RegCreateKeyExW(key_, L"A\\Other", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, extra.Put(), nullptr), ERROR_SUCCESS);
    extra.Reset();
    ASSERT_EQ(::RegCreateKeyExW(key_, L"A\\F\\G", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, extra.Put(), nullptr), ERROR_SUCCESS);
    extra.Reset();
    EXPECT_EQ(UnregisterScript(key_, script), S_OK);
    EXPECT_FALSE(Exists(L"A\\B"));
    EXPECT_FALSE(Exists(L"A\\F"));
    EXPECT_TRUE(Exists(L"A\\Other"));
    EXPECT_TRUE(Exists(L"A"));
}

}  // namespace
