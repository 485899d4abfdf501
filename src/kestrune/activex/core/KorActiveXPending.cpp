// Actions of the ActiveX test object whose behaviour comes with its replay dispatch: the clicks,
// drag and drop and visible text that run inside a replay step, firing events, the recovery and
// dynamic-list interfaces. Until then each answers E_NOTIMPL.
#include "activex/core/KorActiveX.h"

STDMETHODIMP CKorActiveX::do_Click(int, int, BUTTON) { return E_NOTIMPL; }
STDMETHODIMP CKorActiveX::do_DblClick(int, int, BUTTON) { return E_NOTIMPL; }
STDMETHODIMP CKorActiveX::do_Drag(int, int, BUTTON) { return E_NOTIMPL; }
STDMETHODIMP CKorActiveX::do_Drop(int, int, BUTTON) { return E_NOTIMPL; }
STDMETHODIMP CKorActiveX::do_GetVisibleText(long, long, long, long, BSTR* text) {
    if (text) *text = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP CKorActiveX::DoClick(int, int, BUTTON) { return E_NOTIMPL; }
STDMETHODIMP CKorActiveX::DoDblClick(int, int, BUTTON) { return E_NOTIMPL; }
STDMETHODIMP CKorActiveX::MakeVisible() { return E_NOTIMPL; }
HRESULT CKorActiveX::FireControlEvent(const VARIANT&, SAFEARRAY*) { return E_NOTIMPL; }

STDMETHODIMP CKorActiveX::ContainsText(BSTR, long, long* result) {
    if (result) *result = 0;
    return E_NOTIMPL;
}
STDMETHODIMP CKorActiveX::GetButtonObjects(SAFEARRAY** buttons) {
    if (buttons) *buttons = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP CKorActiveX::GetContainedText(BSTR* text) {
    if (text) *text = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP CKorActiveX::HasDynamicList(IUnknown*, BSTR, long, BOOL* has) {
    if (has) *has = FALSE;
    return E_NOTIMPL;
}
STDMETHODIMP CKorActiveX::GetDynamicList(IUnknown*, BSTR, long, VARIANT*, SAFEARRAY** list) {
    if (list) *list = nullptr;
    return E_NOTIMPL;
}
