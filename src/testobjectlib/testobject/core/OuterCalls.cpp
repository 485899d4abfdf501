#include "testobject/core/OuterCalls.h"
#include "com/ComPtr.h"
#include "kestrune.h"

namespace {

// The object's interface I and the call on it; E_NOINTERFACE when the object lacks it.
template <class I, class Call>
HRESULT Through(IUnknown* object, Call&& call) noexcept {
    kcom::CComPtr<I> p;
    if (FAILED(kcom::QueryTo(object, p.Put())) || !p) return E_NOINTERFACE;
    return call(p.get());
}

}  // namespace

namespace OuterCalls {

HRESULT BuildDescriptionForChildren(IUnknown* outer, SAFEARRAY** description, VARIANT filter) noexcept {
    return Through<ITestObject5>(outer, [&](ITestObject5* o) { return o->BuildDescriptionForChildren(description, filter); });
}

HRESULT GetUserMappedClass(IUnknown* outer, BSTR* className) noexcept {
    return Through<ITestObject5>(outer, [&](ITestObject5* o) { return o->GetUserMappedClass(className); });
}

HRESULT InvokeExtensibleMethod(IUnknown* outer, BSTR method, VARIANT* arguments, VARIANT* result) noexcept {
    return Through<ITestObject6>(outer, [&](ITestObject6* o) { return o->InvokeExtensibleMethod(method, arguments, result); });
}

HRESULT GetCollectionName(IUnknown* outer, BSTR* name) noexcept {
    return Through<IObjectManagerClient>(outer, [&](IObjectManagerClient* o) { return o->get_CollectionName(name); });
}

HRESULT SetPropData(IUnknown* outer, BSTR name, VARIANT data) noexcept {
    return Through<ITestObjectInfo2>(outer, [&](ITestObjectInfo2* o) { return o->SetPropData(name, data); });
}

HRESULT GetPropData(IUnknown* outer, BSTR name, VARIANT* data) noexcept {
    return Through<ITestObjectInfo2>(outer, [&](ITestObjectInfo2* o) { return o->GetPropData(name, data); });
}

HRESULT GetProp2(IUnknown* outer, BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                 VARIANT* value) noexcept {
    return Through<ITestObjectInfo2>(
        outer, [&](ITestObjectInfo2* o) { return o->get_Prop2(name, flags, type, compareType, data, value); });
}

HRESULT GetPropExpr2(IUnknown* outer, BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                     VARIANT* value) noexcept {
    return Through<ITestObjectInfo2>(
        outer, [&](ITestObjectInfo2* o) { return o->get_PropExpr2(name, flags, type, compareType, data, value); });
}

HRESULT PutPropExpr2(IUnknown* outer, BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                     VARIANT value) noexcept {
    return Through<ITestObjectInfo2>(
        outer, [&](ITestObjectInfo2* o) { return o->put_PropExpr2(name, flags, type, compareType, data, value); });
}

HRESULT GetInternalProp2(IUnknown* inner, BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                         VARIANT* value) noexcept {
    return Through<ITestObjectInfo2>(
        inner, [&](ITestObjectInfo2* i) { return i->get_InternalProp2(name, flags, type, compareType, data, value); });
}

HRESULT GetInternalPropExpr2(IUnknown* inner, BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                             VARIANT* value) noexcept {
    return Through<ITestObjectInfo2>(inner, [&](ITestObjectInfo2* i) {
        return i->get_InternalPropExpr2(name, flags, type, compareType, data, value);
    });
}

HRESULT PutInternalPropExpr2(IUnknown* inner, BSTR name, long* flags, long* type, long* compareType, VARIANT* data,
                             VARIANT value) noexcept {
    return Through<ITestObjectInfo2>(inner, [&](ITestObjectInfo2* i) {
        return i->put_InternalPropExpr2(name, flags, type, compareType, data, value);
    });
}

HRESULT InternalSetPropData(IUnknown* inner, BSTR name, VARIANT data) noexcept {
    return Through<ITestObjectInfo2>(inner, [&](ITestObjectInfo2* i) { return i->InternalSetPropData(name, data); });
}

HRESULT InternalGetPropData(IUnknown* inner, BSTR name, VARIANT* data) noexcept {
    return Through<ITestObjectInfo2>(inner, [&](ITestObjectInfo2* i) { return i->InternalGetPropData(name, data); });
}

}  // namespace OuterCalls
