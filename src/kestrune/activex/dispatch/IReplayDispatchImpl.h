#pragma once
// The IDispatch of a replay interface: every call is one replay step of the test object. The
// step is opened, the member runs inside the retry loop through the interface's own type
// information (its vtable half: the dispatch half would come back into this Invoke), and the
// step is closed on every path. A replay error ends the call as its HRESULT with its error
// information; it never leaves the method.
#include <windows.h>
#include <oaidl.h>
#include "com/ComPtr.h"
#include "com/DispatchImpl.h"
#include "com/TypeInfoCall.h"
#include "testobject/core/ComTestObject.h"

class CReplayDispatch {
public:
    // One step of owner for the member id of the interface iid; names: the interface's type
    // information for the member's name (may be null).
    static HRESULT Run(CComTestObject& owner, const IID& iid, ITypeInfo* names, void* target,
                       ReplayOperation operation, DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) noexcept;
    // The step's method name: the member's name without a leading "do_"; empty when unknown.
    static kcom::CComBSTR MethodName(ITypeInfo* names, DISPID id);
};

template <class T, class Itf, const IID* piid>
class IReplayDispatchImpl : public kcom::IDispatchImpl<Itf, piid> {
public:
    STDMETHOD(Invoke)(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excepInfo, UINT* argErr) noexcept override {
        if (!::IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        const HRESULT checked = kcom::BeginInvoke(params, excepInfo, result);
        if (FAILED(checked)) return checked;
        kcom::CComPtr<ITypeInfo> names;
        this->GetTypeInfo(0, 0, names.Put());
        return CReplayDispatch::Run(*static_cast<T*>(this), *piid, names, static_cast<Itf*>(this), &InvokeMember, id,
                                    riid, lcid, flags, params, result, excepInfo, argErr);
    }

private:
    static HRESULT InvokeMember(void* target, DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO* excepInfo, UINT* argErr) {
        kcom::CComPtr<ITypeInfo> info;
        HRESULT hr = kcom::IDispatchImpl<Itf, piid>::Holder().GetForInvoke(info.Put());
        if (FAILED(hr)) return hr;
        return kcom::CTypeInfoCall(info, id, flags, *params, result).Invoke(target, excepInfo, argErr);
    }
};
