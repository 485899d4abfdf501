// The agent's hook requests: each one a parameter record sent through the output channel to the
// hook inside the application under test, answered in the same record. The record frees what it
// still holds when it goes, so every value handed out of a reply is moved out of it or copied.
#include <cwctype>
#include <string>
#include "environment/AcxAgntUtil.h"
#include "com/ComError.h"
#include "com/ComVariant.h"
#include "tables/KorSafeArray.h"
#include "win32/MessageWait.h"

namespace {

constexpr wchar_t kCarrierMessage[] = L"ZirevavoDizivov";
constexpr wchar_t kRequestPrefix[] = L"Quillon_msg_";
constexpr int kPointTries = 100;
constexpr DWORD kPointRetryMs = 10;

// Moves a reply VARIANT into the caller's: nothing is duplicated and the record frees nothing of it.
void MoveVariant(VARIANT& from, VARIANT* to) noexcept {
    ::VariantClear(to);
    *to = from;
    from.vt = VT_EMPTY;
}

HRESULT PutBstr(VARIANT& v, BSTR text) {
    ::VariantClear(&v);
    v.vt = VT_BSTR;
    v.bstrVal = ::SysAllocStringLen(text, ::SysStringLen(text));
    if (text && !v.bstrVal) {
        v.vt = VT_EMPTY;
        throw std::bad_alloc();
    }
    return S_OK;
}

// Lends a copy of the caller's argument array to the record: a reply that fails after the hook
// replaced the record's array must leave the caller's own untouched.
void LendArguments(VARIANT& a, SAFEARRAY* args) {
    ::VariantClear(&a);
    if (!args) return;
    SAFEARRAY* copy = nullptr;
    kcom::ThrowIfFailed(::SafeArrayCopy(args, &copy));
    a.vt = VT_ARRAY | VT_VARIANT;
    a.parray = copy;
}

}  // namespace

LONG CAcxAgntUtil::PackPoint(short x, short y) noexcept {
    // x is sign-extended, so a negative x borrows from y.
    return static_cast<LONG>(static_cast<ULONG>(static_cast<LONG>(y)) << 16) + static_cast<LONG>(x);
}

HRESULT CAcxAgntUtil::UnmarshalDispatchFromStream(IStream* stream, IDispatch** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!stream) return E_POINTER;
    LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    HRESULT hr = ::CoUnmarshalInterface(stream, IID_IDispatch, reinterpret_cast<void**>(out));
    return FAILED(hr) ? hr : S_OK;
}

long CAcxAgntUtil::Send(const wchar_t* name, HWND target, CAcxParamHelper& params) {
    if (!carrier_) carrier_ = ::RegisterWindowMessageW(kCarrierMessage);
    const ULONG request = ::RegisterWindowMessageW((std::wstring(kRequestPrefix) + name).c_str());
    return CPelluce::SendMessageByOCh(carrier_, target, request, params, channel_);
}

long CAcxAgntUtil::Send(const wchar_t* name, HWND window, LONG cookie, CAcxParamHelper& params) {
    params.hWnd = window;
    params.lCookie = cookie;
    return Send(name, window, params);
}

STDMETHODIMP CAcxAgntUtil::SetRack(IObjectRack* rack) {
    return kcom::Guard([&]() -> HRESULT {
        HRESULT hr = IObjectRackClientImpl<CAcxAgntUtil>::SetRack(rack);
        if (FAILED(hr)) return hr;
        carrier_ = ::RegisterWindowMessageW(kCarrierMessage);
        channel_.Release();
        if (!rack) return S_OK;
        kcom::CComPtr<IUnknown> found;
        hr = rack->GetObject(kcom::CComBSTR(L"TestOutputChannel"), __uuidof(IOutputChannel), found.Put());
        if (SUCCEEDED(hr) && found) channel_.Attach(static_cast<IOutputChannel*>(found.Detach()));
        hr = channel_ ? S_OK : E_UNEXPECTED;
        LoadSkipCacheClasses();
        return hr;
    });
}

// ---- identity of windowed controls ----

