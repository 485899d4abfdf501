#include "com/ComError.h"
#include "com/ComPtr.h"

namespace kcom {

HRESULT ReportError(LPCOLESTR source, LPCOLESTR description, REFIID iid, HRESULT hr) noexcept {
    CComPtr<ICreateErrorInfo> create;
    if (FAILED(::CreateErrorInfo(create.Put()))) return hr;
    create->SetGUID(iid);
    if (source) create->SetSource(const_cast<LPOLESTR>(source));
    if (description) create->SetDescription(const_cast<LPOLESTR>(description));
    CComPtr<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(info.Put()))))
        ::SetErrorInfo(0, info);
    return hr;
}

HRESULT ReportError(REFCLSID clsid, LPCOLESTR description, REFIID iid, HRESULT hr) noexcept {
    LPOLESTR progId = nullptr;
    LPOLESTR source = nullptr;
    if (SUCCEEDED(::ProgIDFromCLSID(clsid, &progId)))
        source = progId;
    else
        ::StringFromCLSID(clsid, &source);
    ReportError(static_cast<LPCOLESTR>(source), description, iid, hr);
    ::CoTaskMemFree(source);
    return hr;
}

}  // namespace kcom
