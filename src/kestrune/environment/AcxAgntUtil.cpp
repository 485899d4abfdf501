// The agent's caches and its ActiveX detection, in front of the hook client's requests.
#include "environment/AcxAgntUtil.h"
#include <cwctype>
#include <iterator>
#include "com/ComClassFactory.h"
#include "com/ComError.h"
#include "com/ComVariant.h"
#include "tables/KorSafeArray.h"
#include "environment/LoadTimeValues.h"
#include "environment/ObjectMap.h"
#include "host/RackServices.h"

extern const kcom::CreatorFn AcxAgntUtilCreator = &kcom::CComCachedCreator<CAcxAgntUtil>::CreateInstance;

namespace {

const HANDLE kNotAcx = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1));
constexpr wchar_t kSeparator[] = L"|@|";
constexpr wchar_t kRpcClassPrefix[] = L"QuorvelInteractiveRPC";
constexpr wchar_t kSkipCacheKey[] = L"Packages\\Kestrune\\SkipCacheWindowsClasses";

LPCWSTR PropName() noexcept { return MAKEINTATOM(g_acxWindowPropAtom); }

std::wstring ClassNameOf(HWND window, int length) {
    std::wstring name(static_cast<size_t>(length), L'\0');
    const int n = ::GetClassNameW(window, name.data(), length);
    name.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return name;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

bool IsMfcControlHost(const std::wstring& className) {
    for (const wchar_t* name : {L"AfxOleControl42s", L"AfxOleControl42", L"AfxWnd40"})
        if (_wcsicmp(className.c_str(), name) == 0) return true;
    return false;
}

// A child that covers its parent exactly.
bool CoversParent(HWND window, HWND parent) {
    if (!parent || !(::GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) return false;
    RECT mine{}, theirs{};
    return ::GetWindowRect(window, &mine) && ::GetWindowRect(parent, &theirs) && ::EqualRect(&mine, &theirs);
}

BOOL CALLBACK RemoveChildProps(HWND window, LPARAM agent);
BOOL CALLBACK RemoveTopLevelProps(HWND window, LPARAM agent) {
    reinterpret_cast<void (*)(HWND)>(agent)(window);
    ::EnumChildWindows(window, RemoveChildProps, agent);  // every depth below it
    return TRUE;
}
BOOL CALLBACK RemoveChildProps(HWND window, LPARAM agent) {
    reinterpret_cast<void (*)(HWND)>(agent)(window);
    return TRUE;
}

}  // namespace

CAcxAgntUtil::~CAcxAgntUtil() { ClearAllWindowProps(); }

// ---- the window property ----

CAcxAgntUtil::WindowFacts CAcxAgntUtil::ReadWindowFacts(HWND window) {
    WindowFacts facts;
    HANDLE value = ::GetPropW(window, PropName());
    if (!value) return facts;
    facts.cached = true;
    if (value == kNotAcx) return facts;
    facts.isAcx = true;
    const BSTR text = static_cast<BSTR>(value);
    const std::wstring all(text, ::SysStringLen(text));
    const size_t at = all.find(kSeparator);
    if (at == std::wstring::npos) {
        facts.progId = all;
    } else {
        facts.progId = all.substr(0, at);
        facts.userType = all.substr(at + std::size(kSeparator) - 1);
    }
    return facts;
}

void CAcxAgntUtil::StoreWindowValue(HWND window, HANDLE value) {
    RemoveWindowValue(window);
    if (!::SetPropW(window, PropName(), value) && value != kNotAcx) ::SysFreeString(static_cast<BSTR>(value));
}

void CAcxAgntUtil::RemoveWindowValue(HWND window) {
    HANDLE old = ::RemovePropW(window, PropName());
    if (old && old != kNotAcx) ::SysFreeString(static_cast<BSTR>(old));
}

void CAcxAgntUtil::WriteWindowFacts(HWND window, const std::wstring& progId, const std::wstring& userType) {
    const std::wstring text = userType.empty() ? progId : progId + kSeparator + userType;
    BSTR value = ::SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
    if (!value) throw std::bad_alloc();
    StoreWindowValue(window, value);
}

// ---- detection ----

LONG CAcxAgntUtil::SkipCacheValue(const wchar_t* className) const {
    auto it = skipCacheClasses_.find(Lower(className));
    return it == skipCacheClasses_.end() ? 0 : it->second;
}

bool CAcxAgntUtil::KeepsNegativeUncached(HWND window) const {
    if (!::IsWindow(window) || !::IsWindowVisible(window)) return true;
    const std::wstring name = ClassNameOf(window, 255);
    if (IsMfcControlHost(name)) return true;
    HWND parent = ::GetParent(window);
    const bool coversParent = CoversParent(window, parent);
    const std::wstring parentName = coversParent ? ClassNameOf(parent, 255) : std::wstring();
    if (coversParent && IsMfcControlHost(parentName)) return true;
    if (SkipCacheValue(name.c_str()) > 0) return true;
    return coversParent && SkipCacheValue(parentName.c_str()) == 2;
}

STDMETHODIMP CAcxAgntUtil::IsAcxControl(HWND window, LONG* isAcx) {
    return kcom::Guard([&]() -> HRESULT {
        if (!isAcx) return E_POINTER;
        *isAcx = 0;
        if (!::IsWindow(window)) return E_INVALIDARG;
        const WindowFacts facts = ReadWindowFacts(window);
        if (facts.cached) {
            *isAcx = facts.isAcx ? 1 : 0;
            return S_OK;
        }
        const std::wstring name = ClassNameOf(window, 256);
        if (_wcsnicmp(name.c_str(), kRpcClassPrefix, wcslen(kRpcClassPrefix)) == 0) {
            StoreWindowValue(window, kNotAcx);
            return S_OK;
        }
        LONG answer = 0;
        hook_.IsActiveX(window, &answer);  // no answer: not ActiveX
        if (answer) {
            BSTR empty = ::SysAllocString(L"");
            if (!empty) throw std::bad_alloc();
            StoreWindowValue(window, empty);
            *isAcx = answer;
            return S_OK;
        }
        if (!KeepsNegativeUncached(window)) StoreWindowValue(window, kNotAcx);
        return S_OK;
    });
}

STDMETHODIMP CAcxAgntUtil::AcxProgIDQuery(HWND window, BSTR* progId) {
    return kcom::Guard([&]() -> HRESULT {
        if (!progId) return E_POINTER;
        *progId = nullptr;
        if (!window) return E_INVALIDARG;
        const WindowFacts facts = ReadWindowFacts(window);
        if (facts.cached && !facts.isAcx) return E_FAIL;
        if (facts.cached && !facts.progId.empty()) return kcom::CComBSTR(facts.progId.c_str()).CopyTo(progId);
        kcom::CComBSTR answer;
        HRESULT hr = hook_.GetProgId(window, answer.Put());
        if (hr != S_OK) return hr;
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
        HRESULT hr = hook_.GetUserType(window, 0, answer.Put());
        if (hr != S_OK) return hr;
        WriteWindowFacts(window, ReadWindowFacts(window).progId, answer.c_str());
        *userType = answer.Detach();
        return S_OK;
    });
}

// ---- skip-cache classes ----

HRESULT CAcxAgntUtil::LoadSkipCacheClasses() {
    if (!m_rack) return E_POINTER;
    kcom::CComPtr<IKorSettings> options;
    if (FAILED(GetRackObject(m_rack, RackName::TestOptions, options.Put())) || !options) return E_FAIL;
    kcom::CComSafeArray table;
    if (FAILED(options->GetValues(kcom::CComBSTR(kSkipCacheKey), table.Put())) || !table) return S_FALSE;
    CKorSafeArray rows;
    rows.Attach(table, false);
    const ULONG count = rows.GetRowCount();
    for (ULONG i = 0; i < count; ++i) {
        kcom::CComVariant name, value;
        if (FAILED(rows.GetElement(name.Put(), static_cast<LONG>(i), 0)) ||
            FAILED(rows.GetElement(value.Put(), static_cast<LONG>(i), 1)))
            continue;
        if (name.vt != VT_BSTR || value.vt != VT_I4) continue;
        skipCacheClasses_.emplace(Lower(std::wstring(name.bstrVal, ::SysStringLen(name.bstrVal))), value.lVal);
    }
    return count ? S_OK : S_FALSE;
}

// ---- windowless identity (kept whether caching is on or not) ----

HRESULT CAcxAgntUtil::KeptWlsText(std::map<WlsKey, kcom::CComBSTR>& kept, TextRequest request, HWND window,
                                  LONG cookie, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!window) return E_INVALIDARG;
    auto it = kept.find({window, cookie});
    if (it != kept.end()) return it->second.CopyTo(out);
    kcom::CComBSTR answer;
    HRESULT hr = (hook_.*request)(window, cookie, answer.Put());
    if (hr != S_OK) return hr;
    kept[{window, cookie}] = answer;
    *out = answer.Detach();
    return S_OK;
}