HRESULT CAcxAgntUtil::RequestText(const wchar_t* name, HWND window, LONG cookie, BSTR* out) {
    *out = nullptr;
    CAcxParamHelper params;
    if (Send(name, window, cookie, params) < 0 || params.lResult == 0 || params.varA.vt != VT_BSTR) return E_FAIL;
    *out = params.varA.bstrVal;  // moved out of the record
    params.varA.vt = VT_EMPTY;
    return S_OK;
}

STDMETHODIMP CAcxAgntUtil::AcxProgIDQuery(HWND window, BSTR* progId) {
    return kcom::Guard([&]() -> HRESULT {
        if (!progId) return E_POINTER;
        *progId = nullptr;
        if (!window) return E_INVALIDARG;
        const WindowFacts facts = ReadWindowFacts(window);
        if (facts.cached && !facts.isAcx) return E_FAIL;
        if (facts.cached && !facts.progId.empty()) return kcom::CComBSTR(facts.progId.c_str()).CopyTo(progId);
        CAcxParamHelper params;
        if (Send(L"GET_PROGID_MSG", window, 0, params) < 0 || params.lResult == 0) return S_FALSE;
        kcom::CComVariant reply;
        MoveVariant(params.varA, &reply);
        if (reply.vt != VT_BSTR) return E_FAIL;
        kcom::CComBSTR answer = kcom::CComBSTR::Take(reply.bstrVal);
        reply.vt = VT_EMPTY;
        WriteWindowFacts(window, answer.c_str(), ReadWindowFacts(window).userType);
        *progId = answer.Detach();
        return S_OK;
    });
}

STDMETHODIMP CAcxAgntUtil::AcxUserTypeQuery(HWND window, BSTR* userType) {
    return kcom::Guard([&]() -> HRESULT {
        if (!userType) return E_POINTER;
        *userType = nullptr;
        if (!window || !::IsWindow(window)) return E_INVALIDARG;
        const WindowFacts facts = ReadWindowFacts(window);
        if (facts.cached && !facts.isAcx) return E_FAIL;
        if (facts.cached && !facts.userType.empty()) return kcom::CComBSTR(facts.userType.c_str()).CopyTo(userType);
        kcom::CComBSTR answer;
        HRESULT hr = RequestText(L"GET_USERTYPE_MSG", window, 0, answer.Put());
        if (hr != S_OK) return hr;
        WriteWindowFacts(window, ReadWindowFacts(window).progId, answer.c_str());
        *userType = answer.Detach();
        return S_OK;
    });
}

// ---- identity of windowless controls (kept whether caching is on or not) ----

HRESULT CAcxAgntUtil::KeptWlsText(std::map<WlsKey, kcom::CComBSTR>& kept, const wchar_t* name, HWND window,
                                  LONG cookie, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!window) return E_INVALIDARG;
    auto it = kept.find({window, cookie});
    if (it != kept.end()) return it->second.CopyTo(out);
    kcom::CComBSTR answer;
    HRESULT hr = RequestText(name, window, cookie, answer.Put());
    if (hr != S_OK) return hr;
    kept[{window, cookie}] = answer;
    *out = answer.Detach();
    return S_OK;
}

STDMETHODIMP CAcxAgntUtil::WlsProgIDQuery(HWND window, LONG cookie, BSTR* progId) {
    return kcom::Guard([&] { return KeptWlsText(wlsProgIds_, L"GET_WLS_PROGID_MSG", window, cookie, progId); });
}

STDMETHODIMP CAcxAgntUtil::WlsUserTypeQuery(HWND window, LONG cookie, BSTR* userType) {
    return kcom::Guard([&] { return KeptWlsText(wlsUserTypes_, L"GET_USERTYPE_MSG", window, cookie, userType); });
}

// ---- dispatch interfaces ----

HRESULT CAcxAgntUtil::RequestDispatch(const wchar_t* name, HWND window, LONG cookie, IDispatch** out,
                                      HRESULT failure) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CAcxParamHelper params;
    if (Send(name, window, cookie, params) < 0 || params.lResult == 0) return failure;
    return UnmarshalDispatchFromStream(params.pStream, out);
}

