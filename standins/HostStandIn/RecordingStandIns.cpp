// The recording services of the host as the tests see them.
#include "RecordingStandIns.h"
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComSafeArray.h"

namespace standin {

namespace {

std::wstring Text(BSTR b) { return b ? std::wstring(b, ::SysStringLen(b)) : std::wstring(L"(null)"); }

std::wstring Present(IUnknown* p) { return p ? L"object" : L"(null)"; }

// Text of a rows x columns table addressed {column, row}: cells of a row joined by '=', rows by ';'.
std::wstring TableText(SAFEARRAY* psa) {
    if (!psa) return L"(null)";
    if (psa->cDims != 2) return L"(not a table)";
    VARTYPE vt = VT_EMPTY;
    ::SafeArrayGetVartype(psa, &vt);
    const LONG rows = static_cast<LONG>(psa->rgsabound[0].cElements);
    const LONG columns = static_cast<LONG>(psa->rgsabound[1].cElements);
    std::wstring text;
    for (LONG row = 0; row < rows; ++row) {
        if (row) text += L';';
        for (LONG column = 0; column < columns; ++column) {
            if (column) text += L'=';
            LONG index[2] = {column, row};
            if (vt == VT_BSTR) {
                kcom::CComBSTR cell;
                ::SafeArrayGetElement(psa, index, cell.Put());
                text += Text(cell);
            } else if (vt == VT_VARIANT) {
                kcom::CComVariant cell;
                ::SafeArrayGetElement(psa, index, cell.Put());
                text += VariantText(cell);
            } else {
                text += L"?";
            }
        }
    }
    return text;
}

}  // namespace

// ---- object manager ----

STDMETHODIMP CObjectManagerStandIn::AddObject(IDispatch* object) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"AddObject(" + Present(object) + L")");
        if (FAILED(addResult_)) return addResult_;
        added_.emplace_back(object);
        return addResult_;
    });
}

STDMETHODIMP CObjectManagerStandIn::RemoveObject(IDispatch* object) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"RemoveObject(" + Present(object) + L")");
        return S_OK;
    });
}

STDMETHODIMP CObjectManagerStandIn::DescriptionUpdated(IDispatch* object) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"DescriptionUpdated(" + Present(object) + L")");
        return S_OK;
    });
}

STDMETHODIMP CObjectManagerStandIn::IsRecordingRefused(BOOL* refused) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"IsRecordingRefused()");
        if (!refused) return E_POINTER;
        *refused = refused_;
        return refusalResult_;
    });
}

// ---- script manager ----

STDMETHODIMP CScriptManagerStandIn::AddStep(BSTR path, BSTR method, SAFEARRAY* arguments, long kind, long arg1,
                                            long arg2, long arg3, SAFEARRAY* info) {
    return kcom::Guard([&]() -> HRESULT {
        ScriptStep step{Text(path), Text(method), ArrayText(arguments), kind, arg1, arg2, arg3, TableText(info)};
        log_.Add(L"AddStep(" + step.path + L"," + step.method + L"," + step.arguments + L"," + std::to_wstring(kind) +
                 L"," + std::to_wstring(arg1) + L"," + std::to_wstring(arg2) + L"," + std::to_wstring(arg3) + L"," +
                 step.info + L")");
        steps_.push_back(std::move(step));
        return result_;
    });
}

// ---- active flow ----

STDMETHODIMP CFlowActionStandIn::IsRecordingBlocked() {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"IsRecordingBlocked()");
        return blocked_;
    });
}

STDMETHODIMP CFlowActionStandIn::GetStepCount(long* count) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"GetStepCount()");
        if (!count) return E_POINTER;
        *count = static_cast<long>(steps_.size());
        return S_OK;
    });
}

STDMETHODIMP CFlowActionStandIn::GetCurrentStepIndex(long* index) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"GetCurrentStepIndex()");
        if (!index) return E_POINTER;
        *index = current_;
        return S_OK;
    });
}