STDMETHODIMP CAcxAgntUtil::WlsProgIDQuery(HWND window, LONG cookie, BSTR* progId) {
    return kcom::Guard([&] { return KeptWlsText(wlsProgIds_, &CAcxHookClient::GetWlsProgId, window, cookie, progId); });
}

STDMETHODIMP CAcxAgntUtil::WlsUserTypeQuery(HWND window, LONG cookie, BSTR* userType) {
    return kcom::Guard(
        [&] { return KeptWlsText(wlsUserTypes_, &CAcxHookClient::GetUserType, window, cookie, userType); });
}

// ---- windowless facts in front of their requests ----

STDMETHODIMP CAcxAgntUtil::GetWlsSize(HWND window, LONG cookie, RECT* rect) {
    return kcom::Guard([&]() -> HRESULT {
        if (!rect) return E_POINTER;
        if (cacheEnabled_) {
            auto it = wlsStates_.find({window, cookie});
            if (it != wlsStates_.end() && it->second.rectValid) {
                *rect = it->second.rect;
                return S_OK;
            }
        }
        RECT answer{};
        HRESULT hr = hook_.GetWlsSize(window, cookie, &answer);
        if (hr != S_OK) return hr;
        if (cacheEnabled_) {
            WlsState& state = wlsStates_[{window, cookie}];
            state.rect = answer;
            state.rectValid = true;
        }
        *rect = answer;
        return S_OK;
    });
}

