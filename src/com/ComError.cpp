#include "com/ComError.h"
#include "com/ComPtr.h"
#include "com/Handles.h"

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
    CCoTaskMem<OLECHAR> source;
    if (FAILED(::ProgIDFromCLSID(clsid, source.Put()))) ::StringFromCLSID(clsid, source.Put());
    return ReportError(static_cast<LPCOLESTR>(source.get()), description, iid, hr);
}

}  // namespace kcom
