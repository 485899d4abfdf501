#pragma once
// The hook requests: each travels as the registered window message "Quillon_msg_<NAME>"
// under the carrier message "ZirevavoDizivov".
#include <windows.h>
#include <string>

enum class EQuillonRequest : int {
    IsActiveX,
    GetProgId,
    GetWlsProgId,
    Hwnd2IDispatch,
    GetActiveXProperty,
    GetActiveXPropertiesName,
    GetUserType,
    GetWlsCookiesFromContainer,
    GetWlsSize,
    GetCookieFromPoint,
    GetListener,
    GetInprocUnknown,
    GetCreateTime,
    GetCookieFromHandle,
    SetActiveXProperty,
    InvokeActiveX,
    GetWlsVisibleState,
    InvokeUser,
    SetAgentData,
    GetProperties,
    GetContainers,
    Count
};

inline constexpr wchar_t kQuillonCarrierMessage[] = L"ZirevavoDizivov";
inline constexpr wchar_t kQuillonRequestPrefix[] = L"Quillon_msg_";

// <NAME> of each request, in the order of EQuillonRequest. Six have no "_MSG" suffix.
inline constexpr const wchar_t* kQuillonRequestNames[static_cast<int>(EQuillonRequest::Count)] = {
    L"IS_ACTIVEX_MSG",
    L"GET_PROGID_MSG",
    L"GET_WLS_PROGID_MSG",
    L"HWND2IDISPATCH_MSG",
    L"GET_ACTIVEX_PROPERTY_MSG",
    L"GET_ACTIVEX_PROPERTIES_NAME_MSG",
    L"GET_USERTYPE_MSG",
    L"GET_WLS_COOKIES_FROM_CONTAINER",
    L"GET_WLS_SIZE_MSG",
    L"GET_COOKIE_FROM_POINT_MSG",
    L"GET_LISTENER",
    L"GET_INPROC_UNKNOWN_MSG",
    L"GET_CREATE_TIME",
    L"GET_COOKIE_FROM_HANDLE",
    L"SET_ACTIVEX_PROPERTY_MSG",
    L"INVOKE_ACTIVEX_MSG",
    L"GET_WLS_VISIBLE_STATE",
    L"INVOKE_USER_MSG",
    L"SET_AGENT_DATA",
    L"GET_PROPERTIES_MSG",
    L"GET_CONTAINERS_MSG",
};

inline const wchar_t* QuillonRequestName(EQuillonRequest request) {
    return kQuillonRequestNames[static_cast<int>(request)];
}

// "Quillon_msg_<NAME>"; registering it gives the same number in every process of the session.
inline std::wstring QuillonMessageName(EQuillonRequest request) {
    return std::wstring(kQuillonRequestPrefix) + QuillonRequestName(request);
}

inline UINT RegisterQuillonMessage(EQuillonRequest request) {
    return ::RegisterWindowMessageW(QuillonMessageName(request).c_str());
}
