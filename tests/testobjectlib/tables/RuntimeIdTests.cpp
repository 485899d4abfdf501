// Runtime identifiers and their holders, with real VARIANT conversions and comparisons.
#include <gtest/gtest.h>
#include <cstring>
#include "RuntimeIdStub.h"
#include "com/ComBSTR.h"
#include "com/ComModule.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "tables/RuntimeId.h"
#include "errors/TestObjectError.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

template <class T>
void** Out(CComPtr<T>& p) { return reinterpret_cast<void**>(p.Put()); }

ULONG Refs(IUnknown* p) {
    p->AddRef();
    return p->Release();
}

CComPtr<IRuntimeID> NewPackId(UINT package, std::initializer_list<std::pair<const wchar_t*, long>> values = {}) {
    CComPtr<IRuntimeID> id;
    EXPECT_EQ(S_OK, CreatePackId(IID_IRuntimeID, Out(id)));
    id->put_Package(package);
    for (auto [name, value] : values) id->put_lValue(CComBSTR(name), value);
    return id;
}

CComPtr<IRuntimeID2> NewRunId() {
    CComPtr<IRuntimeID2> id;
    EXPECT_EQ(S_OK, CreateRunId(IID_IRuntimeID2, Out(id)));
    return id;
}

UINT PackageOf(IRuntimeID* id) {
    UINT package = 0;
    EXPECT_EQ(S_OK, id->get_Package(&package));
    return package;
}

// An identity of some other implementation, whose package number cannot be read.
class CUnreadableId : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public CRuntimeIdStub {
public:
    BEGIN_COM_MAP(CUnreadableId)
        COM_INTERFACE_ENTRY(IRuntimeID)
    END_COM_MAP()
    STDMETHOD(get_Package)(UINT*) override { return E_UNEXPECTED; }
    STDMETHOD(IsEmpty)() override { return S_OK; }
    STDMETHOD(IsEqual)(IRuntimeID*) override { return S_FALSE; }
};

// Every test must give back every identifier it made: the module's lock count tells.
class RuntimeId : public ::testing::Test {
protected:
    void SetUp() override { locks_ = kcom::Module().GetLockCount(); }
    void TearDown() override { EXPECT_EQ(locks_, kcom::Module().GetLockCount()); }

private:
    LONG locks_ = 0;
};

}  // namespace

TEST_F(RuntimeId, CreatorsAndThePackageNumber) {
    EXPECT_EQ(E_POINTER, CreatePackId(IID_IRuntimeID, nullptr));
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, CreatePackId(IID_IRuntimeID2, &p));
    EXPECT_EQ(nullptr, p);
    CComPtr<IRuntimeID> one;
    EXPECT_EQ(S_OK, CreateRunId(IID_IRuntimeID, Out(one)));
    EXPECT_EQ(1u, Refs(one));

    CComPtr<IRuntimeID> id = NewPackId(0);
    EXPECT_EQ(0u, PackageOf(id));  // storing 0 leaves it unset
    EXPECT_EQ(S_OK, id->put_Package(3));
    EXPECT_EQ(KOR_E_EMPTY_RECT, id->put_Package(4));
    EXPECT_EQ(3u, PackageOf(id));
    EXPECT_EQ(E_POINTER, id->get_Package(nullptr));
    EXPECT_EQ(S_OK, id->IsEmpty());
}

TEST_F(RuntimeId, NamedValuesConvertOnTheWayOut) {
    CComPtr<IRuntimeID> id = NewPackId(1);
    CComBSTR hwnd(L"hwnd"), text(L"text"), absent(L"absent");
    EXPECT_EQ(S_OK, id->put_lValue(hwnd, 0x1234));
    CComBSTR out;
    EXPECT_EQ(S_OK, id->get_BSTRValue(hwnd, out.Put()));
    EXPECT_STREQ(L"4660", out.c_str());
    long number = 7;
    EXPECT_EQ(E_INVALIDARG, id->get_lValue(absent, &number));
    EXPECT_EQ(7, number);
    EXPECT_EQ(E_INVALIDARG, id->get_lValue(CComBSTR(L"HWND"), &number));  // names keep their case
    EXPECT_EQ(E_POINTER, id->get_BSTRValue(hwnd, nullptr));

    EXPECT_EQ(S_OK, id->put_BSTRValue(text, CComBSTR(L"abc")));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, id->get_lValue(text, &number));
    EXPECT_EQ(S_OK, id->put_lValue(text, 5));
    EXPECT_EQ(S_OK, id->get_lValue(text, &number));
    EXPECT_EQ(5, number);
    EXPECT_EQ(S_OK, id->put_BSTRValue(text, nullptr));
    CComVariant v;
    EXPECT_EQ(S_OK, id->get_VARIANTValue(text, &v));
    EXPECT_EQ(VT_BSTR, v.vt);
    EXPECT_EQ(0u, ::SysStringLen(v.bstrVal));

    EXPECT_EQ(S_FALSE, id->IsEmpty());
    EXPECT_EQ(S_OK, id->put_lValue(nullptr, 1));  // a null name is a name of its own
    UINT size = 0;
    EXPECT_EQ(S_OK, id->get_Size(&size));
    EXPECT_EQ(3u, size);
}

