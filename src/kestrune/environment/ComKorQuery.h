#pragma once
// Query engine base: per property name, the handlers that answer a query for it, and the
// comparison of a description against the values that the host's query engine reports.
#include <windows.h>
#include <oleauto.h>
#include <map>
#include <vector>
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "tables/KorBSTR.h"
#include "tables/KorSafeArray.h"
#include "environment/QueryRecord.h"
#include "host/RackServices.h"
#include "values/RegExpMatcher.h"
#include "host.h"

template <class T>
class CComKorQuery {
public:
    using Handler = HRESULT (T::*)(IRuntimeID* id, VARIANT* parameter, VARIANT* result);

    bool AddQuery(const wchar_t* name, Handler handler, long adjustment = 0) {
        if (!name) return false;
        Records(name).push_back(CQueryRecord::ForMember(reinterpret_cast<CQueryRecord::ErasedMember>(handler), adjustment));
        return true;
    }

    bool AddCustomQuery(const wchar_t* name, IDispatch* object, const wchar_t* method, bool takeReference) {
        if (!name || !object) return false;
        Records(name).push_back(CQueryRecord::ForDispatch(object, method ? method : name, takeReference));
        return true;
    }

    // Runs the name's handlers in the order added until one succeeds with a value.
    HRESULT RunQuery(IRuntimeID* id, const wchar_t* name, VARIANT* parameter, VARIANT* result) {
        if (!id || !result) return E_POINTER;
        auto found = name ? m_queries.find(CKorBSTR(name)) : m_queries.end();
        if (found == m_queries.end()) return E_INVALIDARG;

        HRESULT hr = S_FALSE;
        for (const CQueryRecord& record : found->second) {
            if (record.kind == CQueryRecord::MemberFunction) {
                // A throwing handler is passed over as if it had not answered.
                try {
                    T* target = reinterpret_cast<T*>(reinterpret_cast<char*>(static_cast<T*>(this)) + record.adjustment);
                    hr = (target->*reinterpret_cast<Handler>(record.member))(id, parameter, result);
                } catch (...) {
                    continue;
                }
            } else if (record.kind == CQueryRecord::DispatchMethod) {
                hr = record.InvokeDispatch(id, parameter, result);
            } else {
                continue;
            }
            if (SUCCEEDED(hr) && result->vt != VT_EMPTY) return hr;
        }
        return hr;
    }

    // True when every row of the description (0 name, 1 expected value, 4 compare type) matches
    // the value that the engine (or, without one, the host's "StdPackageQueryEngine") reports.
    bool CompareSet(IRuntimeID* id, SAFEARRAY* description, IKorQuery* engine) {
        try {
            return CompareRows(id, description, engine);
        } catch (...) {
            return false;
        }
    }

private:
    std::vector<CQueryRecord>& Records(const wchar_t* name) { return m_queries[CKorBSTR(name)]; }

    bool CompareRows(IRuntimeID* id, SAFEARRAY* description, IKorQuery* engine) {
        kcom::CComPtr<IKorQuery> held(engine);
        if (!held) {
            kcom::CComPtr<IObjectRack> rack;
            IObjectRackClient* client = static_cast<T*>(this);
            if (FAILED(client->GetRack(rack.Put())) || !rack) return false;
            if (FAILED(GetRackObject(rack.get(), RackName::StdPackageQueryEngine, held.Put())) || !held) return false;
        }

        CKorSafeArray rows;
        rows.Attach(description, false);
        const ULONG n = rows.GetRowCount();
        CKorSafeArray values(n, 2, VT_VARIANT);
        for (ULONG i = 0; i < n; ++i) {
            kcom::CComVariant name;
            rows.GetElement(&name, static_cast<LONG>(i), 0);
            values.PutElement(&name, static_cast<LONG>(i), 0);
        }
        held->QueryValue(id, values.psa);

        for (ULONG i = 0; i < n; ++i) {
            const LONG row = static_cast<LONG>(i);
            kcom::CComVariant expected, actual, compareType;
            rows.GetElement(&expected, row, 1);
            values.GetElement(&actual, row, 1);
            rows.GetElement(&compareType, row, 4);
            if (expected.vt == VT_BSTR && actual.vt == VT_BSTR) {
                Trim(expected);
                Trim(actual);
            }
            if (compareType.vt == VT_I4 && (compareType.lVal & 1)) {
                if (expected.vt != VT_BSTR || actual.vt != VT_BSTR) return false;
                VARIANT_BOOL matched = VARIANT_FALSE;
                if (FAILED(m_matcher.SetIgnoreCase(VARIANT_FALSE)) || FAILED(m_matcher.SetPattern(expected.bstrVal)) ||
                    FAILED(m_matcher.IsFullMatch(actual.bstrVal, &matched)) || matched != VARIANT_TRUE)
                    return false;
            } else if (!VariantEqualExact(expected, actual)) {
                return false;
            }
        }
        return true;
    }

    static void Trim(kcom::CComVariant& text) {
        CKorBSTR trimmed;
        trimmed.Attach(text.bstrVal);
        text.bstrVal = nullptr;
        trimmed.TrimLeft();
        trimmed.TrimRight();
        text.bstrVal = trimmed.Detach();
    }

    std::map<CKorBSTR, std::vector<CQueryRecord>, NoCaseBstrOrder> m_queries;
    RegExpMatcher m_matcher;
};