STDMETHODIMP CAcxAgntUtil::GetMarshalDisp(HWND window, IDispatch** control) {
    return kcom::Guard([&] { return RequestDispatch(L"HWND2IDISPATCH_MSG", window, 0, control, S_FALSE); });
}

STDMETHODIMP CAcxAgntUtil::GetWlsMarshalDisp(HWND window, LONG cookie, IDispatch** control) {
    return kcom::Guard([&] { return RequestDispatch(L"HWND2IDISPATCH_MSG", window, cookie, control, S_FALSE); });
}

STDMETHODIMP CAcxAgntUtil::GetListener(HWND window, LONG cookie, IDispatch** listener) {
    return kcom::Guard([&] { return RequestDispatch(L"GET_LISTENER", window, cookie, listener, E_FAIL); });
}

// ---- properties ----

HRESULT CAcxAgntUtil::RequestPropertyValue(const wchar_t* name, HWND window, LONG cookie, BSTR property,
                                           VARIANT* value) {
    if (!value) return E_POINTER;
    CAcxParamHelper params;
    if (property) PutBstr(params.varA, property);
    if (Send(name, window, cookie, params) < 0) return S_FALSE;
    if (params.lResult == 1) MoveVariant(params.varA, value);
    else ::VariantClear(value);
    return S_OK;
}

STDMETHODIMP CAcxAgntUtil::GetPropertyByHandle(HWND window, BSTR name, VARIANT* value) {
    return kcom::Guard([&] { return RequestPropertyValue(L"GET_ACTIVEX_PROPERTY_MSG", window, 0, name, value); });
}

STDMETHODIMP CAcxAgntUtil::GetWlsPropertyByHandle(HWND window, LONG cookie, BSTR name, VARIANT* value) {
    return kcom::Guard(
        [&] { return RequestPropertyValue(L"GET_ACTIVEX_PROPERTY_MSG", window, cookie, name, value); });
}

STDMETHODIMP CAcxAgntUtil::GetAllPropertiesNameByHandle(HWND window, VARIANT* names) {
    return kcom::Guard(
        [&] { return RequestPropertyValue(L"GET_ACTIVEX_PROPERTIES_NAME_MSG", window, 0, nullptr, names); });
}

STDMETHODIMP CAcxAgntUtil::GetWlsAllPropertiesNameByHandle(HWND window, LONG cookie, VARIANT* names) {
    return kcom::Guard(
        [&] { return RequestPropertyValue(L"GET_ACTIVEX_PROPERTIES_NAME_MSG", window, cookie, nullptr, names); });
}

STDMETHODIMP CAcxAgntUtil::GetPropertiesByHandle(HWND window, LONG cookie, SAFEARRAY* table) {
    return kcom::Guard([&]() -> HRESULT {
        if (!table || (table->fFeatures & FADF_VARIANT) == 0) return E_INVALIDARG;
        CKorSafeArray callers;
        callers.Attach(table, false);
        const ULONG rows = callers.GetRowCount();
        if (callers.GetColumnCount() < 2) return E_INVALIDARG;
        CAcxParamHelper params;
        {
            CKorSafeArray names(rows, 2, static_cast<VARTYPE>(VT_VARIANT));
            for (ULONG i = 0; i < rows; ++i) {
                kcom::CComVariant name;
                kcom::ThrowIfFailed(callers.GetElement(&name, static_cast<LONG>(i), 0));
                kcom::ThrowIfFailed(names.PutElement(&name, static_cast<LONG>(i), 0));
            }
            params.varA.vt = VT_ARRAY | VT_VARIANT;
            params.varA.parray = names.Detach();
        }
        if (Send(L"GET_PROPERTIES_MSG", window, cookie, params) < 0) return E_FAIL;
        if (params.lResult != 1 || params.varB.vt != (VT_ARRAY | VT_VARIANT)) return S_OK;
        CKorSafeArray values;
        values.Attach(params.varB.parray, true);  // moved out of the record
        params.varB.vt = VT_EMPTY;
        if (!values.psa || values.GetRowCount() != rows || values.psa->cDims > 2) return E_FAIL;
        for (ULONG i = 0; i < rows; ++i) {
            kcom::CComVariant value;
            if (FAILED(values.GetElement(&value, static_cast<LONG>(i), 0))) return E_FAIL;
            kcom::ThrowIfFailed(callers.PutElement(&value, static_cast<LONG>(i), 1));
        }
        return S_OK;
    });
}

