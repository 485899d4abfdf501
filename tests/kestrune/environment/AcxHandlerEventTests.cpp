// Events fired through the handler at the sinks of a control with two event sources.
#include <gtest/gtest.h>
#include <windows.h>
#include <olectl.h>
#include <utility>
#include <vector>
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "HandlerEvents.h"
#include "EnvTestSupport.h"
#include "environment/AcxHandler.h"

namespace {

using kcom::CComObject;
using kcom::CComPtr;
using kcom::CComVariant;

// How an enumerator of connections moves on: forward to its end, round and round, not at all, or
// forever with a new cookie each time.
enum class Walk { Forward, Wraps, Stuck, Endless };

// The connections of one point, as the handler walks them.
class CEnumConnectionsImpl : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IEnumConnections {
public:
    BEGIN_COM_MAP(CEnumConnectionsImpl)
        COM_INTERFACE_ENTRY(IEnumConnections)
    END_COM_MAP()
    STDMETHOD(Next)(ULONG count, CONNECTDATA* out, ULONG* fetched) override {
        ULONG n = 0;
        for (; n < count && !sinks.empty() && (walk != Walk::Forward || at < sinks.size()); ++n) {
            out[n].pUnk = sinks[at % sinks.size()];
            out[n].pUnk->AddRef();
            out[n].dwCookie = static_cast<DWORD>((walk == Walk::Endless ? at : at % sinks.size()) + 1);
            if (walk != Walk::Stuck) ++at;
        }
        if (fetched) *fetched = answer ? 0 : n;
        return answer ? answer : n == count ? S_OK : S_FALSE;
    }
    STDMETHOD(Skip)(ULONG) override { return E_NOTIMPL; }
    STDMETHOD(Reset)() override { return E_NOTIMPL; }
    STDMETHOD(Clone)(IEnumConnections**) override { return E_NOTIMPL; }
    std::vector<CComPtr<IUnknown>> sinks;
    size_t at = 0;
    HRESULT answer = S_OK;  // other than S_OK: what every Next answers, with a count of 0
    Walk walk = Walk::Forward;
};

class CConnectionPointImpl : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IConnectionPoint {
public:
    BEGIN_COM_MAP(CConnectionPointImpl)
        COM_INTERFACE_ENTRY(IConnectionPoint)
    END_COM_MAP()
    STDMETHOD(GetConnectionInterface)(IID* out) override {
        if (!out) return E_POINTER;
        *out = iid;
        return S_OK;
    }
    STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    // Sinks stay for the point's life: cookies are their places.
    STDMETHOD(Advise)(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie) return E_POINTER;
        sinks.emplace_back(sink);
        *cookie = static_cast<DWORD>(sinks.size());
        return S_OK;
    }
    STDMETHOD(Unadvise)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumConnections)(IEnumConnections** out) override {
        if (!out) return E_POINTER;
        CComObject<CEnumConnectionsImpl>* e = nullptr;
        HRESULT hr = CComObject<CEnumConnectionsImpl>::CreateInstance(&e);
        if (FAILED(hr)) return hr;
        e->sinks = sinks;
        e->answer = answer;
        e->walk = walk;
        return e->QueryInterface(IID_IEnumConnections, reinterpret_cast<void**>(out));
    }
    IID iid{};
    std::vector<CComPtr<IUnknown>> sinks;
    HRESULT answer = S_OK;
    Walk walk = Walk::Forward;
};

// The control: class information from the program's type library and one connection point per
// event source. It has no "Object" of its own.
class CEventControl : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                      public CDispatchStub,
                      public IProvideClassInfo,
                      public IConnectionPointContainer {
public:
    BEGIN_COM_MAP(CEventControl)
        COM_INTERFACE_ENTRY(IDispatch)
        COM_INTERFACE_ENTRY(IProvideClassInfo)
        COM_INTERFACE_ENTRY(IConnectionPointContainer)
    END_COM_MAP()

    HRESULT FinalConstruct() {
        for (auto [point, iid] : {std::pair{&first, &DIID__FirstEvents}, std::pair{&second, &DIID__SecondEvents}}) {
            HRESULT hr = CComObject<CConnectionPointImpl>::CreateInstance(point);
            if (FAILED(hr)) return hr;
            (*point)->iid = *iid;
            points_.emplace_back(static_cast<IConnectionPoint*>(*point));
        }
        return S_OK;
    }
    STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
    STDMETHOD(GetClassInfo)(ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        wchar_t path[MAX_PATH];
        ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        CComPtr<ITypeLib> lib;
        HRESULT hr = ::LoadTypeLibEx(path, REGKIND_NONE, lib.Put());
        return FAILED(hr) ? hr : lib->GetTypeInfoOfGuid(CLSID_EventControl, out);
    }
    STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHOD(FindConnectionPoint)(REFIID iid, IConnectionPoint** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        for (CComObject<CConnectionPointImpl>* p : {first, second})
            if (::IsEqualIID(iid, p->iid)) return p->QueryInterface(IID_IConnectionPoint, reinterpret_cast<void**>(out));
        return CONNECT_E_NOCONNECTION;
    }

    CComObject<CConnectionPointImpl>* first = nullptr;
    CComObject<CConnectionPointImpl>* second = nullptr;

private:
    std::vector<CComPtr<IConnectionPoint>> points_;  // what keeps the two alive
};

