#pragma once
// IProvideClassInfo2 of a class of the package: its coclass description from the module's type
// library. The class has no outgoing interface.
#include <windows.h>
#include <ocidl.h>
#include "com/ComModule.h"

template <const CLSID* pclsid>
class IProvideClassInfo2Impl : public IProvideClassInfo2 {
public:
    STDMETHOD(GetClassInfo)(ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        return kcom::Module().GetTypeInfoOfGuid(*pclsid, info);
    }
    STDMETHOD(GetGUID)(DWORD kind, GUID* guid) override {
        if (!guid) return E_POINTER;
        *guid = GUID_NULL;
        return kind == GUIDKIND_DEFAULT_SOURCE_DISP_IID ? E_FAIL : E_INVALIDARG;
    }
};
