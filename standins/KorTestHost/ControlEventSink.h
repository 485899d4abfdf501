#pragma once
// A sink on a test control's events: each event it gets is one line, "Clicked(3,4)", named from
// the control's own type information.
#include <windows.h>
#include <oaidl.h>
#include <memory>
#include "../common/CallLog.h"
#include "AutControls.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"

class CControlEventSink : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IDispatch {
public:
    BEGIN_COM_MAP(CControlEventSink)
        COM_INTERFACE_ENTRY(IDispatch)
        COM_INTERFACE_ENTRY_IID(DIID_DKorTestControlEvents, IDispatch)
    END_COM_MAP()

    // Connects a new sink writing into log; sink keeps it connected (the control holds it too).
    static HRESULT Listen(IDispatch* control, std::shared_ptr<standin::CallLog> log, IUnknown** sink);

    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** info) override;
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

private:
    kcom::CComPtr<ITypeInfo> events_;
    std::shared_ptr<standin::CallLog> log_;
};
