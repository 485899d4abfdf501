// Replay steps: a step is opened and closed around one script method, and ReplayWithRetry runs the
// method's attempts between them. Every failure of an attempt ends in RaiseReplayError.
#include <algorithm>
#include "com/ComError.h"
#include "errors/KorException.h"
#include "errors/TestObjectError.h"
#include "testobject/clock/TestObjectClock.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/TestObjectGuard.h"
#include "testobject/replay/ReplaySkeletonContext.h"
#include "testobject/reporting/ReportFilter.h"
#include "testobject/reporting/ReportStrings.h"

namespace {

constexpr DWORD kNoTime = 0xFFFFFFFF;
constexpr DWORD kReportEveryAttempt = 0x200;
constexpr DWORD kReportAtStepEnd = 0x400;
constexpr long kPrepareScriptInfo = 0x4;

// An answer folded into a value that came in preset: a value still unset takes the answer, a
// value already set goes back to unset.
void Fold(DWORD& value, DWORD answer) noexcept {
    const DWORD floor = value == kNoTime ? 0 : kNoTime;
    value = std::max(floor, answer);
}

// Asks a replay skeleton for its times (preset unset) and folds a successful answer in.
HRESULT FoldTimesOf(IReplaySkeleton* skeleton, DWORD* timeout, DWORD* delay) {
    ULONG t = kNoTime, d = kNoTime;
    const HRESULT hr = skeleton->GetStepTimes(&t, &d);
    if (SUCCEEDED(hr)) {
        Fold(*timeout, t);
        Fold(*delay, d);
    }
    return hr;
}

// The time that remains of the step, never below 0 (-1 would mean "the default" to every callee).
void UpdateStepTimeout(CReplaySkeletonContext& step) noexcept {
    if (!step.m_deadline || step.m_findContext.timeout == -1) return;
    const LONG remaining = static_cast<LONG>(step.m_deadline - CTestObjectClock::Current().TickCount());
    step.m_findContext.timeout = std::max<LONG>(remaining, 0);
}

// The error information of a replay error, set as the thread's.
kcom::CComPtr<IErrorInfo> SetReplayErrorInfo(BSTR description, BSTR helpFile, DWORD helpContext) noexcept {
    kcom::CComPtr<ICreateErrorInfo> create;
    kcom::CComPtr<IErrorInfo> info;
    if (FAILED(::CreateErrorInfo(create.Put())) || !create) return info;
    create->SetGUID(IID_IDispatch);
    const std::wstring& source = MarrinReportText(ReportString::ErrorSource);
    if (!source.empty()) create->SetSource(const_cast<LPOLESTR>(source.c_str()));
    if (::SysStringLen(helpFile) > 0 && helpContext) {
        create->SetHelpFile(helpFile);
        create->SetHelpContext(helpContext);
    }
    create->SetDescription(description);
    if (SUCCEEDED(create.QueryInterface(info.Put()))) ::SetErrorInfo(0, info);
    return info;
}

}  // namespace

// ---- Opening and closing a step ----------------------------------------------------------------

