// The test object's interfaces reached through their IIDs: identity, the methods with state of
// their own, the rack hand-over, and the exception boundary.
#include <gtest/gtest.h>
#include "HostStandIn.h"
#include "RecordingTestObject.h"
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "errors/TestObjectError.h"
#include "testobject/replay/ReplaySkeletonContext.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using standin::CRackStandIn;
using standin::CSettingsStandIn;
using standin::Holder;

namespace {

template <class C>
CComPtr<kcom::CComObject<C>> New() {
    kcom::CComObject<C>* p = nullptr;
    EXPECT_EQ(S_OK, kcom::CComObject<C>::CreateInstance(&p));
    return CComPtr<kcom::CComObject<C>>(p);
}

template <class I, class O>
CComPtr<I> As(O* object) {
    CComPtr<I> p;
    EXPECT_EQ(S_OK, object->QueryInterface(__uuidof(I), reinterpret_cast<void**>(p.Put())));
    return p;
}

const IID* const kInterfaces[] = {
    &__uuidof(ITestObject),      &__uuidof(ITestObject2),         &__uuidof(ITestObject3),
    &__uuidof(ITestObject4),     &__uuidof(ITestObject5),         &__uuidof(ITestObject6),
    &__uuidof(ITestObject7),     &__uuidof(ITestObjectInfo),      &__uuidof(ITestObjectInfo2),
    &__uuidof(ITestObjectInfo3), &__uuidof(IUpdateTODescription), &__uuidof(IReplaySkeleton),
    &__uuidof(IPersistStreamInit), &__uuidof(IObjectRackClient),  &__uuidof(IObjectManagerClient),
    &__uuidof(DispTestObject),   &__uuidof(IDispatch),            &__uuidof(ICustomStep),
    &__uuidof(ICustomStep2),     &__uuidof(ISnapshotHelper),
};

void* Query(IUnknown* unk, REFIID iid) {
    void* p = nullptr;
    if (FAILED(unk->QueryInterface(iid, &p)) || !p) return nullptr;
    static_cast<IUnknown*>(p)->Release();  // the object stays alive through unk
    return p;
}

// An inner object that takes a rack.
class CInnerRackClient : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                         public IObjectRackClientImpl<CInnerRackClient> {
public:
    BEGIN_COM_MAP(CInnerRackClient)
        COM_INTERFACE_ENTRY(IObjectRackClient)
    END_COM_MAP()
    IObjectRack* Kept() const noexcept { return m_rack; }
};

class CObjectWithInner : public CTestableObject {
public:
    void SetInner(IUnknown* inner) { m_inner = inner; }
};

// Counts its destructions, to see the boundary delete what it caught.
int g_deletedExceptions = 0;
class CCountedKorException : public CKorException {
public:
    explicit CCountedKorException(HRESULT hr) : CKorException(hr, nullptr, 0) {}
    ~CCountedKorException() override { ++g_deletedExceptions; }
};

// Its run-time values cannot be read: the reading raises a replay error.
class CRaisingValueObject : public CTestableObject {
public:
    HRESULT STDMETHODCALLTYPE DispTestObject_QueryValue(BSTR, VARIANT*, VARIANT*) override {
        throw static_cast<CKorException*>(new CCountedKorException(KOR_E_OBJECT_NOT_FOUND));
    }
};

}  // namespace

