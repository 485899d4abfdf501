#pragma once
// The test object of one ActiveX control, windowed or windowless, in the application under test
// ("Quorvel.AcxObject"). A thin layer on the generic test object: it chooses the window-kind
// strategy, holds the inner standard window object that types, moves the mouse and clicks
// windowed controls, and asks the agent utility every fact about its control.
#include <windows.h>
#include <memory>
#include "activex/core/IKorAXUtilitiesImpl.h"
#include "activex/custom/CustomSupportBase.h"
#include "activex/dispatch/Disp2DualImpl.h"
#include "activex/dispatch/MultiDisp2DualImpl.h"
#include "activex/forwarding/IDragDropRecordImpl.h"
#include "activex/forwarding/IKorActiveXBaseReplayImpl.h"
#include "activex/forwarding/IProvideClassInfo2Impl.h"
#include "activex/forwarding/IStdCaptureTextReplayImpl.h"
#include "activex/forwarding/IStdKbdRecordImpl.h"
#include "activex/forwarding/IStdObjectReplayImpl.h"
#include "activex/forwarding/IStdReplayImpl.h"
#include "activex/helpers/Helper.h"
#include "com/ComObject.h"
#include "com/DispatchImpl.h"
#include "tables/KorSafeArray.h"
#include "tables/RuntimeId.h"
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

// "Windowless": persisted with the description so that a loaded description is windowless again.
inline constexpr DWORD kWindowlessFlags = 0x898;