TEST_F(RuntimeId, VariantValuesAreCopiesBothWays) {
    CComPtr<IRuntimeID> id = NewPackId(1);
    CComBSTR name(L"name");
    CComVariant mine(L"value");
    EXPECT_EQ(S_OK, id->put_VARIANTValue(name, mine));
    EXPECT_STREQ(L"value", mine.bstrVal);

    // The out VARIANT is not read: a stale value in it is not freed.
    VARIANT out;
    std::memset(&out, 0, sizeof out);
    out.vt = VT_BSTR;
    out.bstrVal = reinterpret_cast<BSTR>(0x10);
    EXPECT_EQ(S_OK, id->get_VARIANTValue(name, &out));
    EXPECT_EQ(VT_BSTR, out.vt);
    EXPECT_STREQ(L"value", out.bstrVal);
    EXPECT_NE(mine.bstrVal, out.bstrVal);
    ::VariantClear(&out);
    EXPECT_EQ(E_INVALIDARG, id->get_VARIANTValue(CComBSTR(L"none"), &out));
    EXPECT_EQ(VT_EMPTY, out.vt);

    // A value that cannot be copied is refused and stores nothing.
    VARIANT bad;
    ::VariantInit(&bad);
    bad.vt = 0x7FFF;
    EXPECT_EQ(DISP_E_BADVARTYPE, id->put_VARIANTValue(CComBSTR(L"bad"), bad));
    UINT size = 0;
    id->get_Size(&size);
    EXPECT_EQ(1u, size);
}

TEST_F(RuntimeId, PackIdsCompareByPackageAndValues) {
    CComPtr<IRuntimeID> a = NewPackId(4, {{L"hwnd", 1}, {L"punknown", 2}});
    CComPtr<IRuntimeID> b = NewPackId(4, {{L"punknown", 2}, {L"hwnd", 1}});
    EXPECT_EQ(S_OK, a->IsEqual(b));
    EXPECT_EQ(S_OK, b->IsEqual(a));
    b->put_lValue(CComBSTR(L"x"), 0);
    EXPECT_EQ(S_FALSE, a->IsEqual(b));
    EXPECT_EQ(S_FALSE, a->IsEqual(NewPackId(5, {{L"hwnd", 1}, {L"punknown", 2}})));
    EXPECT_EQ(E_POINTER, a->IsEqual(nullptr));

    CComPtr<IRuntimeID> copy;
    EXPECT_EQ(E_POINTER, a->Clone(nullptr));
    ASSERT_EQ(S_OK, a->Clone(copy.Put()));
    EXPECT_NE(a.get(), copy.get());
    EXPECT_EQ(S_OK, a->IsEqual(copy));
    copy->put_lValue(CComBSTR(L"hwnd"), 11);  // deep: the original keeps its value
    EXPECT_EQ(S_FALSE, a->IsEqual(copy));

    // Same number, different VARTYPE.
    CComPtr<IRuntimeID> c = NewPackId(4, {{L"hwnd", 1}});
    CComPtr<IRuntimeID> d = NewPackId(4);
    d->put_VARIANTValue(CComBSTR(L"hwnd"), CComVariant(1L, VT_I2));
    EXPECT_EQ(S_FALSE, c->IsEqual(d));

    // Nested identifiers compare by content.
    c->put_VARIANTValue(CComBSTR(L"parent"), CComVariant(static_cast<IUnknown*>(NewPackId(9, {{L"v", 3}}))));
    d = NewPackId(4, {{L"hwnd", 1}});
    d->put_VARIANTValue(CComBSTR(L"parent"), CComVariant(static_cast<IUnknown*>(NewPackId(9, {{L"v", 3}}))));
    EXPECT_EQ(S_OK, c->IsEqual(d));
    d->put_VARIANTValue(CComBSTR(L"parent"), CComVariant(static_cast<IUnknown*>(NewPackId(9, {{L"v", 4}}))));
    EXPECT_EQ(S_FALSE, c->IsEqual(d));
}

