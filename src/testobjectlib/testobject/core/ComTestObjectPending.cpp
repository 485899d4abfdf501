// Operations whose behaviour lands with the identification, matching, replay, run-time and
// checkpoint work of the test object. Until then each answers E_NOTIMPL.
#include "testobject/core/ComTestObject.h"

// Description matching.
HRESULT CComTestObject::ITestObject_IsEqual(ITestObject*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObject4_IsMatch(ITestObject*, VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObject4_GetPoolProps(SAFEARRAY**, long) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObject5_CompareTo(ITestObject*, ULONG*) { return E_NOTIMPL; }
HRESULT CComTestObject::CompareDescriptionValue(const VARIANT&, const VARIANT&, long, long, long, long, long, long,
                                                ULONG*, VARIANT_BOOL*) {
    return E_NOTIMPL;
}

// Identification.
HRESULT CComTestObject::ITestObject_FindObjectId(IUnknown**, QueryIdInfo*) { return E_NOTIMPL; }
HRESULT CComTestObject::Desc2Handle(SAFEARRAY**, QueryIdInfo*) { return E_NOTIMPL; }

// Descriptions built from the run-time object.
HRESULT CComTestObject::ITestObject_BuildDescription() { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObject5_GetLogicalNameForReport(BSTR*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObject5_PutDescription(SAFEARRAY*) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObject7_HasDescription(IUnknown*, VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT CComTestObject::FillDescription(SAFEARRAY**, DWORD) { return E_NOTIMPL; }
HRESULT CComTestObject::Handle2Desc() { return E_NOTIMPL; }
HRESULT CComTestObject::Handle2DescForObject() { return E_NOTIMPL; }

// Finding all matching objects.
HRESULT CComTestObject::ITestObject2_FindAllIds(SAFEARRAY**, QueryIdInfo*, ULONG) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObject4_GetChildObjectsHierarchy(IDispatch*, IDispatch**) { return E_NOTIMPL; }
HRESULT CComTestObject::ITestObject7_FindMatchingIds(long, SAFEARRAY**) { return E_NOTIMPL; }

// Checkpoints and snapshots.
HRESULT CComTestObject::GetSavedSnapshot(BSTR, VARIANT*, long, BSTR*, BYTE, long, IDispatch*) { return E_NOTIMPL; }
HRESULT CComTestObject::GetCheckpointDialogClsid(BSTR, CLSID*) { return E_NOTIMPL; }
HRESULT CComTestObject::GetSupportedCheckpointTypes(BSTR, BOOL*) { return E_NOTIMPL; }
HRESULT CComTestObject::GetCustomStepClsid(BSTR, GUID*) { return E_NOTIMPL; }
HRESULT CComTestObject::GetCustomStepClsid2(BSTR, GUID*) { return E_NOTIMPL; }
HRESULT CComTestObject::GetCheckpointStepTypes(BSTR, BOOL*) { return E_NOTIMPL; }
HRESULT CComTestObject::GetCheckpointTimeout(BSTR, DWORD*) { return E_NOTIMPL; }
HRESULT CComTestObject::GetCustomStepFlags(BSTR, DWORD*) { return E_NOTIMPL; }
HRESULT CComTestObject::EditCustomStep(BSTR, IDispatch*, VARIANT*) { return E_NOTIMPL; }
HRESULT CComTestObject::GetFlagsChangeSummary() { return E_NOTIMPL; }
HRESULT CComTestObject::get_UpdateDescriptionFlag(short*) { return E_NOTIMPL; }
HRESULT CComTestObject::put_UpdateDescriptionFlag(short) { return E_NOTIMPL; }
HRESULT CComTestObject::DispTestObject_Check(VARIANT*, VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT CComTestObject::DispTestObject_Output(VARIANT*) { return E_NOTIMPL; }

// Run-time methods.
HRESULT CComTestObject::DispTestObject_SetProperty(BSTR, VARIANT, long*, long*, BSTR*) { return E_NOTIMPL; }
HRESULT CComTestObject::DispTestObject_Highlight(long, VARIANT) { return E_NOTIMPL; }
HRESULT CComTestObject::DispTestObject_Exist(long, VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT CComTestObject::DispTestObject_GetTOProperty(BSTR, VARIANT*) { return E_NOTIMPL; }
HRESULT CComTestObject::DispTestObject_SetTOProperty(BSTR, VARIANT) { return E_NOTIMPL; }
HRESULT CComTestObject::DispTestObject_GetROProperty(BSTR, VARIANT*, VARIANT*) { return E_NOTIMPL; }
HRESULT CComTestObject::DispTestObject_GetTOProperties(IDispatch**) { return E_NOTIMPL; }
HRESULT CComTestObject::DispTestObject_ChildObjects(IDispatch*, IDispatch**) { return E_NOTIMPL; }
HRESULT CComTestObject::DispTestObject_CaptureBitmap(BSTR, VARIANT_BOOL) { return E_NOTIMPL; }
HRESULT CComTestObject::DispTestObject_WaitProperty(BSTR, VARIANT, long, VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT CComTestObject::DispTestObject_CheckProperty(BSTR, VARIANT, long, VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT CComTestObject::DispTestObject_ToString(BSTR*) { return E_NOTIMPL; }
bool CComTestObject::CompareForWait(const VARIANT&, const VARIANT&, BSTR*) { return false; }

// Replay steps.
HRESULT CComTestObject::BeginReplayStep(VARIANT) { return E_NOTIMPL; }
HRESULT CComTestObject::EndReplayStep() { return E_NOTIMPL; }
HRESULT CComTestObject::GetInnerReplaySkeleton(IReplaySkeleton**) { return E_NOTIMPL; }
HRESULT CComTestObject::BeforeReplayAttempts() { return E_NOTIMPL; }
HRESULT CComTestObject::GetStepTimes(DWORD*, DWORD*) { return E_NOTIMPL; }
HRESULT CComTestObject::GetMethodInfoTable() { return E_NOTIMPL; }
HRESULT CComTestObject::GetReplayMethodFlags(DWORD*) { return E_NOTIMPL; }
HRESULT CComTestObject::BeginReplayAttempt(QueryIdInfo*) { return E_NOTIMPL; }
HRESULT CComTestObject::ReplayFindObject(QueryIdInfo*, IUnknown**) { return E_NOTIMPL; }
HRESULT CComTestObject::SetRuntimeId(IUnknown*) { return E_NOTIMPL; }
HRESULT CComTestObject::AfterObjectFound() { return E_NOTIMPL; }
HRESULT CComTestObject::BeforeActionSecond() { return E_NOTIMPL; }
HRESULT CComTestObject::BeforeActionFirst() { return E_NOTIMPL; }
HRESULT CComTestObject::WaitVisible() { return E_NOTIMPL; }
HRESULT CComTestObject::WaitEnabled() { return E_NOTIMPL; }
HRESULT CComTestObject::AfterReplayAction() { return E_NOTIMPL; }
HRESULT CComTestObject::ReportReplayArguments() { return E_NOTIMPL; }
HRESULT CComTestObject::ReplayWithRetry(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*, void*,
                                        ReplayOperation) {
    return E_NOTIMPL;
}
HRESULT CComTestObject::CompleteMethodInfoTable() { return E_NOTIMPL; }

// Reporting.
HRESULT CComTestObject::ReportReplayStep(BSTR, BSTR, BSTR, BSTR, bool) { return E_NOTIMPL; }
HRESULT CComTestObject::ReportReplayResult(long) { return E_NOTIMPL; }