STDMETHODIMP CAcxAgntUtil::SetPropertyByHandle(HWND window, BSTR name, VARIANT value) {
    return kcom::Guard([&]() -> HRESULT {
        if (value.vt != VT_BSTR) return E_FAIL;
        CAcxParamHelper params;
        PutBstr(params.varA, name);
        kcom::ThrowIfFailed(::VariantCopy(&params.varB, &value));
        if (Send(L"SET_ACTIVEX_PROPERTY_MSG", window, 0, params) < 0 || params.lResult == 0) return E_FAIL;
        return S_OK;
    });
}

STDMETHODIMP CAcxAgntUtil::SetAgentData(HWND window, VARIANT data) {
    return kcom::Guard([&]() -> HRESULT {
        CAcxParamHelper params;
        // The caller keeps its own VARIANT; the record frees only its copy.
        kcom::ThrowIfFailed(::VariantCopy(&params.varA, &data));
        if (Send(L"SET_AGENT_DATA", window, 0, params) < 0 || params.lResult == 0) return S_FALSE;
        return S_OK;
    });
}

// ---- methods ----

HRESULT CAcxAgntUtil::RequestInvoke(const wchar_t* name, HWND window, VARIANT& b, SAFEARRAY** args,
                                    VARIANT* result) {
    if (!args || !result) return E_POINTER;
    CAcxParamHelper params;
    LendArguments(params.varA, *args);
    MoveVariant(b, &params.varB);
    if (Send(name, window, 0, params) < 0 || params.lResult == 0) return E_FAIL;
    // The caller's table is declared as VARIANT cells; an array of anything else is no answer.
    if (params.varA.vt != (VT_ARRAY | VT_VARIANT)) return E_FAIL;
    kcom::CComSafeArray previous(*args);
    *args = params.varA.parray;
    params.varA.vt = VT_EMPTY;
    MoveVariant(params.varB, result);
    return S_OK;
}

STDMETHODIMP CAcxAgntUtil::InvokeMethodByHandle(HWND window, BSTR method, SAFEARRAY** args, VARIANT* result) {
    return kcom::Guard([&]() -> HRESULT {
        kcom::CComVariant b;
        PutBstr(b, method);
        return RequestInvoke(L"INVOKE_ACTIVEX_MSG", window, b, args, result);
    });
}

STDMETHODIMP CAcxAgntUtil::InvokeUserMessage(HWND window, BSTR first, BSTR second, SAFEARRAY** args,
                                             VARIANT* result) {
    return kcom::Guard([&]() -> HRESULT {
        CKorSafeArray strings(2, 1, static_cast<VARTYPE>(VT_VARIANT));
        kcom::CComVariant one, two;
        PutBstr(one, first);
        PutBstr(two, second);
        kcom::ThrowIfFailed(strings.PutElement(&one, 0, 0));
        kcom::ThrowIfFailed(strings.PutElement(&two, 1, 0));
        kcom::CComVariant b;
        b.vt = VT_ARRAY | VT_VARIANT;
        b.parray = strings.Detach();
        return RequestInvoke(L"INVOKE_USER_MSG", window, b, args, result);
    });
}

// ---- numbers ----

STDMETHODIMP CAcxAgntUtil::GetInprocUnknown(HWND window, LONG cookie, LONG* value) {
    return kcom::Guard([&]() -> HRESULT {
        if (!value) return E_POINTER;
        *value = 0;
        CAcxParamHelper params;
        if (Send(L"GET_INPROC_UNKNOWN_MSG", window, cookie, params) < 0) return S_FALSE;
        *value = params.lResult == 1 ? params.lCookie : 0;  // an address inside the application, as a number
        return S_OK;
    });
}