TEST_F(RuntimeId, RunIdWithoutCurrentIdentity) {
    CComPtr<IRuntimeID2> run = NewRunId();
    EXPECT_EQ(S_OK, run->IsEmpty());
    UINT size = 0;
    EXPECT_EQ(KOR_E_NO_RUNTIME_ID, run->get_Size(&size));
    EXPECT_EQ(E_POINTER, run->get_Size(nullptr));
    EXPECT_EQ(KOR_E_NO_RUNTIME_ID, run->put_lValue(CComBSTR(L"hwnd"), 1));
    BSTR text = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(KOR_E_NO_RUNTIME_ID, run->get_BSTRValue(CComBSTR(L"hwnd"), &text));
    EXPECT_EQ(nullptr, text);
    CComPtr<IRuntimeID> none;
    EXPECT_EQ(KOR_E_NO_RUNTIME_ID, run->Clone(none.Put()));
    EXPECT_EQ(KOR_E_OBJECT_NOT_FOUND, run->GetPackageId(1, none.Put()));
    EXPECT_EQ(S_FALSE, run->NextPackageId(none.Put(), true));
    EXPECT_EQ(S_FALSE, run->NextPackageId(none.Put(), false));
    EXPECT_EQ(E_POINTER, run->NextPackageId(nullptr, true));
}

TEST_F(RuntimeId, PutPackageSwitchesOrCreatesTheCurrentIdentity) {
    CComPtr<IRuntimeID2> run = NewRunId();
    EXPECT_EQ(S_OK, run->put_Package(5));
    EXPECT_EQ(S_OK, run->put_lValue(CComBSTR(L"hwnd"), 55));
    EXPECT_EQ(S_FALSE, run->IsEmpty());
    EXPECT_EQ(S_OK, run->put_Package(2));
    EXPECT_EQ(2u, PackageOf(run));
    EXPECT_EQ(S_OK, run->IsEmpty());
    EXPECT_EQ(S_OK, run->put_Package(5));
    long hwnd = 0;
    EXPECT_EQ(S_OK, run->get_lValue(CComBSTR(L"hwnd"), &hwnd));
    EXPECT_EQ(55, hwnd);
    CComPtr<IRuntimeID> clone;
    ASSERT_EQ(S_OK, run->Clone(clone.Put()));  // the current identity only
    EXPECT_EQ(5u, PackageOf(clone));

    // Removing the current package keeps the current identity; putting it again makes a new one.
    EXPECT_EQ(S_OK, run->RemovePackageId(5));
    EXPECT_EQ(KOR_E_OBJECT_NOT_FOUND, run->GetPackageId(5, clone.Put()));
    EXPECT_EQ(5u, PackageOf(run));
    EXPECT_EQ(S_FALSE, run->IsEmpty());
    EXPECT_EQ(S_OK, run->put_Package(5));
    EXPECT_EQ(S_OK, run->IsEmpty());
}

TEST_F(RuntimeId, EnumerationRunsInPackageOrder) {
    CComPtr<IRuntimeID2> run = NewRunId();
    CComPtr<IRuntimeID> five = NewPackId(5), two = NewPackId(2);
    EXPECT_EQ(S_OK, run->AddPackageId(five));
    EXPECT_EQ(S_OK, run->AddPackageId(two));
    EXPECT_EQ(5u, PackageOf(run));  // the first one added stays current
    CComPtr<IRuntimeID> item;
    ASSERT_EQ(S_OK, run->NextPackageId(item.Put(), true));
    EXPECT_EQ(two.get(), item.get());
    ASSERT_EQ(S_OK, run->NextPackageId(item.Put(), false));
    EXPECT_EQ(five.get(), item.get());
    EXPECT_EQ(S_FALSE, run->NextPackageId(item.Put(), false));
    EXPECT_EQ(nullptr, item.get());
    EXPECT_EQ(S_FALSE, run->NextPackageId(item.Put(), false));

    // A change of the map starts the next enumeration afresh.
    run->RemovePackageId(2);
    ASSERT_EQ(S_OK, run->NextPackageId(item.Put(), false));
    EXPECT_EQ(five.get(), item.get());

    // A second identity of the same package replaces and releases the first.
    CComPtr<IRuntimeID> otherFive = NewPackId(5);
    ULONG before = Refs(five);
    EXPECT_EQ(S_OK, run->AddPackageId(otherFive));
    item.Release();
    EXPECT_EQ(before - 2, Refs(five));  // the map's and the enumeration's references
    EXPECT_EQ(S_OK, run->GetPackageId(5, item.Put()));
    EXPECT_EQ(otherFive.get(), item.get());

    EXPECT_EQ(E_INVALIDARG, run->AddPackageId(nullptr));
    EXPECT_EQ(E_INVALIDARG, run->AddPackageId(run));
}

