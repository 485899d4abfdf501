#include "activex/helpers/WndHelper.h"
#include "activex/core/KorActiveX.h"
#include "com/ComError.h"
#include "com/Handles.h"
#include "environment/LoadTimeValues.h"
#include "errors/TestObjectError.h"
#include "factory/WindowRecord.h"
#include "testobject/clock/TestObjectClock.h"
#include "testobject/core/TestObjectGuard.h"

HRESULT WndHelper::ReceiveData(FORMATETC* format, STGMEDIUM* medium, ULONG* status) {
    if (!status) return E_POINTER;
    *status = kStatusNotMine;
    if (!format || format->cfFormat != g_cfShelHalonotRegilim) return S_OK;
    if (!medium || !medium->hGlobal || !CWindowRecord::Fits(*medium)) return E_INVALIDARG;
    kcom::CComPtr<IKorDataTarget> inner;
    if (!m_inner || FAILED(m_inner->QueryInterface(__uuidof(IKorDataTarget), reinterpret_cast<void**>(inner.Put()))) ||
        !inner)
        return E_FAIL;
    if (!m_owner->m_window) {
        kcom::CComBSTR name(L"objectid");
        kcom::CComVariant objectId;
        CPackageId package;
        long value = 0;
        // Only an identifier is read: the identity of a failed search is an error value.
        if (FAILED(m_owner->ITestObjectInfo_get_Prop(name, nullptr, nullptr, nullptr, objectId.Put())) ||
            objectId.vt != VT_UNKNOWN || !objectId.punkVal ||
            FAILED(CRuntimeId(objectId).GetPackageId(g_cfShelHalonotRegilim, package)) || !package ||
            FAILED(package.GetLong(L"hwnd", &value))) {
            *status = kStatusIdentityUnreadable;
            return E_FAIL;
        }
        m_owner->m_window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
    }
    const HRESULT custom = m_owner->CustomRecordDecisionWnd(medium->hGlobal, format, medium, status);
    if (custom != S_FALSE) return custom;

    const CWindowRecord record(medium->hGlobal);
    if (record.Window() == m_owner->m_window) return OnControlRecord(format, medium, status, inner);
    // The control's command to its parent is the control's step, made by its own records.
    if (record.Message16() == WM_COMMAND && CWindowRecord::ToWindow(record.LParam()) == m_owner->m_window)
        *status = kStatusHandled;
    return S_OK;
}

HRESULT WndHelper::OnControlRecord(FORMATETC* format, STGMEDIUM* medium, ULONG* status, IKorDataTarget* inner) {
    const CWindowRecord record(medium->hGlobal);
    const HWND window = m_owner->m_window;
    IAcxAgntUtil2* agent = m_owner->Agent();
    LONG cookie = 0, ownCookie = 0;
    auto recorded = RecordedWindowMap.find(window);
    const bool pressed = recorded != RecordedWindowMap.end() && recorded->second;
    switch (record.Message16()) {
    case WM_COMMAND:
        return S_OK;
    case WM_LBUTTONDOWN: {
        RecordedWindowMap[window] = 1;
        POINT p{LOWORD(record.LParam()), HIWORD(record.LParam())};
        ::ClientToScreen(window, &p);
        if (agent)
            agent->GetCookieFromPoint(window, static_cast<short>(p.x), static_cast<short>(p.y), nullptr, &cookie);
        if (cookie && agent) agent->GetCookieFromHandle(window, &ownCookie);
        // A windowless control inside the window under the point records the click itself.
        if (cookie && cookie != ownCookie) return S_OK;
        break;
    }
    case WM_SETFOCUS:
        if (pressed) break;
        if (agent) agent->GetCookieFromHandle(window, &ownCookie);
        if (ownCookie) {
            *status = kStatusHandled;
            return S_OK;
        }
        break;
    case WM_LBUTTONUP:
        // A release whose press the window never saw: the click is recorded here.
        if (pressed) break;
        RecordedWindowMap[window] = 1;
        *status = kStatusHandled;
        return RecordClick(WM_LBUTTONUP, record.WParam(), record.LParam());
    default:
        break;
    }
    return inner->ReceiveData(format, medium, status);
}

