// The host's identification objects as the tests see them: answers set by the test, every call
// recorded.
#include "IdentificationStandIns.h"
#include <cwctype>
#include <utility>
#include "com/ComError.h"
#include "com/Handles.h"

namespace standin {

namespace {

std::wstring Text(BSTR b) { return b ? std::wstring(b, ::SysStringLen(b)) : std::wstring(L"(null)"); }

LONG Rows(SAFEARRAY* psa) {
    return psa && ::SafeArrayGetDim(psa) >= 1 ? static_cast<LONG>(psa->rgsabound[0].cElements) : 0;
}

std::wstring CountText(SAFEARRAY* psa) { return psa ? std::to_wstring(Rows(psa)) : std::wstring(L"(null)"); }

std::wstring Present(IUnknown* p) { return p ? L"obj" : L"(null)"; }

// The first `keep` rows of a candidate list (all for -1), as a copy.
HRESULT FirstRows(SAFEARRAY* candidates, long keep, SAFEARRAY** out) {
    *out = nullptr;
    if (!candidates) return S_OK;
    kcom::CComSafeArray copy;
    HRESULT hr = ::SafeArrayCopy(candidates, copy.Put());
    if (FAILED(hr)) return hr;
    if (keep >= 0 && keep < Rows(candidates)) {
        SAFEARRAYBOUND bound = {static_cast<ULONG>(keep), 0};
        hr = ::SafeArrayRedim(copy, &bound);
        if (FAILED(hr)) return hr;
    }
    *out = copy.Detach();
    return S_OK;
}

// A one-row list holding the candidate of that row of a rows x 1 list; null for none.
HRESULT PickRow(SAFEARRAY* candidates, long row, SAFEARRAY** out) {
    *out = nullptr;
    if (!candidates || row < 0 || row >= Rows(candidates)) return S_OK;
    kcom::CComVariant cell;
    LONG at[2] = {0, row};
    LONG* index = ::SafeArrayGetDim(candidates) == 2 ? at : &at[1];
    HRESULT hr = ::SafeArrayGetElement(candidates, index, cell.Put());
    if (FAILED(hr)) return hr;
    SAFEARRAYBOUND bounds[2] = {{1, 0}, {1, 0}};
    kcom::CComSafeArray list(::SafeArrayCreate(VT_VARIANT, 2, bounds));
    LONG first[2] = {0, 0};
    if (!list || FAILED(::SafeArrayPutElement(list, first, &cell))) return E_OUTOFMEMORY;
    *out = list.Detach();
    return S_OK;
}

HRESULT HandRack(CallLog& log, kcom::CComPtr<IObjectRack>& kept, IObjectRack* rack, HRESULT answer) {
    log.Add(L"SetRack(" + Present(rack) + L")");
    if (SUCCEEDED(answer)) kept = rack;
    return answer;
}

}  // namespace

// ---- registration by ProgID ----

CProgIdObjectRegistration::CProgIdObjectRegistration(const wchar_t* progId, IUnknown* object) {
    HRESULT hr = ::CoCreateGuid(&clsid_);
    if (SUCCEEDED(hr)) {
        class_ = std::make_unique<CObjectRegistration>(clsid_, object);
        hr = class_->Result();
    }
    if (FAILED(hr)) throw SetUpFailure(L"class of " + std::wstring(progId) + L" not registered", hr);
    key_.emplace(progId, clsid_);
}

// ---- algorithms ----

void CAlgorithmStandIn::Note(const wchar_t* method, SAFEARRAY* candidates, IDispatch* testObject,
                             SAFEARRAY* description, const std::wstring& more) {
    lastDescription_ = ArrayText(description);
    log_.Add(std::wstring(method) + L"(" + CountText(candidates) + L"," + Present(testObject) + more + L")");
}

HRESULT CAlgorithmStandIn::Choose(SAFEARRAY* candidates, SAFEARRAY** filtered) {
    if (!filtered) return E_POINTER;
    HRESULT hr = PickRow(candidates, choice_, filtered);
    return FAILED(hr) ? hr : filterResult_;
}

void CAlgorithmStandIn::SetDescription(SAFEARRAY* rows, long keep, HRESULT hr) {
    describedRows_.Reset();
    if (rows) ::SafeArrayCopy(rows, describedRows_.Put());
    keep_ = keep;
    describeResult_ = hr;
}

STDMETHODIMP CAlgorithmStandIn::Describe(SAFEARRAY* candidates, IDispatch* testObject, IKorSettings* settings,
                                         SAFEARRAY** rows, SAFEARRAY** narrowed) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"Describe(" + CountText(candidates) + L"," + Present(testObject) + L"," + Present(settings) + L")");
        if (!rows || !narrowed) return E_POINTER;
        *rows = nullptr;
        *narrowed = nullptr;
        if (describedRows_) kcom::ThrowIfFailed(::SafeArrayCopy(describedRows_, rows));
        kcom::ThrowIfFailed(FirstRows(candidates, keep_, narrowed));
        return describeResult_;
    });
}

STDMETHODIMP CAlgorithmStandIn::Filter(SAFEARRAY* candidates, SAFEARRAY* description, SAFEARRAY** filtered) {
    return kcom::Guard([&]() -> HRESULT {
        Note(L"Filter", candidates, nullptr, description, L"");
        return Choose(candidates, filtered);
    });
}

STDMETHODIMP CAlgorithmStandIn::GetKind(long* kind) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"GetKind()");
        if (!kind) return E_POINTER;
        *kind = kind_;
        return kindResult_;
    });
}

