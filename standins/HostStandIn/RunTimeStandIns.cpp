#include "RunTimeStandIns.h"
#include "com/ComError.h"

namespace standin {

namespace {

std::wstring BstrText(BSTR b) { return b ? std::wstring(b, ::SysStringLen(b)) : std::wstring(L"(null)"); }

}  // namespace

STDMETHODIMP CPropertyCollectionStandIn::Item(VARIANT key, IDispatch** item) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"Item(" + VariantText(key) + L")");
        if (!item) return E_POINTER;
        *item = nullptr;
        if (key.vt == VT_I4) {
            if (key.lVal < 0 || key.lVal >= static_cast<long>(items_.size()) || key.lVal >= limit_) return E_INVALIDARG;
            return items_[static_cast<size_t>(key.lVal)]->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(item));
        }
        if (key.vt != VT_BSTR) return E_INVALIDARG;
        for (const auto& existing : items_)
            if (existing->name_ == BstrText(key.bstrVal))
                return existing->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(item));
        return Add(BstrText(key.bstrVal).c_str(), kcom::CComVariant(), VARIANT_FALSE)
            ->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(item));
    });
}

STDMETHODIMP CPropertyCollectionStandIn::Count(long* count) {
    log_.Add(L"Count()");
    if (!count) return E_POINTER;
    *count = static_cast<long>(items_.size());
    return S_OK;
}

Holder<CPropertyItemStandIn> CPropertyCollectionStandIn::Add(const wchar_t* name, const VARIANT& value,
                                                             VARIANT_BOOL flag) {
    Holder<CPropertyItemStandIn> item = Holder<CPropertyItemStandIn>::New();
    item->name_ = name;
    item->value_ = value;
    item->flag_ = flag;
    items_.push_back(item);
    return item;
}

std::wstring CPropertyCollectionStandIn::Text() const {
    std::wstring all;
    for (const auto& item : items_)
        all += item->name_ + L"=" + VariantText(item->value_) + L"/" + (item->flag_ ? L"1" : L"0") + L";";
    return all;
}

STDMETHODIMP CTOCollectionStandIn::AddIds(SAFEARRAY* ids) {
    return kcom::Guard([&]() -> HRESULT {
        LONG rows = ids && ids->cDims >= 1 ? static_cast<LONG>(ids->rgsabound[0].cElements) : 0;
        log_.Add(L"AddIds(" + std::to_wstring(rows) + L")");
        if (FAILED(addResult_)) return addResult_;
        VARTYPE vt = VT_EMPTY;
        if (ids) ::SafeArrayGetVartype(ids, &vt);
        for (LONG row = 0; row < rows; ++row) {
            LONG index[2] = {0, row};
            if (ids->cDims == 1) index[0] = row;
            kcom::CComPtr<IUnknown> id;
            if (vt == VT_VARIANT) {
                kcom::CComVariant cell;
                kcom::ThrowIfFailed(::SafeArrayGetElement(ids, index, cell.Put()));
                if (cell.vt == VT_UNKNOWN || cell.vt == VT_DISPATCH) id = cell.punkVal;
            } else {
                kcom::ThrowIfFailed(::SafeArrayGetElement(ids, index, id.Put()));
            }
            kcom::CComPtr<IDispatch> child;
            if (maker_) kcom::ThrowIfFailed(maker_(id, child.Put()));
            items_.push_back(child);
        }
        return S_OK;
    });
}

STDMETHODIMP CTOCollectionStandIn::Item(long index, IDispatch** item) {
    log_.Add(L"Item(" + std::to_wstring(index) + L")");
    if (!item) return E_POINTER;
    *item = nullptr;
    if (index < 0 || index >= static_cast<long>(items_.size())) return E_INVALIDARG;
    return items_[static_cast<size_t>(index)].CopyTo(item);
}

STDMETHODIMP CTOCollectionStandIn::Count(long* count) {
    if (!count) return E_POINTER;
    *count = static_cast<long>(items_.size());
    return S_OK;
}

STDMETHODIMP CTOCollectionStandIn::SetRack(IObjectRack* rack) {
    log_.Add(std::wstring(L"SetRack(") + (rack ? L"rack" : L"(null)") + L")");
    rack_ = rack;
    return S_OK;
}

STDMETHODIMP CTOCollectionStandIn::GetRack(IObjectRack** rack) { return rack_.CopyTo(rack); }

STDMETHODIMP CCheckpointStandIn::GetTypeInfoCount(UINT* count) {
    if (count) *count = 0;
    return S_OK;
}

STDMETHODIMP CCheckpointStandIn::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CCheckpointStandIn::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count != 1) return E_INVALIDARG;
    if (_wcsicmp(names[0], L"Check") == 0) *ids = 1;
    else if (_wcsicmp(names[0], L"Output") == 0) *ids = 2;
    else return DISP_E_UNKNOWNNAME;
    return S_OK;
}

STDMETHODIMP CCheckpointStandIn::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                        EXCEPINFO*, UINT*) {
    return kcom::Guard([&]() -> HRESULT {
        std::wstring args;
        for (UINT i = 0; params && i < params->cArgs; ++i) args += VariantText(params->rgvarg[i]);
        log_.Add(std::wstring(id == 1 ? L"Check(" : L"Output(") + args + L")");
        if (id == 1 && result) kcom::ThrowIfFailed(answer_.CopyTo(result));
        return result_;
    });
}

}  // namespace standin
