// The hook requests, each answered in the record that carried it.
#include "hookclient/AcxHookClient.h"
#include <cstring>
#include "com/ComError.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "tables/KorSafeArray.h"
#include "win32/MessageWait.h"

namespace {

constexpr int kPointTries = 100;
constexpr DWORD kPointRetryMs = 10;

void PutBstr(VARIANT& v, BSTR text) {
    ::VariantClear(&v);
    v.vt = VT_BSTR;
    v.bstrVal = ::SysAllocStringLen(text, ::SysStringLen(text));
    if (text && !v.bstrVal) {
        v.vt = VT_EMPTY;
        throw std::bad_alloc();
    }
}

// Lends a copy of the caller's argument array to the record: a reply that fails after the hook
// replaced the record's array must leave the caller's own untouched.
void LendArguments(VARIANT& a, SAFEARRAY* args) {
    ::VariantClear(&a);
    if (!args) return;
    kcom::CComSafeArray copy;
    kcom::ThrowIfFailed(::SafeArrayCopy(args, copy.Put()));
    a.vt = VT_ARRAY | VT_VARIANT;
    a.parray = copy.Detach();
}

// Whether a reply VARIANT is an array of vt | VT_ARRAY whose own cells are of that kind, with a
// dimension count in [minDims, maxDims]. The tag on the VARIANT alone says nothing of the cells.
bool IsArrayOf(const VARIANT& v, VARTYPE vt, USHORT minDims, USHORT maxDims) noexcept {
    if (v.vt != (VT_ARRAY | vt) || !v.parray) return false;
    const SAFEARRAY* psa = v.parray;
    if (psa->cDims < minDims || psa->cDims > maxDims) return false;
    constexpr USHORT kCellKinds = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT | FADF_RECORD;
    const USHORT kind = psa->fFeatures & kCellKinds;
    if (vt == VT_VARIANT) return kind == FADF_VARIANT && psa->cbElements == sizeof(VARIANT);
    return kind == 0 && psa->cbElements == sizeof(LONG);  // VT_I4
}

// A number the hook answers in the cookie field, when it says it answered.
LONG CookieAnswer(const CAcxParamHelper& reply) noexcept { return reply.lResult == 1 ? reply.lCookie : 0; }

// Sun AWT windows, and those of its browser plug-in, are never asked.
bool IsExcludedFromProbe(HWND window) noexcept {
    for (HWND w = window; w; w = ::GetParent(w)) {
        wchar_t name[100] = {};
        const int n = ::GetClassNameW(w, name, 100);
        if (n <= 0) continue;
        ::CharLowerBuffW(name, static_cast<DWORD>(n));
        if (wcsncmp(name, L"sunawt", 6) == 0 || wcsstr(name, L"sun.plugin")) return true;
    }
    return false;
}

}  // namespace

CAcxHookClient::CAcxHookClient(RetryWait wait) noexcept : wait_(wait ? wait : &PumpMessagesFor) {}

void CAcxHookClient::SetChannel(IOutputChannel* channel) noexcept {
    carrier_ = ::RegisterWindowMessageW(kQuillonCarrierMessage);
    channel_ = channel;
}

LONG CAcxHookClient::PackPoint(short x, short y) noexcept {
    // x is sign-extended, so a negative x borrows from y.
    return static_cast<LONG>(static_cast<ULONG>(static_cast<LONG>(y)) << 16) + static_cast<LONG>(x);
}

HRESULT CAcxHookClient::UnmarshalDispatchFromStream(IStream* stream, IDispatch** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!stream) return E_POINTER;
    LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    HRESULT hr = ::CoUnmarshalInterface(stream, IID_IDispatch, reinterpret_cast<void**>(out));
    return FAILED(hr) ? hr : S_OK;
}

long CAcxHookClient::Send(EQuillonRequest request, HWND target, CAcxParamHelper& params) {
    if (!carrier_) carrier_ = ::RegisterWindowMessageW(kQuillonCarrierMessage);
    return CPelluce::SendMessageByOCh(carrier_, target, RegisterQuillonMessage(request), params, channel_);
}

long CAcxHookClient::Send(EQuillonRequest request, HWND window, LONG cookie, CAcxParamHelper& params) {
    params.hWnd = window;
    params.lCookie = cookie;
    return Send(request, window, params);
}

// ---- identity ----

