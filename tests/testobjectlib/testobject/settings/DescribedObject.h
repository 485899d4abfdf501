#pragma once
// A test object with a description the test writes row by row, run-time values answered from a
// table, a report name, and a whole host behind it.
#include <windows.h>
#include <map>
#include <string>
#include <vector>
#include "TestHost.h"
#include "com/ComBSTR.h"
#include "com/ComVariant.h"
#include "../forwarding/TestableObject.h"

class CDescribedObject : public CTestableObject {
public:
    using CComTestObject::m_algorithmAbsent;
    using CComTestObject::m_runtimeIdFormat;
    using CComTestObject::m_snapshotRefreshGuard;

    std::map<std::wstring, kcom::CComVariant> runtime;  // what QueryValue answers
    HRESULT queryResult = S_OK;
    std::vector<std::wstring> queried;
    std::wstring reportName = L"[ Obj ]";
    UINT format = 0;  // 0: the ordinary-window format
    int prepared = 0;  // PrepareScriptInfo calls

    HRESULT STDMETHODCALLTYPE DispTestObject_QueryValue(BSTR property, VARIANT*, VARIANT* value) override {
        queried.emplace_back(property ? property : L"");
        if (!value) return E_POINTER;
        ::VariantInit(value);
        if (FAILED(queryResult)) return queryResult;
        auto found = runtime.find(property ? property : L"");
        return found == runtime.end() ? S_OK : found->second.CopyTo(value);
    }
    HRESULT STDMETHODCALLTYPE ITestObject5_GetLogicalNameForReport(BSTR* name) override {
        if (!name) return E_POINTER;
        *name = ::SysAllocString(reportName.c_str());
        return S_OK;
    }
    UINT STDMETHODCALLTYPE GetClipboardFormat() override {
        return format ? format : CTestableObject::GetClipboardFormat();
    }
    HRESULT STDMETHODCALLTYPE PrepareScriptInfo() override {
        ++prepared;
        return S_OK;
    }

    // Sets one description row, adding the property.
    HRESULT Row(const wchar_t* name, const VARIANT& value, long flags, long compareType = 0, long type = 0) {
        kcom::CComBSTR n(name);
        return ITestObjectInfo_put_PropExpr(n, &flags, &type, &compareType, value);
    }
    kcom::CComVariant Value(const wchar_t* name) {
        kcom::CComBSTR n(name);
        kcom::CComVariant v;
        ITestObjectInfo_get_InternalPropExpr(n, nullptr, nullptr, nullptr, v.Put());
        return v;
    }
    long Flags(const wchar_t* name) {
        kcom::CComBSTR n(name);
        ULONG flags = 0;
        ITestObjectInfo_InternalGetPropFlags(n, &flags);
        return static_cast<long>(flags);
    }
    long CompareType(const wchar_t* name) {
        kcom::CComBSTR n(name);
        ULONG compareType = 0;
        ITestObjectInfo_InternalGetPropCompareType(n, &compareType);
        return static_cast<long>(compareType);
    }
    ITestObject* AsTestObject() { return static_cast<ITestObject7Impl<CTestableObject>*>(this); }
};

using DescribedHolder = standin::Holder<CDescribedObject>;

// A new object with the host's rack.
inline DescribedHolder NewDescribedObject(standin::CTestHost& host) {
    DescribedHolder object = DescribedHolder::New();
    object->SetRack(host.Rack());
    return object;
}

// A rows x 1 list of the given run-time objects, as the query engine hands out candidates.
inline SAFEARRAY* CandidateList(const std::vector<IUnknown*>& objects) {
    CKorSafeArray list(static_cast<ULONG>(objects.size()), 1, VT_VARIANT);
    for (size_t r = 0; r < objects.size(); ++r) {
        kcom::CComVariant cell(objects[r]);
        list.PutElement(&cell, static_cast<LONG>(r), 0);
    }
    return list.Detach();
}
