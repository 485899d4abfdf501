#include "errors/ErrorInfoText.h"
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComPtr.h"

HRESULT SetErrorInfoText(const wchar_t* description, const GUID* source, DWORD helpContext, const wchar_t* helpFile,
                         const wchar_t* sourceName) noexcept {
    if (!description) return E_INVALIDARG;
    return kcom::Guard([&] {
        kcom::CComPtr<ICreateErrorInfo> create;
        HRESULT hr = ::CreateErrorInfo(create.Put());
        if (FAILED(hr)) return hr;
        if (!create) return E_FAIL;
        hr = create->SetGUID(source ? *source : GUID_NULL);
        if (SUCCEEDED(hr)) hr = create->SetDescription(const_cast<LPOLESTR>(description));
        if (SUCCEEDED(hr) && helpContext) hr = create->SetHelpContext(helpContext);
        if (SUCCEEDED(hr) && helpFile) hr = create->SetHelpFile(const_cast<LPOLESTR>(helpFile));
        if (SUCCEEDED(hr) && sourceName) hr = create->SetSource(const_cast<LPOLESTR>(sourceName));
        if (FAILED(hr)) return hr;
        kcom::CComPtr<IErrorInfo> info;
        hr = create.QueryInterface(info.Put());
        if (FAILED(hr)) return hr;
        return ::SetErrorInfo(0, info);
    });
}