STDMETHODIMP CAcxAgntUtil::IsWlsVisible(HWND window, LONG cookie, BOOL* visible) {
    return kcom::Guard([&]() -> HRESULT {
        if (!visible) return E_POINTER;
        *visible = FALSE;
        if (cacheEnabled_) {
            auto it = wlsStates_.find({window, cookie});
            if (it != wlsStates_.end() && it->second.notVisible != 2) {
                *visible = it->second.notVisible == 0;
                return S_OK;
            }
        }
        HRESULT hr = hook_.GetWlsVisible(window, cookie, visible);
        if (hr != S_OK) return hr;
        if (cacheEnabled_) wlsStates_[{window, cookie}].notVisible = *visible ? 0 : 1;
        return S_OK;
    });
}

STDMETHODIMP CAcxAgntUtil::GetWlsCookiesFromContainer(HWND container, SAFEARRAY** cookies) {
    return kcom::Guard([&]() -> HRESULT {
        if (!cookies) return E_POINTER;
        *cookies = nullptr;
        if (cacheEnabled_) {
            auto it = cookieLists_.find(container);
            if (it != cookieLists_.end()) return ::SafeArrayCopy(it->second, cookies);
        }
        kcom::CComSafeArray answer;
        HRESULT hr = hook_.GetWlsCookies(container, answer.Put());
        if (hr != S_OK) return hr;
        if (cacheEnabled_) {
            kcom::CComSafeArray copy;
            kcom::ThrowIfFailed(::SafeArrayCopy(answer, copy.Put()));
            cookieLists_[container] = std::move(copy);
        }
        *cookies = answer.Detach();
        return S_OK;
    });
}

// ---- cache control ----

STDMETHODIMP CAcxAgntUtil::EnableCache(LONG enable) {
    cacheEnabled_ = enable;
    if (!enable) ResetCaches();
    return S_OK;
}

STDMETHODIMP CAcxAgntUtil::IsCacheEnabled(LONG* enabled) {
    if (!enabled) return E_POINTER;
    *enabled = cacheEnabled_;
    return S_OK;
}

HRESULT CAcxAgntUtil::ResetCaches() {
    cookieLists_.clear();
    wlsStates_.clear();
    return S_OK;
}

STDMETHODIMP CAcxAgntUtil::ClearCachedInfo(HWND window) {
    RemoveWindowValue(window);
    cookieLists_.erase(window);
    return S_OK;
}

STDMETHODIMP CAcxAgntUtil::ClearWlsCachedInfo(HWND window, LONG cookie) {
    if (window) {
        const WlsKey key{window, cookie};
        wlsStates_.erase(key);
        wlsProgIds_.erase(key);
        wlsUserTypes_.erase(key);
        cookieLists_.erase(window);
        return S_OK;
    }
    const auto eraseCookie = [cookie](auto& map) {
        for (auto it = map.begin(); it != map.end();) it = it->first.second == cookie ? map.erase(it) : std::next(it);
    };
    eraseCookie(wlsProgIds_);
    eraseCookie(wlsUserTypes_);
    eraseCookie(wlsStates_);
    return S_OK;
}

STDMETHODIMP CAcxAgntUtil::ClearAllWindowProps() {
    ::EnumWindows(RemoveTopLevelProps, reinterpret_cast<LPARAM>(&CAcxAgntUtil::RemoveWindowValue));
    return S_OK;
}

