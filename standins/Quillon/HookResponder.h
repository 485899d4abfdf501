#pragma once
// Answers hook requests from the scenario, on the thread that owns the target window.
#include <windows.h>
#include <map>
#include <string>
#include <vector>
#include "com/ComPtr.h"
#include "HookScenario.h"
#include "LiveControls.h"
#include "contracts/QuillonRequests.h"
#include "WireRecord.h"

class CHookResponder {
public:
    CHookResponder(CHookScenario scenario, std::map<std::wstring, HWND> windows);

    // Fills record with the reply; false when the scenario says not to answer at all.
    // hangMs: how long to stall before the reply goes back.
    bool Answer(HWND target, CWireRecord& record, DWORD& hangMs);
    // From then on the control's facts are read from it; the scenario's reply lines still apply.
    HRESULT AddControl(IUnknown* control) { return live_.Add(control); }

private:
    bool AnswerRequest(EQuillonRequest kind, HWND target, CWireRecord& record);
    void ApplyOverride(const CReplyOverride& o, CWireRecord& record);
    bool AnswerControl(const std::wstring& name, CWireRecord& record);
    HRESULT MarshalDispatch(CScenarioTarget& target, const CTargetKey& key, bool listener, CWireRecord& record);
    void LogRequest(EQuillonRequest kind, const CTargetKey& key, const CWireRecord& record);
    std::wstring NameOf(HWND window) const;
    HWND WindowOf(const std::wstring& name) const;

    CHookScenario scenario_;
    std::map<std::wstring, HWND> windows_;
    std::map<UINT, EQuillonRequest> requests_;
    std::map<std::wstring, LONG> counts_;
    std::vector<std::wstring> log_;
    std::map<std::pair<CTargetKey, bool>, kcom::CComPtr<IDispatch>> objects_;
    CLiveControls live_;
};
