#include "testobject/reporting/ReportEventInfo.h"
#include "com/ComError.h"
#include "com/ComVariant.h"

namespace {

constexpr wchar_t kGeneral[] = L"General";

// The dictionary's class, looked up once per process.
const CLSID* DictionaryClsid() noexcept {
    static CLSID clsid{};
    static const bool found = SUCCEEDED(::CLSIDFromProgID(L"Scripting.Dictionary", &clsid));
    return found ? &clsid : nullptr;
}

kcom::CComPtr<IDispatch> NewDictionary() noexcept {
    kcom::CComPtr<IDispatch> dictionary;
    const CLSID* clsid = DictionaryClsid();
    if (clsid)
        ::CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_KorDictionary,
                           reinterpret_cast<void**>(dictionary.Put()));
    return dictionary;
}

}  // namespace

CReportEventInfo::CReportEventInfo() noexcept : m_dictionary(NewDictionary()) {
    kcom::Guard([&] {
        m_type = kGeneral;
        return AddStartItems();
    });
}

CReportEventInfo::~CReportEventInfo() = default;

HRESULT CReportEventInfo::Call(const wchar_t* method, WORD kind, VARIANT* args, UINT count, VARIANT* result) noexcept {
    if (!m_dictionary) return E_POINTER;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(method);
    HRESULT hr = m_dictionary->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{args, kind == DISPATCH_PROPERTYPUT ? &named : nullptr, count,
                      kind == DISPATCH_PROPERTYPUT ? 1u : 0u};
    return m_dictionary->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, nullptr, nullptr);
}

HRESULT CReportEventInfo::AddStartItems() noexcept {
    HRESULT hr = SetItem(L"ViewType", L"Pyrrel.Explorer.2");
    if (FAILED(hr)) return hr;
    return SetItem(L"Status", kcom::CComVariant(1L));
}

HRESULT CReportEventInfo::Reset() noexcept {
    return kcom::Guard([&] {
        m_type = kGeneral;
        m_parentId = 0;
        m_eventId = 0;
        if (!m_dictionary) return E_POINTER;
        HRESULT hr = Call(L"RemoveAll", DISPATCH_METHOD, nullptr, 0, nullptr);
        return FAILED(hr) ? hr : AddStartItems();
    });
}

HRESULT CReportEventInfo::SetType(const wchar_t* type) noexcept {
    return kcom::Guard([&] {
        m_type = type;
        return S_OK;
    });
}

HRESULT CReportEventInfo::SetItem(const wchar_t* key, const VARIANT& value) noexcept {
    return kcom::Guard([&] {
        // Arguments go in reverse order: the value, then the key.
        kcom::CComVariant args[2];
        args[0] = value;
        args[1] = kcom::CComVariant(key);
        return Call(L"Item", DISPATCH_PROPERTYPUT, args, 2, nullptr);
    });
}

HRESULT CReportEventInfo::SetItem(const wchar_t* key, const wchar_t* text) noexcept {
    return kcom::Guard([&] {
        kcom::CComVariant value;
        value.vt = VT_BSTR;
        value.bstrVal = nullptr;
        if (text) {
            value.bstrVal = ::SysAllocString(text);
            if (!value.bstrVal) return E_OUTOFMEMORY;
        }
        return SetItem(key, value);
    });
}

bool CReportEventInfo::HasItem(const wchar_t* key) noexcept {
    kcom::CComVariant result;
    HRESULT hr = kcom::Guard([&] {
        kcom::CComVariant arg(key);
        return Call(L"Exists", DISPATCH_METHOD, &arg, 1, result.Put());
    });
    return SUCCEEDED(hr) && result.vt == VT_BOOL && result.boolVal != VARIANT_FALSE;
}

HRESULT CReportEventInfo::GetItem(const wchar_t* key, VARIANT* value) noexcept {
    if (!value) return E_POINTER;
    ::VariantClear(value);
    // Reading a missing key would add it to the dictionary.
    if (!HasItem(key)) return m_dictionary ? S_FALSE : E_POINTER;
    return kcom::Guard([&] {
        kcom::CComVariant arg(key);
        return Call(L"Item", DISPATCH_PROPERTYGET, &arg, 1, value);
    });
}

HRESULT CReportEventInfo::Set(const wchar_t* type, const wchar_t* nodeName, const wchar_t* nodeType,
                              const wchar_t* stepInfo, long status, const wchar_t* htmlNodeName,
                              const wchar_t* stepHtmlInfo) noexcept {
    HRESULT hr = SetType(type);
    if (SUCCEEDED(hr)) hr = SetItem(L"Status", kcom::CComVariant(status));
    if (SUCCEEDED(hr)) hr = SetItem(L"StepInfo", stepInfo);
    if (SUCCEEDED(hr) && nodeName) hr = SetItem(L"NodeName", nodeName);
    if (SUCCEEDED(hr) && nodeType) hr = SetItem(L"NodeType", nodeType);
    if (SUCCEEDED(hr) && htmlNodeName) hr = SetItem(L"HtmlNodeName", htmlNodeName);
    if (SUCCEEDED(hr) && stepHtmlInfo) hr = SetItem(L"StepHtmlInfo", stepHtmlInfo);
    return hr;
}
