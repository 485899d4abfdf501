#include "testobject/core/ComTestObject.h"

HRESULT CComTestObject::DispTestObject_GetProperty(BSTR, long*, long*, BSTR*, VARIANT*) { return E_NOTIMPL; }
HRESULT CComTestObject::DispTestObject_QueryValue(BSTR, VARIANT*, VARIANT*) { return E_NOTIMPL; }
HRESULT CComTestObject::DispTestObject_Init() { return E_NOTIMPL; }
