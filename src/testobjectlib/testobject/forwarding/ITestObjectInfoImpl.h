#pragma once
// ITestObjectInfo to ITestObjectInfo3 of a test object: one vtable; every method forwards to the
// operation ITestObjectInfo_<method>.
#include <windows.h>
#include "kestrune.h"
#include "testobject/forwarding/Forwarding.h"

template <class T, class Itf = ITestObjectInfo>
class ITestObjectInfoImpl : public Itf {
public:
    STDMETHOD(GetProps)(SAFEARRAY** names, ULONG flags) override { KOR_FORWARD(ITestObjectInfo_GetProps, names, flags); }
    STDMETHOD(FillPropsValues)(SAFEARRAY** table) override { KOR_FORWARD(ITestObjectInfo_FillPropsValues, table); }
    STDMETHOD(FillPropsExpr)(SAFEARRAY** table) override { KOR_FORWARD(ITestObjectInfo_FillPropsExpr, table); }
    STDMETHOD(GetRTAttribs)(SAFEARRAY** names, BSTR type) override {
        KOR_FORWARD(ITestObjectInfo_GetRTAttribs, names, type);
    }
    STDMETHOD(FillRTAttribsValues)(SAFEARRAY** table) override {
        KOR_FORWARD(ITestObjectInfo_FillRTAttribsValues, table);
    }
    STDMETHOD(InternalSetPropFlags)(BSTR name, ULONG flags) override {
        KOR_FORWARD(ITestObjectInfo_InternalSetPropFlags, name, flags);
    }
    STDMETHOD(InternalGetPropFlags)(BSTR name, ULONG* flags) override {
        KOR_FORWARD(ITestObjectInfo_InternalGetPropFlags, name, flags);
    }
    STDMETHOD(InternalSetPropCompareType)(BSTR name, ULONG compareType) override {
        KOR_FORWARD(ITestObjectInfo_InternalSetPropCompareType, name, compareType);
    }
    STDMETHOD(InternalGetPropCompareType)(BSTR name, ULONG* compareType) override {
        KOR_FORWARD(ITestObjectInfo_InternalGetPropCompareType, name, compareType);
    }
    STDMETHOD(InternalSetPropType)(BSTR name, USHORT type) override {
        KOR_FORWARD(ITestObjectInfo_InternalSetPropType, name, type);
    }
    STDMETHOD(InternalGetPropType)(BSTR name, USHORT* type) override {
        KOR_FORWARD(ITestObjectInfo_InternalGetPropType, name, type);
    }
    STDMETHOD(SetPropFlags)(BSTR name, ULONG flags) override { KOR_FORWARD(ITestObjectInfo_SetPropFlags, name, flags); }
    STDMETHOD(GetPropFlags)(BSTR name, ULONG* flags) override { KOR_FORWARD(ITestObjectInfo_GetPropFlags, name, flags); }
    STDMETHOD(SetPropCompareType)(BSTR name, ULONG compareType) override {
        KOR_FORWARD(ITestObjectInfo_SetPropCompareType, name, compareType);
    }
    STDMETHOD(GetPropCompareType)(BSTR name, ULONG* compareType) override {
        KOR_FORWARD(ITestObjectInfo_GetPropCompareType, name, compareType);
    }
    STDMETHOD(SetPropType)(BSTR name, USHORT type) override { KOR_FORWARD(ITestObjectInfo_SetPropType, name, type); }
    STDMETHOD(GetPropType)(BSTR name, USHORT* type) override { KOR_FORWARD(ITestObjectInfo_GetPropType, name, type); }
    STDMETHOD(get_Prop)(BSTR name, long* flags, long* type, long* compareType, VARIANT* value) override {
        KOR_FORWARD(ITestObjectInfo_get_Prop, name, flags, type, compareType, value);
    }
    STDMETHOD(get_InternalProp)(BSTR name, long* flags, long* type, long* compareType, VARIANT* value) override {
        KOR_FORWARD(ITestObjectInfo_get_InternalProp, name, flags, type, compareType, value);
    }
    STDMETHOD(get_PropExpr)(BSTR name, long* flags, long* type, long* compareType, VARIANT* value) override {
        KOR_FORWARD(ITestObjectInfo_get_PropExpr, name, flags, type, compareType, value);
    }
    STDMETHOD(put_PropExpr)(BSTR name, long* flags, long* type, long* compareType, VARIANT value) override {
        KOR_FORWARD(ITestObjectInfo_put_PropExpr, name, flags, type, compareType, value);
    }
    STDMETHOD(get_InternalPropExpr)(BSTR name, long* flags, long* type, long* compareType, VARIANT* value) override {
        KOR_FORWARD(ITestObjectInfo_get_InternalPropExpr, name, flags, type, compareType, value);
    }
    STDMETHOD(put_InternalPropExpr)(BSTR name, long* flags, long* type, long* compareType, VARIANT value) override {
        KOR_FORWARD(ITestObjectInfo_put_InternalPropExpr, name, flags, type, compareType, value);
    }
    STDMETHOD(Compare)(BSTR name, VARIANT value) override { KOR_FORWARD(ITestObjectInfo_Compare, name, value); }
    STDMETHOD(SnapShotHandlerCtl)(GUID* control) override { KOR_FORWARD(ITestObjectInfo_SnapShotHandlerCtl, control); }
    STDMETHOD(InternalCompare)(BSTR name, VARIANT value) override {
        KOR_FORWARD(ITestObjectInfo_InternalCompare, name, value);
    }
};

