#pragma once
// The test-only COM class with identification and the candidate query in the test's hands, in a
// whole stand-in host with a query engine, and run-time objects that are only themselves.
#include <windows.h>
#include <functional>
#include <vector>
#include "HostStandIn.h"
#include "RunTimeStandIns.h"
#include "RuntimeIdStub.h"
#include "TestHost.h"
#include "testobject/forwarding/TestableObject.h"

// A run-time object equal only to itself.
class CFakeRuntimeId : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public CRuntimeIdStub {
public:
    BEGIN_COM_MAP(CFakeRuntimeId)
        COM_INTERFACE_ENTRY(IRuntimeID)
    END_COM_MAP()
    STDMETHOD(IsEqual)(IRuntimeID* other) override { return other == this ? S_OK : S_FALSE; }
    static kcom::CComPtr<IUnknown> New() {
        standin::Holder<CFakeRuntimeId> id = standin::Holder<CFakeRuntimeId>::New();
        return kcom::CComPtr<IUnknown>(id.as<IRuntimeID>());
    }
};

class CRunTimeTestObject : public CTestableObject {
public:
    using CComTestObject::m_updateDescriptionFlag;
    using CComTestObject::m_valueCache;

    // Identification: each search is recorded with its context ({-2, -2} for none).
    kcom::CComPtr<IUnknown> found;
    HRESULT findResult = S_OK;
    std::vector<QueryIdInfo> finds;
    HRESULT STDMETHODCALLTYPE ITestObject_FindObjectId(IUnknown** object, QueryIdInfo* context) override {
        finds.push_back(context ? *context : QueryIdInfo{-2, -2});
        if (object) *object = nullptr;
        if (object && SUCCEEDED(findResult)) found.CopyTo(object);
        return findResult;
    }
    // The candidate query of one pass.
    std::function<HRESULT(SAFEARRAY** list, QueryIdInfo* context)> candidates;
    std::vector<QueryIdInfo> queries;
    HRESULT STDMETHODCALLTYPE Desc2Handle(SAFEARRAY** list, QueryIdInfo* context) override {
        queries.push_back(context ? *context : QueryIdInfo{-2, -2});
        *list = nullptr;
        return candidates ? candidates(list, context) : E_NOTIMPL;
    }

    void Put(const wchar_t* name, const VARIANT& value, long flags = 0x58) {
        kcom::CComBSTR n(name);
        ITestObjectInfo_put_PropExpr(n, &flags, nullptr, nullptr, value);
    }
    kcom::CComVariant Get(const wchar_t* name) {
        kcom::CComBSTR n(name);
        kcom::CComVariant v;
        ITestObjectInfo_get_InternalPropExpr(n, nullptr, nullptr, nullptr, v.Put());
        return v;
    }
    template <class I>
    kcom::CComPtr<I> As() {
        kcom::CComPtr<I> p;
        InternalQueryInterface(__uuidof(I), reinterpret_cast<void**>(p.Put()));
        return p;
    }
};

using RunTimeObject = standin::Holder<CRunTimeTestObject>;

// A candidate list as the query engine answers it: rows x 1 of run-time objects.
inline SAFEARRAY* IdList(const std::vector<kcom::CComPtr<IUnknown>>& ids) {
    SAFEARRAYBOUND bounds[2] = {{1, 0}, {static_cast<ULONG>(ids.size()), 0}};  // {column, row}
    SAFEARRAY* list = ::SafeArrayCreate(VT_UNKNOWN, 2, bounds);
    for (LONG row = 0; row < static_cast<LONG>(ids.size()); ++row) {
        LONG index[2] = {0, row};
        ::SafeArrayPutElement(list, index, ids[static_cast<size_t>(row)].get());
    }
    return list;
}

// A host with the query engine in its rack, and a test object that has the rack.
struct RunTimeHost {
    RunTimeHost() {
        host.rack->Put(L"StdPackageQueryEngine", engine.as<IKorQuery>());
        object = NewObject();
    }
    RunTimeObject NewObject() {
        RunTimeObject o = RunTimeObject::New();
        o.as<IObjectRackClient>()->SetRack(host.Rack());
        return o;
    }
    standin::CTestHost host;
    standin::Holder<standin::CQueryEngineStandIn> engine = standin::Holder<standin::CQueryEngineStandIn>::New();
    RunTimeObject object;
};
