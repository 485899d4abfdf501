#pragma once
// Calls that go to the outer object through the extended test-object interfaces.
#include <windows.h>
#include <oleauto.h>

namespace OuterCalls {

HRESULT BuildDescriptionForChildren(IUnknown* outer, SAFEARRAY** description, VARIANT filter) noexcept;
HRESULT GetUserMappedClass(IUnknown* outer, BSTR* className) noexcept;
HRESULT InvokeExtensibleMethod(IUnknown* outer, BSTR method, VARIANT* arguments, VARIANT* result) noexcept;
HRESULT GetCollectionName(IUnknown* outer, BSTR* name) noexcept;
HRESULT SetPropData(IUnknown* outer, BSTR name, VARIANT data) noexcept;
HRESULT GetPropData(IUnknown* outer, BSTR name, VARIANT* data) noexcept;
HRESULT GetProp2(IUnknown* outer, BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                 VARIANT* value) noexcept;
HRESULT GetPropExpr2(IUnknown* outer, BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                     VARIANT* value) noexcept;
HRESULT PutPropExpr2(IUnknown* outer, BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                     VARIANT value) noexcept;
HRESULT GetInternalProp2(IUnknown* inner, BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                         VARIANT* value) noexcept;
HRESULT GetInternalPropExpr2(IUnknown* inner, BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                             VARIANT* value) noexcept;
HRESULT PutInternalPropExpr2(IUnknown* inner, BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                             VARIANT value) noexcept;
HRESULT InternalSetPropData(IUnknown* inner, BSTR name, VARIANT data) noexcept;
HRESULT InternalGetPropData(IUnknown* inner, BSTR name, VARIANT* data) noexcept;

}  // namespace OuterCalls
