#pragma once
// A COM class over the generic test object with every interface of the forwarding layer, for
// tests until the ActiveX test object exists. It supplies what a concrete test object must: the
// rack (kept by its rack-client interface), the runtime-id format and the class name.
#include <windows.h>
#include "com/ComObject.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/forwarding/DispTestObjectImpl.h"
#include "testobject/forwarding/ICustomStepImpl.h"
#include "testobject/forwarding/IObjectManagerClientImpl.h"
#include "testobject/forwarding/IPersistStreamInitKorImpl.h"
#include "testobject/forwarding/IReplaySkeletonImpl.h"
#include "testobject/forwarding/ISnapshotHelperImpl.h"
#include "testobject/forwarding/ITestObjectImpl.h"
#include "testobject/forwarding/ITestObjectInfoImpl.h"
#include "testobject/forwarding/IUpdateTODescriptionImpl.h"
#include "testobject/forwarding/ObjectRackClientContainer.h"

class CTestableObject : public CComTestObject,
                        public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                        public IPersistStreamInitKorImpl<CTestableObject>,
                        public ITestObject7Impl<CTestableObject>,
                        public ITestObjectInfo3Impl<CTestableObject>,
                        public IUpdateTODescriptionImpl<CTestableObject>,
                        public IReplaySkeletonImpl<CTestableObject>,
                        public DispTestObjectImpl<CTestableObject>,
                        public ICustomStep2Impl<CTestableObject>,
                        public ObjectRackClientContainer<CTestableObject>,
                        public IObjectManagerClientImpl<CTestableObject>,
                        public ISnapshotHelperImpl<CTestableObject> {
public:
    BEGIN_COM_MAP(CTestableObject)
        COM_INTERFACE_ENTRY(ITestObject)
        COM_INTERFACE_ENTRY(ITestObject2)
        COM_INTERFACE_ENTRY(ITestObject3)
        COM_INTERFACE_ENTRY(ITestObject4)
        COM_INTERFACE_ENTRY(ITestObject5)
        COM_INTERFACE_ENTRY(ITestObject6)
        COM_INTERFACE_ENTRY(ITestObject7)
        COM_INTERFACE_ENTRY(ITestObjectInfo)
        COM_INTERFACE_ENTRY(ITestObjectInfo2)
        COM_INTERFACE_ENTRY(ITestObjectInfo3)
        COM_INTERFACE_ENTRY(IUpdateTODescription)
        COM_INTERFACE_ENTRY(IReplaySkeleton)
        COM_INTERFACE_ENTRY(IPersistStreamInit)
        COM_INTERFACE_ENTRY(IObjectRackClient)
        COM_INTERFACE_ENTRY(IObjectManagerClient)
        COM_INTERFACE_ENTRY(DispTestObject)
        COM_INTERFACE_ENTRY(IDispatch)
        COM_INTERFACE_ENTRY_IID(__uuidof(ICustomStep), ICustomStep2)
        COM_INTERFACE_ENTRY(ICustomStep2)
        COM_INTERFACE_ENTRY(ISnapshotHelper)
    END_COM_MAP()

    // The creation answers what the built-in properties' construction left.
    HRESULT FinalConstruct() noexcept { return ConstructionResult(); }

    HRESULT STDMETHODCALLTYPE InternalQueryInterface(REFIID iid, void** out) override {
        return _InternalQueryInterface(iid, out);
    }
    // Serves both the test object's hook and IObjectRackClient.
    STDMETHOD(GetRack)(IObjectRack** rack) override { return ObjectRackClientContainer::GetRack(rack); }
    UINT STDMETHODCALLTYPE GetClipboardFormat() override {
        if (!m_runtimeIdFormat) m_runtimeIdFormat = ::RegisterClipboardFormatW(L"FormaShelHalonotRegilim");
        return m_runtimeIdFormat;
    }
    HRESULT STDMETHODCALLTYPE GetTestObjectClass(BSTR* className) override {
        if (!className) return E_POINTER;
        *className = ::SysAllocString(L"TestClass");
        return *className ? S_OK : E_OUTOFMEMORY;
    }
};