HRESULT CComTestObject::BeginReplayStep(VARIANT context) {
    if (m_currentStep || context.vt != VT_BYREF || !context.byref) return E_FAIL;
    m_currentStep = static_cast<CReplaySkeletonContext*>(context.byref);
    if (!m_inner) return S_OK;
    kcom::CComPtr<IReplaySkeleton> inner = Inner<IReplaySkeleton>();
    if (!inner || FAILED(inner->BeginReplayStep(context))) {
        // A refused step is never run or ended: the dispatcher lets its record go at once, so
        // keeping it would leave this object pointing at it and refusing every later step.
        m_currentStep = nullptr;
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CComTestObject::EndReplayStep() {
    HRESULT hr = S_OK;
    if (kcom::CComPtr<IReplaySkeleton> inner = Inner<IReplaySkeleton>()) hr = inner->EndReplayStep();
    m_currentStep = nullptr;
    return hr;
}

HRESULT CComTestObject::GetInnerReplaySkeleton(IReplaySkeleton** skeleton) {
    if (!skeleton) return E_POINTER;
    *skeleton = nullptr;
    kcom::CComPtr<IReplaySkeleton> inner = Inner<IReplaySkeleton>();
    if (!inner) return E_FAIL;
    *skeleton = inner.Detach();
    return S_OK;
}

// The hooks of an attempt do nothing in the generic test object.
HRESULT CComTestObject::BeforeReplayAttempts() { return S_OK; }
HRESULT CComTestObject::BeginReplayAttempt(QueryIdInfo*) { return S_OK; }
HRESULT CComTestObject::SetRuntimeId(IUnknown*) { return S_OK; }
HRESULT CComTestObject::AfterObjectFound() { return S_OK; }
HRESULT CComTestObject::BeforeActionSecond() { return S_OK; }
HRESULT CComTestObject::BeforeActionFirst() { return S_OK; }
HRESULT CComTestObject::AfterReplayAction() { return S_OK; }

// A concrete test object lists its methods; the generic one has none, so its steps have no flags.
HRESULT CComTestObject::GetMethodInfoTable() { return E_NOTIMPL; }
HRESULT CComTestObject::CompleteMethodInfoTable() { return S_OK; }

HRESULT CComTestObject::ReplayFindObject(QueryIdInfo* context, IUnknown** object) {
    return ITestObject_FindObjectId(object, context);
}

// ---- Step times and method flags ---------------------------------------------------------------

HRESULT CComTestObject::GetStepTimes(DWORD* timeout, DWORD* delay) {
    if (!timeout || !delay) return E_POINTER;
    if (m_inner) {
        if (kcom::CComPtr<IReplaySkeleton> inner = Inner<IReplaySkeleton>()) FoldTimesOf(inner, timeout, delay);
    } else {
        *timeout = *delay = kNoTime;
    }
    kcom::CComVariant parent;
    HRESULT hr = TestObjectGuard([&] {
        kcom::CComBSTR name(L"parent");
        return ITestObjectInfo_get_Prop(name, nullptr, nullptr, nullptr, parent.Put());
    });
    if (FAILED(hr) || parent.vt != VT_DISPATCH || !parent.pdispVal) {
        *timeout = *delay = kNoTime;
        return hr;
    }
    kcom::CComPtr<IReplaySkeleton> up;
    if (FAILED(kcom::QueryTo(parent.pdispVal, up.Put())) || !up) return hr;
    return FoldTimesOf(up, timeout, delay);
}

HRESULT CComTestObject::GetReplayFindContext(QueryIdInfo* context) {
    if (!context) return E_POINTER;
    DWORD timeout = kNoTime, delay = kNoTime;
    if (SUCCEEDED(GetStepTimes(&timeout, &delay))) {
        auto option = [&](DWORD& value, BSTR name) {
            if (value != kNoTime) return;
            kcom::CComVariant v;
            if (FAILED(GetTestOption(L"", name, v.Put()))) return;
            if (v.vt == VT_BSTR) v.ChangeType(VT_I4);
            if (v.vt == VT_I4) value = static_cast<DWORD>(v.lVal);
        };
        option(timeout, m_timeoutOptionName);
        option(delay, m_delayOptionName);
    }
    context->timeout = static_cast<long>(timeout);
    context->delay = static_cast<long>(delay);
    return S_OK;
}

HRESULT CComTestObject::GetReplayMethodFlags(DWORD* flags) {
    if (!flags) return E_POINTER;
    *flags = 0;
    if (RowCount(m_methodInfoTable) == 0) {
        if (FAILED(GetMethodInfoTable()) || FAILED(CompleteMethodInfoTable())) return S_FALSE;
    }
    const ULONG rows = RowCount(m_methodInfoTable);
    if (rows == 0) return S_FALSE;
    return kcom::Guard([&] {
        BSTR method = m_currentStep ? static_cast<BSTR>(m_currentStep->m_methodName) : nullptr;
        LONG row = 0;
        for (ULONG r = 0; r < rows; ++r) {
            kcom::CComVariant name;
            if (SUCCEEDED(m_methodInfoTable.GetElement(name.Put(), static_cast<LONG>(r), 0)) &&
                name.vt == VT_BSTR && BstrEqual(name.bstrVal, method)) {
                row = static_cast<LONG>(r);
                break;
            }
        }
        kcom::CComVariant value;
        if (FAILED(m_methodInfoTable.GetElement(value.Put(), row, 1)) || FAILED(value.ChangeType(VT_I4)))
            return S_FALSE;
        *flags = static_cast<DWORD>(value.lVal);
        return S_OK;
    });
}

// ---- The attempts ------------------------------------------------------------------------------

HRESULT CComTestObject::ReplayWithRetry(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                        VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr, void* target,
                                        ReplayOperation operation) {
    CReplaySkeletonContext* const step = m_currentStep;
    if (!step || !operation) return E_FAIL;
    // Errors raised behind COM methods during the step wait in the step, and each call below is
    // followed by raising them again here, where the dispatcher can take them.
    CReplaySkeletonContext::CParkingScope parking(*step);

    step->m_innerSkeleton = Inner<IReplaySkeleton>();
    step->m_lastResult = S_OK;
    ULONG methodFlags = 0xFFFFFFFF;

    kcom::CComPtr<IReplaySkeleton> s;
    if (FAILED(InternalQueryInterface(__uuidof(IReplaySkeleton), reinterpret_cast<void**>(s.Put()))) || !s)
        return E_FAIL;

    HRESULT hr = s->BeforeReplayAttempts();
    step->RaiseParked();
    if (FAILED(hr)) return hr;

    GetReplayFindContext(&step->m_findContext);
    step->m_deadline = step->m_startTick + static_cast<DWORD>(step->m_findContext.timeout);
    step->m_attemptCount = 0;
    long optionFlags = 0;
    GetUpdateModeFlags(Rack(), &optionFlags, false);

    // Stops the step: the arguments report once, then the error.
    auto fail = [&](HRESULT failure) {
        step->m_lastResult = failure;
        s->ReportReplayArguments();
        step->RaiseParked();
        RaiseReplayError(step->m_lastResult, kStatusStepFailed);
    };
    auto check = [&](HRESULT called) {
        step->RaiseParked();
        if (FAILED(called)) fail(called);
    };

    do {
        ++step->m_attemptCount;
        const bool first = step->m_attemptCount == 1;
        check(s->BeginReplayAttempt(&step->m_findContext));
        kcom::CComPtr<IUnknown> object;
        check(s->ReplayFindObject(&step->m_findContext, object.Put()));
        check(s->SetRuntimeId(object));
        UpdateStepTimeout(*step);
        check(s->AfterObjectFound());
        UpdateStepTimeout(*step);
        check(s->BeforeActionFirst());
        UpdateStepTimeout(*step);
        check(s->BeforeActionSecond());
        UpdateStepTimeout(*step);
        check(s->WaitVisible());
        UpdateStepTimeout(*step);
        check(s->WaitEnabled());

        if (first) {
            GetFlagsChangeSummary();
            s->GetReplayMethodFlags(&methodFlags);
            step->RaiseParked();
            if ((optionFlags & kPrepareScriptInfo) && (methodFlags & kReportEveryAttempt)) PrepareScriptInfo();
        }
        if (methodFlags & kReportEveryAttempt) {
            s->ReportReplayArguments();
            step->RaiseParked();
        }

        hr = operation(target, dispid, iid, lcid, flags, params, result, excepInfo, argErr);
        step->RaiseParked();
        if (FAILED(hr)) fail(excepInfo && excepInfo->scode ? excepInfo->scode : hr);
        step->m_lastResult = hr;
        hr = s->AfterReplayAction();
        step->RaiseParked();
        if (FAILED(hr)) return hr;
    } while (step->m_retry && static_cast<LONG>(step->m_attemptCount) <= static_cast<LONG>(step->m_maxAttempts));

    s->GetReplayMethodFlags(&methodFlags);
    step->RaiseParked();
    if (methodFlags & kReportAtStepEnd) {
        if (optionFlags & kPrepareScriptInfo) PrepareScriptInfo();
        hr = s->ReportReplayArguments();
        step->RaiseParked();
        if (FAILED(hr)) return hr;
    }
    if (FAILED(step->m_lastResult)) RaiseReplayError(step->m_lastResult, kStatusStepFailed);
    return S_OK;
}

HRESULT CComTestObject::ReportReplayArguments() {
    CReplaySkeletonContext* const step = m_currentStep;
    if (!step) return E_FAIL;
    return TestObjectGuard([&] {
        const UINT count = step->m_params ? step->m_params->cArgs : 0;
        CKorSafeArray arguments(count, 1, VT_VARIANT);
        // DISPPARAMS hold the arguments last first; the report lists them in call order.
        for (UINT row = 0; row < count; ++row) {
            kcom::CComVariant value;
            // A script passes its variables by reference; the report shows what they hold.
            if (FAILED(::VariantCopyInd(&value, &step->m_params->rgvarg[count - 1 - row]))) value.Clear();
            kcom::ThrowIfFailed(arguments.PutElement(&value, static_cast<LONG>(row), 0));
        }
        const long status = FAILED(step->m_lastResult) ? kStatusStepFailed : kStatusDone;
        ReportDirectEvent(step->m_methodName, status, arguments.psa, nullptr);
        ReplayReport(step->m_methodName, status, arguments.psa, nullptr, 0, nullptr);
        return S_OK;
    });
}

// ---- Waiting for the object --------------------------------------------------------------------

HRESULT CComTestObject::WaitVisible() { return WaitForReplayState(L"Visible", KOR_E_OBJECT_NOT_VISIBLE); }

HRESULT CComTestObject::WaitEnabled() { return WaitForReplayState(L"Enabled", KOR_E_OBJECT_NOT_ENABLED); }

HRESULT CComTestObject::WaitForReplayState(const wchar_t* property, HRESULT missed) {
    return TestObjectGuard([&] {
        kcom::CComBSTR name(property);
        const kcom::CComVariant expected(-1L, VT_I2);
        const long timeout = m_currentStep ? m_currentStep->m_findContext.timeout : -1;
        VARIANT_BOOL matched = VARIANT_FALSE;
        const HRESULT hr = WaitForPropertyValue(name, expected, timeout, &matched, nullptr, nullptr);
        return SUCCEEDED(hr) && matched ? S_OK : missed;
    });
}

// ---- Raising -----------------------------------------------------------------------------------

void CComTestObject::RaiseReplayError(HRESULT hr, long status) {
    kcom::CComBSTR text, helpFile;
    DWORD helpContext = 0;
    GetErrorHelpPage(hr, text.Put(), helpFile.Put(), &helpContext);
    kcom::CComPtr<IErrorInfo> info = SetReplayErrorInfo(text, helpFile, helpContext);

    CReportEventInfo event;
    event.Set(L"Replay", nullptr, MarrinReportText(ReportString::ErrorNodeType).c_str(), text.c_str(), kStatusDone,
              nullptr, nullptr);
    if (ShouldReport(kReportReplaySteps, status)) {
        SendReportEvent(event, true);
        ReportObjectDescription(event.m_eventId, status, hr);
    }
    // The error information stays the thread's on its way to the COM boundary.
    if (info) ::SetErrorInfo(0, info);
    throw new CKorException(CKorComError(hr, info), event.m_eventId);
}
