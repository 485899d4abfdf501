// The test object's reports to the host's "TestReport": replay steps, direct events, replay logs,
// the description after an error, and the start and end of direct mode. A report passes the
// filter of the options "ReportEventMask" and "EventStatusMask" first.
#include <cwchar>
#include <string>
#include "com/ComError.h"
#include "errors/ErrorTexts.h"
#include "errors/TestObjectError.h"
#include "host/RackServices.h"
#include "host/ResourceStrings.h"
#include "host/TestObjectSettings.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/TestObjectGuard.h"
#include "testobject/reporting/ReportFilter.h"
#include "testobject/reporting/ReportStrings.h"
#include "testobject/reporting/ReportTexts.h"

namespace {

constexpr DWORD kEventMaskNotRead = 0xEFFFFFFF;
constexpr DWORD kStatusMaskNotRead = 0;
constexpr DWORD kDefaultStatusMask = 1;
constexpr long kRefreshScriptInfo = 0x4;  // bit of "UpdateModeFlags"
constexpr DWORD kDescriptionFlags = 0x650;
constexpr UINT kNoResource = static_cast<UINT>(-1);

const wchar_t* OrNull(const std::wstring& s, bool given) { return given ? s.c_str() : nullptr; }

// A string of the module's table; false when it cannot be loaded.
bool LoadText(HMODULE module, UINT id, std::wstring& out) {
    kcom::CComBSTR text;
    if (!module || !LoadResourceString(text.Put(), module, id)) return false;
    out = WideText(text);
    return true;
}

// The logical name formatted into the node name of a replay step: string `named` with the name,
// or string 124 when the object has none.
std::wstring StepNodeName(CComTestObject& object, UINT named) {
    kcom::CComBSTR name;
    object.ITestObject_GetLogicalName(name.Put());
    if (name.Length() == 0) return MarrinReportText(ReportString::StepOfUnnamed);
    return FormatResourceText(MarrinReportText(named).c_str(), {name.c_str()});
}

// The test object as the host's reporter sees it.
kcom::CComVariant ReporterDispatch(CComTestObject& object) {
    kcom::CComPtr<IUnknown> outer;
    kcom::CComPtr<IDispatch> dispatch;
    if (SUCCEEDED(object.ITestObject_GetOuterObject(outer.Put())) && outer) outer.QueryInterface(dispatch.Put());
    kcom::CComVariant value;
    value.vt = VT_DISPATCH;
    value.pdispVal = dispatch.Detach();
    return value;
}

// "ReporterDispatch", and the icon of the updating run when the option "UpdateRun" in "Test
// Objects" is "<path>,<number>" with a number above 0.
HRESULT AddReplayItems(CComTestObject& object, CReportEventInfo& event) {
    HRESULT hr = event.SetItem(L"ReporterDispatch", ReporterDispatch(object));
    if (FAILED(hr)) return hr;
    kcom::CComVariant run;
    if (FAILED(object.GetTestOption(L"Test Objects", L"UpdateRun", run.Put())) || run.vt != VT_BSTR) return S_OK;
    const std::wstring text = WideText(run.bstrVal);
    const size_t comma = text.rfind(L',');
    if (comma == std::wstring::npos) return S_OK;
    const wchar_t* digits = text.c_str() + comma + 1;
    wchar_t* end = nullptr;
    const long icon = std::wcstol(digits, &end, 10);
    if (end == digits || icon <= 0) return S_OK;
    hr = event.SetItem(L"DllPAth", text.substr(0, comma).c_str());
    if (SUCCEEDED(hr)) hr = event.SetItem(L"DllIconIndex", kcom::CComVariant(icon));
    if (SUCCEEDED(hr)) hr = event.SetItem(L"DllIconSelIndex", kcom::CComVariant(icon));
    return hr;
}

kcom::CComVariant True() { return kcom::CComVariant(true); }

// The report's direct-mode call, then, on success and when asked, an event of that type.
template <class Call>
HRESULT ChangeDirectMode(CComTestObject& object, const wchar_t* eventType, bool report, Call&& call) {
    kcom::CComPtr<IObjectRack> rack;
    object.GetRack(rack.Put());
    kcom::CComPtr<IKorTestReport> host;
    if (FAILED(GetRackService(rack, RackName::TestReport, host.Put()))) return E_FAIL;
    HRESULT hr = call(host.get());
    if (FAILED(hr) || !report) return hr;
    return TestObjectGuard([&] {
        CReportEventInfo event;
        if (SUCCEEDED(event.SetType(eventType))) object.SendReportEvent(event, true);
        return hr;
    });
}

}  // namespace