TEST_F(RuntimeId, RunIdsCompareWholeOrByTheOtherPackage) {
    CComPtr<IRuntimeID2> a = NewRunId(), b = NewRunId();
    a->AddPackageId(NewPackId(1, {{L"hwnd", 1}}));
    a->AddPackageId(NewPackId(2, {{L"hwnd", 2}}));
    b->AddPackageId(NewPackId(2, {{L"hwnd", 2}}));
    EXPECT_EQ(S_FALSE, a->IsEqual(b));
    b->AddPackageId(NewPackId(1, {{L"hwnd", 1}}));
    EXPECT_EQ(S_OK, a->IsEqual(b));  // the current identities differ; the sets do not
    EXPECT_EQ(S_OK, a->IsEqual(a));
    b->put_Package(1);
    b->put_lValue(CComBSTR(L"hwnd"), 9);
    EXPECT_EQ(S_FALSE, a->IsEqual(b));

    EXPECT_EQ(S_OK, a->IsEqual(NewPackId(2, {{L"hwnd", 2}})));
    EXPECT_EQ(S_FALSE, a->IsEqual(NewPackId(2, {{L"hwnd", 3}})));
    EXPECT_EQ(S_FALSE, a->IsEqual(NewPackId(7)));
    EXPECT_EQ(E_INVALIDARG, a->IsEqual(nullptr));
}

TEST_F(RuntimeId, DuplicateCopiesEveryIdentityAndTheCurrentOne) {
    CComPtr<IRuntimeID2> run = NewRunId();
    run->AddPackageId(NewPackId(4, {{L"hwnd", 4}}));
    run->AddPackageId(NewPackId(8, {{L"hwnd", 8}}));
    run->put_Package(8);
    CComPtr<IRuntimeID2> copy;
    EXPECT_EQ(E_POINTER, run->Duplicate(nullptr));
    ASSERT_EQ(S_OK, run->Duplicate(copy.Put()));
    EXPECT_EQ(S_OK, run->IsEqual(copy));
    EXPECT_EQ(8u, PackageOf(copy));

    // An identity without a package number cannot be entered in the copy.
    run->AddPackageId(NewPackId(0, {{L"hwnd", 0}}));
    EXPECT_EQ(E_FAIL, run->Duplicate(copy.Put()));
    EXPECT_EQ(nullptr, copy.get());

    // Nor can a current identity whose package was removed.
    CComPtr<IRuntimeID2> orphan = NewRunId();
    orphan->put_Package(3);
    orphan->RemovePackageId(3);
    EXPECT_EQ(E_FAIL, orphan->Duplicate(copy.Put()));
}

TEST_F(RuntimeId, ForeignIdentitiesWhoseNumberFailsAreReported) {
    CComPtr<IRuntimeID> foreign;
    ASSERT_EQ(S_OK, (kcom::CreateObject<CUnreadableId, IRuntimeID>(foreign.Put())));
    CComPtr<IRuntimeID2> run = NewRunId();
    EXPECT_EQ(E_UNEXPECTED, run->AddPackageId(foreign));
    EXPECT_EQ(S_OK, run->IsEmpty());  // it became current all the same
    EXPECT_EQ(E_UNEXPECTED, run->IsEqual(foreign));
    EXPECT_EQ(S_FALSE, NewPackId(1)->IsEqual(foreign));

    CRuntimeId holder(foreign);
    EXPECT_TRUE(holder);
    EXPECT_EQ(0u, holder.GetPackage());
}

