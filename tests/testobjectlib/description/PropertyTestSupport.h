#pragma once
// A fake owner of property records, a registered relations collection, and a test-object
// information stub whose methods all answer E_NOTIMPL until a fake overrides them.
#include <windows.h>
#include <string>
#include "RegistryRestore.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "com/Handles.h"
#include "description/PropertyOwner.h"
#include "host.h"
#include "kestrune.h"
#include "values/StreamTestSupport.h"

class FakeOwner : public IPropertyOwner {
public:
    std::wstring className = L"ActiveX";
    std::wstring genType = L"Button";
    std::wstring logicalName = L"OK button";
    HRESULT failure = S_OK;

    HRESULT GetRack(IObjectRack** rack) override { *rack = nullptr; return S_OK; }
    IDispatch* GetOwnerDispatch() override { return nullptr; }
    HRESULT GetTestObjectClass(BSTR* name) override { return Answer(className, name); }
    HRESULT GetGenTypeName(BSTR* name) override { return Answer(genType, name); }
    HRESULT GetLogicalNameForReport(BSTR* name) override { return Answer(logicalName, name); }

private:
    HRESULT Answer(const std::wstring& text, BSTR* out) {
        if (FAILED(failure)) return failure;
        *out = ::SysAllocString(text.c_str());
        return S_OK;
    }
};

// {A8C3D2E1-5B47-4F0E-8E61-2D9C7B1A4F02}
inline constexpr CLSID CLSID_TestRelations = {0xa8c3d2e1, 0x5b47, 0x4f0e, {0x8e, 0x61, 0x2d, 0x9c, 0x7b, 0x1a, 0x4f, 0x02}};

// Relations reduced to a count; copies compare equal when their counts are.
class CTestRelations : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public ITORelationsCollection {
public:
    static inline LONG live = 0;
    long count = 0;
    CTestRelations() { ++live; }
    ~CTestRelations() override { --live; }
    BEGIN_COM_MAP(CTestRelations)
        COM_INTERFACE_ENTRY(ITORelationsCollection)
        COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()
    STDMETHOD(GetTypeInfoCount)(UINT* n) override { *n = 0; return S_OK; }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
    STDMETHOD(get_Count)(long* n) override { *n = count; return S_OK; }
    STDMETHOD(Clone)(ITORelationsCollection** copy) override;
    STDMETHOD(Compare)(ITORelationsCollection* other) override {
        long n = -1;
        other->get_Count(&n);
        return n == count ? S_OK : S_FALSE;
    }
};

inline kcom::CComPtr<ITORelationsCollection> NewRelations(long count) {
    kcom::CComPtr<ITORelationsCollection> r;
    kcom::CComCreator<CTestRelations>::CreateInstance(nullptr, __uuidof(ITORelationsCollection), reinterpret_cast<void**>(r.Put()));
    static_cast<CTestRelations*>(r.get())->count = count;
    return r;
}

inline HRESULT CTestRelations::Clone(ITORelationsCollection** copy) {
    *copy = NewRelations(count).Detach();
    return S_OK;
}

inline long RelationsCount(const VARIANT& v) {
    kcom::CComPtr<ITORelationsCollection> r;
    if (V_VT(&v) != VT_DISPATCH || !v.pdispVal ||
        FAILED(v.pdispVal->QueryInterface(__uuidof(ITORelationsCollection), reinterpret_cast<void**>(r.Put()))))
        return -1;
    long n = -1;
    r->get_Count(&n);
    return n;
}

class RelationsRegistration : public TestClassRegistration<CTestRelations> {
public:
    RelationsRegistration() : TestClassRegistration(CLSID_TestRelations) {
        kcom::CRegKey key;
        if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"ZQ.TORelationsCollection\\CLSID", 0, nullptr, 0,
                              KEY_WRITE, nullptr, key.Put(), nullptr) == ERROR_SUCCESS) {
            wchar_t text[64] = {};
            ::StringFromGUID2(CLSID_TestRelations, text, 64);
            ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
        }
    }

private:
    CRegistryRestore restore_{HKEY_CLASSES_ROOT, L"ZQ.TORelationsCollection\\CLSID"};
};

#define KTEST_NOTIMPL(sig) STDMETHOD(sig) override { return E_NOTIMPL; }

class CTestObjectInfoStub : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public ITestObjectInfo {
public:
    KTEST_NOTIMPL(GetProps(SAFEARRAY**, ULONG))
    KTEST_NOTIMPL(FillPropsValues(SAFEARRAY**))
    KTEST_NOTIMPL(FillPropsExpr(SAFEARRAY**))
    KTEST_NOTIMPL(FillRTAttribsValues(SAFEARRAY**))
    KTEST_NOTIMPL(GetRTAttribs(SAFEARRAY**, BSTR))
    KTEST_NOTIMPL(SetPropFlags(BSTR, ULONG))
    KTEST_NOTIMPL(GetPropFlags(BSTR, ULONG*))
    KTEST_NOTIMPL(SetPropCompareType(BSTR, ULONG))
    KTEST_NOTIMPL(GetPropCompareType(BSTR, ULONG*))
    KTEST_NOTIMPL(SetPropType(BSTR, unsigned short))
    KTEST_NOTIMPL(GetPropType(BSTR, unsigned short*))
    KTEST_NOTIMPL(InternalSetPropFlags(BSTR, ULONG))
    KTEST_NOTIMPL(InternalGetPropFlags(BSTR, ULONG*))
    KTEST_NOTIMPL(InternalSetPropCompareType(BSTR, ULONG))
    KTEST_NOTIMPL(InternalGetPropCompareType(BSTR, ULONG*))
    KTEST_NOTIMPL(InternalSetPropType(BSTR, unsigned short))
    KTEST_NOTIMPL(InternalGetPropType(BSTR, unsigned short*))
    KTEST_NOTIMPL(get_Prop(BSTR, LONG*, LONG*, LONG*, VARIANT*))
    KTEST_NOTIMPL(get_InternalProp(BSTR, LONG*, LONG*, LONG*, VARIANT*))
    KTEST_NOTIMPL(get_PropExpr(BSTR, LONG*, LONG*, LONG*, VARIANT*))
    KTEST_NOTIMPL(get_InternalPropExpr(BSTR, LONG*, LONG*, LONG*, VARIANT*))
    KTEST_NOTIMPL(put_PropExpr(BSTR, LONG*, LONG*, LONG*, VARIANT))
    KTEST_NOTIMPL(put_InternalPropExpr(BSTR, LONG*, LONG*, LONG*, VARIANT))
    KTEST_NOTIMPL(Compare(BSTR, VARIANT))
    KTEST_NOTIMPL(InternalCompare(BSTR, VARIANT))
    KTEST_NOTIMPL(SnapShotHandlerCtl(GUID*))
};
#undef KTEST_NOTIMPL