// ---- Filter and sending ------------------------------------------------------------------------

bool CComTestObject::ShouldReport(DWORD bits, long status) {
    auto readMask = [&](const wchar_t* name, DWORD fallback) {
        kcom::CComVariant value;
        if (SUCCEEDED(GetTestOption(L"", name, value.Put())) && value.vt == VT_I4) return static_cast<DWORD>(value.lVal);
        return fallback;
    };
    if (m_reportEventMask == kEventMaskNotRead) m_reportEventMask = readMask(L"ReportEventMask", kReportEverything);
    // A stored 0 counts as not read and is read again at the next report.
    if (m_eventStatusMask == kStatusMaskNotRead) m_eventStatusMask = readMask(L"EventStatusMask", kDefaultStatusMask);
    if (!(m_reportEventMask & bits)) return false;
    if (m_eventStatusMask == kOnlyFailuresMask) return status == kStatusFailed || status == kStatusStepFailed;
    return true;
}

HRESULT CComTestObject::SendReportEvent(CReportEventInfo& event, bool addCommonItems) {
    // An event without its dictionary cannot be sent; this is answered, never raised.
    if (!event.Dictionary()) return E_POINTER;
    kcom::CComPtr<IKorTestReport> report;
    if (FAILED(GetRackService(Rack(), RackName::TestReport, report.Put()))) return E_FAIL;
    return TestObjectGuard([&] {
        if (addCommonItems) {
            if (!event.HasItem(L"NodeType")) {
                kcom::CComBSTR korClass;
                GetKorClass(korClass.Put());
                if (!korClass.IsNull()) event.SetItem(L"NodeType", korClass.c_str());
            }
            if (!event.HasItem(L"NodeName")) {
                kcom::CComBSTR name;
                if (SUCCEEDED(ITestObject5_GetLogicalNameForReport(name.Put()))) event.SetItem(L"NodeName", name.c_str());
            }
            if (!event.HasItem(L"ReporterDispatch")) event.SetItem(L"ReporterDispatch", ReporterDispatch(*this));
        }
        long id = 0;
        HRESULT hr = report->ReportEvent(event.Type(), event.Dictionary(), static_cast<long>(event.m_parentId), &id);
        event.m_eventId = static_cast<DWORD>(id);
        return hr;
    });
}

HRESULT CComTestObject::ReportEvent(CReportEventInfo& event) {
    kcom::CComVariant status;
    event.GetItem(L"Status", status.Put());
    const long value = status.vt == VT_I4 ? status.lVal : kStatusFailed;
    return ShouldReport(kReportEverything, value) ? SendReportEvent(event, true) : S_OK;
}

// ---- Replay steps ------------------------------------------------------------------------------

HRESULT CComTestObject::ReplayReport(const wchar_t* method, long status, SAFEARRAY* arguments, DWORD* eventId,
                                     const wchar_t*, const wchar_t* htmlNodeName) {
    if (!ShouldReport(kReportReplaySteps, status)) return S_OK;
    return TestObjectGuard([&] {
        CReportEventInfo event;
        kcom::CComBSTR argumentText;
        if (arguments) AppendParams(arguments, nullptr, argumentText.Put(), nullptr, nullptr);
        std::wstring nodeName = L"Replay method";
        if (method) {
            kcom::CComBSTR reportName;
            ITestObject5_GetLogicalNameForReport(reportName.Put());
            nodeName = WideText(reportName) + L"." + method;
        }
        HRESULT hr = event.Set(L"Replay", nodeName.c_str(), method ? L"" : nullptr,
                               argumentText.Length() ? argumentText.c_str() : nullptr, status, htmlNodeName, nullptr);
        if (FAILED(hr)) return hr;
        hr = SendReportEvent(event, true);
        if (eventId) *eventId = event.m_eventId;
        return hr;
    });
}

