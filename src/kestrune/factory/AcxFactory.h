#pragma once
// The package's test-object factory: decides which windows and screen points belong to ActiveX
// controls, windowed or windowless, picks the test-object class for a control (a custom class
// configured per control ProgID, else the ActiveX test object), finds the parent test object,
// and filters and re-targets the recorder's window messages.
#include <windows.h>
#include <oaidl.h>
#include <cstring>
#include <map>
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "factory/StdFactoryBase.h"
#include "host/ObjectRackClientImpl.h"
#include "host.h"
#include "kestrune.h"

class CAcxFactory : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                    public kcom::CComCoClass<CAcxFactory, &CLSID_AcxFactory>,
                    public CStdFactoryBase,
                    public IObjectRackClientImpl<CAcxFactory> {
public:
    CAcxFactory();
    HRESULT FinalConstruct();

    BEGIN_COM_MAP(CAcxFactory)
        STD_FACTORY_BASE_INTERFACES()
        COM_INTERFACE_ENTRY(IObjectRackClient)
    END_COM_MAP()

    // IObjectRackClient: the rack brings the skip lists.
    STDMETHOD(SetRack)(IObjectRack* rack) override;
    // ITestObjFactory
    STDMETHOD(CreateParentTestObj)(IDispatch* child, IDispatch** parent) override;
    STDMETHOD(CreateTestObjFromPoint)(long x, long y, IUnknown* reserved, IDispatch** object) override;
    // IPackageServices
    STDMETHOD(CreateTestObjFromRuntimeId)(IRuntimeID* id, IDispatch** object) override;
    STDMETHOD(CreateTestObjFromWindow)(HWND window, IDispatch** object) override;

    // Operations of the standard base.
    HRESULT HandleRecord(FORMATETC* format, STGMEDIUM* medium, ULONG* mdRet, CRuntimeId& out) override;
    bool FilterRecord(FORMATETC* format, STGMEDIUM* medium, ULONG* mdRet, CRuntimeId id) override;
    HRESULT GetClassDescriptor(IDispatch* object, KorClassDescriptor* descriptor) override;
    HRESULT GetClassIds(CRuntimeId& id, CLSID* primary, CLSID* fallback) override;
    HRESULT InitObject(CRuntimeId& id, IDispatch* object) override;
    HRESULT GetClassNameForId(CRuntimeId& id, BSTR* name) override;
    bool IsOwnClassName(BSTR name) override;
    void RegisterFormats() override;

    // The test-object class name of a test-object CLSID; S_FALSE and no name for another CLSID.
    static HRESULT ClassNameFromClsid(REFCLSID clsid, BSTR* name);
    // Whether the window's class is one of the standard window classes, compared exactly.
    static bool IsStandardWindow(HWND window);
    // The combo box inside an image combo.
    static bool IsComboInImageCombo(HWND window);

    UINT WindowlessFormat() const noexcept { return m_windowlessFormat; }
    // The custom class configured for a control CLSID, or GUID_NULL.
    CLSID CustomClassOf(REFCLSID control) const;

private:
    struct ClsidLess {
        bool operator()(const CLSID& a, const CLSID& b) const noexcept { return std::memcmp(&a, &b, sizeof a) < 0; }
    };

    void LoadCustomClasses();
    bool IsAcxWindow(HWND window);
    bool IsNestedAcx(HWND window);
    // A standard window class, or a class the settings map to a test-object class of their own.
    bool IsStandardOrMappedWindow(HWND window);
    bool IsVbLabelAtPoint(long x, long y);
    // Primary (a custom class) and fallback (the ActiveX test object) for a control ProgID.
    void ClassIdsForProgId(BSTR progId, CLSID* primary, CLSID* fallback) const;
    CRuntimeId WindowlessId(HWND container, LONG cookie) const;
    // The site's parent for the object; S_FALSE without a site.
    HRESULT ParentFromSite(IDispatch* object, kcom::CComPtr<IDispatch>& parent);
    // The site's parent for a windowless object, asked for a stand-in window of the control's size.
    HRESULT ParentThroughTemporaryWindow(IDispatch* object, HWND container, LONG cookie,
                                         kcom::CComPtr<IDispatch>& parent);
    // The first ActiveX window from start up to the top-level window that gives a test object.
    HRESULT ParentFromWindowChain(HWND start, IDispatch** parent);

    kcom::CComPtr<IAcxAgntUtil2> m_agent;
    UINT m_windowlessFormat = 0;
    std::map<CLSID, CLSID, ClsidLess> m_customClasses;
};