TEST_F(RuntimeId, HolderBuiltFromAPlainIdentityKeepsThatObject) {
    CComPtr<IRuntimeID> seven = NewPackId(7, {{L"hwnd", 70}});
    CRuntimeId holder(seven.get());
    EXPECT_EQ(7u, holder.GetPackage());
    CPackageId package;
    EXPECT_EQ(S_OK, holder.GetPackageId(7, package));
    EXPECT_EQ(seven.get(), static_cast<IRuntimeID*>(package));
    long hwnd = 0;
    EXPECT_EQ(S_OK, holder.GetLong(L"hwnd", &hwnd));
    EXPECT_EQ(70, hwnd);

    // The package holder reads the same; attaching what it holds takes no second reference.
    const ULONG refs = Refs(seven);
    package.Attach(seven);
    EXPECT_EQ(refs, Refs(seven));
    EXPECT_EQ(7u, package.GetPackage());
    hwnd = 0;
    EXPECT_EQ(S_OK, package.GetLong(L"hwnd", &hwnd));
    EXPECT_EQ(70, hwnd);
    EXPECT_EQ(KOR_E_OBJECT_NOT_FOUND, holder.GetPackageId(8, package));
    EXPECT_EQ(nullptr, static_cast<IRuntimeID*>(package));
    EXPECT_EQ(refs - 1, Refs(seven));

    // A whole identifier is held as it is.
    CComPtr<IRuntimeID2> run = NewRunId();
    CRuntimeId same(static_cast<IRuntimeID*>(run.get()));
    EXPECT_EQ(run.get(), static_cast<IRuntimeID2*>(same));
    CRuntimeId none(static_cast<IRuntimeID*>(nullptr));
    EXPECT_FALSE(none);
}

TEST_F(RuntimeId, HolderFromNumberVariantAndOtherHolder) {
    CRuntimeId numbered(12u);
    EXPECT_EQ(12u, numbered.GetPackage());
    EXPECT_EQ(S_OK, numbered->IsEmpty());

    CComVariant asUnknown(static_cast<IUnknown*>(NewPackId(3)));
    EXPECT_EQ(3u, CRuntimeId(static_cast<const VARIANT&>(asUnknown)).GetPackage());
    EXPECT_FALSE(CRuntimeId(static_cast<const VARIANT&>(CComVariant(3))));
    CComPtr<IStream> stream;
    ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()));
    CComVariant notAnId(static_cast<IUnknown*>(stream.get()));
    EXPECT_FALSE(CRuntimeId(static_cast<const VARIANT&>(notAnId)));

    IRuntimeID2* raw = numbered;
    ULONG refs = Refs(raw);
    {
        CRuntimeId shared(numbered, true);
        EXPECT_EQ(refs + 1, Refs(raw));
    }
    EXPECT_EQ(refs, Refs(raw));
    CRuntimeId taken(numbered, false);
    EXPECT_FALSE(numbered);
    EXPECT_EQ(raw, static_cast<IRuntimeID2*>(taken));
    EXPECT_EQ(refs, Refs(raw));
}

TEST_F(RuntimeId, HolderCallsNeedAnIdentifier) {
    CRuntimeId empty;
    CPackageId none;
    EXPECT_EQ(0u, empty.GetPackage());
    EXPECT_EQ(0u, none.GetPackage());
    long value = 0;
    EXPECT_EQ(E_FAIL, empty.GetLong(L"hwnd", &value));
    EXPECT_EQ(E_FAIL, none.GetLong(L"hwnd", &value));
    EXPECT_EQ(E_FAIL, empty.PutVariantValue(L"hwnd", CComVariant(1)));
    CPackageId out(NewPackId(1));
    EXPECT_EQ(KOR_E_NO_RUNTIME_ID, empty.GetPackageId(1, out));
    EXPECT_EQ(nullptr, static_cast<IRuntimeID*>(out));

    // As an out-parameter it takes a new identifier and lets the old one go.
    ASSERT_EQ(S_OK, CreateRunId(IID_IRuntimeID2, reinterpret_cast<void**>(empty.Put())));
    ASSERT_EQ(S_OK, CreateRunId(IID_IRuntimeID2, reinterpret_cast<void**>(empty.Put())));
    empty->put_Package(2);
    CComVariant text(L"caller's");
    EXPECT_EQ(S_OK, empty.PutVariantValue(L"title", text));
    EXPECT_STREQ(L"caller's", text.bstrVal);
    CComBSTR stored;
    EXPECT_EQ(S_OK, empty->get_BSTRValue(CComBSTR(L"title"), stored.Put()));
    EXPECT_STREQ(L"caller's", stored.c_str());
}
