#include "QueryEngineStandIns.h"
#include "com/ComError.h"

namespace standin {

namespace {

ULONG RowsOf(SAFEARRAY* psa) noexcept { return psa && psa->cDims >= 1 ? psa->rgsabound[0].cElements : 0; }

kcom::CComVariant CellAt(SAFEARRAY* psa, LONG column, LONG row) {
    kcom::CComVariant v;
    LONG index[2] = {column, row};
    if (psa && psa->cDims == 2 && column < static_cast<LONG>(psa->rgsabound[1].cElements))
        ::SafeArrayGetElement(psa, index, v.Put());
    return v;
}

// A rows x 1 table of the objects, as the engine hands out candidates.
SAFEARRAY* ObjectTable(const std::vector<RuntimeObject>& objects) {
    SAFEARRAYBOUND bounds[2] = {{1, 0}, {static_cast<ULONG>(objects.size()), 0}};  // columns, rows
    SAFEARRAY* psa = ::SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (!psa) throw std::bad_alloc();
    for (size_t i = 0; i < objects.size(); ++i) {
        kcom::CComVariant cell(static_cast<IUnknown*>(objects[i].as<IRuntimeID>()));
        LONG index[2] = {0, static_cast<LONG>(i)};
        ::SafeArrayPutElement(psa, index, &cell);
    }
    return psa;
}

bool SameValue(const VARIANT& a, const VARIANT& b) {
    if (a.vt == VT_BSTR && b.vt == VT_BSTR) return ::VarBstrCmp(a.bstrVal, b.bstrVal, LOCALE_USER_DEFAULT, 0) == VARCMP_EQ;
    return ::VarCmp(const_cast<VARIANT*>(&a), const_cast<VARIANT*>(&b), LOCALE_USER_DEFAULT, 0) == VARCMP_EQ;
}

}  // namespace

// ---- query engine ----

RuntimeObject CScriptedQueryEngineStandIn::AddObject(const wchar_t* name) {
    RuntimeObject object = RuntimeObject::New();
    object->name = name;
    objects_.push_back(object);
    return object;
}

CRuntimeObjectStandIn* CScriptedQueryEngineStandIn::Find(IRuntimeID* id) const noexcept {
    for (const auto& o : objects_)
        if (o.as<IRuntimeID>() == id) return o.get();
    return nullptr;
}

STDMETHODIMP CScriptedQueryEngineStandIn::QueryIdFromContainer(SAFEARRAY* psaProp, IDispatch* pContainer,
                                                               SAFEARRAY** ppsaRO, QueryIdInfo* pInfo,
                                                               SAFEARRAY* psaFormats) {
    return kcom::Guard([&]() -> HRESULT {
        if (!ppsaRO) return E_POINTER;
        *ppsaRO = nullptr;
        const ULONG rows = RowsOf(psaProp);
        if (!quiet_) {
            QueryCall call;
            for (ULONG r = 0; r < rows; ++r) {
                if (r) call.names += L",", call.values += L",";
                kcom::CComVariant name = CellAt(psaProp, 0, static_cast<LONG>(r));
                call.names += name.vt == VT_BSTR ? std::wstring(name.bstrVal ? name.bstrVal : L"") : VariantText(name);
                call.values += VariantText(CellAt(psaProp, 1, static_cast<LONG>(r)));
            }
            call.container = pContainer != nullptr;
            call.context = pInfo != nullptr;
            if (pInfo) call.timeout = pInfo->timeout, call.delay = pInfo->delay;
            call.filter = psaFormats != nullptr;
            log_.Add(L"QueryIdFromContainer(" + call.names + L"," + (call.container ? L"container" : L"(null)") + L"," +
                     (pInfo ? std::to_wstring(call.timeout) + L"," + std::to_wstring(call.delay) : L"(null)") + L")");
            calls_.push_back(std::move(call));
        }
        ++queries_;
        if (script_.empty()) {
            std::vector<RuntimeObject> found;
            for (const auto& object : objects_) {
                bool match = true;
                for (ULONG r = 0; r < rows && match; ++r) {
                    kcom::CComVariant name = CellAt(psaProp, 0, static_cast<LONG>(r));
                    kcom::CComVariant value = CellAt(psaProp, 1, static_cast<LONG>(r));
                    const kcom::CComVariant* own = name.vt == VT_BSTR ? object->properties.Find(name.bstrVal) : nullptr;
                    match = own && SameValue(*own, value);
                }
                if (match) found.push_back(object);
            }
            *ppsaRO = ObjectTable(found);
            return S_OK;
        }
        const QueryPass& pass = script_[std::min(queries_, script_.size()) - 1];
        if (pass.queryTime && advance_) advance_(pass.queryTime);
        if (pass.during) pass.during();
        if (FAILED(pass.result)) return pass.result;
        *ppsaRO = ObjectTable(pass.candidates);
        return pass.result;
    });
}

STDMETHODIMP CScriptedQueryEngineStandIn::QueryIdFromSet(SAFEARRAY*, SAFEARRAY** ppsaRO) {
    if (ppsaRO) *ppsaRO = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CScriptedQueryEngineStandIn::QueryValue(IRuntimeID* pRO, SAFEARRAY* psaProp) {
    return kcom::Guard([&]() -> HRESULT {
        CRuntimeObjectStandIn* object = Find(pRO);
        std::wstring names;
        for (ULONG r = 0; r < RowsOf(psaProp); ++r) {
            kcom::CComVariant name = CellAt(psaProp, 0, static_cast<LONG>(r));
            if (name.vt != VT_BSTR) continue;
            if (!quiet_) names += (names.empty() ? L"" : L",") + std::wstring(name.bstrVal ? name.bstrVal : L"");
            const kcom::CComVariant* value = object ? object->properties.Find(name.bstrVal) : nullptr;
            if (value && SUCCEEDED(valueResult_)) {
                LONG index[2] = {1, static_cast<LONG>(r)};
                kcom::ThrowIfFailed(::SafeArrayPutElement(psaProp, index, const_cast<kcom::CComVariant*>(value)));
            }
        }
        if (!quiet_) log_.Add(L"QueryValue(" + (object ? object->name : std::wstring(L"(unknown)")) + L"," + names + L")");
        if (!psaProp) return E_INVALIDARG;
        return valueResult_;
    });
}

// ---- relations manager ----

STDMETHODIMP CRelationsMgrStandIn::FilterByRelations(IDispatch* testObject, long reserved, SAFEARRAY* candidates,
                                                     SAFEARRAY** filtered) {
    return kcom::Guard([&]() -> HRESULT {
        const ULONG rows = RowsOf(candidates);
        log_.Add(L"FilterByRelations(" + std::wstring(testObject ? L"object" : L"(null)") + L"," +
                 std::to_wstring(reserved) + L"," + std::to_wstring(rows) + L")");
        if (!filtered) return E_POINTER;
        *filtered = nullptr;
        if (result_ != S_OK || !list_) return result_;
        std::vector<RuntimeObject> kept;
        SAFEARRAYBOUND bounds[2] = {{1, 0}, {static_cast<ULONG>(kept_.size()), 0}};  // columns, rows
        SAFEARRAY* psa = ::SafeArrayCreate(VT_VARIANT, 2, bounds);
        if (!psa) return E_OUTOFMEMORY;
        for (size_t i = 0; i < kept_.size(); ++i) {
            kcom::CComVariant cell = CellAt(candidates, 0, static_cast<LONG>(kept_[i]));
            LONG index[2] = {0, static_cast<LONG>(i)};
            ::SafeArrayPutElement(psa, index, &cell);
        }
        *filtered = psa;
        return S_OK;
    });
}

// ---- parameter-type manager ----

STDMETHODIMP CParamTypeMgrStandIn::CreateParameter(BSTR text, IUnknown** parameter) {
    log_.Add(L"CreateParameter(" + std::wstring(text ? text : L"(null)") + L")");
    if (!parameter) return E_POINTER;
    *parameter = static_cast<IKorParameter*>(this);
    (*parameter)->AddRef();
    return S_OK;
}

STDMETHODIMP CParamTypeMgrStandIn::Evaluate(BSTR text, VARIANT* value) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"Evaluate(" + std::wstring(text ? text : L"(null)") + L")");
        if (!value) return E_POINTER;
        const kcom::CComVariant* found = text ? values_.Find(text) : nullptr;
        if (!found) return DISP_E_UNKNOWNNAME;
        return ::VariantCopy(value, const_cast<kcom::CComVariant*>(found));
    });
}

// ---- maintenance history ----

STDMETHODIMP CMaintenanceHistoryStandIn::IsActive(VARIANT_BOOL* active) {
    if (!active) return E_POINTER;
    *active = active_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CMaintenanceHistoryStandIn::Notify(IUnknown* object, long kind) {
    return kcom::Guard([&]() -> HRESULT {
        told_.emplace_back(object, kind);
        return S_OK;
    });
}

}  // namespace standin
