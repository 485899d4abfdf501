#include "activex/helpers/WlsHelper.h"
#include "activex/core/AgentCacheOn.h"
#include "activex/core/KorActiveX.h"
#include "com/ComError.h"
#include "environment/AcxQuery.h"
#include "environment/LoadTimeValues.h"
#include "errors/TestObjectError.h"
#include "factory/WindowRecord.h"
#include "testobject/core/TestObjectGuard.h"
#include "win32/WindowServices.h"

namespace {
constexpr DWORD kOffsetFlags = 0x888;
}  // namespace

// A description loaded before the strategy exists keeps the offsets it holds.
WlsHelper::WlsHelper(CKorActiveX* owner) : Helper(owner) {
    for (const wchar_t* text : {L"Relative left of Wls control", L"Relative top of Wls control"}) {
        kcom::CComBSTR name(text);
        DWORD flags = 0;
        if (FAILED(m_owner->m_properties.GetPropFlags(name, &flags))) m_owner->m_properties.Add(name, nullptr, kOffsetFlags);
    }
}

// A found identifier without a windowless control's container and cookie is no control of this
// kind: "not found", never a success that leaves both 0.
HRESULT WlsHelper::GetHandles(HWND* window, LONG* cookie) {
    if (window) *window = nullptr;
    if (cookie) *cookie = 0;
    CRuntimeId id;
    const HRESULT found = m_owner->FindRuntimeId(id);
    if (FAILED(found)) return found;
    CPackageId package;
    long container = 0, number = 0;
    if (FAILED(id.GetPackageId(g_cfWindowlessAcxControl, package)) || !package ||
        FAILED(package.GetLong(L"hwnd", &container)) || FAILED(package.GetLong(L"punknown", &number)) || !container ||
        !number)
        return KOR_E_OBJECT_NOT_FOUND;
    m_owner->m_window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(container));
    m_owner->m_cookie = number;
    if (window) *window = m_owner->m_window;
    if (cookie) *cookie = m_owner->m_cookie;
    return found;
}

HRESULT WlsHelper::GetPropertyByName(BSTR name, VARIANT* value) {
    HWND window = nullptr;
    LONG cookie = 0;
    const HRESULT hr = GetHandles(&window, &cookie);
    if (FAILED(hr)) return hr;
    if (!m_owner->Agent()) return E_FAIL;
    return m_owner->Agent()->GetWlsPropertyByHandle(window, cookie, name, value);
}

HRESULT WlsHelper::GetPropertyNames(BSTR* names) {
    if (!names) return E_POINTER;
    *names = nullptr;
    HWND window = nullptr;
    LONG cookie = 0;
    const HRESULT hr = GetHandles(&window, &cookie);
    if (FAILED(hr)) return hr;
    if (!m_owner->Agent()) return E_FAIL;
    kcom::CComVariant answer;
    return NamesFromAnswer(m_owner->Agent()->GetWlsAllPropertiesNameByHandle(window, cookie, answer.Put()), answer, names);
}

HRESULT WlsHelper::FillRTAttribsValues(SAFEARRAY** table) {
    return m_owner->CComTestObject::ITestObjectInfo_FillRTAttribsValues(table);
}

HRESULT WlsHelper::ReceiveData(FORMATETC* format, STGMEDIUM* medium, ULONG* status) {
    if (!status) return E_POINTER;
    *status = kStatusNotMine;
    if (!format || format->cfFormat != g_cfWindowlessAcxRecord) return S_OK;
    if (!medium || !medium->hGlobal || !CWindowlessRecord::Fits(*medium)) return E_INVALIDARG;
    if (!m_owner->m_window || !m_owner->m_cookie) {
        kcom::CComBSTR name(L"objectid");
        kcom::CComVariant objectId;
        const HRESULT read = m_owner->ITestObjectInfo_get_Prop(name, nullptr, nullptr, nullptr, objectId.Put());
        if (FAILED(read) || objectId.vt != VT_UNKNOWN || !objectId.punkVal) {
            *status = kStatusIdentityUnreadable;
            return objectId.vt == VT_ERROR ? objectId.scode : E_FAIL;
        }
        CPackageId package;
        long value = 0;
        if (FAILED(CRuntimeId(objectId).GetPackageId(g_cfWindowlessAcxControl, package)) || !package ||
            FAILED(package.GetLong(L"hwnd", &value))) {
            *status = kStatusWindowUnreadable;
            return S_OK;
        }
        m_owner->m_window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
        if (SUCCEEDED(package.GetLong(L"punknown", &value))) m_owner->m_cookie = value;
    }
    m_owner->EnsureCustomObjects();
    const CWindowlessRecord record(medium->hGlobal);
    HRESULT hr = S_FALSE;
    if (record.Window() == m_owner->m_window && record.Cookie() == m_owner->m_cookie)
        hr = m_owner->CustomRecordDecisionWls(medium->hGlobal, format, medium, status);
    return hr == S_FALSE ? OnRecordMessage(medium->hGlobal, status) : hr;
}