STDMETHODIMP CFlowActionStandIn::GetStepValue(long index, BSTR name, VARIANT* value) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"GetStepValue(" + std::to_wstring(index) + L"," + Text(name) + L")");
        if (!value) return E_POINTER;
        ::VariantInit(value);
        if (index < 0 || static_cast<size_t>(index) >= steps_.size()) return E_INVALIDARG;
        const kcom::CComVariant* v = steps_[static_cast<size_t>(index)].Find(name ? name : L"");
        return v ? v->CopyTo(value) : S_FALSE;
    });
}

STDMETHODIMP CFlowActionStandIn::PutStepValue(long index, BSTR name, VARIANT value) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"PutStepValue(" + std::to_wstring(index) + L"," + Text(name) + L"," + VariantText(value) + L")");
        if (index < 0 || static_cast<size_t>(index) >= steps_.size()) return E_INVALIDARG;
        steps_[static_cast<size_t>(index)].Put(name ? name : L"", value);
        return S_OK;
    });
}

long CFlowActionStandIn::AddStep() {
    steps_.emplace_back();
    return static_cast<long>(steps_.size() - 1);
}

CActiveFlowStandIn::CActiveFlowStandIn() : action_(Holder<CFlowActionStandIn>::New()) {}

STDMETHODIMP CActiveFlowStandIn::GetCurrentAction(IUnknown** action) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"GetCurrentAction()");
        if (!action) return E_POINTER;
        *action = nullptr;
        if (action_.get()) {
            *action = action_.as<IKorFlowAction>();
            (*action)->AddRef();
        }
        return result_;
    });
}

// ---- exception manager, generic handler, package services ----

STDMETHODIMP CExceptionMgrStandIn::MonitorCall(BSTR method, IUnknown* object, VARIANT* arguments, long reserved) {
    return kcom::Guard([&]() -> HRESULT {
        std::wstring args = L"(null)";
        if (arguments)
            args = arguments->vt == (VT_ARRAY | VT_VARIANT) ? ArrayText(arguments->parray) : VariantText(*arguments);
        log_.Add(L"MonitorCall(" + Text(method) + L"," + Present(object) + L"," + args + L"," +
                 std::to_wstring(reserved) + L")");
        objects_.emplace_back(object);
        return result_;
    });
}

STDMETHODIMP CGenericHandlerStandIn::ReplaceFile(BSTR managerProgId, BSTR fileSystemProgId, BSTR oldPath,
                                                 BSTR newPath) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"ReplaceFile(" + Text(managerProgId) + L"," + Text(fileSystemProgId) + L"," + Text(oldPath) + L"," +
                 Text(newPath) + L")");
        return result_;
    });
}

STDMETHODIMP CPkgSrvMgrStandIn::BuildDescriptionForChildren(IDispatch* object, SAFEARRAY** description,
                                                            VARIANT filter) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"BuildDescriptionForChildren(" + Present(object) + L"," + VariantText(filter) + L")");
        objects_.emplace_back(object);
        if (!description) return E_POINTER;
        *description = nullptr;
        if (FAILED(result_)) return result_;
        SAFEARRAYBOUND bounds[2] = {{1, 0}, {1, 0}};
        kcom::CComSafeArray table(::SafeArrayCreate(VT_VARIANT, 2, bounds));
        LONG index[2] = {0, 0};
        if (!table || FAILED(::SafeArrayPutElement(table, index, &filter))) return E_OUTOFMEMORY;
        *description = table.Detach();
        return result_;
    });
}

// ---- recording state ----

STDMETHODIMP CRecordingStateStandIn::GetState(long* state, long* flag1, long* flag2) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"GetState()");
        if (!state || !flag1 || !flag2) return E_POINTER;
        *state = state_;
        *flag1 = flag1_;
        *flag2 = flag2_;
        return result_;
    });
}

}  // namespace standin
