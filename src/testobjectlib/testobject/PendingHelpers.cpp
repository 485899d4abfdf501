// Stand-in bodies until the settings, algorithm and reporting operations are merged.
#include "testobject/PendingHelpers.h"
#include "testobject/core/ComTestObject.h"

HRESULT CreateSelector(IObjectRack*, BSTR, IUnknown** out) noexcept {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}
HRESULT ReadClassSettingKind3(IObjectRack*, BSTR, SAFEARRAY** out, BSTR, DWORD) noexcept {
    if (out) *out = nullptr;
    return S_FALSE;
}
HRESULT ReadClassSettingKind5(IObjectRack*, BSTR, BSTR* out, BSTR) noexcept {
    if (out) *out = nullptr;
    return S_FALSE;
}
HRESULT ReadClassSettingKind0(IObjectRack*, BSTR, SAFEARRAY** out, BSTR) noexcept {
    if (out) *out = nullptr;
    return S_FALSE;
}
HRESULT CComTestObject::ApplyDescriptionSettings(BSTR name, IUnknown*, const long*, long* type, long* compareType,
                                                 VARIANT* value) {
    *type = 0;
    *compareType = 0;
    kcom::CComVariant data;
    return DispTestObject_QueryValue(name, &data, value);
}
HRESULT CComTestObject::RunIdentificationAlgorithm(SAFEARRAY*, CKorSafeArray*, BOOL) { return S_FALSE; }
HRESULT CComTestObject::DescribeWithAlgorithms(IUnknown*, SAFEARRAY*, SAFEARRAY** narrowed, BOOL) {
    *narrowed = nullptr;
    return S_FALSE;
}
bool CComTestObject::ShouldReport(DWORD, long) { return true; }
HRESULT CComTestObject::SendReportEvent(CReportEventInfo&, bool) { return S_OK; }
HRESULT CComTestObject::ReplayReport(const wchar_t*, long, SAFEARRAY*, DWORD*, const wchar_t*, const wchar_t*) {
    return S_OK;
}
HRESULT CComTestObject::ReportDirectEvent(const wchar_t*, long, SAFEARRAY*, const wchar_t*) { return S_OK; }
HRESULT CComTestObject::ReportReplayLog(HRESULT) { return S_OK; }
HRESULT CComTestObject::ReportObjectDescription(DWORD, long, HRESULT) { return S_OK; }
HRESULT CComTestObject::FormatDescriptionReport(BSTR* plain, BSTR* html, ITOPropertiesSnapshot*,
                                                ITOAttributesChangeSummary*) {
    *plain = nullptr;
    *html = nullptr;
    return S_OK;
}
