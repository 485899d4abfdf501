#include "testobject/core/OuterCalls.h"

// The extended interfaces are not declared yet: the calls answer E_NOINTERFACE until they are.
namespace OuterCalls {

HRESULT BuildDescriptionForChildren(IUnknown*, SAFEARRAY**, SAFEARRAY*) noexcept { return E_NOINTERFACE; }
HRESULT GetUserMappedClass(IUnknown*, BSTR*) noexcept { return E_NOINTERFACE; }
HRESULT InvokeExtensibleMethod(IUnknown*, BSTR, SAFEARRAY*, VARIANT*) noexcept { return E_NOINTERFACE; }
HRESULT GetCollectionName(IUnknown*, BSTR*) noexcept { return E_NOINTERFACE; }
HRESULT SetPropData(IUnknown*, BSTR, VARIANT) noexcept { return E_NOINTERFACE; }
HRESULT GetPropData(IUnknown*, BSTR, VARIANT*) noexcept { return E_NOINTERFACE; }
HRESULT GetProp2(IUnknown*, BSTR, long*, long*, long*, VARIANT*, VARIANT*) noexcept { return E_NOINTERFACE; }
HRESULT GetPropExpr2(IUnknown*, BSTR, long*, long*, long*, VARIANT*, VARIANT*) noexcept { return E_NOINTERFACE; }
HRESULT PutPropExpr2(IUnknown*, BSTR, long*, long*, long*, VARIANT*, VARIANT) noexcept { return E_NOINTERFACE; }
HRESULT GetInternalProp2(IUnknown*, BSTR, long*, long*, long*, VARIANT*, VARIANT*) noexcept { return E_NOINTERFACE; }
HRESULT GetInternalPropExpr2(IUnknown*, BSTR, long*, long*, long*, VARIANT*, VARIANT*) noexcept {
    return E_NOINTERFACE;
}
HRESULT PutInternalPropExpr2(IUnknown*, BSTR, long*, long*, long*, VARIANT*, VARIANT) noexcept {
    return E_NOINTERFACE;
}
HRESULT InternalSetPropData(IUnknown*, BSTR, VARIANT) noexcept { return E_NOINTERFACE; }
HRESULT InternalGetPropData(IUnknown*, BSTR, VARIANT*) noexcept { return E_NOINTERFACE; }

}  // namespace OuterCalls