HRESULT CAcxHookClient::IsActiveX(HWND window, LONG* answer) noexcept {
    if (!answer) return E_POINTER;
    *answer = 0;
    return kcom::Guard([&]() -> HRESULT {
        if (IsExcludedFromProbe(window)) return S_FALSE;
        CAcxParamHelper params;
        if (Send(EQuillonRequest::IsActiveX, window, 0, params) < 0) return S_FALSE;
        *answer = params.lResult;
        return S_OK;
    });
}

HRESULT CAcxHookClient::GetProgId(HWND window, BSTR* progId) noexcept {
    if (!progId) return E_POINTER;
    *progId = nullptr;
    return kcom::Guard([&]() -> HRESULT {
        CAcxParamHelper params;
        if (Send(EQuillonRequest::GetProgId, window, 0, params) < 0 || params.lResult == 0) return S_FALSE;
        if (params.varA.vt != VT_BSTR) return E_FAIL;
        *progId = params.varA.bstrVal;  // moved out of the record
        params.varA.vt = VT_EMPTY;
        return S_OK;
    });
}

HRESULT CAcxHookClient::RequestText(EQuillonRequest request, HWND window, LONG cookie, BSTR* out) {
    CAcxParamHelper params;
    if (Send(request, window, cookie, params) < 0 || params.lResult == 0 || params.varA.vt != VT_BSTR) return E_FAIL;
    *out = params.varA.bstrVal;  // moved out of the record
    params.varA.vt = VT_EMPTY;
    return S_OK;
}

HRESULT CAcxHookClient::GetWlsProgId(HWND window, LONG cookie, BSTR* progId) noexcept {
    if (!progId) return E_POINTER;
    *progId = nullptr;
    return kcom::Guard([&] { return RequestText(EQuillonRequest::GetWlsProgId, window, cookie, progId); });
}

HRESULT CAcxHookClient::GetUserType(HWND window, LONG cookie, BSTR* userType) noexcept {
    if (!userType) return E_POINTER;
    *userType = nullptr;
    if (!::IsWindow(window)) return E_INVALIDARG;
    return kcom::Guard([&] { return RequestText(EQuillonRequest::GetUserType, window, cookie, userType); });
}

// ---- dispatch interfaces ----

HRESULT CAcxHookClient::RequestDispatch(EQuillonRequest request, HWND window, LONG cookie, IDispatch** out,
                                        HRESULT failure) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CAcxParamHelper params;
    if (Send(request, window, cookie, params) < 0 || params.lResult == 0) return failure;
    return UnmarshalDispatchFromStream(params.pStream, out);
}

HRESULT CAcxHookClient::GetDispatch(HWND window, LONG cookie, IDispatch** control) noexcept {
    return kcom::Guard(
        [&] { return RequestDispatch(EQuillonRequest::Hwnd2IDispatch, window, cookie, control, S_FALSE); });
}

HRESULT CAcxHookClient::GetListener(HWND window, LONG cookie, IDispatch** listener) noexcept {
    return kcom::Guard([&] { return RequestDispatch(EQuillonRequest::GetListener, window, cookie, listener, E_FAIL); });
}

// ---- properties ----

HRESULT CAcxHookClient::RequestValue(EQuillonRequest request, HWND window, LONG cookie, BSTR property,
                                     VARIANT* value) {
    if (!value) return E_POINTER;
    CAcxParamHelper params;
    if (property) PutBstr(params.varA, property);
    if (Send(request, window, cookie, params) < 0) return S_FALSE;
    if (params.lResult == 1) kcom::MoveVariant(value, params.varA);
    else ::VariantClear(value);
    return S_OK;
}

HRESULT CAcxHookClient::GetProperty(HWND window, LONG cookie, BSTR name, VARIANT* value) noexcept {
    return kcom::Guard([&] { return RequestValue(EQuillonRequest::GetActiveXProperty, window, cookie, name, value); });
}

HRESULT CAcxHookClient::GetPropertyNames(HWND window, LONG cookie, VARIANT* names) noexcept {
    return kcom::Guard(
        [&] { return RequestValue(EQuillonRequest::GetActiveXPropertiesName, window, cookie, nullptr, names); });
}

