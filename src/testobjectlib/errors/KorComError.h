#pragma once
// An HRESULT together with the error information that describes it, as a replay error carries
// them to the COM boundary.
#include <windows.h>
#include <oaidl.h>
#include "com/ComBSTR.h"
#include "com/ComPtr.h"

class CKorComError {
public:
    // Keeps its own reference to errorInfo.
    CKorComError(HRESULT hr, IErrorInfo* errorInfo) noexcept : m_hr(hr), m_errorInfo(errorInfo) {}

    HRESULT Error() const noexcept { return m_hr; }
    IErrorInfo* ErrorInfo() const noexcept { return m_errorInfo; }  // not add-ref'd
    // No message text is ever made for a replay error: the description travels in the error
    // information.
    const wchar_t* ErrorMessage() const noexcept { return m_message; }
    // The error information's description; null without one.
    kcom::CComBSTR Description() const noexcept {
        kcom::CComBSTR text;
        if (m_errorInfo) m_errorInfo->GetDescription(text.Put());
        return text;
    }
    // Makes the error information the thread's again, as a COM method hands it to its caller.
    void Restore() const noexcept { ::SetErrorInfo(0, m_errorInfo); }

private:
    HRESULT m_hr;
    kcom::CComPtr<IErrorInfo> m_errorInfo;
    kcom::CComBSTR m_message;
};