TEST(TestObjectInterfaces, EveryInterfaceShowsOneIdentityAndReachesEveryOther) {
    auto object = New<CTestableObject>();
    IUnknown* identity = static_cast<IUnknown*>(Query(object->GetControllingUnknown(), IID_IUnknown));
    ASSERT_NE(identity, nullptr);
    for (const IID* from : kInterfaces) {
        auto* itf = static_cast<IUnknown*>(Query(identity, *from));
        ASSERT_NE(itf, nullptr);
        EXPECT_EQ(Query(itf, IID_IUnknown), identity);
        for (const IID* to : kInterfaces) EXPECT_NE(Query(itf, *to), nullptr);
    }
    // One vtable per family: every level of a family is the same pointer.
    EXPECT_EQ(Query(identity, __uuidof(ITestObject)), Query(identity, __uuidof(ITestObject7)));
    EXPECT_EQ(Query(identity, __uuidof(ITestObjectInfo)), Query(identity, __uuidof(ITestObjectInfo3)));
    EXPECT_EQ(Query(identity, __uuidof(ICustomStep)), Query(identity, __uuidof(ICustomStep2)));
    EXPECT_EQ(Query(identity, IID_IDispatch), Query(identity, __uuidof(DispTestObject)));

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(identity->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    // The test object's own look-up answers from the same map (its own IDispatch).
    CComPtr<IDispatch> own;
    EXPECT_EQ(S_OK, object->GetOwnDispatch(own.Put()));
    EXPECT_EQ(static_cast<void*>(own.get()), Query(identity, IID_IDispatch));
}

TEST(TestObjectInterfaces, PersistenceAnswersTheActiveXClassAndForwardsTheStream) {
    auto object = New<CTestableObject>();
    auto persist = As<IPersistStreamInit>(object.get());
    CLSID clsid{};
    EXPECT_EQ(S_OK, persist->GetClassID(&clsid));
    EXPECT_TRUE(::IsEqualCLSID(clsid, CLSID_KorActiveX));
    EXPECT_EQ(E_POINTER, persist->GetClassID(nullptr));
    ULARGE_INTEGER size{};
    EXPECT_EQ(E_NOTIMPL, persist->GetSizeMax(&size));
    EXPECT_EQ(S_OK, persist->InitNew());
    EXPECT_EQ(S_FALSE, persist->IsDirty());  // a new object is clean
}

TEST(TestObjectInterfaces, ObjectManagerClientKeepsCookieAndPathAndForwardsTheCollection) {
    auto object = New<CTestableObject>();
    auto client = As<IObjectManagerClient>(object.get());

    EXPECT_EQ(S_OK, client->get_Cookie(nullptr));
    EXPECT_EQ(S_OK, client->put_Cookie(0xDEADBEEF));
    ULONG cookie = 0;
    EXPECT_EQ(S_OK, client->get_Cookie(&cookie));
    EXPECT_EQ(cookie, 0xDEADBEEFu);

    CComBSTR path;
    EXPECT_EQ(E_POINTER, client->get_FullPath(nullptr));
    EXPECT_EQ(E_FAIL, client->get_FullPath(path.Put()));
    EXPECT_TRUE(path.IsNull());
    CComBSTR given(L"Main\0Window", 11);  // kept whole, embedded null included
    EXPECT_EQ(S_OK, client->put_FullPath(given));
    EXPECT_EQ(S_OK, client->get_FullPath(path.Put()));
    EXPECT_EQ(path.Length(), 11u);
    EXPECT_EQ(0, memcmp(path, given, 22));
    EXPECT_NE(static_cast<BSTR>(path), static_cast<BSTR>(given));

    CComBSTR name;
    EXPECT_EQ(S_OK, client->put_CollectionName(CComBSTR(L"Buttons")));
    EXPECT_EQ(S_OK, client->get_CollectionName(name.Put()));
    EXPECT_STREQ(name.c_str(), L"Buttons");
}

TEST(TestObjectInterfaces, TheRackIsKeptForTheTestObjectAndHandedToTheInnerObject) {
    auto object = New<CObjectWithInner>();
    auto inner = Holder<CInnerRackClient>::New();
    object->SetInner(inner.as<IObjectRackClient>());
    auto rack = Holder<CRackStandIn>::New();
    auto client = As<IObjectRackClient>(object.get());

    EXPECT_EQ(E_POINTER, client->GetRack(nullptr));
    CComPtr<IObjectRack> kept;
    EXPECT_EQ(S_OK, client->GetRack(kept.Put()));
    EXPECT_EQ(kept.get(), nullptr);

    EXPECT_EQ(S_OK, client->SetRack(rack.as<IObjectRack>()));
    EXPECT_EQ(S_OK, client->GetRack(kept.Put()));
    EXPECT_EQ(kept.get(), rack.as<IObjectRack>());
    EXPECT_EQ(inner->Kept(), rack.as<IObjectRack>());
    // The test object's own rack hook answers the same rack.
    CComPtr<IObjectRack> hook;
    EXPECT_EQ(S_OK, static_cast<CComTestObject*>(object.get())->GetRack(hook.Put()));
    EXPECT_EQ(hook.get(), rack.as<IObjectRack>());

    // An inner object without a rack of its own is passed over.
    object->SetInner(Holder<CRackStandIn>::New().as<IUnknown>());
    EXPECT_EQ(S_OK, client->SetRack(nullptr));
    EXPECT_EQ(S_OK, client->GetRack(kept.Put()));
    EXPECT_EQ(kept.get(), nullptr);
}

TEST(TestObjectInterfaces, NoExceptionLeavesAMethod) {
    auto object = New<CRecordingTestObject>();
    auto testObject = As<ITestObject7>(object.get());
    auto info = As<ITestObjectInfo3>(object.get());
    CComBSTR name;

    g_deletedExceptions = 0;
    object->raise = [] { throw static_cast<CKorException*>(new CCountedKorException(0x80040202)); };
    EXPECT_EQ(testObject->GetTagName(name.Put()), static_cast<HRESULT>(0x80040202));
    EXPECT_EQ(g_deletedExceptions, 1);
    object->raise = [] { throw static_cast<CKorException*>(new CCountedKorException(S_FALSE)); };
    EXPECT_EQ(info->SetPropFlags(nullptr, 1), E_FAIL);  // a raised success code is still a failure
    EXPECT_EQ(g_deletedExceptions, 2);

    object->raise = [] { throw std::bad_alloc(); };
    EXPECT_EQ(info->GetPropData(nullptr, nullptr), E_OUTOFMEMORY);
    object->raise = [] { kcom::Throw(0x80040209); };
    EXPECT_EQ(testObject->FindMatchingIds(0, nullptr), static_cast<HRESULT>(0x80040209));
    object->raise = [] { throw 7; };
    EXPECT_EQ(testObject->HasDescription(nullptr, nullptr), E_FAIL);
    EXPECT_EQ(As<ISnapshotHelper>(object.get())->Snapshot(nullptr, 0, 0, nullptr, 0, 0, nullptr), E_FAIL);
    EXPECT_EQ(As<DispTestObject>(object.get())->ToString(name.Put()), E_FAIL);

    // Raised by an overridable operation under the object's own guards: outside a step its code
    // comes back and it is deleted; inside one it waits for the step, which raises it again.
    auto raising = New<CRaisingValueObject>();
    VARIANT_BOOL matched = VARIANT_TRUE;
    EXPECT_EQ(raising->WaitForPropertyValue(CComBSTR(L"Visible"), kcom::CComVariant(1L), 0, &matched, nullptr, nullptr),
              KOR_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(g_deletedExceptions, 3);
    CReplaySkeletonContext step(&IID_IDispatch, 7, L"Click", nullptr, 0);
    CReplaySkeletonContext::CParkingScope parking(step);
    EXPECT_EQ(static_cast<CComTestObject*>(raising.get())->WaitVisible(), KOR_E_OBJECT_NOT_VISIBLE);
    EXPECT_EQ(g_deletedExceptions, 3);
    try {
        step.RaiseParked();
        ADD_FAILURE() << "nothing was parked";
    } catch (CKorException* e) {
        EXPECT_EQ(e->Error(), KOR_E_OBJECT_NOT_FOUND);
        delete e;
    }
    EXPECT_EQ(g_deletedExceptions, 4);
}
