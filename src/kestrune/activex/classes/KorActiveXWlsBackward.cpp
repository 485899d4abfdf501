#include "activex/classes/KorActiveXWlsBackward.h"
#include "environment/ObjectMap.h"

extern const kcom::CreatorFn KorActiveXWlsBackwardCreator =
    &kcom::CComCreator<CKorActiveXWlsBackward>::CreateInstance;

namespace {
// The inner object's own initialisation interface, asked afresh on each call.
kcom::CComPtr<IKorActiveXInit> InnerInit(IUnknown* inner, HRESULT& hr) noexcept {
    kcom::CComPtr<IKorActiveXInit> init;
    hr = inner ? inner->QueryInterface(__uuidof(IKorActiveXInit), reinterpret_cast<void**>(init.Put())) : E_NOINTERFACE;
    if (SUCCEEDED(hr) && !init) hr = E_NOINTERFACE;
    return init;
}
}  // namespace

HRESULT CKorActiveXWlsBackward::FinalConstruct() noexcept {
    return ::CoCreateInstance(CLSID_KorActiveX, GetControllingUnknown(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                              reinterpret_cast<void**>(m_inner.Put()));
}

STDMETHODIMP CKorActiveXWlsBackward::Init(UINT format) {
    HRESULT hr;
    kcom::CComPtr<IKorActiveXInit> init = InnerInit(m_inner, hr);
    return init ? init->Init(format) : hr;
}

STDMETHODIMP CKorActiveXWlsBackward::GetQueryFormats(SAFEARRAY** formats) {
    HRESULT hr;
    kcom::CComPtr<IKorActiveXInit> init = InnerInit(m_inner, hr);
    return init ? init->GetQueryFormats(formats) : hr;
}
