#pragma once
// The host's test report ("TestReport"): copies every event's dictionary while the call runs and
// hands out increasing event ids; the direct-mode calls are recorded.
#include <windows.h>
#include <string>
#include <utility>
#include <vector>
#include "HostStandIn.h"

namespace standin {

// One event as the report received it.
struct ReportedEvent {
    std::wstring type;  // "(null)" for a null type
    long parentId = 0;
    long id = 0;
    std::vector<std::pair<std::wstring, kcom::CComVariant>> items;  // in the dictionary's order

    // The item of that key (exact), or VT_EMPTY.
    kcom::CComVariant Item(const wchar_t* key) const;
    bool Has(const wchar_t* key) const;
    // The item as text ("" unless it is a BSTR).
    std::wstring Text(const wchar_t* key) const;
};

class CTestReportStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IKorTestReport {
public:
    BEGIN_COM_MAP(CTestReportStandIn)
        COM_INTERFACE_ENTRY(IKorTestReport)
    END_COM_MAP()

    STDMETHOD(ReportEvent)(BSTR type, IDispatch* values, long parentId, long* id) override;
    STDMETHOD(StartDirectMode)(long arg1, long arg2) override;
    STDMETHOD(EndDirectMode)() override;
    STDMETHOD(SetEventStatus)(long id, long status) override;

    void SetResult(HRESULT hr) noexcept { result_ = hr; }
    const std::vector<ReportedEvent>& Events() const noexcept { return events_; }
    // Lets go of the events' copies, which hold what the events named (test objects among them).
    void Clear() noexcept { events_.clear(); }
    CallLog& Log() noexcept { return log_; }

private:
    std::vector<ReportedEvent> events_;
    long nextId_ = 100;
    HRESULT result_ = S_OK;
    CallLog log_;
};

}  // namespace standin
