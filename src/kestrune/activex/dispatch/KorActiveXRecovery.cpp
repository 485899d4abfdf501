// What the host asks of an ActiveX test object whose control may be a pop-up to deal with (its
// texts and its buttons), the values it offers for FireEvent's event name, and making the control
// visible on request.
#include <cwchar>
#include <string>
#include <utility>
#include <vector>
#include "activex/core/KorActiveX.h"
#include "com/ComSafeArray.h"
#include "contracts/Orlenty.h"
#include "environment/LoadTimeValues.h"
#include "errors/TestObjectError.h"
#include "values/RegExpMatcher.h"
#include "win32/WindowServices.h"

namespace {

constexpr UINT kTextWaitMs = 300;  // a hung window cannot block the host's recovery
constexpr int kTextCharacters = 4095;
constexpr int kCaptionCharacters = 255;

// The window's text through WM_GETTEXT into a zeroed buffer; false when the send fails.
bool WindowText(HWND window, int characters, std::wstring& out) {
    std::vector<wchar_t> buffer(static_cast<size_t>(characters) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, static_cast<WPARAM>(characters),
                               reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG, kTextWaitMs, &copied))
        return false;
    out = buffer.data();
    return true;
}

// user32 calls these back: nothing may be raised through it.
BOOL CALLBACK CollectWindowText(HWND child, LPARAM param) {
    try {
        std::wstring text;
        if (WindowText(child, kTextCharacters, text)) *reinterpret_cast<std::wstring*>(param) += text;
    } catch (...) {
    }
    return TRUE;
}

using ButtonList = std::vector<std::pair<HWND, std::wstring>>;

// Visible push buttons (plain or default) among the descendants.
BOOL CALLBACK CollectPushButton(HWND child, LPARAM param) {
    try {
        wchar_t className[256] = {};
        if (!::IsWindowVisible(child) || !::GetClassNameW(child, className, 255) ||
            !std::wcsstr(className, L"Button"))
            return TRUE;
        const LONG style = ::GetWindowLongW(child, GWL_STYLE) & 15;
        if (style != BS_PUSHBUTTON && style != BS_DEFPUSHBUTTON) return TRUE;
        std::wstring caption;
        WindowText(child, kCaptionCharacters, caption);
        reinterpret_cast<ButtonList*>(param)->emplace_back(child, caption);
    } catch (...) {
    }
    return TRUE;
}

// The cookies of a list the hook gave: a plain list, or a table with the cookies in column 0.
std::vector<LONG> CookiesOf(SAFEARRAY* list) {
    std::vector<LONG> cookies;
    if (!list || (list->cDims != 1 && list->cDims != 2)) return cookies;
    LONG lower = 0, upper = -1;
    const UINT rowDim = list->cDims;  // the last index counts the rows
    if (FAILED(::SafeArrayGetLBound(list, rowDim, &lower)) || FAILED(::SafeArrayGetUBound(list, rowDim, &upper)))
        return cookies;
    LONG firstColumn = 0;
    if (list->cDims == 2) ::SafeArrayGetLBound(list, 1, &firstColumn);
    for (LONG row = lower; row <= upper; ++row) {
        LONG index[2] = {firstColumn, row};
        LONG cookie = 0;
        if (SUCCEEDED(::SafeArrayGetElement(list, list->cDims == 1 ? &index[1] : index, &cookie)))
            cookies.push_back(cookie);
    }
    return cookies;
}

// The text of a value as a user reads it; false for a value without one.
bool ValueText(const VARIANT& value, std::wstring& out) {
    kcom::CComVariant text;
    if (FAILED(::VariantChangeType(&text, const_cast<VARIANT*>(&value), VARIANT_ALPHABOOL, VT_BSTR))) return false;
    out = text.bstrVal ? text.bstrVal : L"";
    return true;
}

HRESULT RuntimeIdOf(UINT package, HWND window, LONG cookie, CRuntimeId& id) {
    id = CRuntimeId(package);
    if (!static_cast<IRuntimeID2*>(id)) return E_OUTOFMEMORY;
    HRESULT hr = id.PutVariantValue(L"hwnd", kcom::CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(window))));
    if (SUCCEEDED(hr) && package == g_cfWindowlessAcxControl)
        hr = id.PutVariantValue(L"punknown", kcom::CComVariant(static_cast<long>(cookie)));
    return hr;
}

}  // namespace

// ---- IReplayRecoverySupport --------------------------------------------------------------------

STDMETHODIMP CKorActiveX::ContainsText(BSTR text, long regExp, long* result) {
    if (!result) return E_POINTER;
    *result = 0;
    return TestObjectGuard([&]() -> HRESULT {
        kcom::CComBSTR contained;
        GetContainedText(contained.Put());
        if (!regExp) {
            CKorBSTR needle(text ? text : L""), haystack(contained.c_str());
            needle.ToLower();
            haystack.ToLower();
            *result = std::wcsstr(haystack.c_str(), needle.c_str()) != nullptr;
            return S_OK;
        }
        RegExpMatcher matcher;
        HRESULT hr = matcher.SetIgnoreCase(VARIANT_TRUE);
        if (SUCCEEDED(hr)) hr = matcher.SetPattern(text);
        if (FAILED(hr)) return hr;
        VARIANT_BOOL found = VARIANT_FALSE;
        kcom::CComBSTR subject(contained.c_str());
        hr = matcher.Test(subject, &found);
        if (FAILED(hr)) return hr;
        *result = found != VARIANT_FALSE;
        return S_OK;
    });
}