HRESULT CComTestObject::ReplayReport(UINT methodId, HMODULE module, long status, SAFEARRAY* arguments, DWORD* eventId,
                                     const wchar_t* reserved, UINT htmlNodeNameId, HMODULE htmlModule) {
    return TestObjectGuard([&] {
        std::wstring method, html;
        if (!LoadText(module, methodId, method)) return E_INVALIDARG;
        const bool withHtml = htmlNodeNameId != kNoResource;
        if (withHtml && !LoadText(htmlModule ? htmlModule : module, htmlNodeNameId, html)) return E_INVALIDARG;
        return ReplayReport(method.c_str(), status, arguments, eventId, reserved, OrNull(html, withHtml));
    });
}

HRESULT CComTestObject::ReportReplayStep(BSTR a, BSTR b, BSTR c, BSTR d, bool passed) {
    return TestObjectGuard([&] {
        CReportEventInfo event;
        const std::wstring nodeName = StepNodeName(*this, passed ? ReportString::StepPassed : ReportString::StepFailed);
        const std::wstring info = FormatResourceText(MarrinReportText(ReportString::StepInfo).c_str(),
                                                     {WideText(a).c_str(), WideText(c).c_str()});
        const std::wstring html = FormatResourceText(MarrinReportText(ReportString::StepHtmlInfo).c_str(),
                                                     {WideText(b).c_str(), WideText(d).c_str()});
        HRESULT hr = event.Set(L"Replay", nodeName.c_str(), nullptr, info.c_str(),
                               passed ? kStatusDone : kStatusStepFailed, nullptr, html.c_str());
        if (SUCCEEDED(hr)) hr = AddReplayItems(*this, event);
        return FAILED(hr) ? hr : SendReportEvent(event, false);
    });
}

HRESULT CComTestObject::ReportReplayResult(long count) {
    return TestObjectGuard([&] {
        CReportEventInfo event;
        const bool passed = count > 0;
        const std::wstring nodeName = StepNodeName(*this, ReportString::StepPassed);
        const std::wstring& info = MarrinReportText(passed ? ReportString::ResultPassed : ReportString::ResultFailed);
        HRESULT hr = event.Set(L"Replay", nodeName.c_str(), nullptr, info.c_str(),
                               passed ? kStatusDone : kStatusStepFailed, nullptr, info.c_str());
        if (SUCCEEDED(hr)) hr = AddReplayItems(*this, event);
        return FAILED(hr) ? hr : SendReportEvent(event, false);
    });
}

// ---- Direct events and replay logs -------------------------------------------------------------

HRESULT CComTestObject::ReportDirectEvent(const wchar_t* text, long status, SAFEARRAY* arguments,
                                          const wchar_t* htmlNodeName) {
    if (!m_snapshotRefreshGuard && !m_currentStep) {
        long flags = 0;
        if (SUCCEEDED(GetUpdateModeFlags(Rack(), &flags, false)) && (flags & kRefreshScriptInfo)) {
            m_snapshotRefreshGuard = 1;
            PrepareScriptInfo();
            m_snapshotRefreshGuard = 0;
        }
    }
    if (!ShouldReport(kReportDirectEvents, status)) return S_OK;
    return TestObjectGuard([&] {
        CReportEventInfo event;
        HRESULT hr;
        if (arguments) {
            kcom::CComBSTR info, html;
            AppendParams(arguments, text, info.Put(), htmlNodeName, html.Put());
            hr = event.Set(L"ReplayLog", nullptr, nullptr, info, status, nullptr, html.IsNull() ? nullptr : html.c_str());
        } else {
            hr = event.Set(L"ReplayLog", nullptr, nullptr, text, status, htmlNodeName, nullptr);
        }
        if (SUCCEEDED(hr)) hr = event.SetItem(L"IsDirectEvent", True());
        return FAILED(hr) ? hr : SendReportEvent(event, true);
    });
}

