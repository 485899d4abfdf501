#pragma once
// The package manager: the first package object the host creates. It joins the rack, starts the
// agent utility, arranges the hook DLL's injection and the trapping mode, and registers the
// package's query engine, factory and service with the host.
#include <windows.h>
#include <string>
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "host/ObjectRackClientImpl.h"
#include "host.h"
#include "kestrune.h"

class CKestruneMgr : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                     public kcom::CComCoClass<CKestruneMgr, &CLSID_KestruneMgr>,
                     public IPackageMgr3,
                     public IObjectRackClientImpl<CKestruneMgr>,
                     public IAVTestClient {
public:
    CKestruneMgr() = default;
    ~CKestruneMgr() override;

    BEGIN_COM_MAP(CKestruneMgr)
        COM_INTERFACE_ENTRY(IPackageMgr3)
        COM_INTERFACE_ENTRY(IPackageMgr2)
        COM_INTERFACE_ENTRY(IPackageMgr)
        COM_INTERFACE_ENTRY(IObjectRackClient)
        COM_INTERFACE_ENTRY(IAVTestClient)
    END_COM_MAP()

    // IPackageMgr
    STDMETHOD(Init)() override;
    STDMETHOD(AddQuery)(IUnknown* engine) override;
    STDMETHOD(AddFactory)(IUnknown* recordMgr) override;
    STDMETHOD(GetValueByName)(BSTR Root, BSTR Attr, VARIANT* Val) override;
    STDMETHOD(SetValueByName)(BSTR Root, BSTR Attr, VARIANT* Val, long ChangeDefault) override;
    // IPackageMgr2
    STDMETHOD(SetPackageConfiguration)(VARIANT config) override;
    // IPackageMgr3
    STDMETHOD(AddServer)(IUnknown* recordMgr) override;
    // IObjectRackClient
    STDMETHOD(SetRack)(IObjectRack* rack) override;
    // IAVTestClient
    STDMETHOD(StartAVTest)() override { return S_OK; }
    STDMETHOD(EndAVTest)() override { return S_OK; }

    HRESULT EnsureFlowEventsObject(IObjectRack* rack);
    HRESULT LoadIniFileName();
    HRESULT WriteHookFlag(const wchar_t* key, bool on);
    HRESULT RegisterInjectorHooks(IKorSettings* settings);

private:
    // Product registry root known: the agent's root, the hook arrangement and the trapping mode.
    void ApplyProductSettings(IKorSettings* settings, const wchar_t* root);

    kcom::CComPtr<IAcxAgntUtil> m_agent;
    std::wstring m_iniFile;
    kcom::CComPtr<IUnknown> m_factoryRegistration;
    bool m_full = false;
    bool m_multimedia = false;
    bool m_acxHookWritten = false;
    bool m_realHookWritten = false;
};