HRESULT WlsHelper::OnRecordMessage(const void* data, ULONG* status) {
    if (!status) return E_POINTER;
    const CWindowlessRecord record(data);
    if (record.Window() != m_owner->m_window || record.Cookie() != m_owner->m_cookie) {
        *status = kStatusNotMine;
        return S_OK;
    }
    *status = kStatusHandled;
    const WORD message = record.Message16();
    if (message == WM_LBUTTONUP || message == WM_RBUTTONUP)
        return RecordClick(message, record.WParam(), record.LParam());
    return S_OK;
}

HRESULT WlsHelper::RecordClick(UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_LBUTTONUP && message != WM_RBUTTONUP) return E_FAIL;
    return TestObjectGuard([&] {
        const long x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
        // Both offsets and the step read the control's rectangle: one request serves them all.
        CAgentCacheOn cache(m_owner->Agent());
        // The control's place in its container goes with the step.
        for (const auto& [query, property] :
             {std::pair{L"x", L"Relative left of Wls control"}, std::pair{L"y", L"Relative top of Wls control"}}) {
            kcom::CComBSTR queryName(query), propertyName(property);
            kcom::CComVariant value;
            m_owner->DispTestObject_QueryValue(queryName, nullptr, value.Put());
            m_owner->ITestObjectInfo_put_PropExpr(propertyName, nullptr, nullptr, nullptr, value);
        }
        const ULONG count = message == WM_RBUTTONUP ? 3 : 2;
        CKorSafeArray arguments(count, 1, VT_VARIANT);
        kcom::CComVariant values[3] = {kcom::CComVariant(x), kcom::CComVariant(y), kcom::CComVariant(1L)};
        for (ULONG i = 0; i < count; ++i)
            kcom::ThrowIfFailed(arguments.PutElement(&values[i], static_cast<LONG>(i), 0));
        return m_owner->RecordStep(L"Click", arguments.psa, 1, 0xFFFFFFFF);
    });
}

// ---- Replay ----

HRESULT WlsHelper::Click(int x, int y, int button) {
    const HRESULT hr = Prepare(true);
    return FAILED(hr) ? hr : ClickAt(x, y, button, false);
}

HRESULT WlsHelper::DblClick(int x, int y, int button) {
    const HRESULT hr = Prepare(true);
    return FAILED(hr) ? hr : ClickAt(x, y, button, true);
}

HRESULT WlsHelper::Prepare(bool foreground) {
    const HRESULT hr = FindHandles(true);
    // A search that succeeds without naming a windowless control has still not found it.
    if (!m_owner->m_window || !m_owner->m_cookie)
        m_owner->RaiseReplayError(FAILED(hr) ? hr : KOR_E_OBJECT_NOT_FOUND, 3);
    if (foreground && (m_owner->IsOnReplay() || m_owner->IsOnRecord())) ForceForegroundWindow(m_owner->m_window);
    return hr;
}

HRESULT WlsHelper::ClickAt(int x, int y, int button, bool doubleClick) {
    m_owner->m_wlsClickX = x;
    m_owner->m_wlsClickY = y;
    bool visible = SUCCEEDED(MakeVisibleCore());
    POINT corner{};
    const HRESULT hr = ScreenPosition(corner);
    if (FAILED(hr)) return hr;
    POINT point{corner.x + x, corner.y + y};
    // Only where the container itself shows the point does a real click reach the control.
    HWND under = ::WindowFromPoint(point);
    while (under && under != m_owner->m_window) under = ::GetParent(under);
    if (!under) visible = false;
    if (visible) return EngineClick(point, button, doubleClick);

    const HWND window = m_owner->m_window;
    ::ScreenToClient(window, &point);
    const LPARAM at = static_cast<LPARAM>((point.x & 0xFFFF) | (static_cast<DWORD>(point.y) << 16));
    const UINT down = button == 0 ? WM_LBUTTONDOWN : WM_RBUTTONDOWN, up = button == 0 ? WM_LBUTTONUP : WM_RBUTTONUP,
               dblclk = button == 0 ? WM_LBUTTONDBLCLK : WM_RBUTTONDBLCLK;
    ::SendMessageW(window, down, 0, at);
    ::SendMessageW(window, up, 0, at);
    if (doubleClick) {
        ::SendMessageW(window, down, 0, at);
        ::SendMessageW(window, dblclk, 0, at);
    }
    return S_OK;
}

