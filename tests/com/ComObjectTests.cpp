// The object templates against real ole32/oleaut32: identity, counts, aggregation, creation failure.
#include <gtest/gtest.h>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "kestrune.h"
#include "RuntimeIdStub.h"

using namespace kcom;

namespace {

// A small object with two interfaces of the type library.
class CTwoFaced : public CComObjectRootEx<CComSingleThreadModel>, public CRuntimeId2Stub, public IPersist {
public:
    static inline int live = 0;
    static inline HRESULT constructResult = S_OK;
    CTwoFaced() { ++live; }
    ~CTwoFaced() override { --live; }
    HRESULT FinalConstruct() noexcept { return constructResult; }

    BEGIN_COM_MAP(CTwoFaced)
        COM_INTERFACE_ENTRY(IRuntimeID2)
        COM_INTERFACE_ENTRY(IRuntimeID)
        COM_INTERFACE_ENTRY(IPersist)
    END_COM_MAP()

    STDMETHOD(GetClassID)(CLSID* out) override { *out = CLSID_NULL; return S_OK; }
    STDMETHOD(get_Package)(UINT* v) override { *v = 7; return S_OK; }
    STDMETHOD(IsEmpty)() override { return S_OK; }
};

// An outer object that aggregates CTwoFaced blindly.
class COuter : public CComObjectRootEx<CComSingleThreadModel>, public IPersistStream {
public:
    CComPtr<IUnknown> inner;
    HRESULT FinalConstruct() noexcept {
        return CComCreator<CTwoFaced>::CreateInstance(GetControllingUnknown(), IID_IUnknown,
                                                     reinterpret_cast<void**>(inner.Put()));
    }
    void FinalRelease() noexcept { inner.Release(); }

    BEGIN_COM_MAP(COuter)
        COM_INTERFACE_ENTRY(IPersistStream)
        COM_INTERFACE_ENTRY_AGGREGATE_BLIND(inner.get())
    END_COM_MAP()

    STDMETHOD(GetClassID)(CLSID*) override { return E_NOTIMPL; }
    STDMETHOD(IsDirty)() override { return S_FALSE; }
    STDMETHOD(Load)(IStream*) override { return E_NOTIMPL; }
    STDMETHOD(Save)(IStream*, BOOL) override { return E_NOTIMPL; }
    STDMETHOD(GetSizeMax)(ULARGE_INTEGER*) override { return E_NOTIMPL; }
};

}  // namespace

TEST(ComObject, IdentityCountsAndModuleLock) {
    LONG locks = Module().GetLockCount();
    {
        CComPtr<IRuntimeID> id;
        ASSERT_EQ(S_OK, (CreateObject<CTwoFaced, IRuntimeID>(id.Put())));
        EXPECT_EQ(locks + 1, Module().GetLockCount());
        CComPtr<IPersist> persist;
        ASSERT_EQ(S_OK, id.QueryInterface(persist.Put()));
        EXPECT_TRUE(id.IsEqualObject(persist));
        CComPtr<IUnknown> u1, u2;
        id->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(u1.Put()));
        persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(u2.Put()));
        EXPECT_EQ(u1.get(), u2.get());
        CComPtr<IStream> none;
        EXPECT_EQ(E_NOINTERFACE, id.QueryInterface(none.Put()));
        EXPECT_EQ(E_POINTER, id->QueryInterface(IID_IUnknown, nullptr));
    }
    EXPECT_EQ(0, CTwoFaced::live);
    EXPECT_EQ(locks, Module().GetLockCount());
}

TEST(ComObject, FailedCreations) {
    // A failed FinalConstruct deletes the object.
    CTwoFaced::constructResult = E_ACCESSDENIED;
    CComPtr<IRuntimeID> id;
    EXPECT_EQ(E_ACCESSDENIED, (CreateObject<CTwoFaced, IRuntimeID>(id.Put())));
    EXPECT_FALSE(id);
    EXPECT_EQ(0, CTwoFaced::live);
    CTwoFaced::constructResult = S_OK;

    // A class that cannot be aggregated refuses an outer object.
    CComPtr<IPersistStream> outer;
    ASSERT_EQ(S_OK, (CreateObject<COuter, IPersistStream>(outer.Put())));
    void* p = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CComCreatorNoAggregation<CTwoFaced>::CreateInstance(outer, IID_IUnknown, &p));
    EXPECT_EQ(nullptr, p);
}

