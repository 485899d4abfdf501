#include "activex/dispatch/DispatchError.h"
#include "com/ComPtr.h"

HRESULT CDispatchError::Answer(CKorException* error, EXCEPINFO* excepInfo) noexcept {
    HRESULT hr = error ? error->Error() : E_FAIL;
    if (SUCCEEDED(hr)) hr = E_FAIL;
    kcom::CComPtr<IErrorInfo> info(error ? error->ErrorInfo() : nullptr);
    delete error;
    ::SetErrorInfo(0, info);
    if (!excepInfo) return hr;
    Fill(excepInfo, hr, info);
    return DISP_E_EXCEPTION;
}

void CDispatchError::Fill(EXCEPINFO* excepInfo, HRESULT hr, IErrorInfo* info) noexcept {
    // What a callee wrote before the error was raised is replaced. Every Invoke of the package
    // cleared the caller's EXCEPINFO when it was entered, so nothing else is freed here.
    ::SysFreeString(excepInfo->bstrSource);
    ::SysFreeString(excepInfo->bstrDescription);
    ::SysFreeString(excepInfo->bstrHelpFile);
    *excepInfo = EXCEPINFO{};
    excepInfo->scode = hr;
    if (!info) return;
    info->GetSource(&excepInfo->bstrSource);
    info->GetDescription(&excepInfo->bstrDescription);
    info->GetHelpFile(&excepInfo->bstrHelpFile);
    info->GetHelpContext(&excepInfo->dwHelpContext);
}
