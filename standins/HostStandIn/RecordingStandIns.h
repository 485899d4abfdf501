#pragma once
// Stand-ins for the host services that a test object uses while steps are recorded: the object
// manager, the script manager, the active flow, the exception manager, the generic handler, the
// package services and the recording-state service. Each records every call as a text line and
// answers as the test sets it.
#include <windows.h>
#include <string>
#include <vector>
#include "HostStandIn.h"

namespace standin {

using ServiceRoot = kcom::CComObjectRootEx<kcom::CComSingleThreadModel>;

// "ObjectManager": takes objects in and answers whether recording is refused (not by default).
class CObjectManagerStandIn : public ServiceRoot, public IKorObjectManager, public IKorRecordingRefusal {
public:
    BEGIN_COM_MAP(CObjectManagerStandIn)
        COM_INTERFACE_ENTRY(IKorObjectManager)
        COM_INTERFACE_ENTRY(IKorRecordingRefusal)
    END_COM_MAP()

    STDMETHOD(AddObject)(IDispatch* object) override;
    STDMETHOD(RemoveObject)(IDispatch* object) override;
    STDMETHOD(DescriptionUpdated)(IDispatch* object) override;
    STDMETHOD(IsRecordingRefused)(BOOL* refused) override;

    void SetRefusal(BOOL refused, HRESULT hr = S_OK) noexcept {
        refused_ = refused;
        refusalResult_ = hr;
    }
    void SetAddResult(HRESULT hr) noexcept { addResult_ = hr; }
    const std::vector<kcom::CComPtr<IDispatch>>& Added() const noexcept { return added_; }
    CallLog& Log() noexcept { return log_; }

private:
    std::vector<kcom::CComPtr<IDispatch>> added_;
    BOOL refused_ = FALSE;
    HRESULT refusalResult_ = S_OK;
    HRESULT addResult_ = S_OK;
    CallLog log_;
};

// One step as the script manager received it.
struct ScriptStep {
    std::wstring path;
    std::wstring method;
    std::wstring arguments;  // ArrayText
    long kind = 0;
    long arg1 = 0, arg2 = 0, arg3 = 0;
    std::wstring info;       // "name=value;..." of the rows, "(null)" for none
};

// "ScriptManager": copies every step it is given.
class CScriptManagerStandIn : public ServiceRoot, public IKorScriptManager {
public:
    BEGIN_COM_MAP(CScriptManagerStandIn)
        COM_INTERFACE_ENTRY(IKorScriptManager)
    END_COM_MAP()

    STDMETHOD(AddStep)(BSTR path, BSTR method, SAFEARRAY* arguments, long kind, long arg1, long arg2, long arg3,
                       SAFEARRAY* info) override;

    void SetResult(HRESULT hr) noexcept { result_ = hr; }
    const std::vector<ScriptStep>& Steps() const noexcept { return steps_; }
    CallLog& Log() noexcept { return log_; }

private:
    std::vector<ScriptStep> steps_;
    HRESULT result_ = S_OK;
    CallLog log_;
};

// The current action of the active flow: not blocked unless told, with steps of named values.
class CFlowActionStandIn : public ServiceRoot, public IKorFlowAction {
public:
    BEGIN_COM_MAP(CFlowActionStandIn)
        COM_INTERFACE_ENTRY(IKorFlowAction)
    END_COM_MAP()

    STDMETHOD(IsRecordingBlocked)() override;
    STDMETHOD(GetStepCount)(long* count) override;
    STDMETHOD(GetCurrentStepIndex)(long* index) override;
    STDMETHOD(GetStepValue)(long index, BSTR name, VARIANT* value) override;
    STDMETHOD(PutStepValue)(long index, BSTR name, VARIANT value) override;

    // S_OK blocks; S_FALSE (the default) does not; a failure counts as blocked for the caller.
    void SetBlocked(HRESULT answer) noexcept { blocked_ = answer; }
    // Appends a step and answers its index.
    long AddStep();
    void SetCurrentStep(long index) noexcept { current_ = index; }
    NamedValues& Step(long index) { return steps_.at(static_cast<size_t>(index)); }
    CallLog& Log() noexcept { return log_; }

private:
    std::vector<NamedValues> steps_;
    long current_ = -1;
    HRESULT blocked_ = S_FALSE;
    CallLog log_;
};

// "ActiveFlow": hands out its current action (one by default).
class CActiveFlowStandIn : public ServiceRoot, public IKorActiveFlow {
public:
    CActiveFlowStandIn();
    BEGIN_COM_MAP(CActiveFlowStandIn)
        COM_INTERFACE_ENTRY(IKorActiveFlow)
    END_COM_MAP()