HRESULT WndHelper::RecordClick(UINT, WPARAM, LPARAM lParam) {
    return TestObjectGuard([&] {
        CKorSafeArray arguments(2, 1, VT_VARIANT);
        kcom::CComVariant x(static_cast<long>(LOWORD(lParam)), VT_UI2), y(static_cast<long>(HIWORD(lParam)), VT_UI2);
        kcom::ThrowIfFailed(arguments.PutElement(&x, 0, 0));
        kcom::ThrowIfFailed(arguments.PutElement(&y, 1, 0));
        return m_owner->RecordStep(L"Click", arguments.psa, 1, 0xFFFFFFFF);
    });
}

HRESULT WndHelper::GetWindowHandle(HWND* window) {
    if (!window) return E_POINTER;
    *window = nullptr;
    CRuntimeId id;
    const HRESULT found = m_owner->FindRuntimeId(id);
    if (FAILED(found)) return found;
    CPackageId package;
    HRESULT hr = id.GetPackageId(g_cfShelHalonotRegilim, package);
    if (FAILED(hr)) return hr;
    if (!package) return KOR_E_OBJECT_NOT_FOUND;
    long value = 0;
    hr = package.GetLong(L"hwnd", &value);
    if (FAILED(hr)) return hr;
    *window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
    return found;
}

HRESULT WndHelper::GetPropertyByName(BSTR name, VARIANT* value) {
    HWND window = nullptr;
    const HRESULT hr = GetWindowHandle(&window);
    if (FAILED(hr)) return hr;
    if (!m_owner->Agent()) return E_FAIL;
    return m_owner->Agent()->GetPropertyByHandle(window, name, value);
}

HRESULT WndHelper::GetPropertyNames(BSTR* names) {
    if (!names) return E_POINTER;
    *names = nullptr;
    HWND window = nullptr;
    const HRESULT hr = GetWindowHandle(&window);
    if (FAILED(hr)) return hr;
    if (!m_owner->Agent()) return E_FAIL;
    kcom::CComVariant answer;
    return NamesFromAnswer(m_owner->Agent()->GetAllPropertiesNameByHandle(window, answer.Put()), answer, names);
}

// The control's values through the hook; what the hook cannot read is asked of the test object.
HRESULT WndHelper::FillRTAttribsValues(SAFEARRAY** table) {
    if (!table) return E_POINTER;
    return TestObjectGuard([&] {
        if (!m_owner->m_window) {
            HWND window = nullptr;
            GetWindowHandle(&window);
            m_owner->m_window = window;
        }
        if (!m_owner->m_window || !m_owner->Agent()) return E_FAIL;
        const HRESULT hr = m_owner->Agent()->GetPropertiesByHandle(m_owner->m_window, 0, *table);
        if (FAILED(hr)) return hr;
        CKorSafeArray rows;
        rows.Attach(*table, false);
        if (!rows.psa || FAILED(rows.Lock())) return hr;
        const LONG count = static_cast<LONG>(rows.GetRowCount());
        for (LONG row = 0; row < count; ++row) {
            kcom::CComVariant name, value;
            if (FAILED(rows.GetElement(&name, row, 0)) || name.vt != VT_BSTR) continue;
            if (FAILED(rows.GetElement(&value, row, 1))) continue;
            if (value.vt == VT_EMPTY || (value.vt == VT_ERROR && value.scode == DISP_E_MEMBERNOTFOUND)) {
                value.Clear();
                m_owner->DispTestObject_QueryValue(name.bstrVal, nullptr, value.Put());
            } else if (value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTOPTIONAL) {
                value = kcom::CComVariant(L"<parameter(s) required>");
            } else {
                continue;
            }
            rows.PutElement(&value, row, 1);
        }
        rows.Unlock();
        return hr;
    });
}

// ---- Replay ----

HRESULT WndHelper::Click(int x, int y, int button) { return ClickOrDouble(x, y, button, false); }

HRESULT WndHelper::DblClick(int x, int y, int button) { return ClickOrDouble(x, y, button, true); }

HRESULT WndHelper::ClickOrDouble(int x, int y, int button, bool doubleClick) {
    const HRESULT hr = FindHandles(false);
    if (hr != S_OK) return hr;
    return ClickAt(x, y, button, doubleClick);
}