STDMETHODIMP CAcxAgntUtil::GetCreateTime(HWND window, LONG cookie, LONG* time) {
    return kcom::Guard([&]() -> HRESULT {
        if (!time) return E_POINTER;
        *time = 0;
        CAcxParamHelper params;
        if (Send(L"GET_CREATE_TIME", window, cookie, params) < 0) return S_FALSE;
        *time = params.lResult;
        return S_OK;
    });
}

STDMETHODIMP CAcxAgntUtil::GetCookieFromHandle(HWND window, LONG* cookie) {
    return kcom::Guard([&]() -> HRESULT {
        if (!cookie) return E_POINTER;
        *cookie = 0;
        CAcxParamHelper params;
        if (Send(L"GET_COOKIE_FROM_HANDLE", window, 0, params) < 0) return S_FALSE;
        *cookie = params.lResult == 1 ? params.lCookie : 0;
        return S_OK;
    });
}

STDMETHODIMP CAcxAgntUtil::GetCookieFromPoint(HWND window, short x, short y, HWND* control, LONG* cookie) {
    return kcom::Guard([&]() -> HRESULT {
        const LONG packed = PackPoint(x, y);
        CAcxParamHelper params;
        params.hWnd = window;
        params.lCookie = packed;
        // The hook answers once the control under the point is known; the same record goes again.
        for (int tries = 0;; ++tries) {
            if (tries == kPointTries) return S_FALSE;
            if (Send(L"GET_COOKIE_FROM_POINT_MSG", window, params) < 0) return S_FALSE;
            if (params.lCookie != packed && params.lResult == 1) break;
            PumpMessagesFor(kPointRetryMs);
        }
        if (cookie) *cookie = params.lCookie;
        if (control) *control = params.hWnd;
        return S_OK;
    });
}

// ---- windowless facts (the caches in front of them are the agent's) ----

HRESULT CAcxAgntUtil::RequestWlsSize(HWND window, LONG cookie, RECT* rect) {
    CAcxParamHelper params;
    if (Send(L"GET_WLS_SIZE_MSG", window, cookie, params) < 0) return S_FALSE;
    RECT answer{};
    if (params.lResult == 1 && params.pBlob && params.cbBlob == sizeof(RECT))
        memcpy(&answer, params.pBlob, sizeof(RECT));
    *rect = answer;
    return S_OK;
}

HRESULT CAcxAgntUtil::RequestWlsVisible(HWND window, LONG cookie, BOOL* visible) {
    *visible = FALSE;
    CAcxParamHelper params;
    if (Send(L"GET_WLS_VISIBLE_STATE", window, cookie, params) < 0) return E_FAIL;
    *visible = params.lResult == 1 && params.varA.lVal != 0;
    return S_OK;
}

HRESULT CAcxAgntUtil::RequestCookies(HWND container, SAFEARRAY** cookies) {
    CAcxParamHelper params;
    if (Send(L"GET_WLS_COOKIES_FROM_CONTAINER", container, 0, params) < 0 || params.lResult == 0 ||
        params.varA.vt != (VT_ARRAY | VT_I4))
        return S_FALSE;
    *cookies = params.varA.parray;
    params.varA.vt = VT_EMPTY;
    return S_OK;
}

STDMETHODIMP CAcxAgntUtil::GetContainers(HWND window, SAFEARRAY** containers) {
    return kcom::Guard([&]() -> HRESULT {
        if (!containers) return E_POINTER;
        *containers = nullptr;
        CAcxParamHelper params;
        params.lResult = static_cast<LONG>(reinterpret_cast<UINT_PTR>(window));
        const long sent = Send(L"GET_CONTAINERS_MSG", window, params);
        if (sent < 0) return static_cast<HRESULT>(sent);
        kcom::CComVariant reply;
        MoveVariant(params.varA, &reply);
        if (reply.vt != (VT_ARRAY | VT_VARIANT) || !reply.parray) return E_FAIL;
        LONG lower = 0, upper = -1;
        if (FAILED(::SafeArrayGetLBound(reply.parray, 1, &lower)) ||
            FAILED(::SafeArrayGetUBound(reply.parray, 1, &upper)) || upper - lower + 1 != params.lResult)
            return E_FAIL;
        *containers = reply.parray;
        reply.vt = VT_EMPTY;
        return S_OK;
    });
}