struct Call {
    DISPID id;
    std::vector<CComVariant> args;  // as DISPPARAMS carried them
};

// A sink of one event source.
template <const IID* Source>
class CEventSink : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public CDispatchStub {
public:
    BEGIN_COM_MAP(CEventSink)
        COM_INTERFACE_ENTRY(IDispatch)
        COM_INTERFACE_ENTRY_IID(*Source, IDispatch)
    END_COM_MAP()
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        Call call{id, {}};
        for (UINT i = 0; params && i < params->cArgs; ++i) call.args.emplace_back(params->rgvarg[i]);
        if (flags == DISPATCH_METHOD) calls.push_back(std::move(call));
        return fail;
    }
    std::vector<Call> calls;
    HRESULT fail = S_OK;
};

template <class T>
CComObject<T>* New(CComPtr<IUnknown>& keep) {
    CComObject<T>* p = nullptr;
    if (FAILED(CComObject<T>::CreateInstance(&p))) return nullptr;
    keep = static_cast<IDispatch*>(p);
    return p;
}

class AcxHandlerEvents : public ::testing::Test {
protected:
    void SetUp() override {
        control_ = New<CEventControl>(controlKeep_);
        ASSERT_TRUE(control_);
        for (auto* sink : {&firstA_, &firstB_}) {
            *sink = New<CEventSink<&DIID__FirstEvents>>(keeps_.emplace_back());
            DWORD cookie = 0;
            ASSERT_HRESULT_SUCCEEDED(control_->first->Advise(static_cast<IDispatch*>(*sink), &cookie));
        }
        second_ = New<CEventSink<&DIID__SecondEvents>>(keeps_.emplace_back());
        DWORD cookie = 0;
        ASSERT_HRESULT_SUCCEEDED(control_->second->Advise(static_cast<IDispatch*>(second_), &cookie));
        handler_.Attach(static_cast<IDispatch*>(control_));
    }

    // A one-dimensional VARIANT array of the numbers, with its first index at lower.
    static kcom::CComSafeArray Numbers(std::initializer_list<LONG> values, LONG lower) {
        SAFEARRAYBOUND bound{static_cast<ULONG>(values.size()), lower};
        kcom::CComSafeArray psa(::SafeArrayCreate(VT_VARIANT, 1, &bound));
        LONG at = lower;
        for (LONG v : values) {
            CComVariant cell(v);
            ::SafeArrayPutElement(psa, &at, &cell);
            ++at;
        }
        return psa;
    }

    CComPtr<IUnknown> controlKeep_;
    std::vector<CComPtr<IUnknown>> keeps_;
    CComObject<CEventControl>* control_ = nullptr;
    CComObject<CEventSink<&DIID__FirstEvents>>* firstA_ = nullptr;
    CComObject<CEventSink<&DIID__FirstEvents>>* firstB_ = nullptr;
    CComObject<CEventSink<&DIID__SecondEvents>>* second_ = nullptr;
    CAcxHandler handler_;
};

