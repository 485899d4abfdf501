#pragma once
// The package's exception: an HRESULT with its error information, raised on replay errors after
// the error has been reported.
#include <windows.h>
#include <oaidl.h>
#include "com/ComBSTR.h"
#include "com/ComPtr.h"

class CKorException {
public:
    // Keeps hr and its error information (with a reference of its own); no message text.
    CKorException(HRESULT hr, IErrorInfo* errorInfo, DWORD extra) noexcept
        : m_hr(hr), m_errorInfo(errorInfo), m_extra(extra) {}
    virtual ~CKorException() = default;

    HRESULT Error() const noexcept { return m_hr; }
    IErrorInfo* ErrorInfo() const noexcept { return m_errorInfo; }  // not add-ref'd
    const wchar_t* ErrorMessage() const noexcept { return m_message; }
    DWORD Extra() const noexcept { return m_extra; }

private:
    HRESULT m_hr;
    kcom::CComPtr<IErrorInfo> m_errorInfo;
    kcom::CComBSTR m_message;
    DWORD m_extra;
};
