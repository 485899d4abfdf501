#pragma once
// The host's query engine ("StdPackageQueryEngine") with the package engines registered with
// it: each is created by its ProgID at registration and answers the host's questions about the
// live windows and windowless controls of the application under test. What no package engine
// answers, this engine does:
// - "x" and "y" of a windowless control: its left and top in its container's client area;
// - the windows of identification: the visible windows below the container's window (or below
//   the top-level windows of the application, without a container) whose values match the
//   description;
// - any value a test put, which wins over the engines ("GetActiveXRunTimeIDFromHwnd" and
//   "WEB Id for ACX" answer VT_EMPTY unless put).
// The package engines hold the rack, which holds this engine: ReleaseEngines ends the cycle.
#include <windows.h>
#include <string>
#include <utility>
#include <vector>
#include "HostStandIn.h"

namespace standin {

class CAcxQueryEngineStandIn : public CQueryEngineStandIn, public IKorQuery2 {
public:
    BEGIN_COM_MAP(CAcxQueryEngineStandIn)
        COM_INTERFACE_ENTRY(IKorQuery2)
        COM_INTERFACE_ENTRY2(IKorQuery, IKorQuery2)
        COM_INTERFACE_ENTRY(IKorQueryRegistration)
    END_COM_MAP()

    // Candidates of the package engines, then the matching windows: the host's candidate list,
    // rows x 1 of VARIANT cells holding VT_UNKNOWN.
    STDMETHOD(QueryIdFromContainer)(SAFEARRAY* psaProp, IDispatch* pContainer, SAFEARRAY** ppsaRO,
                                    QueryIdInfo* pInfo, SAFEARRAY* psaFormats) override;
    STDMETHOD(QueryIdFromSet)(SAFEARRAY* psaProp, SAFEARRAY** ppsaRO) override;
    STDMETHOD(QueryValue)(IRuntimeID* pRO, SAFEARRAY* psaProp) override;
    STDMETHOD(QueryWlsIdsFromContainer)(IDispatch* pContainer, long reserved, SAFEARRAY** ppsaRO) override;
    STDMETHOD(RegisterQuery)(BSTR progId, BSTR name, long arg1, long arg2, long arg3) override;

    // The rack handed to the engines (kept without a reference: the rack holds this engine).
    void SetRack(IObjectRack* rack) noexcept { rack_ = rack; }
    // A ProgID resolved here rather than by the registry: the package's engine registered in
    // this process without the package's own registration in the prefix.
    void KnowProgId(const wchar_t* progId, REFCLSID clsid) { known_.emplace_back(progId, clsid); }
    // The process whose top-level windows identification searches without a container.
    void SetApplication(DWORD processId) noexcept { application_ = processId; }
    void ReleaseEngines() { engines_.clear(); }
    size_t EngineCount() const noexcept { return engines_.size(); }

private:
    // Answers "x"/"y" rows that are still empty for a windowless identifier.
    void AnswerOffsets(IRuntimeID* id, SAFEARRAY* table);
    // Window identifiers below the root (or the application's top-level windows) matching the description.
    void MatchWindows(SAFEARRAY* description, HWND root, std::vector<kcom::CComPtr<IUnknown>>& out);
    bool Matches(IRuntimeID* id, SAFEARRAY* description);

    std::vector<kcom::CComPtr<IKorQuery>> engines_;
    std::vector<std::pair<std::wstring, CLSID>> known_;
    IObjectRack* rack_ = nullptr;
    DWORD application_ = 0;
};

}  // namespace standin
