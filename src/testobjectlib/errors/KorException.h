#pragma once
// The package's exception: an HRESULT with its error information, raised on replay errors after
// the error has been reported. It travels as a pointer to a heap object.
#include <windows.h>
#include <oaidl.h>
#include "errors/KorComError.h"

class CKorException {
public:
    // Keeps the error's code and information, no message text, and extra (the id of the
    // error's report event).
    CKorException(const CKorComError& error, DWORD extra) noexcept
        : m_error(error.Error(), error.ErrorInfo()), m_extra(extra) {}
    CKorException(HRESULT hr, IErrorInfo* errorInfo, DWORD extra) noexcept
        : m_error(hr, errorInfo), m_extra(extra) {}
    virtual ~CKorException() = default;

    const CKorComError& ComError() const noexcept { return m_error; }
    HRESULT Error() const noexcept { return m_error.Error(); }
    IErrorInfo* ErrorInfo() const noexcept { return m_error.ErrorInfo(); }  // not add-ref'd
    const wchar_t* ErrorMessage() const noexcept { return m_error.ErrorMessage(); }
    DWORD Extra() const noexcept { return m_extra; }

private:
    CKorComError m_error;
    DWORD m_extra;
};