STDMETHODIMP CAcxAgntUtil::SetTestMode(ACX_FLOW_EVENT event) {
    switch (event) {
    case ACX_FLOW_EVENT_START_RECORD:
    case ACX_FLOW_EVENT_END_RECORD:
    case ACX_FLOW_EVENT_QUIT_RECORD:
    case ACX_FLOW_EVENT_START_REPLAY:
    case ACX_FLOW_EVENT_END_REPLAY:
    case ACX_FLOW_EVENT_RESUME_REPLAY:
    case ACX_FLOW_EVENT_PAUSE_REPLAY:
    case ACX_FLOW_EVENT_QUIT_REPLAY:
        ResetCaches();
        break;
    default:  // iterations and errors leave the caches as they are
        break;
    }
    return S_OK;
}

// ---- requests with nothing kept ----

STDMETHODIMP CAcxAgntUtil::SetRack(IObjectRack* rack) {
    return kcom::Guard([&]() -> HRESULT {
        HRESULT hr = IObjectRackClientImpl<CAcxAgntUtil>::SetRack(rack);
        if (FAILED(hr)) return hr;
        hook_.SetChannel(nullptr);
        if (!rack) return S_OK;
        kcom::CComPtr<IUnknown> found;
        hr = rack->GetObject(kcom::CComBSTR(L"TestOutputChannel"), __uuidof(IOutputChannel), found.Put());
        kcom::CComPtr<IOutputChannel> channel;
        if (SUCCEEDED(hr) && found) channel.Attach(static_cast<IOutputChannel*>(found.Detach()));
        hook_.SetChannel(channel);
        hr = channel ? S_OK : E_UNEXPECTED;
        LoadSkipCacheClasses();
        return hr;
    });
}

STDMETHODIMP CAcxAgntUtil::GetMarshalDisp(HWND window, IDispatch** control) {
    return hook_.GetDispatch(window, 0, control);
}

STDMETHODIMP CAcxAgntUtil::GetWlsMarshalDisp(HWND window, LONG cookie, IDispatch** control) {
    return hook_.GetDispatch(window, cookie, control);
}

STDMETHODIMP CAcxAgntUtil::GetListener(HWND window, LONG cookie, IDispatch** listener) {
    return hook_.GetListener(window, cookie, listener);
}

STDMETHODIMP CAcxAgntUtil::GetPropertyByHandle(HWND window, BSTR name, VARIANT* value) {
    return hook_.GetProperty(window, 0, name, value);
}

STDMETHODIMP CAcxAgntUtil::GetWlsPropertyByHandle(HWND window, LONG cookie, BSTR name, VARIANT* value) {
    return hook_.GetProperty(window, cookie, name, value);
}

STDMETHODIMP CAcxAgntUtil::GetAllPropertiesNameByHandle(HWND window, VARIANT* names) {
    return hook_.GetPropertyNames(window, 0, names);
}

STDMETHODIMP CAcxAgntUtil::GetWlsAllPropertiesNameByHandle(HWND window, LONG cookie, VARIANT* names) {
    return hook_.GetPropertyNames(window, cookie, names);
}

STDMETHODIMP CAcxAgntUtil::GetPropertiesByHandle(HWND window, LONG cookie, SAFEARRAY* table) {
    return hook_.GetProperties(window, cookie, table);
}

STDMETHODIMP CAcxAgntUtil::SetPropertyByHandle(HWND window, BSTR name, VARIANT value) {
    return hook_.SetProperty(window, name, value);
}

STDMETHODIMP CAcxAgntUtil::SetAgentData(HWND window, VARIANT data) { return hook_.SetAgentData(window, data); }

STDMETHODIMP CAcxAgntUtil::InvokeMethodByHandle(HWND window, BSTR method, SAFEARRAY** args, VARIANT* result) {
    return hook_.InvokeMethod(window, method, args, result);
}

STDMETHODIMP CAcxAgntUtil::InvokeUserMessage(HWND window, BSTR first, BSTR second, SAFEARRAY** args,
                                             VARIANT* result) {
    return hook_.InvokeUserMessage(window, first, second, args, result);
}

STDMETHODIMP CAcxAgntUtil::GetCookieFromPoint(HWND window, short x, short y, HWND* control, LONG* cookie) {
    return hook_.GetCookieFromPoint(window, x, y, control, cookie);
}

STDMETHODIMP CAcxAgntUtil::GetInprocUnknown(HWND window, LONG cookie, LONG* value) {
    return hook_.GetInprocUnknown(window, cookie, value);
}

STDMETHODIMP CAcxAgntUtil::GetCreateTime(HWND window, LONG* time, LONG cookie) {
    return hook_.GetCreateTime(window, time, cookie);
}

STDMETHODIMP CAcxAgntUtil::GetCookieFromHandle(HWND window, LONG* cookie) {
    return hook_.GetCookieFromHandle(window, cookie);
}

STDMETHODIMP CAcxAgntUtil::GetContainers(HWND window, SAFEARRAY** containers) {
    return hook_.GetContainers(window, containers);
}