STDMETHODIMP CAlgorithmStandIn::Filter2(SAFEARRAY* candidates, IDispatch* testObject, SAFEARRAY* description,
                                        SAFEARRAY** filtered) {
    return kcom::Guard([&]() -> HRESULT {
        Note(L"Filter2", candidates, testObject, description, L"");
        return Choose(candidates, filtered);
    });
}

STDMETHODIMP CAlgorithmStandIn::Filter3(SAFEARRAY* candidates, IDispatch* testObject, SAFEARRAY* description,
                                        SAFEARRAY* queryFilter, SAFEARRAY** filtered) {
    return kcom::Guard([&]() -> HRESULT {
        Note(L"Filter3", candidates, testObject, description, L"," + CountText(queryFilter));
        return Choose(candidates, filtered);
    });
}

STDMETHODIMP CAlgorithmStandIn::Filter4(SAFEARRAY* candidates, IDispatch* testObject, SAFEARRAY* description,
                                        SAFEARRAY* queryFilter, SAFEARRAY** filtered, VARIANT* state) {
    return kcom::Guard([&]() -> HRESULT {
        Note(L"Filter4", candidates, testObject, description, L"," + CountText(queryFilter));
        if (!state) return E_POINTER;
        kcom::ThrowIfFailed(state_.CopyTo(state));
        return Choose(candidates, filtered);
    });
}

STDMETHODIMP CAlgorithmStandIn::OnIdentified(IDispatch* testObject, long candidateCount, VARIANT state) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"OnIdentified(" + Present(testObject) + L"," + std::to_wstring(candidateCount) + L"," +
                 VariantText(state) + L")");
        return S_OK;
    });
}

STDMETHODIMP CAlgorithmStandIn::GetRack(IObjectRack** rack) { return rack_.CopyTo(rack); }

STDMETHODIMP CAlgorithmStandIn::SetRack(IObjectRack* rack) {
    return kcom::Guard([&] { return HandRack(log_, rack_, rack, rackResult_); });
}

// ---- selector ----

STDMETHODIMP CSelectorStandIn::GetValue(SAFEARRAY* candidates, IUnknown* runtimeObject, VARIANT* value) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"GetValue(" + CountText(candidates) + L"," + Present(runtimeObject) + L")");
        if (!value) return E_POINTER;
        ::VariantInit(value);
        kcom::ThrowIfFailed(value_.CopyTo(value));
        return valueResult_;
    });
}

STDMETHODIMP CSelectorStandIn::Choose(SAFEARRAY* candidates, VARIANT value, IUnknown** found) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"Choose(" + CountText(candidates) + L"," + VariantText(value) + L")");
        if (!found) return E_POINTER;
        *found = nullptr;
        kcom::CComSafeArray picked;
        kcom::ThrowIfFailed(PickRow(candidates, choice_, picked.Put()));
        if (picked) {
            kcom::CComVariant cell;
            LONG first[2] = {0, 0};
            if (SUCCEEDED(::SafeArrayGetElement(picked, first, cell.Put())) && cell.vt == VT_UNKNOWN && cell.punkVal)
                cell.punkVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(found));
        }
        return chooseResult_;
    });
}

STDMETHODIMP CSelectorStandIn::Filter(VARIANT value, SAFEARRAY** candidates) {
    return kcom::Guard([&]() -> HRESULT {
        if (!candidates) return E_POINTER;
        log_.Add(L"Filter(" + CountText(*candidates) + L"," + VariantText(value) + L")");
        SAFEARRAY* picked = nullptr;
        const HRESULT hr = PickRow(*candidates, choice_, &picked);
        if (FAILED(hr)) return hr;
        const kcom::CComSafeArray given(std::exchange(*candidates, picked));
        return chooseResult_;
    });
}

STDMETHODIMP CSelectorStandIn::GetRack(IObjectRack** rack) { return rack_.CopyTo(rack); }

STDMETHODIMP CSelectorStandIn::SetRack(IObjectRack* rack) {
    return kcom::Guard([&] { return HandRack(log_, rack_, rack, rackResult_); });
}

// ---- pattern manager ----

STDMETHODIMP CPatternMgrStandIn::Reserved() {
    return kcom::Guard([&] {
        log_.Add(L"Reserved()");
        return S_OK;
    });
}

STDMETHODIMP CPatternMgrStandIn::ApplyPattern(long context, BSTR name, VARIANT* value, long* compareType) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"ApplyPattern(" + std::to_wstring(context) + L"," + Text(name) + L"," +
                 (value ? VariantText(*value) : std::wstring(L"(null)")) + L"," +
                 (compareType ? std::to_wstring(*compareType) : std::wstring(L"(null)")) + L")");
        if (!value || !compareType) return E_POINTER;
        if (value->vt != VT_BSTR || !value->bstrVal) return S_OK;
        std::wstring text(value->bstrVal, ::SysStringLen(value->bstrVal)), pattern;
        bool digits = false;
        for (size_t i = 0; i < text.size(); ++i) {
            if (!std::iswdigit(text[i])) {
                pattern += text[i];
                continue;
            }
            digits = true;
            if (i == 0 || !std::iswdigit(text[i - 1])) pattern += L"\\d+";
        }
        if (!digits) return S_OK;
        kcom::CComVariant rewritten(pattern.c_str());
        kcom::ThrowIfFailed(::VariantCopy(value, &rewritten));
        *compareType |= 1;
        return S_OK;
    });
}

}  // namespace standin
