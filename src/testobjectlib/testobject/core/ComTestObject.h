#pragma once
// The generic test object. Every COM method of a concrete test object forwards to exactly one of
// the virtual operations below, which stand in a fixed slot order; a concrete test object
// overrides only the operations it changes. The operations use the COM calling convention, so an
// override can serve an interface method of the same name and signature as well.
#include <windows.h>
#include <objidl.h>
#include <oleauto.h>
#include <map>
#include <string>
#include <vector>
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "description/PropertiesCollection.h"
#include "description/PropertyOwner.h"
#include "host.h"
#include "kestrune.h"
#include "tables/KorSafeArray.h"
#include "testobject/reporting/ReportEventInfo.h"

class CReplaySkeletonContext;
struct IReplaySkeleton;
class ITOPropertiesSnapshot;
class ITOAttributesChangeSummary;

// One row of a class's run-time attribute table; the table ends with an entry whose name is
// null or empty.
struct RuntimeAttributeEntry {
    const wchar_t* name;
    DWORD flag;  // low byte used
    DWORD extra;
    const wchar_t* type;
};

// One row of a class's replay-engine table: rack name, ProgID and interface of a host engine;
// the table ends with an entry whose name is null.
struct ReplayEngineEntry {
    const wchar_t* name;
    const wchar_t* progId;
    const IID* iid;
};