bool WlsHelper::IsVisible() {
    BOOL visible = FALSE;
    return m_owner->Agent() &&
           SUCCEEDED(m_owner->Agent()->IsWlsVisible(m_owner->m_window, m_owner->m_cookie, &visible)) && visible;
}

HRESULT WlsHelper::MakeVisibleCore() {
    HWND window = nullptr;
    LONG cookie = 0;
    HRESULT hr = GetHandles(&window, &cookie);
    if (FAILED(hr)) return hr;
    if (IsVisible()) return S_OK;
    POINT corner{};
    hr = ScreenPosition(corner);
    if (FAILED(hr)) return hr;
    if (corner.x == 0 && corner.y == 0) {
        // No place on the screen: the offsets kept with the last recorded click stand in.
        kcom::CComVariant left, top;
        m_owner->ITestObjectInfo_get_Prop(kcom::CComBSTR(L"Relative left of Wls control"), nullptr, nullptr, nullptr,
                                          left.Put());
        m_owner->ITestObjectInfo_get_Prop(kcom::CComBSTR(L"Relative top of Wls control"), nullptr, nullptr, nullptr,
                                          top.Put());
        corner = {SUCCEEDED(left.ChangeType(VT_I4)) ? left.lVal : 0, SUCCEEDED(top.ChangeType(VT_I4)) ? top.lVal : 0};
        ::ClientToScreen(window, &corner);
    }
    IAcxAgntUtil2* agent = m_owner->Agent();
    if (!agent) return E_FAIL;
    HWND control = nullptr;
    LONG atPoint = 0;
    agent->GetCookieFromPoint(window, static_cast<short>(corner.x), static_cast<short>(corner.y), &control, &atPoint);
    if (atPoint == cookie) return S_OK;
    LONG inproc = 0;
    hr = agent->GetInprocUnknown(window, cookie, &inproc);
    if (hr != S_OK) return hr;
    kcom::CComPtr<IUnknown> found;
    const HRESULT identified = m_owner->ITestObject_FindObjectId(found.Put(), nullptr);
    if (FAILED(identified)) return identified;
    kcom::CComVariant webId;
    m_owner->QueryObjValue2(webId.Put(), found, kcom::CComBSTR(L"WEB Id for ACX"), nullptr);
    POINT point{m_owner->m_clickPointX, m_owner->m_clickPointY};
    if (point.x == -1) point = {1, 1};
    if (webId.vt == VT_UNKNOWN && webId.punkVal) m_owner->MakeVisibleViaRecordMgr(webId, point);
    if (IsVisible()) return S_OK;
    if (IsVisible()) return identified;
    return MakeVisibleThroughContainer(corner.x + m_owner->m_wlsClickX, corner.y + m_owner->m_wlsClickY);
}

HRESULT WlsHelper::MakeVisibleThroughContainer(int x, int y) {
    kcom::CComBSTR query(L"GetActiveXRunTimeIDFromHwnd");
    kcom::CComVariant answer;
    for (HWND current = m_owner->m_window; current && answer.vt == VT_EMPTY; current = ::GetParent(current)) {
        CRuntimeId id(g_cfShelHalonotRegilim);
        id.PutVariantValue(L"hwnd", kcom::CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(current))));
        m_owner->QueryObjValue(answer.Put(), static_cast<IRuntimeID2*>(id), query);
    }
    bool visible = false;
    if (answer.vt == VT_UNKNOWN && answer.punkVal) {
        m_owner->MakeVisibleViaRecordMgr(answer, POINT{x, y});
        visible = IsVisible();
    } else {
        kcom::CComVariant parent;
        m_owner->ITestObjectInfo_get_Prop(kcom::CComBSTR(L"parent"), nullptr, nullptr, nullptr, parent.Put());
        if (parent.vt == VT_DISPATCH && parent.pdispVal) {
            DISPID id = DISPID_UNKNOWN;
            LPOLESTR names[1] = {const_cast<LPOLESTR>(L"MakeVisible")};
            DISPPARAMS none{};
            if (SUCCEEDED(parent.pdispVal->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)))
                parent.pdispVal->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr,
                                        nullptr);
        }
    }
    if (!visible) visible = IsVisible();
    return visible ? S_OK : KOR_E_OBJECT_NOT_VISIBLE;
}
