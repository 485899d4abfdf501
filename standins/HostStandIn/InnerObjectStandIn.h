#pragma once
// The inner test object that a concrete test object holds (the host's standard window object):
// it takes the record manager, writes and reads its own part of a saved description (a 4-byte
// marker) and runs the steps of the replay skeleton, recording every call.
#include <windows.h>
#include <map>
#include <string>
#include "HostStandIn.h"
#include "kestrune.h"

namespace standin {

class CInnerObjectStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                            public ITestObject,
                            public IPersistStreamInit,
                            public IReplaySkeleton,
                            public IObjectRackClient {
public:
    static constexpr DWORD kMarker = 0x524E4E49;  // "INNR"

    BEGIN_COM_MAP(CInnerObjectStandIn)
        COM_INTERFACE_ENTRY(ITestObject)
        COM_INTERFACE_ENTRY(IPersistStreamInit)
        COM_INTERFACE_ENTRY(IReplaySkeleton)
        COM_INTERFACE_ENTRY(IObjectRackClient)
    END_COM_MAP()

    // ITestObject: the record manager is noted, nothing else is served.
    STDMETHOD(IsEqual)(ITestObject*) override { return Unserved(L"IsEqual"); }
    STDMETHOD(Hash)(TestObjectHash*) override { return Unserved(L"Hash"); }
    STDMETHOD(BuildDescription)() override { return Unserved(L"BuildDescription"); }
    STDMETHOD(FindObjectId)(IUnknown**, QueryIdInfo*) override { return Unserved(L"FindObjectId"); }
    STDMETHOD(SetOuterObject)(IUnknown* outer) override;
    STDMETHOD(GetOuterObject)(IUnknown**) override { return Unserved(L"GetOuterObject"); }
    STDMETHOD(SetLogicalName)(BSTR) override { return Unserved(L"SetLogicalName"); }
    STDMETHOD(GetLogicalName)(BSTR*) override { return Unserved(L"GetLogicalName"); }
    STDMETHOD(GetTagName)(BSTR*) override { return Unserved(L"GetTagName"); }
    STDMETHOD(SetRecordMgr)(IKorDataTarget* recordMgr) override;
    STDMETHOD(GetInternalTagName)(BSTR*) override { return Unserved(L"GetInternalTagName"); }
    STDMETHOD(RefreshObject)() override { return Step(L"RefreshObject"); }

    // IPersistStreamInit: Save writes the marker, Load reads it back (E_FAIL for another one).
    STDMETHOD(GetClassID)(CLSID* clsid) override;
    STDMETHOD(IsDirty)() override { return S_FALSE; }
    STDMETHOD(Load)(IStream* stream) override;
    STDMETHOD(Save)(IStream* stream, BOOL clearDirty) override;
    STDMETHOD(GetSizeMax)(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHOD(InitNew)() override { return S_OK; }

    // IReplaySkeleton: every step is noted and answers the step result.
    STDMETHOD(GetStepTimes)(ULONG* timeout, ULONG* delay) override;
    STDMETHOD(BeginReplayStep)(VARIANT context) override;
    STDMETHOD(EndReplayStep)() override { return Step(L"EndReplayStep"); }
    STDMETHOD(GetInnerReplaySkeleton)(IReplaySkeleton**) override { return Unserved(L"GetInnerReplaySkeleton"); }
    STDMETHOD(BeforeReplayAttempts)() override { return Step(L"BeforeReplayAttempts"); }
    STDMETHOD(GetMethodInfoTable)() override { return Unserved(L"GetMethodInfoTable"); }
    STDMETHOD(GetReplayMethodFlags)(ULONG* flags) override;
    STDMETHOD(BeginReplayAttempt)(QueryIdInfo*) override { return Step(L"BeginReplayAttempt"); }
    STDMETHOD(ReplayFindObject)(QueryIdInfo*, IUnknown**) override { return Step(L"ReplayFindObject"); }
    STDMETHOD(SetRuntimeId)(IUnknown*) override { return Step(L"SetRuntimeId"); }
    STDMETHOD(AfterObjectFound)() override { return Step(L"AfterObjectFound"); }
    STDMETHOD(BeforeActionSecond)() override { return Step(L"BeforeActionSecond"); }
    STDMETHOD(BeforeActionFirst)() override { return Step(L"BeforeActionFirst"); }
    STDMETHOD(WaitVisible)() override { return Step(L"WaitVisible"); }
    STDMETHOD(WaitEnabled)() override { return Step(L"WaitEnabled"); }
    STDMETHOD(AfterReplayAction)() override { return Step(L"AfterReplayAction"); }
    STDMETHOD(ReportReplayArguments)() override { return Step(L"ReportReplayArguments"); }

    // IObjectRackClient
    STDMETHOD(GetRack)(IObjectRack** rack) override;
    STDMETHOD(SetRack)(IObjectRack* rack) override;

    IKorDataTarget* RecordMgr() const noexcept { return recordMgr_; }
    IUnknown* Outer() const noexcept { return outer_; }
    IObjectRack* Rack() const noexcept { return rack_; }
    void SetStepResult(HRESULT hr) noexcept { stepResult_ = hr; }
    // What one step ("WaitEnabled") answers instead; S_OK puts it back to the step result.
    void SetStepAnswer(const std::wstring& method, HRESULT hr) {
        if (hr == S_OK) stepAnswers_.erase(method);
        else stepAnswers_[method] = hr;
    }
    void SetStreamResult(HRESULT hr) noexcept { streamResult_ = hr; }
    // What GetStepTimes answers (-1 leaves a value as it came) and GetReplayMethodFlags.
    void SetStepTimes(ULONG timeout, ULONG delay) noexcept {
        timeout_ = timeout;
        delay_ = delay;
    }
    void SetMethodFlags(ULONG flags) noexcept { methodFlags_ = flags; }
    CallLog& Log() noexcept { return log_; }

private:
    HRESULT Unserved(const wchar_t* method);
    HRESULT Step(const wchar_t* method);

    IKorDataTarget* recordMgr_ = nullptr;  // not add-ref'd, as a test object keeps it
    IUnknown* outer_ = nullptr;
    kcom::CComPtr<IObjectRack> rack_;
    HRESULT stepResult_ = S_OK;
    std::map<std::wstring, HRESULT> stepAnswers_;
    HRESULT streamResult_ = S_OK;
    ULONG timeout_ = 0xFFFFFFFF, delay_ = 0xFFFFFFFF;
    ULONG methodFlags_ = 0;
    CallLog log_;
};

}  // namespace standin
