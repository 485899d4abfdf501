#pragma once
// Identifier interfaces whose every method answers E_NOTIMPL: test objects override what they need.
#include <windows.h>
#include "kestrune.h"

template <class Itf>
class CRuntimeIdStubT : public Itf {
public:
    STDMETHOD(get_Package)(UINT*) override { return E_NOTIMPL; }
    STDMETHOD(put_Package)(UINT) override { return E_NOTIMPL; }
    STDMETHOD(get_Size)(UINT*) override { return E_NOTIMPL; }
    STDMETHOD(get_BSTRValue)(BSTR, BSTR*) override { return E_NOTIMPL; }
    STDMETHOD(put_BSTRValue)(BSTR, BSTR) override { return E_NOTIMPL; }
    STDMETHOD(get_VARIANTValue)(BSTR, VARIANT*) override { return E_NOTIMPL; }
    STDMETHOD(put_VARIANTValue)(BSTR, VARIANT) override { return E_NOTIMPL; }
    STDMETHOD(get_lValue)(BSTR, long*) override { return E_NOTIMPL; }
    STDMETHOD(put_lValue)(BSTR, long) override { return E_NOTIMPL; }
    STDMETHOD(IsEmpty)() override { return E_NOTIMPL; }
    STDMETHOD(IsEqual)(IRuntimeID*) override { return E_NOTIMPL; }
    STDMETHOD(Clone)(IRuntimeID**) override { return E_NOTIMPL; }
};

using CRuntimeIdStub = CRuntimeIdStubT<IRuntimeID>;

class CRuntimeId2Stub : public CRuntimeIdStubT<IRuntimeID2> {
public:
    STDMETHOD(GetPackageId)(UINT, IRuntimeID**) override { return E_NOTIMPL; }
    STDMETHOD(AddPackageId)(IRuntimeID*) override { return E_NOTIMPL; }
    STDMETHOD(RemovePackageId)(UINT) override { return E_NOTIMPL; }
    STDMETHOD(NextPackageId)(IRuntimeID**, boolean) override { return E_NOTIMPL; }
    STDMETHOD(Duplicate)(IRuntimeID2**) override { return E_NOTIMPL; }
};