TEST_F(AcxHandlerEvents, TheFirstSourceDeclaringTheNameFiresWithArgumentsReversed) {
    // Arguments are read from their own lower bound.
    for (LONG lower : {0, 1}) {
        kcom::CComSafeArray args = Numbers({1, 2, 3}, lower);
        ASSERT_EQ(S_OK, handler_.FireEvent(kcom::CComBSTR(L"Click"), args));
        for (auto* sink : {firstA_, firstB_}) {
            ASSERT_EQ(static_cast<size_t>(lower + 1), sink->calls.size());
            EXPECT_EQ(11, sink->calls[lower].id);
            ASSERT_EQ(3u, sink->calls[lower].args.size());
            EXPECT_EQ(3, sink->calls[lower].args[0].lVal);
            EXPECT_EQ(2, sink->calls[lower].args[1].lVal);
            EXPECT_EQ(1, sink->calls[lower].args[2].lVal);
        }
    }
    EXPECT_TRUE(second_->calls.empty());
    // An event only the second source declares goes there.
    ASSERT_EQ(S_OK, handler_.FireEvent(kcom::CComBSTR(L"Resized"), nullptr));
    ASSERT_EQ(1u, second_->calls.size());
    EXPECT_EQ(22, second_->calls[0].id);
    EXPECT_TRUE(second_->calls[0].args.empty());
}

TEST_F(AcxHandlerEvents, UnknownNamesAndFailingSinks) {
    EXPECT_EQ(DISP_E_UNKNOWNNAME, handler_.FireEvent(kcom::CComBSTR(L"click"), nullptr));  // names keep their case
    EXPECT_EQ(DISP_E_UNKNOWNNAME, handler_.FireEvent(kcom::CComBSTR(L"Nothing"), nullptr));
    firstA_->fail = E_FAIL;
    EXPECT_EQ(S_OK, handler_.FireEvent(kcom::CComBSTR(L"Changed"), nullptr));
    EXPECT_EQ(1u, firstA_->calls.size());
    EXPECT_EQ(1u, firstB_->calls.size());  // one sink's failure does not stop the others

    // A connection handed out counts, whatever the answer and the count say (across processes both
    // can be garbage); the walk ends where none comes back, even on a success code.
    firstA_->fail = S_OK;
    auto references = [](IUnknown* p) { return p->AddRef(), p->Release(); };
    const ULONG held = references(static_cast<IDispatch*>(firstA_));
    for (HRESULT garbage : {static_cast<HRESULT>(0x01460004), E_FAIL}) {
        control_->first->answer = garbage;
        const size_t before = firstB_->calls.size();
        EXPECT_EQ(S_OK, handler_.FireEvent(kcom::CComBSTR(L"Changed"), nullptr)) << garbage;
        EXPECT_EQ(before + 1, firstA_->calls.size()) << garbage;
        EXPECT_EQ(before + 1, firstB_->calls.size()) << garbage;
        EXPECT_EQ(held, references(static_cast<IDispatch*>(firstA_))) << garbage;
    }

    // An enumerator that never ends still ends the walk: a connection that comes back is not fired
    // again, while a sink advised twice is two connections and hears the event twice.
    control_->first->answer = S_OK;
    DWORD again = 0;
    ASSERT_HRESULT_SUCCEEDED(control_->first->Advise(static_cast<IDispatch*>(firstA_), &again));
    const struct {
        Walk walk;
        size_t a, b;  // the events each sink hears
    } walks[] = {{Walk::Wraps, 2, 1}, {Walk::Stuck, 1, 0}, {Walk::Endless, 2731, 1365}};
    for (const auto& [walk, a, b] : walks) {
        control_->first->walk = walk;
        const size_t beforeA = firstA_->calls.size(), beforeB = firstB_->calls.size();
        EXPECT_EQ(S_OK, handler_.FireEvent(kcom::CComBSTR(L"Changed"), nullptr));
        EXPECT_EQ(beforeA + a, firstA_->calls.size()) << static_cast<int>(walk);
        EXPECT_EQ(beforeB + b, firstB_->calls.size()) << static_cast<int>(walk);
        EXPECT_EQ(held + 1, references(static_cast<IDispatch*>(firstA_))) << static_cast<int>(walk);
    }
}

TEST_F(AcxHandlerEvents, MemberNamesInSourceOrderAndQuoted) {
    kcom::CComSafeArray names;
    ASSERT_EQ(S_OK, handler_.GetObjectMemberNames(names.Put()));
    ASSERT_TRUE(names);
    std::vector<std::wstring> got;
    for (LONG i = 0; i < static_cast<LONG>(names.get()->rgsabound[0].cElements); ++i) {
        CComVariant v;
        ASSERT_HRESULT_SUCCEEDED(::SafeArrayGetElement(names, &i, &v));
        got.emplace_back(v.bstrVal);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"\"Click\"", L"\"Changed\"", L"\"Click\"", L"\"Resized\""}), got);
}

}  // namespace
