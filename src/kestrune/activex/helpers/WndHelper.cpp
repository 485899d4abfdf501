#include "activex/helpers/WndHelper.h"
#include "activex/core/KorActiveX.h"
#include "com/ComError.h"
#include "environment/LoadTimeValues.h"
#include "errors/TestObjectError.h"

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
    return kcom::Guard([&] {
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
