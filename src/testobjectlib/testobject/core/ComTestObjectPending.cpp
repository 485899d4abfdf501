// Operations whose behaviour lands with the identification, matching, replay, run-time and
// checkpoint work of the test object. Until then each answers E_NOTIMPL.
#include "testobject/core/ComTestObject.h"

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

// Checkpoints and snapshots.
HRESULT CComTestObject::GetFlagsChangeSummary() { return E_NOTIMPL; }

// Run-time methods.
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
