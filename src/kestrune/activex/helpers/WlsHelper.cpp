#include "activex/helpers/WlsHelper.h"
#include "activex/core/KorActiveX.h"
#include "environment/LoadTimeValues.h"
#include "errors/TestObjectError.h"

namespace {
constexpr DWORD kOffsetFlags = 0x888;
}

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