STDMETHODIMP CKorActiveX::GetContainedText(BSTR* text) {
    if (!text) return E_POINTER;
    *text = nullptr;
    return TestObjectGuard([&]() -> HRESULT {
        HRESULT hr = static_cast<IStdReplay*>(this)->PrepareObject(0, 0, 0, 0);
        if (FAILED(hr)) return hr;
        EnsureControlHandle();
        std::wstring all;
        if (m_window) ::EnumChildWindows(m_window, &CollectWindowText, reinterpret_cast<LPARAM>(&all));
        SAFEARRAY* raw = nullptr;
        if (m_agent) m_agent->GetWlsCookiesFromContainer(m_window, &raw);
        kcom::CComSafeArray list(raw);
        for (LONG cookie : CookiesOf(list)) {
            kcom::CComVariant value;
            kcom::CComBSTR name(L"Text");
            hr = m_agent->GetWlsPropertyByHandle(m_window, cookie, name, value.Put());
            if (FAILED(hr) || value.vt != VT_BSTR || !value.bstrVal) {
                name = L"Caption";
                hr = m_agent->GetWlsPropertyByHandle(m_window, cookie, name, value.Put());
            }
            std::wstring piece;
            if (SUCCEEDED(hr) && ValueText(value, piece)) all += piece;
        }
        *text = ::SysAllocStringLen(all.c_str(), static_cast<UINT>(all.size()));
        return *text ? S_OK : E_OUTOFMEMORY;
    });
}

STDMETHODIMP CKorActiveX::GetButtonObjects(SAFEARRAY** buttons) {
    if (!buttons) return E_POINTER;
    *buttons = nullptr;
    return TestObjectGuard([&]() -> HRESULT {
        const HRESULT prepared = static_cast<IStdReplay*>(this)->PrepareObject(0, 0, 0, 0);
        EnsureControlHandle();
        ButtonList pairs;
        if (m_window) ::EnumChildWindows(m_window, &CollectPushButton, reinterpret_cast<LPARAM>(&pairs));
        kcom::CComPtr<IUnknown> recordMgr;
        recordMgr.Attach(OztGetRecordMgr());
        kcom::CComQIPtr<IPackageServices2> services(recordMgr.get());
        if (!services) return prepared;
        SAFEARRAY* raw = nullptr;
        if (m_agent) m_agent->GetWlsCookiesFromContainer(m_window, &raw);
        kcom::CComSafeArray list(raw);
        const std::vector<LONG> cookies = CookiesOf(list);

        CKorSafeArray table(static_cast<ULONG>(cookies.size() + pairs.size()), 2, VT_VARIANT);
        HRESULT result = E_FAIL;
        LONG written = 0;
        auto write = [&](IDispatch* object, const std::wstring& caption) {
            kcom::CComVariant cell(object);
            kcom::CComVariant text(caption.c_str());
            if (FAILED(table.PutElement(&cell, written, 0)) || FAILED(table.PutElement(&text, written, 1))) return;
            ++written;
            result = S_OK;
        };
        for (const auto& [window, caption] : pairs) {
            CRuntimeId id;
            kcom::CComPtr<IDispatch> object;
            if (SUCCEEDED(RuntimeIdOf(g_cfShelHalonotRegilim, window, 0, id)) &&
                SUCCEEDED(services->CreateTestObjFromRuntimeId(id, object.Put())) && object)
                write(object, caption);
        }
        for (LONG cookie : cookies) {
            kcom::CComBSTR progId;
            if (FAILED(m_agent->WlsProgIDQuery(m_window, cookie, progId.Put())) ||
                !std::wcsstr(progId.c_str(), L"CommandButton"))
                continue;
            CRuntimeId id;
            kcom::CComPtr<IDispatch> object;
            if (FAILED(RuntimeIdOf(g_cfWindowlessAcxControl, m_window, cookie, id)) ||
                FAILED(services->CreateTestObjFromRuntimeId(id, object.Put())) || !object)
                continue;
            kcom::CComVariant value;
            kcom::CComBSTR name(L"Caption");
            std::wstring caption;
            if (SUCCEEDED(m_agent->GetWlsPropertyByHandle(m_window, cookie, name, value.Put()))) ValueText(value, caption);
            write(object, caption);
        }
        if (FAILED(result)) return result;
        HRESULT hr = table.Redim(static_cast<ULONG>(written));
        if (FAILED(hr)) return hr;
        *buttons = table.Detach();
        return result;
    });
}

// ---- IDynamicListOfValuesProvider --------------------------------------------------------------

STDMETHODIMP CKorActiveX::HasDynamicList(IUnknown*, BSTR method, long index, BOOL* has) {
    if (!method || !has) return E_NOINTERFACE;
    *has = ::CompareStringOrdinal(method, -1, L"FireEvent", -1, TRUE) == CSTR_EQUAL && index == 1;
    return S_OK;
}

STDMETHODIMP CKorActiveX::GetDynamicList(IUnknown*, BSTR method, long index, VARIANT*, SAFEARRAY** list) {
    if (!method || !list) return E_NOINTERFACE;
    *list = nullptr;
    BOOL has = FALSE;
    HasDynamicList(nullptr, method, index, &has);
    if (!has) return E_FAIL;
    return TestObjectGuard([&] { return GetControlMemberNames(list); });
}

// ---- IMakeObjVisible ---------------------------------------------------------------------------

STDMETHODIMP CKorActiveX::MakeVisible() {
    return TestObjectGuard([&]() -> HRESULT {
        if (m_helper) m_helper->Prepare(true);
        if (!m_window) return KOR_E_OBJECT_NOT_FOUND;
        ForceForegroundWindow(m_window);
        if (!m_helper) return KOR_E_OBJECT_NOT_FOUND;
        return m_helper->MakeVisibleCore();
    });
}
