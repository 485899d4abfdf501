#pragma once
// Stand-ins for the host services a search for an object uses: the query engine
// ("StdPackageQueryEngine") with its run-time objects, the visual-relations manager
// ("TORelationsMgr"), the parameter-type manager ("KorParamTypeMgr") and the script-maintenance
// history. Each records every call and answers as the test sets it.
#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include "HostStandIn.h"
#include "RuntimeIdStub.h"
#include "kestrune.h"

namespace standin {

// A run-time object of the application under test: a name for the logs and its properties.
class CRuntimeObjectStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public CRuntimeIdStub {
public:
    BEGIN_COM_MAP(CRuntimeObjectStandIn)
        COM_INTERFACE_ENTRY(IRuntimeID)
    END_COM_MAP()

    STDMETHOD(IsEmpty)() override { return S_FALSE; }
    STDMETHOD(IsEqual)(IRuntimeID* other) override { return other == this ? S_OK : S_FALSE; }

    std::wstring name;
    NamedValues properties;
};
using RuntimeObject = Holder<CRuntimeObjectStandIn>;

// What one search pass of the query engine answers.
struct QueryPass {
    HRESULT result = S_OK;
    std::vector<RuntimeObject> candidates;
    DWORD queryTime = 0;           // the clock moves on by this much during the call
    std::function<void()> during;  // runs during the call (to pause a replay, say)
};

// One QueryIdFromContainer call as the engine got it.
struct QueryCall {
    std::wstring names;        // description names, comma-separated
    std::wstring values;       // description values as VariantText, comma-separated
    bool container = false;
    bool context = false;
    long timeout = 0, delay = 0;
    bool filter = false;
};

// "StdPackageQueryEngine". A query answers the next pass of its script (the last pass again when
// the script has run out); without a script it matches the description's values against the
// properties of its run-time objects. QueryValue answers from the queried object's properties.
class CScriptedQueryEngineStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IKorQuery {
public:
    BEGIN_COM_MAP(CScriptedQueryEngineStandIn)
        COM_INTERFACE_ENTRY(IKorQuery)
    END_COM_MAP()

    STDMETHOD(QueryIdFromContainer)(SAFEARRAY* psaProp, IDispatch* pContainer, SAFEARRAY** ppsaRO,
                                    QueryIdInfo* pInfo, SAFEARRAY* psaFormats) override;
    STDMETHOD(QueryIdFromSet)(SAFEARRAY*, SAFEARRAY** ppsaRO) override;
    STDMETHOD(QueryValue)(IRuntimeID* pRO, SAFEARRAY* psaProp) override;

    // A new run-time object known to QueryValue and to the matching queries.
    RuntimeObject AddObject(const wchar_t* name);
    // The next query answers the script's first pass.
    void Script(std::vector<QueryPass> passes) {
        script_ = std::move(passes);
        queries_ = 0;
    }
    // How the query time moves the test's clock.
    void SetClock(std::function<void(DWORD)> advance) { advance_ = std::move(advance); }
    void SetValueResult(HRESULT hr) noexcept { valueResult_ = hr; }
    // No log lines and no call records: for measuring.
    void SetQuiet(bool quiet) noexcept { quiet_ = quiet; }

    const std::vector<QueryCall>& Calls() const noexcept { return calls_; }
    int Passes() const noexcept { return static_cast<int>(calls_.size()); }
    CallLog& Log() noexcept { return log_; }

private:
    CRuntimeObjectStandIn* Find(IRuntimeID* id) const noexcept;
    std::vector<RuntimeObject> objects_;
    std::vector<QueryPass> script_;
    std::vector<QueryCall> calls_;
    size_t queries_ = 0;
    std::function<void(DWORD)> advance_;
    HRESULT valueResult_ = S_OK;
    bool quiet_ = false;
    CallLog log_;
};

// "TORelationsMgr": the relations do not apply (S_FALSE) unless the test says otherwise; with
// S_OK it keeps the candidates whose positions it was given, or hands back no list at all.
class CRelationsMgrStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IKorRelationsMgr {
public:
    BEGIN_COM_MAP(CRelationsMgrStandIn)
        COM_INTERFACE_ENTRY(IKorRelationsMgr)
    END_COM_MAP()

    STDMETHOD(FilterByRelations)(IDispatch* testObject, long reserved, SAFEARRAY* candidates,
                                 SAFEARRAY** filtered) override;

    void SetAnswer(HRESULT hr, std::vector<ULONG> kept = {}, bool list = true) {
        result_ = hr;
        kept_ = std::move(kept);
        list_ = list;
    }
    CallLog& Log() noexcept { return log_; }

private:
    HRESULT result_ = S_FALSE;
    std::vector<ULONG> kept_;
    bool list_ = true;
    CallLog log_;
};

// "KorParamTypeMgr": a parameter text evaluates to the value set for it.
class CParamTypeMgrStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                             public IKorParamTypeMgr,
                             public IKorParameter {
public:
    BEGIN_COM_MAP(CParamTypeMgrStandIn)
        COM_INTERFACE_ENTRY(IKorParamTypeMgr)
        COM_INTERFACE_ENTRY(IKorParameter)
    END_COM_MAP()

    STDMETHOD(CreateParameter)(BSTR text, IUnknown** parameter) override;
    STDMETHOD(Evaluate)(BSTR text, VARIANT* value) override;

    NamedValues& Values() noexcept { return values_; }
    CallLog& Log() noexcept { return log_; }

private:
    NamedValues values_;
    CallLog log_;
};

// The script-maintenance history ("Quorvel.AVScriptMaintenanceHistory"): active unless told.
class CMaintenanceHistoryStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                                   public IKorMaintenanceHistory {
public:
    BEGIN_COM_MAP(CMaintenanceHistoryStandIn)
        COM_INTERFACE_ENTRY(IKorMaintenanceHistory)
    END_COM_MAP()

    STDMETHOD(IsActive)(VARIANT_BOOL* active) override;
    STDMETHOD(Notify)(IUnknown* object, long kind) override;

    void SetActive(bool active) noexcept { active_ = active; }
    // The objects told of, with their kinds, in order.
    const std::vector<std::pair<kcom::CComPtr<IUnknown>, long>>& Told() const noexcept { return told_; }

private:
    bool active_ = true;
    std::vector<std::pair<kcom::CComPtr<IUnknown>, long>> told_;
};

}  // namespace standin
