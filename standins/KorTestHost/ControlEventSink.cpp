#include "ControlEventSink.h"
#include <string>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComVariant.h"

HRESULT CControlEventSink::Listen(IDispatch* control, std::shared_ptr<standin::CallLog> log, IUnknown** sink) {
    if (!control || !sink) return E_POINTER;
    *sink = nullptr;
    kcom::CComQIPtr<IProvideClassInfo> classInfo(static_cast<IUnknown*>(control));
    kcom::CComQIPtr<IConnectionPointContainer> container(static_cast<IUnknown*>(control));
    if (!classInfo || !container) return E_NOINTERFACE;
    kcom::CComPtr<ITypeInfo> coclass, events;
    kcom::CComPtr<IConnectionPoint> point;
    HREFTYPE ref = 0;
    HRESULT hr = classInfo->GetClassInfo(coclass.Put());
    if (SUCCEEDED(hr)) hr = coclass->GetRefTypeOfImplType(1, &ref);  // the [source] interface
    if (SUCCEEDED(hr)) hr = coclass->GetRefTypeInfo(ref, events.Put());
    if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(DIID_DKorTestControlEvents, point.Put());
    if (FAILED(hr)) return hr;
    kcom::CComObject<CControlEventSink>* made = nullptr;
    if (FAILED(hr = kcom::CComObject<CControlEventSink>::CreateInstance(&made))) return hr;
    kcom::CComPtr<IUnknown> keep(static_cast<IDispatch*>(made));
    made->events_ = events;
    made->log_ = std::move(log);
    DWORD cookie = 0;
    if (FAILED(hr = point->Advise(keep, &cookie))) return hr;
    *sink = keep.Detach();
    return S_OK;
}

STDMETHODIMP CControlEventSink::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CControlEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CControlEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return DISP_E_UNKNOWNNAME; }

STDMETHODIMP CControlEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                       UINT*) {
    return kcom::Guard([&] {
        kcom::CComBSTR name;
        UINT count = 0;
        if (!events_ || FAILED(events_->GetNames(id, name.Put(), 1, &count)) || !count) name = L"?";
        std::wstring line = std::wstring(name.c_str()) + L"(";
        for (UINT i = 0; params && i < params->cArgs; ++i) {
            kcom::CComVariant text;
            ::VariantChangeType(&text, &params->rgvarg[params->cArgs - 1 - i], 0, VT_BSTR);
            line += (i ? L"," : L"") + std::wstring(text.vt == VT_BSTR && text.bstrVal ? text.bstrVal : L"?");
        }
        if (log_) log_->Add(line + L")");
        return S_OK;
    });
}