HRESULT CComTestObject::ReportMethodEvent(UINT textId, HMODULE module, long status, SAFEARRAY* arguments,
                                          UINT htmlNodeNameId, HMODULE htmlModule) {
    return TestObjectGuard([&] {
        std::wstring text, html;
        if (!LoadText(module, textId, text)) return E_INVALIDARG;
        const bool withHtml = htmlNodeNameId != kNoResource;
        if (withHtml && !LoadText(htmlModule ? htmlModule : module, htmlNodeNameId, html)) return E_INVALIDARG;
        return ReportDirectEvent(text.c_str(), status, arguments, OrNull(html, withHtml));
    });
}

HRESULT CComTestObject::ReportReplayLog(HRESULT hr) {
    if (!ShouldReport(kReportDirectEvents, kStatusFailed)) return S_OK;
    return TestObjectGuard([&] {
        kcom::CComBSTR collection, text;
        get_CollectionName(collection.Put());
        HRESULT result = FormatLibraryErrorText(hr, collection, text.Put());
        if (FAILED(result)) return result;
        CReportEventInfo event;
        result = event.Set(L"ReplayLog", nullptr, nullptr, text, kStatusDone, nullptr, nullptr);
        if (SUCCEEDED(result)) result = event.SetItem(L"IsDirectEvent", True());
        return FAILED(result) ? result : SendReportEvent(event, true);
    });
}

// ---- Direct mode and the description after an error ---------------------------------------------

HRESULT CComTestObject::StartDirectMode(long arg1, long arg2, bool report) {
    return ChangeDirectMode(*this, L"StartDirectMode", report,
                            [&](IKorTestReport* host) { return host->StartDirectMode(arg1, arg2); });
}

HRESULT CComTestObject::EndDirectMode(bool report) {
    return ChangeDirectMode(*this, L"EndDirectMode", report, [](IKorTestReport* host) { return host->EndDirectMode(); });
}

HRESULT CComTestObject::ReportObjectDescription(DWORD eventId, long status, HRESULT hr) {
    if (!ShouldReport(kReportReplaySteps, status)) return S_OK;
    return TestObjectGuard([&] {
        kcom::CComPtr<IDispatch> ancestor;
        if (hr == KOR_E_OBJECT_NOT_FOUND) FindUnidentifiedAncestor(ancestor.Put());
        kcom::CComPtr<ITestObjectInfo> info;
        if (ancestor)
            ancestor.QueryInterface(info.Put());
        else if (!(info = Outer<ITestObjectInfo>()))
            InternalQueryInterface(__uuidof(ITestObjectInfo), reinterpret_cast<void**>(info.Put()));
        if (!info) return E_NOINTERFACE;

        kcom::CComBSTR plain, html;
        HRESULT result = BuildDescriptionText(info, plain.Put(), html.Put(), kDescriptionFlags);
        if (FAILED(result)) return result;
        if (html.Length() == 0) return S_OK;
        const std::wstring stepInfo =
            FormatResourceText(MarrinReportText(ReportString::DescriptionText).c_str(), {plain.c_str()});
        const std::wstring stepHtml =
            FormatResourceText(MarrinReportText(ReportString::DescriptionHtml).c_str(), {html.c_str()});

        StartDirectMode(static_cast<long>(eventId), 0, true);
        CReportEventInfo event;
        std::wstring nodeType = MarrinReportText(ReportString::DescriptionNodeType), nodeName;
        if (ancestor) {
            nodeType = MarrinReportText(ReportString::AncestorNodeType);
            kcom::CComPtr<ITestObject5> named;
            kcom::CComBSTR name;
            if (SUCCEEDED(ancestor.QueryInterface(named.Put())) && named) named->GetLogicalNameForReport(name.Put());
            nodeName = WideText(name);
        }
        result = event.Set(L"Replay", OrNull(nodeName, static_cast<bool>(ancestor)), nodeType.c_str(),
                           stepInfo.c_str(), status, nullptr, stepHtml.c_str());
        if (SUCCEEDED(result)) result = event.SetItem(L"Action", L"InActError");
        if (SUCCEEDED(result)) result = SendReportEvent(event, true);
        EndDirectMode(true);
        return result;
    });
}
