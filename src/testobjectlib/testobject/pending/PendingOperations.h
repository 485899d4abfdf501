#pragma once
// Stand-in bodies for operations of the identification, matching, reporting and replay work that
// the run-time methods call by name, until that work is merged. Inside the test object's own
// operations an operation of the class hides the free function of the same name.
#include <windows.h>
#include <oleauto.h>
#include "com/ComBSTR.h"
#include "com/ComVariant.h"
#include "errors/KorException.h"
#include "host.h"
#include "host/TestObjectSettings.h"
#include "testobject/reporting/ReportEventInfo.h"

[[noreturn]] inline void RaiseReplayError(HRESULT hr, long) { throw new CKorException(hr, nullptr, 0); }
inline HRESULT ReportDirectEvent(const wchar_t*, long, SAFEARRAY*, const wchar_t*) { return S_OK; }
inline HRESULT ReplayReport(const wchar_t*, long, SAFEARRAY*, DWORD*, long, const wchar_t*) { return S_OK; }
inline HRESULT ReportEvent(CReportEventInfo&) { return S_OK; }
inline HRESULT EscapeHtml(BSTR*) { return S_OK; }
inline HRESULT WaitForPropertyValue(BSTR, const VARIANT&, long, VARIANT_BOOL* matched, BSTR*, VARIANT*) {
    if (matched) *matched = VARIANT_FALSE;
    return E_NOTIMPL;
}
inline HRESULT FilterByVisualRelations(IDispatch*, IObjectRack*, SAFEARRAY*, SAFEARRAY** filtered) {
    if (filtered) *filtered = nullptr;
    return S_FALSE;
}
inline HRESULT CreateSelector(IObjectRack*, BSTR, IUnknown** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}
inline HRESULT SetErrorInfoText(const wchar_t* description, const GUID* source, DWORD, const wchar_t*,
                                const wchar_t*) {
    if (!description) return E_INVALIDARG;
    kcom::CComPtr<ICreateErrorInfo> create;
    HRESULT hr = ::CreateErrorInfo(create.Put());
    if (FAILED(hr)) return hr;
    if (source) create->SetGUID(*source);
    create->SetDescription(const_cast<LPOLESTR>(description));
    kcom::CComPtr<IErrorInfo> info;
    hr = create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(info.Put()));
    return FAILED(hr) ? hr : ::SetErrorInfo(0, info);
}
inline HRESULT ReadClassSetting(IUnknown* object, IObjectRack* rack, const wchar_t* subKey, const wchar_t* valueName,
                                VARIANT* out) noexcept {
    if (!object || !rack || !out) return E_INVALIDARG;
    kcom::CComBSTR name(L"korclass");
    kcom::CComVariant korClass;
    if (FAILED(GetTestObjectProp(object, name, korClass.Put(), nullptr, nullptr, nullptr)) ||
        korClass.vt != VT_BSTR || ::SysStringLen(korClass.bstrVal) == 0)
        return E_FAIL;
    return ReadTestObjectSetting(korClass.bstrVal, rack, subKey, valueName, out);
}
