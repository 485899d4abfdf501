#pragma once
// ITestObjectInfo whose every method answers E_NOTIMPL: test objects override what they need.
#include <windows.h>
#include <oleauto.h>
#include "kestrune.h"

namespace standin {

class CTestObjectInfoStub : public ITestObjectInfo {
public:
    STDMETHOD(GetProps)(SAFEARRAY**, ULONG) override { return E_NOTIMPL; }
    STDMETHOD(FillPropsValues)(SAFEARRAY**) override { return E_NOTIMPL; }
    STDMETHOD(FillPropsExpr)(SAFEARRAY**) override { return E_NOTIMPL; }
    STDMETHOD(GetRTAttribs)(SAFEARRAY**, BSTR) override { return E_NOTIMPL; }
    STDMETHOD(FillRTAttribsValues)(SAFEARRAY**) override { return E_NOTIMPL; }
    STDMETHOD(InternalSetPropFlags)(BSTR, ULONG) override { return E_NOTIMPL; }
    STDMETHOD(InternalGetPropFlags)(BSTR, ULONG*) override { return E_NOTIMPL; }
    STDMETHOD(InternalSetPropCompareType)(BSTR, ULONG) override { return E_NOTIMPL; }
    STDMETHOD(InternalGetPropCompareType)(BSTR, ULONG*) override { return E_NOTIMPL; }
    STDMETHOD(InternalSetPropType)(BSTR, unsigned short) override { return E_NOTIMPL; }
    STDMETHOD(InternalGetPropType)(BSTR, unsigned short*) override { return E_NOTIMPL; }
    STDMETHOD(SetPropFlags)(BSTR, ULONG) override { return E_NOTIMPL; }
    STDMETHOD(GetPropFlags)(BSTR, ULONG*) override { return E_NOTIMPL; }
    STDMETHOD(SetPropCompareType)(BSTR, ULONG) override { return E_NOTIMPL; }
    STDMETHOD(GetPropCompareType)(BSTR, ULONG*) override { return E_NOTIMPL; }
    STDMETHOD(SetPropType)(BSTR, unsigned short) override { return E_NOTIMPL; }
    STDMETHOD(GetPropType)(BSTR, unsigned short*) override { return E_NOTIMPL; }
    STDMETHOD(get_Prop)(BSTR, long*, long*, long*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHOD(get_InternalProp)(BSTR, long*, long*, long*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHOD(get_PropExpr)(BSTR, long*, long*, long*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHOD(put_PropExpr)(BSTR, long*, long*, long*, VARIANT) override { return E_NOTIMPL; }
    STDMETHOD(get_InternalPropExpr)(BSTR, long*, long*, long*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHOD(put_InternalPropExpr)(BSTR, long*, long*, long*, VARIANT) override { return E_NOTIMPL; }
    STDMETHOD(Compare)(BSTR, VARIANT) override { return E_NOTIMPL; }
    STDMETHOD(SnapShotHandlerCtl)(GUID*) override { return E_NOTIMPL; }
    STDMETHOD(InternalCompare)(BSTR, VARIANT) override { return E_NOTIMPL; }
};

}  // namespace standin
