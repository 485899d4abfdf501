#pragma once
// Stand-ins for the host's identification objects: algorithms at each interface level, a selector,
// the property-pattern manager, and the class registration that makes one creatable by ProgID.
// Each records every call as a text line and answers as the test sets it.
#include <windows.h>
#include <memory>
#include <string>
#include "HostStandIn.h"
#include "com/ComSafeArray.h"

namespace standin {

// Registers an object under a fresh CLSID and the ProgID for as long as it lives; every creation
// hands out that object. SetUpFailure when either cannot be made.
class CProgIdObjectRegistration {
public:
    CProgIdObjectRegistration(const wchar_t* progId, IUnknown* object);
    CProgIdObjectRegistration(const CProgIdObjectRegistration&) = delete;
    CProgIdObjectRegistration& operator=(const CProgIdObjectRegistration&) = delete;

private:
    CLSID clsid_{};
    std::unique_ptr<CObjectRegistration> class_;
    std::optional<CProgIdKey> key_;
};

// An identification algorithm. `level` (1 to 4) is the newest interface it answers.
class CAlgorithmStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IIdentificationAlgorithm4, public IObjectRackClient {
public:
    BEGIN_COM_MAP(CAlgorithmStandIn)
        COM_INTERFACE_ENTRY2(IIdentificationAlgorithm, IIdentificationAlgorithm4)
        if (level_ >= 2) COM_INTERFACE_ENTRY2(IIdentificationAlgorithm2, IIdentificationAlgorithm4)
        if (level_ >= 3) COM_INTERFACE_ENTRY2(IIdentificationAlgorithm3, IIdentificationAlgorithm4)
        if (level_ >= 4) COM_INTERFACE_ENTRY(IIdentificationAlgorithm4)
        COM_INTERFACE_ENTRY(IObjectRackClient)
    END_COM_MAP()

    STDMETHOD(Describe)(SAFEARRAY* candidates, IDispatch* testObject, IKorSettings* settings, SAFEARRAY** rows,
                        SAFEARRAY** narrowed) override;
    STDMETHOD(Filter)(SAFEARRAY* candidates, SAFEARRAY* description, SAFEARRAY** filtered) override;
    STDMETHOD(GetKind)(long* kind) override;
    STDMETHOD(Filter2)(SAFEARRAY* candidates, IDispatch* testObject, SAFEARRAY* description,
                       SAFEARRAY** filtered) override;
    STDMETHOD(Filter3)(SAFEARRAY* candidates, IDispatch* testObject, SAFEARRAY* description, SAFEARRAY* queryFilter,
                       SAFEARRAY** filtered) override;
    STDMETHOD(Filter4)(SAFEARRAY* candidates, IDispatch* testObject, SAFEARRAY* description, SAFEARRAY* queryFilter,
                       SAFEARRAY** filtered, VARIANT* state) override;
    STDMETHOD(OnIdentified)(IDispatch* testObject, long candidateCount, VARIANT state) override;
    STDMETHOD(GetRack)(IObjectRack** rack) override;
    STDMETHOD(SetRack)(IObjectRack* rack) override;

    void SetLevel(int level) noexcept { level_ = level; }
    void SetKind(long kind, HRESULT hr = S_OK) noexcept {
        kind_ = kind;
        kindResult_ = hr;
    }
    // The filters answer the candidate of that row (none for -1) and hr.
    void SetChoice(long row, HRESULT hr = S_OK) noexcept {
        choice_ = row;
        filterResult_ = hr;
    }
    void SetState(const VARIANT& state) { state_ = state; }
    // Describe answers these rows, the first `keep` candidates (all for -1) and hr.
    void SetDescription(SAFEARRAY* rows, long keep, HRESULT hr);
    void SetRackResult(HRESULT hr) noexcept { rackResult_ = hr; }
    // The description table of the last filter call, as it came.
    const std::wstring& LastDescription() const noexcept { return lastDescription_; }
    CallLog& Log() noexcept { return log_; }

private:
    HRESULT Choose(SAFEARRAY* candidates, SAFEARRAY** filtered);
    void Note(const wchar_t* method, SAFEARRAY* candidates, IDispatch* testObject, SAFEARRAY* description,
              const std::wstring& more);

    int level_ = 4;
    long kind_ = 0;
    HRESULT kindResult_ = S_OK;
    long choice_ = 0;
    HRESULT filterResult_ = S_OK;
    kcom::CComVariant state_;
    kcom::CComSafeArray describedRows_;
    long keep_ = -1;
    HRESULT describeResult_ = S_FALSE;
    HRESULT rackResult_ = S_OK;
    kcom::CComPtr<IObjectRack> rack_;
    std::wstring lastDescription_;
    CallLog log_;
};

// A selector: the value it gives for an object, and the candidate it chooses for a value (its
// filter narrows the candidates to that one).
class CSelectorStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                         public IKorSelector,
                         public IKorSelectorFilter,
                         public IObjectRackClient {
public:
    BEGIN_COM_MAP(CSelectorStandIn)
        COM_INTERFACE_ENTRY(IKorSelector)
        COM_INTERFACE_ENTRY(IKorSelectorFilter)
        COM_INTERFACE_ENTRY(IObjectRackClient)
    END_COM_MAP()

    STDMETHOD(GetValue)(SAFEARRAY* candidates, IUnknown* runtimeObject, VARIANT* value) override;
    STDMETHOD(Choose)(SAFEARRAY* candidates, VARIANT value, IUnknown** found) override;
    STDMETHOD(Filter)(VARIANT value, SAFEARRAY** candidates) override;
    STDMETHOD(GetRack)(IObjectRack** rack) override;
    STDMETHOD(SetRack)(IObjectRack* rack) override;

    void SetValue(const VARIANT& value, HRESULT hr = S_OK) {
        value_ = value;
        valueResult_ = hr;
    }
    // Choose answers the candidate of that row (none for -1) and hr.
    void SetChoice(long row, HRESULT hr = S_OK) noexcept {
        choice_ = row;
        chooseResult_ = hr;
    }
    void SetRackResult(HRESULT hr) noexcept { rackResult_ = hr; }
    CallLog& Log() noexcept { return log_; }

private:
    kcom::CComVariant value_;
    HRESULT valueResult_ = S_OK;
    long choice_ = 0;
    HRESULT chooseResult_ = S_OK;
    HRESULT rackResult_ = S_OK;
    kcom::CComPtr<IObjectRack> rack_;
    CallLog log_;
};

// "PropertyPatternMgr": a text value holding a digit becomes the pattern with each run of digits
// replaced by "\d+" and compare type 1 added.
class CPatternMgrStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IKorPropertyPatternMgr {
public:
    BEGIN_COM_MAP(CPatternMgrStandIn)
        COM_INTERFACE_ENTRY(IKorPropertyPatternMgr)
    END_COM_MAP()

    STDMETHOD(Reserved)() override;
    STDMETHOD(ApplyPattern)(long context, BSTR name, VARIANT* value, long* compareType) override;

    CallLog& Log() noexcept { return log_; }

private:
    CallLog log_;
};

}  // namespace standin