template <class T, class Itf = ITestObjectInfo2>
class ITestObjectInfo2Impl : public ITestObjectInfoImpl<T, Itf> {
public:
    STDMETHOD(SetPropData)(BSTR name, VARIANT data) override { KOR_FORWARD(ITestObjectInfo_SetPropData, name, data); }
    STDMETHOD(GetPropData)(BSTR name, VARIANT* data) override { KOR_FORWARD(ITestObjectInfo_GetPropData, name, data); }
    STDMETHOD(InternalSetPropData)(BSTR name, VARIANT data) override {
        KOR_FORWARD(ITestObjectInfo_InternalSetPropData, name, data);
    }
    STDMETHOD(InternalGetPropData)(BSTR name, VARIANT* data) override {
        KOR_FORWARD(ITestObjectInfo_InternalGetPropData, name, data);
    }
    STDMETHOD(get_Prop2)(BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                         VARIANT* value) override {
        KOR_FORWARD(ITestObjectInfo_get_Prop2, name, flags, type, compareType, data, value);
    }
    STDMETHOD(get_InternalProp2)(BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                                 VARIANT* value) override {
        KOR_FORWARD(ITestObjectInfo_get_InternalProp2, name, flags, type, compareType, data, value);
    }
    STDMETHOD(get_PropExpr2)(BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                             VARIANT* value) override {
        KOR_FORWARD(ITestObjectInfo_get_PropExpr2, name, flags, type, compareType, data, value);
    }
    STDMETHOD(put_PropExpr2)(BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                             VARIANT value) override {
        KOR_FORWARD(ITestObjectInfo_put_PropExpr2, name, flags, type, compareType, data, value);
    }
    STDMETHOD(get_InternalPropExpr2)(BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                                     VARIANT* value) override {
        KOR_FORWARD(ITestObjectInfo_get_InternalPropExpr2, name, flags, type, compareType, data, value);
    }
    STDMETHOD(put_InternalPropExpr2)(BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                                     VARIANT value) override {
        KOR_FORWARD(ITestObjectInfo_put_InternalPropExpr2, name, flags, type, compareType, data, value);
    }
};

template <class T>
class ITestObjectInfo3Impl : public ITestObjectInfo2Impl<T, ITestObjectInfo3> {
public:
    STDMETHOD(get_Version)(ULONG* version) override { KOR_FORWARD(ITestObjectInfo_get_Version, version); }
};
