#include "activex/helpers/WlsHelper.h"
#include "activex/core/KorActiveX.h"
#include "environment/LoadTimeValues.h"

#include "com/ComError.h"
#include "factory/WindowRecord.h"

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

HRESULT WlsHelper::GetHandles(HWND* window, LONG* cookie) {
    if (window) *window = nullptr;
    if (cookie) *cookie = 0;
    CRuntimeId id;
    const HRESULT found = m_owner->FindRuntimeId(id);
    if (FAILED(found)) return found;
    CPackageId package;
    if (FAILED(id.GetPackageId(g_cfWindowlessAcxControl, package)) || !package) return found;
    long value = 0;
    if (SUCCEEDED(package.GetLong(L"hwnd", &value))) m_owner->m_window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
    if (SUCCEEDED(package.GetLong(L"punknown", &value))) m_owner->m_cookie = value;
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
    if (message == WM_LBUTTONUP || message == WM_RBUTTONUP) return RecordClick(message, record.WParam(), record.LParam());
    return S_OK;
}

HRESULT WlsHelper::RecordClick(UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_LBUTTONUP && message != WM_RBUTTONUP) return E_FAIL;
    return kcom::Guard([&] {
        const long x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
        // The control's place in its container goes with the step.
        for (const auto& [query, property] : {std::pair{L"x", L"Relative left of Wls control"},
                                              std::pair{L"y", L"Relative top of Wls control"}}) {
            kcom::CComBSTR queryName(query), propertyName(property);
            kcom::CComVariant value;
            m_owner->DispTestObject_QueryValue(queryName, nullptr, value.Put());
            m_owner->ITestObjectInfo_put_PropExpr(propertyName, nullptr, nullptr, nullptr, value);
        }
        const ULONG count = message == WM_RBUTTONUP ? 3 : 2;
        CKorSafeArray arguments(count, 1, VT_VARIANT);
        kcom::CComVariant values[3] = {kcom::CComVariant(x), kcom::CComVariant(y), kcom::CComVariant(1L)};
        for (ULONG i = 0; i < count; ++i) kcom::ThrowIfFailed(arguments.PutElement(&values[i], static_cast<LONG>(i), 0));
        return m_owner->RecordStep(L"Click", arguments.psa, 1, 0xFFFFFFFF);
    });
}