    STDMETHOD(GetCurrentAction)(IUnknown** action) override;

    // Without an action the flow answers null with `hr`.
    void SetAction(Holder<CFlowActionStandIn> action, HRESULT hr = S_OK) {
        action_ = action;
        result_ = hr;
    }
    const Holder<CFlowActionStandIn>& Action() const noexcept { return action_; }
    CallLog& Log() noexcept { return log_; }

private:
    Holder<CFlowActionStandIn> action_;
    HRESULT result_ = S_OK;
    CallLog log_;
};

// "ExeptionMgr": records the monitored calls.
class CExceptionMgrStandIn : public ServiceRoot, public IKorExceptionMgr {
public:
    BEGIN_COM_MAP(CExceptionMgrStandIn)
        COM_INTERFACE_ENTRY(IKorExceptionMgr)
    END_COM_MAP()

    STDMETHOD(MonitorCall)(BSTR method, IUnknown* object, VARIANT* arguments, long reserved) override;

    void SetResult(HRESULT hr) noexcept { result_ = hr; }
    const std::vector<kcom::CComPtr<IUnknown>>& Objects() const noexcept { return objects_; }
    CallLog& Log() noexcept { return log_; }

private:
    std::vector<kcom::CComPtr<IUnknown>> objects_;
    HRESULT result_ = S_OK;
    CallLog log_;
};

// "GenericHandler": records the file replacements asked of it.
class CGenericHandlerStandIn : public ServiceRoot, public IKorGenericHandler {
public:
    BEGIN_COM_MAP(CGenericHandlerStandIn)
        COM_INTERFACE_ENTRY(IKorGenericHandler)
    END_COM_MAP()

    STDMETHOD(ReplaceFile)(BSTR managerProgId, BSTR fileSystemProgId, BSTR oldPath, BSTR newPath) override;

    void SetResult(HRESULT hr) noexcept { result_ = hr; }
    CallLog& Log() noexcept { return log_; }

private:
    HRESULT result_ = S_OK;
    CallLog log_;
};

// "KorPkgSrvMgr": records the description requests; answers a one-row table of the filter.
class CPkgSrvMgrStandIn : public ServiceRoot, public IPackageServices5 {
public:
    BEGIN_COM_MAP(CPkgSrvMgrStandIn)
        COM_INTERFACE_ENTRY(IPackageServices5)
    END_COM_MAP()

    STDMETHOD(BuildDescriptionForChildren)(IDispatch* object, SAFEARRAY** description, VARIANT filter) override;
    // The rest of the chain is the packages' side; the host's manager is asked only for the above.
    STDMETHOD(Reserved1)() override { return E_NOTIMPL; }
    STDMETHOD(CreateTestObjFromRuntimeId)(IRuntimeID*, IDispatch**) override { return E_NOTIMPL; }
    STDMETHOD(CreateTestObjsForTable)(SAFEARRAY**) override { return E_NOTIMPL; }
    STDMETHOD(QueryClassService)(GUID*, long, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHOD(Reserved2)() override { return E_NOTIMPL; }
    STDMETHOD(CreateTestObjFromWindow)(HWND, IDispatch**) override { return E_NOTIMPL; }
    STDMETHOD(Reserved3)() override { return E_NOTIMPL; }
    STDMETHOD(FillRuntimeValuesForObjects)(long, SAFEARRAY*, long) override { return E_NOTIMPL; }

    void SetResult(HRESULT hr) noexcept { result_ = hr; }
    const std::vector<kcom::CComPtr<IDispatch>>& Objects() const noexcept { return objects_; }
    CallLog& Log() noexcept { return log_; }

private:
    std::vector<kcom::CComPtr<IDispatch>> objects_;
    HRESULT result_ = S_OK;
    CallLog log_;
};

// The recording-state service (class KorRecordingState): state 0 unless set.
class CRecordingStateStandIn : public ServiceRoot, public IKorRecordingState {
public:
    BEGIN_COM_MAP(CRecordingStateStandIn)
        COM_INTERFACE_ENTRY(IKorRecordingState)
    END_COM_MAP()

    STDMETHOD(GetState)(long* state, long* flag1, long* flag2) override;

    void SetState(long state, long flag1 = 0, long flag2 = 0, HRESULT hr = S_OK) noexcept {
        state_ = state;
        flag1_ = flag1;
        flag2_ = flag2;
        result_ = hr;
    }
    CallLog& Log() noexcept { return log_; }

private:
    long state_ = 0, flag1_ = 0, flag2_ = 0;
    HRESULT result_ = S_OK;
    CallLog log_;
};

}  // namespace standin
