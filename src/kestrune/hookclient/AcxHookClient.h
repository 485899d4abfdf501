#pragma once
// The hook client: one typed call per request to the hook inside the application under test.
// Each request is a parameter record carried by the output channel under the carrier message and
// answered in the same record. The record frees what it still holds when it goes, so every value
// handed out of a reply is moved out of it or copied. A reply comes from another process: nothing
// in it is trusted. The client keeps nothing between calls but the channel.
#include <windows.h>
#include <oleauto.h>
#include "com/ComPtr.h"
#include "contracts/Pelluce.h"
#include "contracts/QuillonRequests.h"

class CAcxHookClient {
public:
    // The pause between two tries of a point request (the message-pumping wait by default).
    using RetryWait = DWORD (*)(DWORD ms) noexcept;

    explicit CAcxHookClient(RetryWait wait = nullptr) noexcept;

    // The channel requests travel through; without one nothing reaches the hook.
    void SetChannel(IOutputChannel* channel) noexcept;

    // IS_ACTIVEX_MSG: *answer is the hook's value (non-zero: ActiveX). S_FALSE with 0 when the
    // request did not reach the hook or the window is of a kind that is never probed.
    HRESULT IsActiveX(HWND window, LONG* answer) noexcept;
    // GET_PROGID_MSG: S_FALSE when unanswered, E_FAIL when the answer is no string.
    HRESULT GetProgId(HWND window, BSTR* progId) noexcept;
    // GET_WLS_PROGID_MSG and GET_USERTYPE_MSG: E_FAIL unless a string came back. The user type
    // refuses a handle that is not a window (E_INVALIDARG).
    HRESULT GetWlsProgId(HWND window, LONG cookie, BSTR* progId) noexcept;
    HRESULT GetUserType(HWND window, LONG cookie, BSTR* userType) noexcept;
    // HWND2IDISPATCH_MSG (S_FALSE when unanswered) and GET_LISTENER (E_FAIL): the IDispatch
    // marshalled into the reply's stream.
    HRESULT GetDispatch(HWND window, LONG cookie, IDispatch** control) noexcept;
    HRESULT GetListener(HWND window, LONG cookie, IDispatch** listener) noexcept;
    // GET_ACTIVEX_PROPERTY_MSG and GET_ACTIVEX_PROPERTIES_NAME_MSG: the answer, or an emptied
    // *value when the hook had none; S_FALSE when the request did not reach the hook.
    HRESULT GetProperty(HWND window, LONG cookie, BSTR name, VARIANT* value) noexcept;
    HRESULT GetPropertyNames(HWND window, LONG cookie, VARIANT* names) noexcept;
    // GET_PROPERTIES_MSG: table holds rows of (name, value); the values are filled in place.
    HRESULT GetProperties(HWND window, LONG cookie, SAFEARRAY* table) noexcept;
    // SET_ACTIVEX_PROPERTY_MSG: a value that is no string fails before anything is sent.
    HRESULT SetProperty(HWND window, BSTR name, const VARIANT& value) noexcept;
    // SET_AGENT_DATA: the caller keeps its own value.
    HRESULT SetAgentData(HWND window, const VARIANT& data) noexcept;
    // INVOKE_ACTIVEX_MSG and INVOKE_USER_MSG: *args is lent; on success it is replaced by the
    // reply's array (the old one destroyed), on failure the caller keeps its own.
    HRESULT InvokeMethod(HWND window, BSTR method, SAFEARRAY** args, VARIANT* result) noexcept;
    HRESULT InvokeUserMessage(HWND window, BSTR first, BSTR second, SAFEARRAY** args, VARIANT* result) noexcept;
    // GET_WLS_COOKIES_FROM_CONTAINER: the container's cookies; S_FALSE without an I4 array.
    HRESULT GetWlsCookies(HWND container, SAFEARRAY** cookies) noexcept;
    // GET_WLS_SIZE_MSG: S_OK once the hook answered (an unusable answer is an all-zero RECT);
    // S_FALSE leaves *rect as it was.
    HRESULT GetWlsSize(HWND window, LONG cookie, RECT* rect) noexcept;
    // GET_WLS_VISIBLE_STATE.
    HRESULT GetWlsVisible(HWND window, LONG cookie, BOOL* visible) noexcept;
    // GET_COOKIE_FROM_POINT_MSG, asked again until the hook knows the control under the point;
    // both out-values are optional.
    HRESULT GetCookieFromPoint(HWND window, short x, short y, HWND* control, LONG* cookie) noexcept;
    // GET_INPROC_UNKNOWN_MSG, GET_CREATE_TIME, GET_COOKIE_FROM_HANDLE: numbers; S_FALSE with 0
    // when the request did not reach the hook.
    HRESULT GetInprocUnknown(HWND window, LONG cookie, LONG* value) noexcept;
    HRESULT GetCreateTime(HWND window, LONG* time, LONG cookie) noexcept;
    HRESULT GetCookieFromHandle(HWND window, LONG* cookie) noexcept;
    // GET_CONTAINERS_MSG: a one-dimensional array of as many VARIANTs as the hook counted;
    // a request that did not reach the hook gives the send's own HRESULT.
    HRESULT GetContainers(HWND window, SAFEARRAY** containers) noexcept;

    // The IDispatch marshalled into a reply stream; E_POINTER for a null stream.
    static HRESULT UnmarshalDispatchFromStream(IStream* stream, IDispatch** out) noexcept;
    // x and y as the cookie field carries them.
    static LONG PackPoint(short x, short y) noexcept;

private:
    // The record goes out and comes back holding the reply. Negative: no reply.
    long Send(EQuillonRequest request, HWND target, CAcxParamHelper& params);
    // A request about one control: the record is addressed to the window and cookie as it goes.
    long Send(EQuillonRequest request, HWND window, LONG cookie, CAcxParamHelper& params);

    HRESULT RequestText(EQuillonRequest request, HWND window, LONG cookie, BSTR* out);
    HRESULT RequestDispatch(EQuillonRequest request, HWND window, LONG cookie, IDispatch** out, HRESULT failure);
    HRESULT RequestValue(EQuillonRequest request, HWND window, LONG cookie, BSTR property, VARIANT* value);
    HRESULT RequestInvoke(EQuillonRequest request, HWND window, VARIANT& b, SAFEARRAY** args, VARIANT* result);
    // A number that pick reads from the reply; S_FALSE with 0 when the request did not reach the hook.
    HRESULT RequestNumber(EQuillonRequest request, HWND window, LONG cookie, LONG* out,
                          LONG (*pick)(const CAcxParamHelper& reply)) noexcept;

    RetryWait wait_;
    UINT carrier_ = 0;
    kcom::CComPtr<IOutputChannel> channel_;
};