// The operation a replay step runs: the target and the argument list of IDispatch::Invoke.
using ReplayOperation = HRESULT (*)(void* target, DISPID dispid, REFIID iid, LCID lcid, WORD flags,
                                    DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

inline constexpr DWORD kTestObjectVersion = 60;

class CComTestObject {
public:
    // Never raises: a failure while the built-in properties are made is kept for
    // ConstructionResult, which the concrete class's creation answers.
    CComTestObject();
    CComTestObject(const CComTestObject&) = delete;
    CComTestObject& operator=(const CComTestObject&) = delete;

    // ---- Virtual operations, in slot order --------------------------------------------------
    virtual ~CComTestObject();
    virtual HRESULT STDMETHODCALLTYPE InternalQueryInterface(REFIID iid, void** out);

    // ITestObject
    virtual HRESULT STDMETHODCALLTYPE ITestObject_IsEqual(ITestObject* other);
    virtual HRESULT STDMETHODCALLTYPE ITestObject_Hash(TestObjectHash* hash);
    virtual HRESULT STDMETHODCALLTYPE ITestObject_BuildDescription();
    virtual HRESULT STDMETHODCALLTYPE ITestObject_FindObjectId(IUnknown** object, QueryIdInfo* context);
    virtual HRESULT STDMETHODCALLTYPE ITestObject_SetOuterObject(IUnknown* outer);
    virtual HRESULT STDMETHODCALLTYPE ITestObject_GetOuterObject(IUnknown** outer);
    virtual HRESULT STDMETHODCALLTYPE ITestObject_SetLogicalName(BSTR name);
    virtual HRESULT STDMETHODCALLTYPE ITestObject_GetLogicalName(BSTR* name);
    virtual HRESULT STDMETHODCALLTYPE ITestObject_GetTagName(BSTR* name);
    virtual HRESULT STDMETHODCALLTYPE ITestObject_SetRecordMgr(IKorDataTarget* recordMgr);
    virtual HRESULT STDMETHODCALLTYPE ITestObject_GetInternalTagName(BSTR* name);
    virtual HRESULT STDMETHODCALLTYPE RefreshObject();
    // ITestObject2
    virtual HRESULT STDMETHODCALLTYPE ITestObject2_FindAllIds(SAFEARRAY** ids, QueryIdInfo* context, ULONG reserved);
    // ITestObject3
    virtual HRESULT STDMETHODCALLTYPE ITestObject3_get_Algorithm(BSTR* algorithm);
    virtual HRESULT STDMETHODCALLTYPE ITestObject3_get_UseAlgorithm(ULONG* use);
    virtual HRESULT STDMETHODCALLTYPE ITestObject3_put_UseAlgorithm(ULONG use);
    // ITestObject4
    virtual HRESULT STDMETHODCALLTYPE ITestObject4_IsMatch(ITestObject* other, VARIANT_BOOL* result);
    virtual HRESULT STDMETHODCALLTYPE ITestObject4_GetPoolProps(SAFEARRAY** list, long mode);
    virtual HRESULT STDMETHODCALLTYPE ITestObject4_GetChildObjectsHierarchy(IDispatch* description,
                                                                            IDispatch** collection);
    // ITestObject5
    virtual HRESULT STDMETHODCALLTYPE ITestObject5_CompareTo(ITestObject* other, ULONG* relation);
    virtual HRESULT STDMETHODCALLTYPE ITestObject5_get__Algorithm(BSTR* algorithm);
    virtual HRESULT STDMETHODCALLTYPE ITestObject5_put__Algorithm(BSTR algorithm);
    virtual HRESULT STDMETHODCALLTYPE ITestObject5_GetLogicalNameForReport(BSTR* name);
    virtual HRESULT STDMETHODCALLTYPE ITestObject5_BuildDescriptionForChildren(SAFEARRAY** description,
                                                                               VARIANT filter);
    virtual HRESULT STDMETHODCALLTYPE ITestObject5_PutDescription(SAFEARRAY* rows);
    virtual HRESULT STDMETHODCALLTYPE ITestObject5_GetUserMappedClass(BSTR* className);
    // ITestObject6
    virtual HRESULT STDMETHODCALLTYPE ITestObject6_InvokeExtensibleMethod(BSTR method, VARIANT* arguments,
                                                                         VARIANT* result);
    // ITestObject7
    virtual HRESULT STDMETHODCALLTYPE ITestObject7_FindMatchingIds(long mode, SAFEARRAY** ids);
    virtual HRESULT STDMETHODCALLTYPE ITestObject7_HasDescription(IUnknown* reserved, VARIANT_BOOL* result);

    // IPersistStreamInit
    virtual HRESULT STDMETHODCALLTYPE IsDirty();
    virtual HRESULT STDMETHODCALLTYPE Load(IStream* stream);
    virtual HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty);

    // ITestObjectInfo (37 operations). Plain forms go to the outer object first; Internal forms
    // work on the own collection and fall back to the inner object.
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_GetProps(SAFEARRAY** names, ULONG flags);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_FillPropsValues(SAFEARRAY** table);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_FillPropsExpr(SAFEARRAY** table);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_GetRTAttribs(SAFEARRAY** names, BSTR type);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_FillRTAttribsValues(SAFEARRAY** table);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_InternalSetPropFlags(BSTR name, ULONG flags);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_InternalGetPropFlags(BSTR name, ULONG* flags);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_InternalSetPropCompareType(BSTR name, ULONG compareType);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_InternalGetPropCompareType(BSTR name, ULONG* compareType);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_InternalSetPropType(BSTR name, USHORT type);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_InternalGetPropType(BSTR name, USHORT* type);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_SetPropFlags(BSTR name, ULONG flags);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_GetPropFlags(BSTR name, ULONG* flags);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_SetPropCompareType(BSTR name, ULONG compareType);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_GetPropCompareType(BSTR name, ULONG* compareType);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_SetPropType(BSTR name, USHORT type);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_GetPropType(BSTR name, USHORT* type);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_get_Prop(BSTR name, long* flags, long* type, long* compareType,
                                                              VARIANT* value);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_get_InternalProp(BSTR name, long* flags, long* type,
                                                                      long* compareType, VARIANT* value);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_get_PropExpr(BSTR name, long* flags, long* type,
                                                                  long* compareType, VARIANT* value);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_put_PropExpr(BSTR name, long* flags, long* type,
                                                                  long* compareType, VARIANT value);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_get_InternalPropExpr(BSTR name, long* flags, long* type,
                                                                          long* compareType, VARIANT* value);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_put_InternalPropExpr(BSTR name, long* flags, long* type,
                                                                          long* compareType, VARIANT value);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_Compare(BSTR name, VARIANT value);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_SnapShotHandlerCtl(GUID* control);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_InternalCompare(BSTR name, VARIANT value);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_SetPropData(BSTR name, VARIANT data);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_GetPropData(BSTR name, VARIANT* data);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_InternalSetPropData(BSTR name, VARIANT data);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_InternalGetPropData(BSTR name, VARIANT* data);
    // The second forms carry the property data as one more in/out VARIANT before the value.
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_get_Prop2(BSTR name, long* flags, long* type, long* compareType,
                                                               VARIANT* data, VARIANT* value);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_get_InternalProp2(BSTR name, long* flags, long* type,
                                                                       long* compareType, VARIANT* data,
                                                                       VARIANT* value);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_get_PropExpr2(BSTR name, long* flags, long* type,
                                                                   long* compareType, VARIANT* data, VARIANT* value);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_put_PropExpr2(BSTR name, long* flags, long* type,
                                                                   long* compareType, VARIANT* data, VARIANT value);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_get_InternalPropExpr2(BSTR name, long* flags, long* type,
                                                                           long* compareType, VARIANT* data,
                                                                           VARIANT* value);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_put_InternalPropExpr2(BSTR name, long* flags, long* type,
                                                                           long* compareType, VARIANT* data,
                                                                           VARIANT value);
    virtual HRESULT STDMETHODCALLTYPE ITestObjectInfo_get_Version(ULONG* version);

    // Snapshots and checkpoints
    virtual HRESULT STDMETHODCALLTYPE GetSavedSnapshot(BSTR snapshotDir, VARIANT* highlightId, long kind,
                                                       BSTR* snapshot, BYTE storeAsCurrent, long passed2,
                                                       IDispatch* object);
    virtual HRESULT STDMETHODCALLTYPE GetCheckpointDialogClsid(BSTR type, CLSID* clsid);
    virtual HRESULT STDMETHODCALLTYPE GetSupportedCheckpointTypes(BSTR type, BOOL* supported);
    // ICustomStep
    virtual HRESULT STDMETHODCALLTYPE GetCustomStepClsid(BSTR type, GUID* clsid);
    virtual HRESULT STDMETHODCALLTYPE GetCustomStepClsid2(BSTR type, GUID* clsid);
    virtual HRESULT STDMETHODCALLTYPE GetCheckpointStepTypes(BSTR type, BOOL* supported);
    virtual HRESULT STDMETHODCALLTYPE GetCheckpointTimeout(BSTR type, DWORD* timeout);
    virtual HRESULT STDMETHODCALLTYPE GetCustomStepFlags(BSTR type, DWORD* flags);
    virtual HRESULT STDMETHODCALLTYPE EditCustomStep(BSTR type, IDispatch* step, VARIANT* data);
    // IUpdateTODescription
    virtual HRESULT STDMETHODCALLTYPE GetFlagsChangeSummary();
    virtual HRESULT STDMETHODCALLTYPE get_UpdateDescriptionFlag(short* flag);
    virtual HRESULT STDMETHODCALLTYPE put_UpdateDescriptionFlag(short flag);

    // DispTestObject (17 operations)
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_GetProperty(BSTR Property, long* pFlags, long* pType,
                                                                 BSTR* pParameterName, VARIANT* pVal);
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_SetProperty(BSTR Property, VARIANT Value, long* pFlags,
                                                                 long* pType, BSTR* pParameterName);
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_QueryValue(BSTR Property, VARIANT* PropertyData, VARIANT* varRet);
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_Check(VARIANT* Verify, VARIANT_BOOL* pVal);
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_Output(VARIANT* Verify);
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_Highlight(long Type, VARIANT Text);
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_Init();
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_Exist(long TimeOut, VARIANT_BOOL* pVal);
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_GetTOProperty(BSTR Property, VARIANT* pVal);
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_SetTOProperty(BSTR Property, VARIANT Value);
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_GetROProperty(BSTR Property, VARIANT* PropertyData,
                                                                   VARIANT* varRet);
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_GetTOProperties(IDispatch** Collection);
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_ChildObjects(IDispatch* Description, IDispatch** ppChilds);
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_CaptureBitmap(BSTR FullFileName, VARIANT_BOOL OverrideExisting);
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_WaitProperty(BSTR PropertyName, VARIANT PropertyValue,
                                                                  long TimeOut, VARIANT_BOOL* varRet);
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_CheckProperty(BSTR PropertyName, VARIANT PropertyValue,
                                                                   long TimeOut, VARIANT_BOOL* varRet);
    virtual HRESULT STDMETHODCALLTYPE DispTestObject_ToString(BSTR* varRet);

    // Replay steps (all but the last two are IReplaySkeleton's)
    virtual HRESULT STDMETHODCALLTYPE BeginReplayStep(VARIANT context);
    virtual HRESULT STDMETHODCALLTYPE EndReplayStep();
    virtual HRESULT STDMETHODCALLTYPE GetInnerReplaySkeleton(IReplaySkeleton** skeleton);
    virtual HRESULT STDMETHODCALLTYPE BeforeReplayAttempts();
    virtual HRESULT STDMETHODCALLTYPE GetStepTimes(DWORD* timeout, DWORD* delay);
    virtual HRESULT STDMETHODCALLTYPE GetMethodInfoTable();
    virtual HRESULT STDMETHODCALLTYPE GetReplayMethodFlags(DWORD* flags);
    virtual HRESULT STDMETHODCALLTYPE BeginReplayAttempt(QueryIdInfo* context);
    virtual HRESULT STDMETHODCALLTYPE ReplayFindObject(QueryIdInfo* context, IUnknown** object);
    virtual HRESULT STDMETHODCALLTYPE SetRuntimeId(IUnknown* runtimeId);
    virtual HRESULT STDMETHODCALLTYPE AfterObjectFound();
    virtual HRESULT STDMETHODCALLTYPE BeforeActionSecond();
    virtual HRESULT STDMETHODCALLTYPE BeforeActionFirst();
    virtual HRESULT STDMETHODCALLTYPE WaitVisible();
    virtual HRESULT STDMETHODCALLTYPE WaitEnabled();
    virtual HRESULT STDMETHODCALLTYPE AfterReplayAction();
    virtual HRESULT STDMETHODCALLTYPE ReportReplayArguments();
    virtual HRESULT STDMETHODCALLTYPE ReplayWithRetry(DISPID dispid, REFIID iid, LCID lcid, WORD flags,
                                                      DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                                                      UINT* argErr, void* target, ReplayOperation operation);
    virtual HRESULT STDMETHODCALLTYPE CompleteMethodInfoTable();

    // Hooks
    // The host rack, add-ref'd; the base has none (null, S_OK).
    virtual HRESULT STDMETHODCALLTYPE GetRack(IObjectRack** rack);
    virtual UINT STDMETHODCALLTYPE GetClipboardFormat() = 0;
    // The inner object, add-ref'd.
    virtual HRESULT STDMETHODCALLTYPE GetReplaySkeleton(IUnknown** skeleton);
    virtual HRESULT STDMETHODCALLTYPE GetTestObjectClass(BSTR* className);
    virtual HRESULT STDMETHODCALLTYPE GetClassOptions(IKorSettings** node);
    // IObjectManagerClient
    virtual HRESULT STDMETHODCALLTYPE get_CollectionName(BSTR* name);
    virtual HRESULT STDMETHODCALLTYPE put_CollectionName(BSTR name);
    virtual HRESULT STDMETHODCALLTYPE GetGenTypeName(BSTR* name);
    virtual const RuntimeAttributeEntry* STDMETHODCALLTYPE GetRuntimeAttributeTable();
    virtual const ReplayEngineEntry* STDMETHODCALLTYPE GetReplayEngineTable();
    virtual HRESULT STDMETHODCALLTYPE GetClassGuid(GUID* id);
    virtual bool STDMETHODCALLTYPE GetKorClass(BSTR* text);
    virtual HRESULT STDMETHODCALLTYPE FillDescription(SAFEARRAY** rows, DWORD mask);
    virtual HRESULT STDMETHODCALLTYPE CompareDescriptionValue(const VARIANT& a, const VARIANT& b, long flagsA,
                                                              long flagsB, long compareTypeA, long compareTypeB,
                                                              long typeA, long typeB, ULONG* side,
                                                              VARIANT_BOOL* result);
    virtual HRESULT STDMETHODCALLTYPE GetUserMappedClassInternal(BSTR* className);
    virtual HRESULT STDMETHODCALLTYPE Handle2Desc();
    virtual HRESULT STDMETHODCALLTYPE Desc2Handle(SAFEARRAY** candidates, QueryIdInfo* context);
    virtual HRESULT STDMETHODCALLTYPE GetDefaultCollectionName(BSTR* name);
    virtual HRESULT STDMETHODCALLTYPE CreateSnapshotInternal(BSTR snapshotDir, VARIANT* highlightId, long kind,
                                                             BSTR* snapshot, BYTE storeAsCurrent, long passed2,
                                                             IDispatch* object);
    virtual HRESULT STDMETHODCALLTYPE OnRefresh();
    virtual HRESULT STDMETHODCALLTYPE GetErrorHelpPage(HRESULT hr, BSTR* description, BSTR* helpPage,
                                                       DWORD* helpContext);
    // Called around the load of a description older than the object's version; a failure or a
    // cleared continue flag ends the load with that result.
    virtual HRESULT STDMETHODCALLTYPE BeforeLoadOldVersion(DWORD version, IStream* stream, BOOL* continueLoad);
    virtual HRESULT STDMETHODCALLTYPE AfterLoadOldVersion(DWORD version, IStream* stream, BOOL* continueLoad);
    virtual HRESULT STDMETHODCALLTYPE GetObjectRect(RECT* rect);
    virtual HRESULT STDMETHODCALLTYPE PrepareScriptInfoHook();
    virtual HRESULT STDMETHODCALLTYPE PrepareScriptInfo();
    virtual HRESULT STDMETHODCALLTYPE Handle2DescForObject();
    virtual HRESULT STDMETHODCALLTYPE ReportReplayStep(BSTR a, BSTR b, BSTR c, BSTR d, bool passed);
    virtual HRESULT STDMETHODCALLTYPE ReportReplayResult(long count);
    virtual HRESULT STDMETHODCALLTYPE WaitFindDelay(QueryIdInfo* context);
    // The query formats passed with every query; not owned by the caller. The base has none.
    virtual SAFEARRAY* STDMETHODCALLTYPE GetQueryFilter();
    virtual bool STDMETHODCALLTYPE CompareForWait(const VARIANT& actual, const VARIANT& expected,
                                                  BSTR* expectedText);
    // ---- End of the slot list -----------------------------------------------------------------

    HRESULT ConstructionResult() const noexcept { return m_constructionResult; }

    // Recorded steps.
    HRESULT RegisterObject(const wchar_t* method, SAFEARRAY* arguments, long kind, DWORD flags);
    bool IsRecordingBlocked();
    // Appends the script path of object (outermost ancestor first) to path.
    static bool CollectParentChain(IDispatch* object, BSTR* path, bool notLast);

    // Run-state values and options of the host's "TestOptions".
    HRESULT GetRunStateFlag(const wchar_t* name, VARIANT* value);
    HRESULT GetTestOption(const wchar_t* section, const wchar_t* name, VARIANT* value);
    HRESULT SetRunStateValue(const wchar_t* name, const VARIANT& value);
    // 1, 0, or 0xFFFFFFFF when the value cannot be told (then nothing is cached).
    DWORD IsVUserMode();
    DWORD IsAutMode();
    bool IsOnMonitor();
    bool IsReplayAlgorithmDisabled();
    HRESULT GetDefaultTimeout(long* timeout);
    static HRESULT GetUpdateModeFlags(IObjectRack* rack, long* flags, bool persist);
    bool IsOnReplay();
    bool IsOnPause();
    bool IsOnAbort();
    bool IsReplayInterrupted();
    bool IsOnRecord();

    // Values of a run-time object (the own "objectid" when null) from the host's query engine.
    HRESULT QueryRuntimeValues(IUnknown* runtimeObject, SAFEARRAY* table);
    HRESULT QueryObjValue(VARIANT* value, IUnknown* runtimeObject, BSTR name);
    HRESULT QueryObjValue2(VARIANT* value, IUnknown* runtimeObject, BSTR name, const VARIANT* propData);

    // Helpers and host services.
    HRESULT CreateHelperByProgID(const wchar_t* progId);
    HRESULT GetReplayEngine(const wchar_t* name, IUnknown** engine);
    HRESULT GetExceptionMgr(IKorExceptionMgr** manager);
    // The rack's own answer, null included.
    HRESULT GetObjectManager(IUnknown** manager);
    HRESULT GetActiveFlow(IUnknown** flow);
    HRESULT GetActiveMaintenanceHistory(IKorMaintenanceHistory** history);
    static bool IsInLearn();

    // The property whose run-time value names the tag: the override, else the class option
    // "tag query name". S_FALSE with a null name when neither gives one.
    HRESULT GetTagQueryPropertyName(BSTR* name);
    // Walks up "parent" while the parent is not identified: the last such ancestor, or null when
    // the direct parent is identified or there is none.
    HRESULT FindUnidentifiedAncestor(IDispatch** ancestor);
    // The object's own IDispatch (add-ref'd), through the concrete class's interfaces.
    HRESULT GetOwnDispatch(IDispatch** dispatch);

    // Draws the frame of a highlighted object on the screen (0), flashes it (1) or erases it (2).
    static HRESULT HighlightRect(const RECT* rect, long mode) noexcept;

    // Small helpers of identification.
    static ULONG RowCount(const CKorSafeArray& table) noexcept;
    static bool BstrEqual(BSTR a, BSTR b) noexcept;
    static void ClearValueColumn(CKorSafeArray& table) noexcept;

    // Identification settings and algorithms. The default compare type is read once per process.
    long GetDefaultPropertyCompareType();
    static void ForgetDefaultPropertyCompareType() noexcept;  // for tests
    HRESULT ApplyDescriptionSettings(BSTR name, IUnknown* patternManager, const long* context, long* type,
                                     long* compareType, VARIANT* value);
    // S_OK with the algorithm children's names and the "Algorithm" node; S_FALSE when none applies.
    HRESULT GetAlgorithmList(std::vector<std::wstring>& names, kcom::CComPtr<IKorSettings>& algorithmNode);
    HRESULT GetConfiguredAlgorithmProgId(BSTR* progId);
    HRESULT RunIdentificationAlgorithm(SAFEARRAY* candidatesIn, CKorSafeArray* candidatesOut, BOOL lastAttempt);
    HRESULT CreateAlgorithmFromNode(IKorSettings* node, IIdentificationAlgorithm** out, BSTR* progId);
    HRESULT DescribeWithAlgorithms(IUnknown* runtimeId, SAFEARRAY* candidates, SAFEARRAY** narrowed,
                                   BOOL keepExpressions);

    // Reporting. The bits of the report filter: 4 replay reports, 16 direct events and replay logs.
    bool ShouldReport(DWORD bits, long status);
    HRESULT SendReportEvent(CReportEventInfo& event, bool addCommonItems);
    HRESULT ReportEvent(CReportEventInfo& event);
    HRESULT ReplayReport(const wchar_t* method, long status, SAFEARRAY* arguments, DWORD* eventId,
                         const wchar_t* reserved, const wchar_t* htmlNodeName);
    // The texts by string id; a second module of 0 means the first, an HTML id of -1 none.
    HRESULT ReplayReport(UINT methodId, HMODULE module, long status, SAFEARRAY* arguments, DWORD* eventId,
                         const wchar_t* reserved, UINT htmlNodeNameId, HMODULE htmlModule);
    HRESULT ReportDirectEvent(const wchar_t* text, long status, SAFEARRAY* arguments, const wchar_t* htmlNodeName);
    HRESULT ReportMethodEvent(UINT textId, HMODULE module, long status, SAFEARRAY* arguments, UINT htmlNodeNameId,
                              HMODULE htmlModule);
    HRESULT ReportReplayLog(HRESULT hr);
    HRESULT StartDirectMode(long arg1, long arg2, bool report);
    HRESULT EndDirectMode(bool report);
    HRESULT ReportObjectDescription(DWORD eventId, long status, HRESULT hr);
    HRESULT BuildDescriptionText(ITestObjectInfo* info, BSTR* plain, BSTR* html, DWORD flags);
    HRESULT FormatDescriptionReport(BSTR* plain, BSTR* html, ITOPropertiesSnapshot* snapshot,
                                    ITOAttributesChangeSummary* changes);

    // ---- Replay steps, identification and descriptions built from the run-time object ------------
    // The find context of the running step: its step times, each unset one from the options.
    HRESULT GetReplayFindContext(QueryIdInfo* context);
    // Reports the error of hr, sets its error information and raises it as a heap CKorException.
    [[noreturn]] void RaiseReplayError(HRESULT hr, long status);
    // Polls the run-time value of name until it compares equal with expected: at least once, then
    // while a replay runs unpaused and the time-out lasts. *matched tells whether it did.
    HRESULT WaitForPropertyValue(BSTR name, const VARIANT& expected, long timeoutMs, VARIANT_BOOL* matched,
                                 BSTR* expectedText, VARIANT* lastValue);
    // Describes the run-time object anew; a re-description of names keeps what still holds.
    HRESULT Internal_Handle2Desc(bool redescribe, SAFEARRAY* names);
    // One property of a re-description: the stored pattern or parameter text when it still stands
    // for the live value (only for a property that was identifying), else the live value. *value
    // receives what the query engine is to match.
    HRESULT PrepareDescription(BSTR name, bool wasIdentifying, long flags, IUnknown* patternManager, long* type,
                               long* compareType, VARIANT* value);
    // Reports of the automatic description update; told: the object manager took the notification.
    HRESULT ReportDescriptionChange(BSTR plainBefore, BSTR htmlBefore, BSTR plainAfter, BSTR htmlAfter, bool told);
    HRESULT ReportDescriptionFlagsChange(bool told);

    // Tells the maintenance history of object when the scope ends.
    class CMaintenanceScope {
    public:
        CMaintenanceScope(IKorMaintenanceHistory* history, IUnknown* object) noexcept
            : m_history(history), m_object(object) {}
        ~CMaintenanceScope();
        CMaintenanceScope(const CMaintenanceScope&) = delete;
        CMaintenanceScope& operator=(const CMaintenanceScope&) = delete;

    private:
        kcom::CComPtr<IKorMaintenanceHistory> m_history;
        kcom::CComPtr<IUnknown> m_object;
    };

protected:
    // A one-row table of name and value, with a third column for property data when withData.
    HRESULT QueryOneValue(VARIANT* value, IUnknown* runtimeObject, BSTR name, bool withData,
                          const VARIANT* propData);

    // The property records' view of this object.
    class COwnerLink final : public IPropertyOwner {
    public:
        explicit COwnerLink(CComTestObject& object) noexcept : m_object(object) {}
        HRESULT GetRack(IObjectRack** rack) override { return m_object.GetRack(rack); }
        IDispatch* GetOwnerDispatch() override;
        HRESULT GetTestObjectClass(BSTR* name) override { return m_object.GetTestObjectClass(name); }
        HRESULT GetGenTypeName(BSTR* name) override { return m_object.GetGenTypeName(name); }
        HRESULT GetLogicalNameForReport(BSTR* name) override {
            return m_object.ITestObject5_GetLogicalNameForReport(name);
        }

    private:
        CComTestObject& m_object;
    };

    // Case-sensitive name order of the value cache.
    struct CaseSensitiveOrder {
        bool operator()(const kcom::CComBSTR& a, const kcom::CComBSTR& b) const noexcept;
    };

    // The outer object's interface I, when an outer object is set and answers it.
    template <class I>
    kcom::CComPtr<I> Outer() const noexcept {
        kcom::CComPtr<I> p;
        if (m_outer) m_outer->QueryInterface(__uuidof(I), reinterpret_cast<void**>(p.Put()));
        return p;
    }
    template <class I>
    kcom::CComPtr<I> Inner() const noexcept {
        kcom::CComPtr<I> p;
        if (m_inner) m_inner->QueryInterface(__uuidof(I), reinterpret_cast<void**>(p.Put()));
        return p;
    }
    kcom::CComPtr<IObjectRack> Rack();
    kcom::CComPtr<IKorSettings> TestOptions();
    // The run-state value as read; VT_EMPTY when it cannot be read.
    kcom::CComVariant RunState(const wchar_t* name);
    DWORD ReadCachedMode(const wchar_t* name, DWORD& cache);
    HRESULT PutExprAdding(BSTR name, long* flags, long* type, long* compareType, VARIANT* data, VARIANT value);
    HRESULT FillValues(SAFEARRAY** table, int mode, bool values);
    HRESULT LoadFields(IStream* stream);
    HRESULT SaveFields(IStream* stream);

    // Replay steps.
    HRESULT WaitForReplayState(const wchar_t* property, HRESULT missed);
    // Identification.
    // GetProps of the outer object's information provider, or the own.
    HRESULT GetInfoProps(ULONG flags, SAFEARRAY** names);
    long ReadFindOption(BSTR name, long fallback);
    HRESULT StoreFoundObject(const VARIANT& value);
    HRESULT TakeFoundObject(IUnknown* found, IUnknown** object, bool directly, IKorMaintenanceHistory* history);
    // S_OK with the one object the identification algorithm chose, S_FALSE without a choice.
    HRESULT ChooseByAlgorithm(SAFEARRAY* candidates, bool lastChance, IUnknown** chosen);
    HRESULT SelectLastResort(SAFEARRAY* candidates, IUnknown** object);
    HRESULT DecideAmongCandidates(SAFEARRAY* candidates, IDispatch* own, IKorMaintenanceHistory* history,
                                  const QueryIdInfo& context, IUnknown** object, bool* algorithmFailed);
    void DropAncestorsFoundObjects();
    // Descriptions built from the run-time object.
    HRESULT FoundObjectForDescription(IUnknown** runtimeObject);
    HRESULT NarrowByAssistive(const VARIANT& expected, BSTR name, long compareType, long type,
                              CKorSafeArray& candidates, CKorSafeArray& narrowed);
    void AddOrdinalProperty(BSTR className, BSTR variant, SAFEARRAY* candidates, IUnknown* runtimeObject);
    HRESULT AddExtraDescription();
    static HRESULT ReadClassDescriptionList(IObjectRack* rack, BSTR className, SAFEARRAY** out, DWORD mask);
    // Run-time methods, checkpoints and matches.
    HRESULT DropRuntimeObject();
    void ReportPropertyFailure(const wchar_t* method, BSTR name, HRESULT hr);
    bool ExistsByRuntimeId();
    HRESULT ReadWaitTimeout(long* timeout, bool strict);
    HRESULT QueryScreenRect(IUnknown* runtimeObject, RECT* rect);
    void MakeVisible();
    void PrepareScriptInfoForCheckpoint();
    HRESULT CachedIdPath(SAFEARRAY** ids);
    HRESULT IdPathsUnderParent(IDispatch* parent, SAFEARRAY** ids, QueryIdInfo* context);
    void InitAncestors();
    HRESULT SelectorNarrowing(SAFEARRAY** candidates, bool* answered);

    // ---- Members, in declaration order ----------------------------------------------------------
    CReplaySkeletonContext* m_currentStep = nullptr;
    BYTE m_snapshotRefreshGuard = 0;
    BYTE m_foundDirectly = 0;
    short m_updateDescriptionFlag = 0;
    BYTE m_descriptionUpdated = 0;
    DWORD m_version = kTestObjectVersion;
    DWORD m_oldVersion = 0;
    COwnerLink m_ownerLink{*this};
    CPropertiesCollection m_properties{&m_ownerLink};
    UINT m_runtimeIdFormat = 0;
    BYTE m_dirty = 0;
    kcom::CComPtr<IUnknown> m_inner;
    IUnknown* m_outer = nullptr;
    kcom::CComBSTR m_timeoutOptionName;
    kcom::CComBSTR m_delayOptionName;
    kcom::CComBSTR m_logicalName;
    IKorDataTarget* m_recordMgr = nullptr;
    kcom::CComPtr<IKorExceptionMgr> m_exceptionMgr;
    kcom::CComPtr<IKorSettings> m_classOptions;
    CReportEventInfo m_reportTemplate;
    DWORD m_vuserMode = 0xFFFFFFFF;
    DWORD m_autMode = 0xFFFFFFFF;
    DWORD m_reportEventMask = 0xEFFFFFFF;
    DWORD m_eventStatusMask = 0;
    UINT m_stepRecordFormat = 0;
    BYTE m_innerRuntimeAttributes = 1;
    DWORD m_useAlgorithm = 0;
    kcom::CComBSTR m_algorithm;
    BYTE m_algorithmAbsent = 0;
    DWORD m_lastStepTime = 0;
    CKorPtrSafeArray m_pendingScriptInfo;  // rows of two BSTRs: name, value
    kcom::CComBSTR m_tagQueryNameOverride;
    CKorSafeArray m_methodInfoTable;
    kcom::CComBSTR m_collectionName;
    std::map<kcom::CComBSTR, kcom::CComVariant, CaseSensitiveOrder> m_valueCache;
    HRESULT m_constructionResult = S_OK;
};
