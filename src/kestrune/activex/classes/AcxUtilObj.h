#pragma once
// The script utility object ("Quorvel.AcxUtil"): fires an event on a control object a script
// holds, usually the Object of an ActiveX test object. Its dispinterface has no vtable half, so
// Invoke is written out and takes the argument forms a script engine passes.
#include <windows.h>
#include <oaidl.h>
#include "com/ComObject.h"
#include "kestrune.h"

class CAcxUtilObj : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                    public kcom::CComCoClass<CAcxUtilObj, &CLSID_KorAcxUtil>,
                    public IDispatch {
public:
    BEGIN_COM_MAP(CAcxUtilObj)
        COM_INTERFACE_ENTRY(IDispatch)
        COM_INTERFACE_ENTRY_IID(DIID_AcxUtil, IDispatch)
    END_COM_MAP()

    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHOD(Invoke)(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excepInfo, UINT* argErr) override;

    // DISPID 1. E_INVALIDARG for a null object or a null or empty event name; otherwise the
    // control handler's answer.
    HRESULT FireEvent(IDispatch* object, BSTR eventName, SAFEARRAY* args) noexcept;
};