TEST(ComObject, AggregationDelegatesToTheOuterIdentity) {
    {
        CComPtr<IPersistStream> outer;
        ASSERT_EQ(S_OK, (CreateObject<COuter, IPersistStream>(outer.Put())));
        EXPECT_EQ(1, CTwoFaced::live);
        CComPtr<IRuntimeID2> viaInner;
        ASSERT_EQ(S_OK, outer.QueryInterface(viaInner.Put()));
        UINT package = 0;
        viaInner->get_Package(&package);
        EXPECT_EQ(7u, package);
        // The inner's interfaces answer the outer's identity and the outer's interfaces.
        EXPECT_TRUE(viaInner.IsEqualObject(outer));
        CComPtr<IPersistStream> back;
        EXPECT_EQ(S_OK, viaInner.QueryInterface(back.Put()));
        EXPECT_EQ(outer.get(), back.get());
    }
    EXPECT_EQ(0, CTwoFaced::live);
}

TEST(ComWrappers, BstrOwnership) {
    CComBSTR a(L"abc");
    CComBSTR b = a;
    EXPECT_NE(static_cast<BSTR>(a), static_cast<BSTR>(b));
    EXPECT_EQ(3u, b.Length());
    a = a;  // self-assignment keeps the text
    EXPECT_STREQ(L"abc", a.c_str());
    BSTR out = nullptr;
    EXPECT_EQ(S_OK, a.CopyTo(&out));
    EXPECT_STREQ(L"abc", out);
    ::SysFreeString(out);
    EXPECT_EQ(E_POINTER, a.CopyTo(nullptr));
    CComBSTR empty;
    EXPECT_TRUE(empty.IsNull());
    EXPECT_STREQ(L"", empty.c_str());
}

TEST(ComWrappers, VariantCopiesAndDetaches) {
    CComVariant v(L"text");
    CComVariant w = v;
    EXPECT_EQ(VT_BSTR, w.vt);
    EXPECT_NE(v.bstrVal, w.bstrVal);
    v = v;
    EXPECT_STREQ(L"text", v.bstrVal);
    VARIANT raw;
    ::VariantInit(&raw);
    EXPECT_EQ(S_OK, w.Detach(&raw));
    EXPECT_EQ(VT_EMPTY, w.vt);
    EXPECT_STREQ(L"text", raw.bstrVal);
    ::VariantClear(&raw);
    CComVariant n(1234L);
    EXPECT_EQ(S_OK, n.ChangeType(VT_BSTR));
    EXPECT_STREQ(L"1234", n.bstrVal);
}

TEST(ComWrappers, VariantCopyFailuresAreRaised) {
    VARIANT bad;
    ::VariantInit(&bad);
    bad.vt = VT_CLSID;  // not a type a VARIANT may carry
    try {
        CComVariant copy(bad);
        ADD_FAILURE() << "the copy was made";
    } catch (const ComError& e) {
        EXPECT_EQ(DISP_E_BADVARTYPE, e.hr());
    }
    CComVariant held(L"kept");
    EXPECT_THROW(held = bad, ComError);
    EXPECT_STREQ(L"kept", held.bstrVal);
}

TEST(ComWrappers, MovingIntoAnOutParameterFreesWhatItHeld) {
    CComPtr<IRuntimeID> object;
    ASSERT_EQ(S_OK, (CreateObject<CTwoFaced, IRuntimeID>(object.Put())));
    CComVariant out(static_cast<IUnknown*>(object.get()));
    object.Release();
    CComVariant text(L"moved");
    MoveVariant(&out, text);
    EXPECT_EQ(0, CTwoFaced::live);
    EXPECT_EQ(VT_EMPTY, text.vt);
    MoveVariant(&out, out);
    EXPECT_STREQ(L"moved", out.bstrVal);
}

TEST(ComError, GuardTurnsExceptionsIntoResults) {
    EXPECT_EQ(E_OUTOFMEMORY, Guard([]() -> HRESULT { throw std::bad_alloc(); }));
    EXPECT_EQ(0x80040206, static_cast<ULONG>(Guard([]() -> HRESULT { Throw(0x80040206); })));
    EXPECT_EQ(E_FAIL, Guard([]() -> HRESULT { throw std::runtime_error("x"); }));
    EXPECT_EQ(S_FALSE, Guard([] { return S_FALSE; }));
}

TEST(ComError, ReportErrorSetsThreadErrorInfo) {
    EXPECT_EQ(E_INVALIDARG, ReportError(L"Source.X", L"bad thing", IID_IRuntimeID, E_INVALIDARG));
    CComPtr<IErrorInfo> info;
    ASSERT_EQ(S_OK, ::GetErrorInfo(0, info.Put()));
    CComBSTR text;
    info->GetDescription(text.Put());
    EXPECT_STREQ(L"bad thing", text.c_str());
}
