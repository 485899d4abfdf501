#pragma once
// A test object as a factory makes and wires it: properties read and written by name, the
// object-manager cookie, the rack, the record hand-over and the links of its chain. Every call
// it answers is recorded; what it does not answer is E_NOTIMPL.
#include <windows.h>
#include <oleauto.h>
#include <string>
#include <vector>
#include "../common/CallLog.h"
#include "HostStandIn.h"
#include "TestObjectInfoStub.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "host.h"
#include "kestrune.h"

namespace standin {

class CTestObjectStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                           public IDispatch,
                           public CTestObjectInfoStub,
                           public IObjectManagerClient,
                           public IObjectRackClient,
                           public IKorDataTarget,
                           public IKorObjectChain,
                           public IKorChildLink,
                           public IKorParentLink {
public:
    // What every new object starts with (objects that the factory creates by CLSID).
    struct Settings {
        std::vector<IID> refused;  // interfaces it does not answer
        HRESULT cookieResult = S_OK;
    };
    static Settings& Defaults();
    // The class creator, for a class registration; counts the objects made.
    static HRESULT Create(IUnknown* outer, REFIID iid, void** out);
    static LONG& CreatedCount();
    // The C++ side of an object made here.
    static CTestObjectStandIn* Of(IUnknown* object);

    CTestObjectStandIn();

    BEGIN_COM_MAP(CTestObjectStandIn)
        COM_INTERFACE_ENTRY(IDispatch)
        if (Refuses(iid)) return E_NOINTERFACE;
        COM_INTERFACE_ENTRY(ITestObjectInfo)
        COM_INTERFACE_ENTRY(IObjectManagerClient)
        COM_INTERFACE_ENTRY(IObjectRackClient)
        COM_INTERFACE_ENTRY(IKorDataTarget)
        COM_INTERFACE_ENTRY(IKorObjectChain)
        COM_INTERFACE_ENTRY(IKorChildLink)
        COM_INTERFACE_ENTRY(IKorParentLink)
    END_COM_MAP()

    // IDispatch: no members.
    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

    // ITestObjectInfo: the property getter and the expression setter work on one table.
    STDMETHOD(get_Prop)(BSTR name, long* flags, long* type, long* compareType, VARIANT* value) override;
    STDMETHOD(put_PropExpr)(BSTR name, long* flags, long* type, long* compareType, VARIANT value) override;

    // IObjectManagerClient: the cookie.
    STDMETHOD(get_Cookie)(ULONG* cookie) override;
    STDMETHOD(put_Cookie)(ULONG cookie) override;
    STDMETHOD(get_CollectionName)(BSTR*) override { return E_NOTIMPL; }
    STDMETHOD(put_CollectionName)(BSTR) override { return E_NOTIMPL; }
    STDMETHOD(get_FullPath)(BSTR*) override { return E_NOTIMPL; }
    STDMETHOD(put_FullPath)(BSTR) override { return E_NOTIMPL; }

    STDMETHOD(GetRack)(IObjectRack** rack) override;
    STDMETHOD(SetRack)(IObjectRack* rack) override;
    STDMETHOD(ReceiveData)(FORMATETC*, STGMEDIUM*, ULONG*) override;
    // The next object of the chain; E_FAIL without one.
    STDMETHOD(GetNext)(IUnknown** next) override;
    STDMETHOD(AddChild)(IDispatch* child) override;
    STDMETHOD(Reserved1)() override { return E_NOTIMPL; }
    STDMETHOD(SetParent)(IDispatch* parent) override;

    void Put(const wchar_t* name, const VARIANT& value) { props_.Put(name, value); }
    kcom::CComVariant Peek(const wchar_t* name) const;
    void SetNext(IUnknown* next) { next_ = next; }
    void Refuse(REFIID iid) { settings_.refused.push_back(iid); }
    void SetCookieResult(HRESULT hr) noexcept { settings_.cookieResult = hr; }
    void SetParentLinkResult(HRESULT hr) noexcept { parentLinkResult_ = hr; }
    void SetPutResult(HRESULT hr) noexcept { putResult_ = hr; }
    ULONG Cookie() const noexcept { return cookie_; }
    CallLog& Log() noexcept { return log_; }

private:
    bool Refuses(REFIID iid) const noexcept;

    Settings settings_;
    NamedValues props_;
    ULONG cookie_ = 0xFFFFFFFF;
    kcom::CComPtr<IObjectRack> rack_;
    kcom::CComPtr<IUnknown> next_;
    HRESULT parentLinkResult_ = S_OK;
    HRESULT putResult_ = S_OK;
    CallLog log_;
};

}  // namespace standin