HRESULT CAcxHookClient::GetProperties(HWND window, LONG cookie, SAFEARRAY* table) noexcept {
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
                kcom::ThrowIfFailed(callers.GetElement(name.Put(), static_cast<LONG>(i), 0));
                kcom::ThrowIfFailed(names.PutElement(&name, static_cast<LONG>(i), 0));
            }
            params.varA.vt = VT_ARRAY | VT_VARIANT;
            params.varA.parray = names.Detach();
        }
        if (Send(EQuillonRequest::GetProperties, window, cookie, params) < 0) return E_FAIL;
        if (params.lResult != 1 || params.varB.vt != (VT_ARRAY | VT_VARIANT)) return S_OK;
        const bool usable = IsArrayOf(params.varB, VT_VARIANT, 1, 2);
        CKorSafeArray values;
        values.Attach(params.varB.parray, true);  // moved out of the record
        params.varB.vt = VT_EMPTY;
        if (!usable || values.GetRowCount() != rows) return E_FAIL;
        for (ULONG i = 0; i < rows; ++i) {
            kcom::CComVariant value;
            if (FAILED(values.GetElement(value.Put(), static_cast<LONG>(i), 0))) return E_FAIL;
            kcom::ThrowIfFailed(callers.PutElement(&value, static_cast<LONG>(i), 1));
        }
        return S_OK;
    });
}

HRESULT CAcxHookClient::SetProperty(HWND window, BSTR name, const VARIANT& value) noexcept {
    return kcom::Guard([&]() -> HRESULT {
        if (value.vt != VT_BSTR) return E_FAIL;
        CAcxParamHelper params;
        PutBstr(params.varA, name);
        kcom::ThrowIfFailed(::VariantCopy(&params.varB, const_cast<VARIANT*>(&value)));
        if (Send(EQuillonRequest::SetActiveXProperty, window, 0, params) < 0 || params.lResult == 0) return E_FAIL;
        return S_OK;
    });
}

HRESULT CAcxHookClient::SetAgentData(HWND window, const VARIANT& data) noexcept {
    return kcom::Guard([&]() -> HRESULT {
        CAcxParamHelper params;
        // The caller keeps its own VARIANT; the record frees only its copy.
        kcom::ThrowIfFailed(::VariantCopy(&params.varA, const_cast<VARIANT*>(&data)));
        if (Send(EQuillonRequest::SetAgentData, window, 0, params) < 0 || params.lResult == 0) return S_FALSE;
        return S_OK;
    });
}

// ---- methods ----

HRESULT CAcxHookClient::RequestInvoke(EQuillonRequest request, HWND window, VARIANT& b, SAFEARRAY** args,
                                      VARIANT* result) {
    if (!args || !result) return E_POINTER;
    CAcxParamHelper params;
    LendArguments(params.varA, *args);
    kcom::MoveVariant(&params.varB, b);
    if (Send(request, window, 0, params) < 0 || params.lResult == 0) return E_FAIL;
    // The caller's argument table is a list or a table of VARIANT cells; anything else is no answer.
    if (!IsArrayOf(params.varA, VT_VARIANT, 1, 2)) return E_FAIL;
    kcom::CComSafeArray previous(*args);
    *args = params.varA.parray;
    params.varA.vt = VT_EMPTY;
    kcom::MoveVariant(result, params.varB);
    return S_OK;
}

HRESULT CAcxHookClient::InvokeMethod(HWND window, BSTR method, SAFEARRAY** args, VARIANT* result) noexcept {
    return kcom::Guard([&]() -> HRESULT {
        kcom::CComVariant b;
        PutBstr(b, method);
        return RequestInvoke(EQuillonRequest::InvokeActiveX, window, b, args, result);
    });
}

HRESULT CAcxHookClient::InvokeUserMessage(HWND window, BSTR first, BSTR second, SAFEARRAY** args,
                                          VARIANT* result) noexcept {
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
        return RequestInvoke(EQuillonRequest::InvokeUser, window, b, args, result);
    });
}

// ---- windowless facts ----

HRESULT CAcxHookClient::GetWlsCookies(HWND container, SAFEARRAY** cookies) noexcept {
    if (!cookies) return E_POINTER;
    *cookies = nullptr;
    return kcom::Guard([&]() -> HRESULT {
        CAcxParamHelper params;
        // Cookie lists of any shape are passed on as they came, as long as their cells are numbers.
        if (Send(EQuillonRequest::GetWlsCookiesFromContainer, container, 0, params) < 0 || params.lResult == 0 ||
            !IsArrayOf(params.varA, VT_I4, 1, 0xFFFF))
            return S_FALSE;
        *cookies = params.varA.parray;
        params.varA.vt = VT_EMPTY;
        return S_OK;
    });
}

