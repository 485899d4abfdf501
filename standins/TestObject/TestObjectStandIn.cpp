#include "TestObjectStandIn.h"
#include "com/ComError.h"

namespace standin {

namespace {
std::wstring Name(BSTR b) { return b ? std::wstring(b, ::SysStringLen(b)) : std::wstring(L"(null)"); }
}  // namespace

CTestObjectStandIn::Settings& CTestObjectStandIn::Defaults() {
    static Settings settings;
    return settings;
}

LONG& CTestObjectStandIn::CreatedCount() {
    static LONG count = 0;
    return count;
}

HRESULT CTestObjectStandIn::Create(IUnknown* outer, REFIID iid, void** out) {
    const HRESULT hr = kcom::CComCreator<CTestObjectStandIn>::CreateInstance(outer, iid, out);
    if (SUCCEEDED(hr)) ++CreatedCount();
    return hr;
}

CTestObjectStandIn* CTestObjectStandIn::Of(IUnknown* object) {
    kcom::CComQIPtr<IDispatch> dispatch(object);
    return dispatch ? static_cast<CTestObjectStandIn*>(dispatch.get()) : nullptr;
}

CTestObjectStandIn::CTestObjectStandIn() : settings_(Defaults()) {}

bool CTestObjectStandIn::Refuses(REFIID iid) const noexcept {
    for (const IID& refused : settings_.refused)
        if (::IsEqualIID(refused, iid)) return true;
    return false;
}

kcom::CComVariant CTestObjectStandIn::Peek(const wchar_t* name) const {
    const kcom::CComVariant* v = props_.Find(name);
    return v ? *v : kcom::CComVariant();
}

STDMETHODIMP CTestObjectStandIn::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CTestObjectStandIn::get_Prop(BSTR name, long*, long*, long*, VARIANT* value) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"get_Prop(" + Name(name) + L")");
        if (!value) return E_POINTER;
        ::VariantInit(value);
        const kcom::CComVariant* v = props_.Find(Name(name));
        return v ? v->CopyTo(value) : S_OK;
    });
}

STDMETHODIMP CTestObjectStandIn::put_PropExpr(BSTR name, long*, long*, long*, VARIANT value) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"put_PropExpr(" + Name(name) + L"," + VariantText(value) + L")");
        if (SUCCEEDED(putResult_)) props_.Put(Name(name), value);
        return putResult_;
    });
}

STDMETHODIMP CTestObjectStandIn::get_Cookie(ULONG* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = cookie_;
    return S_OK;
}

STDMETHODIMP CTestObjectStandIn::put_Cookie(ULONG cookie) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"put_Cookie(" + std::to_wstring(cookie) + L")");
        if (SUCCEEDED(settings_.cookieResult)) cookie_ = cookie;
        return settings_.cookieResult;
    });
}

STDMETHODIMP CTestObjectStandIn::GetRack(IObjectRack** rack) {
    if (!rack) return E_POINTER;
    return rack_.CopyTo(rack);
}

STDMETHODIMP CTestObjectStandIn::SetRack(IObjectRack* rack) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(std::wstring(L"SetRack(") + (rack ? L"rack" : L"(null)") + L")");
        rack_ = rack;
        return S_OK;
    });
}

STDMETHODIMP CTestObjectStandIn::ReceiveData(FORMATETC*, STGMEDIUM*, ULONG*) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"ReceiveData()");
        return E_NOTIMPL;
    });
}

STDMETHODIMP CTestObjectStandIn::GetNext(IUnknown** next) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"GetNext()");
        if (!next) return E_POINTER;
        *next = nullptr;
        return next_ ? next_.CopyTo(next) : E_FAIL;
    });
}

STDMETHODIMP CTestObjectStandIn::AddChild(IDispatch* child) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(std::wstring(L"AddChild(") + (child ? L"object" : L"(null)") + L")");
        return S_OK;
    });
}

STDMETHODIMP CTestObjectStandIn::SetParent(IDispatch* parent) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(std::wstring(L"SetParent(") + (parent ? L"object" : L"(null)") + L")");
        return parentLinkResult_;
    });
}

}  // namespace standin
