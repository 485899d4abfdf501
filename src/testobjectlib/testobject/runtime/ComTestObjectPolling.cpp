// Waiting for a run-time property to reach a value, and the comparison the wait uses.
#include "com/ComError.h"
#include "testobject/clock/TestObjectClock.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/TestObjectGuard.h"

namespace {

constexpr DWORD kPollInterval = 100;

bool IsText(const VARIANT& v) noexcept { return v.vt == VT_BSTR; }

// Invokes a method of a script object by name; DISP_E_UNKNOWNNAME when the name does not resolve.
HRESULT InvokeByName(IDispatch* object, const wchar_t* name, VARIANT* argument, VARIANT* result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS params{argument, nullptr, argument ? 1u : 0u, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, nullptr);
}

// The script comparison object's verdict; its text, when it gives one, becomes the expected text.
bool CompareByObject(IDispatch* comparer, const VARIANT& actual, BSTR* expectedText) {
    if (!comparer) return false;
    kcom::CComVariant argument(actual);
    kcom::CComVariant verdict;
    const HRESULT compared = InvokeByName(comparer, L"Compare", &argument, verdict.Put());
    kcom::CComVariant text;
    const HRESULT described = InvokeByName(comparer, L"ToString", nullptr, text.Put());
    if (SUCCEEDED(described) && text.vt == VT_BSTR && expectedText) {
        *expectedText = text.bstrVal;
        text.vt = VT_EMPTY;  // handed over
    }
    return SUCCEEDED(compared) && SUCCEEDED(described) && verdict.vt == VT_BOOL && verdict.boolVal == VARIANT_TRUE;
}

}  // namespace

bool CComTestObject::CompareForWait(const VARIANT& actual, const VARIANT& expected, BSTR* expectedText) {
    try {
        if (expected.vt == VT_DISPATCH) return CompareByObject(expected.pdispVal, actual, expectedText);
        if (actual.vt == VT_EMPTY)
            return expected.vt == VT_EMPTY || (IsText(expected) && ::SysStringLen(expected.bstrVal) == 0);
        if (expected.vt == VT_EMPTY) return false;

        kcom::CComVariant a(actual), e(expected);
        HRESULT aligned = S_OK;
        if (IsText(a) && !IsText(e))
            aligned = a.ChangeType(e.vt);
        else if (IsText(e) && !IsText(a))
            aligned = e.ChangeType(a.vt);
        else if (a.vt == VT_BOOL && e.vt != VT_BOOL)
            aligned = e.ChangeType(VT_BOOL);
        else if (e.vt == VT_BOOL && !IsText(a) && a.vt != VT_BOOL)
            aligned = a.ChangeType(VT_BOOL);
        if (FAILED(aligned)) return false;

        if (a.vt == VT_BOOL && e.vt == VT_BOOL) return (a.boolVal != 0) == (e.boolVal != 0);
        if (IsText(a) && IsText(e)) return BstrEqual(a.bstrVal, e.bstrVal);
        return ::VarCmp(&a, &e, LOCALE_USER_DEFAULT, 0) == static_cast<HRESULT>(VARCMP_EQ);
    } catch (...) {
        return false;
    }
}

HRESULT CComTestObject::WaitForPropertyValue(BSTR name, const VARIANT& expected, long timeoutMs,
                                             VARIANT_BOOL* matched, BSTR* expectedText, VARIANT* lastValue) {
    if (!matched) return E_POINTER;
    *matched = VARIANT_FALSE;
    return TestObjectGuard([&] {
        CTestObjectClock& clock = CTestObjectClock::Current();
        // The deadline wraps with the tick count; the time left is their signed difference, so a
        // time-out of -1 still makes one query.
        const DWORD deadline = clock.TickCount() + static_cast<DWORD>(timeoutMs);
        auto timeLeft = [&] { return static_cast<LONG>(deadline - clock.TickCount()) > 0; };
        kcom::CComBSTR text;
        kcom::CComVariant value;
        HRESULT hr = S_FALSE;
        for (;;) {
            kcom::CComVariant noData;
            hr = DispTestObject_QueryValue(name, &noData, value.Put());
            if (FAILED(hr)) break;
            if (CompareForWait(value, expected, text.Put())) {
                *matched = VARIANT_TRUE;
                hr = S_OK;
                break;
            }
            hr = S_FALSE;
            if (timeLeft()) clock.PumpWait(kPollInterval);
            if (!IsOnReplay() || IsOnPause() || IsOnAbort() || !timeLeft()) break;
        }
        if (expectedText) *expectedText = text.Detach();
        if (lastValue) value.Detach(lastValue);
        return hr;
    });
}