class CKorActiveX : public CCustomSupportBase<CKorActiveX, CComTestObject>,
                    public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                    public kcom::CComCoClass<CKorActiveX, &CLSID_KorActiveX>,
                    public IProvideClassInfo2Impl<&CLSID_KorActiveX>,
                    public IPersistStreamInitKorImpl<CKorActiveX>,
                    public ITestObject7Impl<CKorActiveX>,
                    public ITestObjectInfo3Impl<CKorActiveX>,
                    public IUpdateTODescriptionImpl<CKorActiveX>,
                    public IReplaySkeletonImpl<CKorActiveX>,
                    public DispTestObjectImpl<CKorActiveX>,
                    public ICustomStep2Impl<CKorActiveX>,
                    public IKorDataTarget,
                    public ObjectRackClientContainer<CKorActiveX>,
                    public IObjectManagerClientImpl<CKorActiveX>,
                    public MultiDisp2DualImpl<CKorActiveX>,
                    public Disp2DualImpl<CKorActiveX>,
                    public ISnapshotHelperImpl<CKorActiveX>,
                    public IKorActiveXBaseReplayImpl<CKorActiveX>,
                    public IStdObjectReplayImpl<CKorActiveX>,
                    public IStdKbdRecordImpl<CKorActiveX>,
                    public IStdReplayImpl<CKorActiveX>,
                    public IStdCaptureTextReplayImpl<CKorActiveX>,
                    public IDragDropRecordImpl<CKorActiveX>,
                    public IKorActiveXInit,
                    public IKorAXUtilitiesImpl<CKorActiveX>,
                    public IReplayRecoverySupport,
                    public IMethodInfoHelper,
                    public IDynamicListOfValuesProvider,
                    public kcom::IDispatchImpl<IMakeObjVisible, &IID_IMakeObjVisible> {
public:
    CKorActiveX() noexcept = default;
    ~CKorActiveX() override;
    HRESULT FinalConstruct() noexcept;

    BEGIN_COM_MAP(CKorActiveX)
        COM_INTERFACE_ENTRY(IProvideClassInfo2)
        COM_INTERFACE_ENTRY_IID(IID_IProvideClassInfo, IProvideClassInfo2)
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
        COM_INTERFACE_ENTRY(IKorDataTarget)
        COM_INTERFACE_ENTRY(IObjectRackClient)
        COM_INTERFACE_ENTRY(IObjectManagerClient)
        COM_INTERFACE_ENTRY(DispTestObject)
        COM_INTERFACE_ENTRY_IID(IID_ICustomStep, ICustomStep2)
        COM_INTERFACE_ENTRY(ICustomStep2)
        COM_INTERFACE_ENTRY(ISnapshotHelper)
        COM_INTERFACE_ENTRY2(IDispatch, IMultiDispatch)
        COM_INTERFACE_ENTRY(IKorActiveXBaseReplay)
        COM_INTERFACE_ENTRY(IStdObjectReplay)
        COM_INTERFACE_ENTRY(IDragDropRecord)
        COM_INTERFACE_ENTRY(IKorActiveXInit)
        COM_INTERFACE_ENTRY(IMethodInfoHelper)
        COM_INTERFACE_ENTRY(IStdCaptureTextReplay)
        COM_INTERFACE_ENTRY(IKorAXUtilities)
        COM_INTERFACE_ENTRY(IKorUtilities)
        COM_INTERFACE_ENTRY(IMakeObjVisible)
        COM_INTERFACE_ENTRY(IDynamicListOfValuesProvider)
        COM_INTERFACE_ENTRY(IStdKbdRecord)
        COM_INTERFACE_ENTRY(IStdReplay)
        COM_INTERFACE_ENTRY(IReplayRecoverySupport)
    END_COM_MAP()

    // ---- IKorActiveXInit ------------------------------------------------------------------------
    STDMETHOD(Init)(UINT format) override;
    STDMETHOD(IsBackwardObject)() override { return S_FALSE; }
    STDMETHOD(GetQueryFormats)(SAFEARRAY** formats) override;
    STDMETHOD(IsWindowed)() override;
    STDMETHOD(ReleaseHelper)() override;

    // ---- IKorDataTarget -------------------------------------------------------------------------
    STDMETHOD(ReceiveData)(FORMATETC* format, STGMEDIUM* medium, ULONG* status) override;

    // ---- ISnapshotHelper: the inner object's, with the agent's cache on for the call ------------
    STDMETHOD(Snapshot)(BSTR folder, VARIANT* highlightId, long kind, BSTR* name, BYTE storeAsCurrent, long reserved,
                        IDispatch* object) override;

    // ---- ICustomStep, first two: a windowed control's are the inner object's -------------------
    HRESULT STDMETHODCALLTYPE GetCheckpointDialogClsid(BSTR type, CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE GetSupportedCheckpointTypes(BSTR type, BOOL* supported) override;

    // ---- IMethodInfoHelper ----------------------------------------------------------------------
    STDMETHOD(GetROTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHOD(GetRetValStepType)(BSTR, long, VARIANT*, long*) override { return E_NOTIMPL; }

    // ---- Actions whose behaviour comes with the replay dispatch --------------------------------
    STDMETHOD(do_Click)(int x, int y, BUTTON button) override;
    STDMETHOD(do_DblClick)(int x, int y, BUTTON button) override;
    STDMETHOD(do_Drag)(int x, int y, BUTTON button) override;
    STDMETHOD(do_Drop)(int x, int y, BUTTON button) override;
    STDMETHOD(do_GetVisibleText)(long left, long top, long right, long bottom, BSTR* text) override;
    STDMETHOD(DoClick)(int x, int y, BUTTON button) override;
    STDMETHOD(DoDblClick)(int x, int y, BUTTON button) override;
    STDMETHOD(MakeVisible)() override;
    STDMETHOD(ContainsText)(BSTR text, long regExp, long* result) override;
    STDMETHOD(GetButtonObjects)(SAFEARRAY** buttons) override;
    STDMETHOD(GetContainedText)(BSTR* text) override;
    STDMETHOD(HasDynamicList)(IUnknown* context, BSTR method, long index, BOOL* has) override;
    STDMETHOD(GetDynamicList)(IUnknown* context, BSTR method, long index, VARIANT* reserved,
                              SAFEARRAY** list) override;

    // ---- Generic test-object operations this class changes, in slot order ----------------------
    HRESULT STDMETHODCALLTYPE InternalQueryInterface(REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE ITestObject4_GetChildObjectsHierarchy(IDispatch* description,
                                                                    IDispatch** collection) override;
    HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
    HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty) override;
    HRESULT STDMETHODCALLTYPE ITestObjectInfo_GetRTAttribs(SAFEARRAY** names, BSTR type) override;
    HRESULT STDMETHODCALLTYPE ITestObjectInfo_FillRTAttribsValues(SAFEARRAY** table) override;
    HRESULT STDMETHODCALLTYPE GetFlagsChangeSummary() override;
    HRESULT STDMETHODCALLTYPE DispTestObject_QueryValue(BSTR Property, VARIANT* PropertyData, VARIANT* varRet) override;
    HRESULT STDMETHODCALLTYPE DispTestObject_Init() override;
    HRESULT STDMETHODCALLTYPE GetMethodInfoTable() override;
    // Serves IReplaySkeleton too: the found object goes to the delegate replay skeleton and to
    // TakeRuntimeId as the running method's flags say.
    HRESULT STDMETHODCALLTYPE SetRuntimeId(IUnknown* runtimeId) override;
    // Serves both the test object's hook and IObjectRackClient.
    STDMETHOD(GetRack)(IObjectRack** rack) override { return ObjectRackClientContainer::GetRack(rack); }
    UINT STDMETHODCALLTYPE GetClipboardFormat() override;
    HRESULT STDMETHODCALLTYPE GetTestObjectClass(BSTR* className) override;
    const ReplayEngineEntry* STDMETHODCALLTYPE GetReplayEngineTable() override;
    HRESULT STDMETHODCALLTYPE Desc2Handle(SAFEARRAY** candidates, QueryIdInfo* context) override;
    HRESULT STDMETHODCALLTYPE GetDefaultCollectionName(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE BeforeLoadOldVersion(DWORD version, IStream* stream, BOOL* continueLoad) override;
    HRESULT STDMETHODCALLTYPE Handle2DescForObject() override;
    SAFEARRAY* STDMETHODCALLTYPE GetQueryFilter() override;
    HRESULT STDMETHODCALLTYPE CreateCustomHelper() override;
    HRESULT STDMETHODCALLTYPE GetCustomProgIdKey(BSTR* key) override;

    // ---- Own operations -------------------------------------------------------------------------
    // The click core: -9999 stands for the centre of the control.
    virtual HRESULT Click(int x, int y, int button, int doubleClick);
    // The control's own IDispatch, found anew.
    HRESULT GetLpDispatch(IDispatch** control);
    // The control's property read by its strategy; E_FAIL without one.
    HRESULT GetControlProperty(BSTR name, VARIANT* value);
    HRESULT MakeControlVisible(bool report);
    HRESULT FireControlEvent(const VARIANT& eventName, SAFEARRAY* args);
    // Identifies the control when its window handle is not known yet; the find's result.
    HRESULT EnsureControlHandle();
    // Reads the control's window handle and cookie from a runtime identifier.
    HRESULT TakeRuntimeId(IUnknown* runtimeId);
    // The event names of the control, each in double quotes.
    HRESULT GetControlMemberNames(SAFEARRAY** names);
    // Moves a point relative to a windowless control into its container's client area.
    HRESULT AdjustToContainer(int* x, int* y);
    bool HasMethodsInfo() const noexcept { return m_methodInfoTable.psa != nullptr; }
    // A step the strategies record (kind 1, flags -1): registered with the agent's cache on.
    using CCustomSupportBase::RecordStep;
    HRESULT RecordStep(const wchar_t* method, SAFEARRAY* arguments, long kind, DWORD flags);
    // The custom record object's decision on a record of the control: S_FALSE leaves the record
    // to the strategy, anything else is the answer.
    HRESULT CustomRecordDecisionWnd(const void* record, FORMATETC* format, STGMEDIUM* medium, ULONG* status);
    HRESULT CustomRecordDecisionWls(const void* record, FORMATETC* format, STGMEDIUM* medium, ULONG* status);
    // Asks the host's record manager to make the control of a runtime identifier visible at a
    // point; the manager's answer.
    HRESULT MakeVisibleViaRecordMgr(const VARIANT& runtimeId, POINT point);

    IUnknown* InnerTestObject() const noexcept { return m_inner; }

protected:
    friend class Helper;
    friend class WndHelper;
    friend class WlsHelper;

    // Installs the strategy for a runtime-identifier format; 0 decides from the description.
    HRESULT CreateHelper(UINT format);
    bool IsWindowlessAcx();
    HRESULT AddWindowlessProperty(bool value);
    HRESULT FillMethodsInfo();
    // The control's property names as a table of (name, false) rows, less the ignored ones.
    HRESULT ReadControlAttributeNames(SAFEARRAY** names);
    bool IsSpying();
    // Appends the class's identification settings flagged 1 (while the host spies on objects).
    void AppendSpyingAttributes(CKorSafeArray& table);
    // Adds "Windowless" = true when the strategy says windowless.
    void KeepWindowlessMark();
    // The runtime identifier of the control (ITestObject_FindObjectId with the default context):
    // the find's result, 0x80040202 when it succeeds without an object.
    HRESULT FindRuntimeId(CRuntimeId& id);
    IAcxAgntUtil2* Agent() const noexcept { return m_agent; }
    HRESULT CustomRecordDecision(HWND window, WORD message, DWORD wParam, DWORD lParam, FORMATETC* format,
                                 STGMEDIUM* medium, ULONG* status);

    // ---- Members, in declaration order ----------------------------------------------------------
    kcom::CComPtr<IAcxAgntUtil2> m_agent;
    CKorPtrSafeArray m_queryFormats;  // VT_I4, one column
    HWND m_window = nullptr;          // the container's for a windowless control
    LONG m_cookie = 0;
    std::unique_ptr<Helper> m_helper;
    int m_wlsClickX = 0;
    int m_wlsClickY = 0;
    int m_clickPointX = -1;
    int m_clickPointY = -1;
    // The version of the last loaded description; the object's own version stays what it writes.
    DWORD m_loadedDescriptionVersion = kTestObjectVersion;
};