HRESULT WndHelper::ClickAt(int x, int y, int button, bool doubleClick) {
    if (m_owner->m_cookie) return ClickByCookie(x, y, button, doubleClick);
    const HWND window = m_owner->m_window;
    POINT screen{x, y};
    ::ClientToScreen(window, &screen);
    if (::WindowFromPoint(screen) != window) {
        m_owner->m_clickPointX = x;
        m_owner->m_clickPointY = y;
        MakeVisibleCore();
        m_owner->m_clickPointX = m_owner->m_clickPointY = -1;
    }
    kcom::CComPtr<IStdReplay> inner;
    if (!m_inner || FAILED(m_inner->QueryInterface(__uuidof(IStdReplay), reinterpret_cast<void**>(inner.Put()))) ||
        !inner)
        return E_UNEXPECTED;
    const BUTTON code = static_cast<BUTTON>(button);
    return doubleClick ? inner->DoDblClick(x, y, code) : inner->DoClick(x, y, code);
}

// A windowed control that the hook knows by a cookie is found again, then clicked where its
// window shows it.
HRESULT WndHelper::ClickByCookie(int x, int y, int button, bool doubleClick) {
    CTestObjectClock::Current().PumpWait(100);
    m_owner->DispTestObject_Init();
    HRESULT hr = FindHandles(false);
    if (hr != S_OK) return hr;
    const HWND window = m_owner->m_window;
    RECT rect{};
    if (!m_owner->Agent()) return E_FAIL;
    m_owner->Agent()->GetWlsSize(window, m_owner->m_cookie, &rect);
    if (::IsRectEmpty(&rect)) return KOR_E_OBJECT_NOT_VISIBLE;
    POINT corner{};
    if (FAILED(ScreenPosition(corner))) return E_FAIL;
    ::ScreenToClient(window, &corner);
    if (corner.x < 0 && corner.y < 0) return KOR_E_OBJECT_NOT_VISIBLE;
    POINT point{x + corner.x, y + corner.y};
    ::ClientToScreen(window, &point);
    return EngineClick(point, button, doubleClick);
}

HRESULT WndHelper::Prepare(bool foreground) {
    kcom::CComPtr<IStdReplay> own;
    HRESULT hr = m_owner->_InternalQueryInterface(__uuidof(IStdReplay), reinterpret_cast<void**>(own.Put()));
    if (FAILED(hr)) return hr;
    hr = own->PrepareObject(foreground ? 1 : 0, 1, 1, 1);
    if (FAILED(hr) || m_owner->m_window) return hr;
    kcom::CComBSTR name(L"objectid");
    kcom::CComVariant objectId;
    m_owner->ITestObjectInfo_get_Prop(name, nullptr, nullptr, nullptr, objectId.Put());
    if (objectId.vt != VT_UNKNOWN || !objectId.punkVal) return hr;
    const CRuntimeId id(objectId);
    CPackageId package;
    long value = 0;
    for (UINT format : {g_cfShelHalonotRegilim, g_cfWindowlessAcxControl}) {
        if (FAILED(id.GetPackageId(format, package)) || !package) continue;
        hr = package.GetLong(L"hwnd", &value);
        if (SUCCEEDED(hr)) m_owner->m_window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
        break;
    }
    return hr;
}

HRESULT WndHelper::MakeVisibleCore() {
    HWND window = nullptr;
    if (FAILED(GetWindowHandle(&window))) {
        m_owner->ReportReplayLog(KOR_E_OBJECT_NOT_FOUND);
        return KOR_E_OBJECT_NOT_FOUND;
    }
    POINT target{m_owner->m_clickPointX, m_owner->m_clickPointY};
    if (target.x == -1) {
        RECT client{};
        ::GetClientRect(window, &client);
        target = {client.right / 2, client.bottom / 2};
    }
    kcom::CWindowDC dc(window);
    bool visible = dc.get() && ::PtVisible(dc, target.x, target.y);
    // Up the windows, asking the host for one that it can make visible at the point.
    HWND current = window;
    POINT point = target;
    kcom::CComBSTR query(L"GetActiveXRunTimeIDFromHwnd");
    while (!visible && current) {
        CRuntimeId id(g_cfShelHalonotRegilim);
        id.PutVariantValue(L"hwnd", kcom::CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(current))));
        kcom::CComVariant answer;
        m_owner->QueryObjValue(answer.Put(), static_cast<IRuntimeID2*>(id), query);
        if (answer.vt != VT_EMPTY) m_owner->MakeVisibleViaRecordMgr(answer, point);
        visible = dc.get() && ::PtVisible(dc, target.x, target.y);
        HWND parent = ::GetParent(current);
        if (visible || !parent || answer.vt != VT_EMPTY) break;
        point = target;
        ::ClientToScreen(window, &point);
        ::ScreenToClient(parent, &point);
        current = parent;
    }
    return visible ? S_OK : KOR_E_OBJECT_NOT_VISIBLE;
}
