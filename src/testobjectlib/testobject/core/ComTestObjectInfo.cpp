// Stubs, replaced below.
#include "testobject/core/ComTestObject.h"

HRESULT CComTestObject::ITestObjectInfo_GetProps(SAFEARRAY**, ULONG) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_FillPropsValues(SAFEARRAY**) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_FillPropsExpr(SAFEARRAY**) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_GetRTAttribs(SAFEARRAY**, BSTR) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_FillRTAttribsValues(SAFEARRAY**) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_InternalSetPropFlags(BSTR, ULONG) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_InternalGetPropFlags(BSTR, ULONG*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_InternalSetPropCompareType(BSTR, ULONG) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_InternalGetPropCompareType(BSTR, ULONG*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_InternalSetPropType(BSTR, USHORT) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_InternalGetPropType(BSTR, USHORT*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_SetPropFlags(BSTR, ULONG) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_GetPropFlags(BSTR, ULONG*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_SetPropCompareType(BSTR, ULONG) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_GetPropCompareType(BSTR, ULONG*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_SetPropType(BSTR, USHORT) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_GetPropType(BSTR, USHORT*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_get_Prop(BSTR, long*, long*, long*, VARIANT*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_get_InternalProp(BSTR, long*, long*, long*, VARIANT*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_get_PropExpr(BSTR, long*, long*, long*, VARIANT*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_put_PropExpr(BSTR, long*, long*, long*, VARIANT) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_get_InternalPropExpr(BSTR, long*, long*, long*, VARIANT*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_put_InternalPropExpr(BSTR, long*, long*, long*, VARIANT) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_Compare(BSTR, VARIANT) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_SnapShotHandlerCtl(GUID*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_InternalCompare(BSTR, VARIANT) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_SetPropData(BSTR, VARIANT) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_GetPropData(BSTR, VARIANT*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_InternalSetPropData(BSTR, VARIANT) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_InternalGetPropData(BSTR, VARIANT*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_get_Prop2(BSTR, long*, long*, long*, VARIANT*, VARIANT*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_get_InternalProp2(BSTR, long*, long*, long*, VARIANT*, VARIANT*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_get_PropExpr2(BSTR, long*, long*, long*, VARIANT*, VARIANT*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_put_PropExpr2(BSTR, long*, long*, long*, VARIANT*, VARIANT) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_get_InternalPropExpr2(BSTR, long*, long*, long*, VARIANT*, VARIANT*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_put_InternalPropExpr2(BSTR, long*, long*, long*, VARIANT*, VARIANT) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObjectInfo_get_Version(ULONG*) { return E_NOTIMPL; }
HRESULT CComTestObject::PutExprAdding(BSTR, long*, long*, long*, VARIANT*, VARIANT) { return E_NOTIMPL; }
HRESULT CComTestObject::FillValues(SAFEARRAY**, int, bool) { return E_NOTIMPL; }
