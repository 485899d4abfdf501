#include "activex/helpers/Helper.h"

// Clicks and making the control visible are not offered yet.
HRESULT Helper::MakeVisible(bool) { return E_NOTIMPL; }
HRESULT Helper::Click(int, int, int) { return E_NOTIMPL; }
HRESULT Helper::DblClick(int, int, int) { return E_NOTIMPL; }
HRESULT Helper::ClickAt(int, int, int, bool) { return E_NOTIMPL; }
HRESULT Helper::Prepare(bool) { return E_NOTIMPL; }
HRESULT Helper::MakeVisibleCore() { return E_NOTIMPL; }

HRESULT Helper::NamesFromAnswer(HRESULT answered, kcom::CComVariant& names, BSTR* out) {
    if (FAILED(answered)) return answered;
    if (names.vt != VT_BSTR) return S_OK;
    *out = names.bstrVal;
    names.vt = VT_EMPTY;
    return S_OK;
}
