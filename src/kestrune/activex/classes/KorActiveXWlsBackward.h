#pragma once
// The backward-compatible windowless ActiveX test object ("Quorvel.AcxWlsObject"): a whole
// ActiveX test object aggregated inside, with this object as the identity. It answers the
// initialisation interface itself, as a windowless and backward object; every other interface is
// the inner object's.
#include <windows.h>
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "kestrune.h"

class CKorActiveXWlsBackward : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                               public kcom::CComCoClass<CKorActiveXWlsBackward, &CLSID_KorWlsActiveX>,
                               public IKorActiveXInit {
public:
    BEGIN_COM_MAP(CKorActiveXWlsBackward)
        COM_INTERFACE_ENTRY(IKorActiveXInit)
        COM_INTERFACE_ENTRY_AGGREGATE_BLIND(m_inner.get())
    END_COM_MAP()

    // Aggregates the ActiveX test object; its creation's failure is the construction's.
    HRESULT FinalConstruct() noexcept;
    void FinalRelease() noexcept { m_inner.Release(); }

    // ---- IKorActiveXInit ------------------------------------------------------------------------
    STDMETHOD(Init)(UINT format) override;
    STDMETHOD(IsBackwardObject)() override { return S_OK; }
    STDMETHOD(GetQueryFormats)(SAFEARRAY** formats) override;
    // S_OK: windowless, however the host initialised it.
    STDMETHOD(IsWindowed)() override { return S_OK; }
    STDMETHOD(ReleaseHelper)() override { return E_NOTIMPL; }

private:
    kcom::CComPtr<IUnknown> m_inner;  // the non-delegating unknown of the inner object
};