HRESULT CAcxHookClient::GetWlsSize(HWND window, LONG cookie, RECT* rect) noexcept {
    if (!rect) return E_POINTER;
    return kcom::Guard([&]() -> HRESULT {
        CAcxParamHelper params;
        if (Send(EQuillonRequest::GetWlsSize, window, cookie, params) < 0) return S_FALSE;
        RECT answer{};
        if (params.lResult == 1 && params.pBlob && params.cbBlob == sizeof(RECT))
            memcpy(&answer, params.pBlob, sizeof(RECT));
        *rect = answer;
        return S_OK;
    });
}

HRESULT CAcxHookClient::GetWlsVisible(HWND window, LONG cookie, BOOL* visible) noexcept {
    if (!visible) return E_POINTER;
    *visible = FALSE;
    return kcom::Guard([&]() -> HRESULT {
        CAcxParamHelper params;
        if (Send(EQuillonRequest::GetWlsVisibleState, window, cookie, params) < 0) return E_FAIL;
        *visible = params.lResult == 1 && params.varA.lVal != 0;
        return S_OK;
    });
}

HRESULT CAcxHookClient::GetCookieFromPoint(HWND window, short x, short y, HWND* control, LONG* cookie) noexcept {
    return kcom::Guard([&]() -> HRESULT {
        const LONG packed = PackPoint(x, y);
        CAcxParamHelper params;
        params.hWnd = window;
        params.lCookie = packed;
        // The hook answers once the control under the point is known; the same record goes again.
        for (int tries = 1;; ++tries) {
            if (Send(EQuillonRequest::GetCookieFromPoint, window, params) < 0) return S_FALSE;
            if (params.lCookie != packed && params.lResult == 1) break;
            if (tries == kPointTries) return S_FALSE;
            wait_(kPointRetryMs);
        }
        if (cookie) *cookie = params.lCookie;
        if (control) *control = params.hWnd;
        return S_OK;
    });
}

// ---- numbers ----

HRESULT CAcxHookClient::RequestNumber(EQuillonRequest request, HWND window, LONG cookie, LONG* out,
                                      LONG (*pick)(const CAcxParamHelper& reply)) noexcept {
    if (!out) return E_POINTER;
    *out = 0;
    return kcom::Guard([&]() -> HRESULT {
        CAcxParamHelper params;
        if (Send(request, window, cookie, params) < 0) return S_FALSE;
        *out = pick(params);
        return S_OK;
    });
}

HRESULT CAcxHookClient::GetInprocUnknown(HWND window, LONG cookie, LONG* value) noexcept {
    // An address inside the application, as a number.
    return RequestNumber(EQuillonRequest::GetInprocUnknown, window, cookie, value, &CookieAnswer);
}

HRESULT CAcxHookClient::GetCreateTime(HWND window, LONG* time, LONG cookie) noexcept {
    return RequestNumber(EQuillonRequest::GetCreateTime, window, cookie, time,
                         [](const CAcxParamHelper& reply) { return reply.lResult; });
}

HRESULT CAcxHookClient::GetCookieFromHandle(HWND window, LONG* cookie) noexcept {
    return RequestNumber(EQuillonRequest::GetCookieFromHandle, window, 0, cookie, &CookieAnswer);
}

HRESULT CAcxHookClient::GetContainers(HWND window, SAFEARRAY** containers) noexcept {
    if (!containers) return E_POINTER;
    *containers = nullptr;
    return kcom::Guard([&]() -> HRESULT {
        CAcxParamHelper params;
        params.lResult = static_cast<LONG>(reinterpret_cast<UINT_PTR>(window));
        const long sent = Send(EQuillonRequest::GetContainers, window, params);
        if (sent < 0) return static_cast<HRESULT>(sent);
        kcom::CComVariant reply;
        kcom::MoveVariant(&reply, params.varA);
        if (!IsArrayOf(reply, VT_VARIANT, 1, 1)) return E_FAIL;
        LONG lower = 0, upper = -1;
        if (FAILED(::SafeArrayGetLBound(reply.parray, 1, &lower)) ||
            FAILED(::SafeArrayGetUBound(reply.parray, 1, &upper)))
            return E_FAIL;
        // Bounds that wrap around give no count at all.
        const LONGLONG count = static_cast<LONGLONG>(upper) - lower + 1;
        if (count < 0 || count != params.lResult) return E_FAIL;
        *containers = reply.parray;
        reply.vt = VT_EMPTY;
        return S_OK;
    });
}
