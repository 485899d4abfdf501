#include "TestReportStandIn.h"
#include "com/ComError.h"
#include "com/ComSafeArray.h"

namespace standin {

namespace {

HRESULT CallByName(IDispatch* object, const wchar_t* name, WORD kind, VARIANT* args, UINT count, VARIANT* result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR n = const_cast<LPOLESTR>(name);
    HRESULT hr = object->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS params{args, nullptr, count, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, nullptr, nullptr);
}

// Every key and item of a "Scripting.Dictionary", in its order.
HRESULT CopyItems(IDispatch* dictionary, std::vector<std::pair<std::wstring, kcom::CComVariant>>& items) {
    kcom::CComVariant keys;
    HRESULT hr = CallByName(dictionary, L"Keys", DISPATCH_METHOD, nullptr, 0, keys.Put());
    if (FAILED(hr)) return hr;
    if (keys.vt != (VT_ARRAY | VT_VARIANT) || !keys.parray) return E_UNEXPECTED;
    LONG low = 0, high = -1;
    ::SafeArrayGetLBound(keys.parray, 1, &low);
    ::SafeArrayGetUBound(keys.parray, 1, &high);
    for (LONG i = low; i <= high; ++i) {
        kcom::CComVariant key, item;
        kcom::ThrowIfFailed(::SafeArrayGetElement(keys.parray, &i, key.Put()));
        kcom::ThrowIfFailed(CallByName(dictionary, L"Item", DISPATCH_PROPERTYGET, &key, 1, item.Put()));
        items.emplace_back(key.vt == VT_BSTR && key.bstrVal ? key.bstrVal : L"", item);
    }
    return S_OK;
}

}  // namespace

kcom::CComVariant ReportedEvent::Item(const wchar_t* key) const {
    for (const auto& [k, v] : items)
        if (k == key) return v;
    return kcom::CComVariant();
}

bool ReportedEvent::Has(const wchar_t* key) const {
    for (const auto& item : items)
        if (item.first == key) return true;
    return false;
}

std::wstring ReportedEvent::Text(const wchar_t* key) const {
    kcom::CComVariant v = Item(key);
    return v.vt == VT_BSTR && v.bstrVal ? std::wstring(v.bstrVal, ::SysStringLen(v.bstrVal)) : std::wstring();
}

STDMETHODIMP CTestReportStandIn::ReportEvent(BSTR type, IDispatch* values, long parentId, long* id) {
    return kcom::Guard([&]() -> HRESULT {
        ReportedEvent event;
        event.type = type ? std::wstring(type, ::SysStringLen(type)) : L"(null)";
        event.parentId = parentId;
        log_.Add(L"ReportEvent(" + event.type + L"," + std::to_wstring(parentId) + L")");
        if (!id) return E_POINTER;
        if (!values) return E_INVALIDARG;
        HRESULT hr = CopyItems(values, event.items);
        if (FAILED(hr)) return hr;
        *id = event.id = nextId_++;
        events_.push_back(std::move(event));
        return result_;
    });
}

STDMETHODIMP CTestReportStandIn::StartDirectMode(long arg1, long arg2) {
    return kcom::Guard([&] {
        log_.Add(L"StartDirectMode(" + std::to_wstring(arg1) + L"," + std::to_wstring(arg2) + L")");
        return result_;
    });
}

STDMETHODIMP CTestReportStandIn::EndDirectMode() {
    return kcom::Guard([&] {
        log_.Add(L"EndDirectMode()");
        return result_;
    });
}

STDMETHODIMP CTestReportStandIn::SetEventStatus(long id, long status) {
    return kcom::Guard([&] {
        log_.Add(L"SetEventStatus(" + std::to_wstring(id) + L"," + std::to_wstring(status) + L")");
        return result_;
    });
}

}  // namespace standin
