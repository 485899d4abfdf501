// The automatic description update: after a replay step the description is rebuilt from the live
// object, and a change of the identification properties is reported and told to the host's
// object manager, once per object.
#include "com/ComError.h"
#include "description/TOPropertiesSnapshot.h"
#include "host/ResourceStrings.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/ParentLevel.h"
#include "testobject/core/TestObjectGuard.h"
#include "testobject/reporting/ReportFilter.h"
#include "testobject/reporting/ReportStrings.h"

namespace {

constexpr long kUpdateEnabled = 0x2;
constexpr long kComputeOnly = 0x8;
constexpr DWORD kIdentifyingFlags = 0x410;
constexpr DWORD kThirdDescriptionFlag = 0x200;

// A snapshot's two description texts.
struct DescriptionTexts {
    kcom::CComBSTR plain;
    kcom::CComBSTR html;
};

bool SameTextNoCase(BSTR a, BSTR b) noexcept {
    return ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a ? a : L"", static_cast<int>(::SysStringLen(a)),
                            b ? b : L"", static_cast<int>(::SysStringLen(b))) == CSTR_EQUAL;
}

std::wstring MarrinText(UINT id, std::initializer_list<const wchar_t*> args) {
    return FormatResourceText(MarrinReportText(id).c_str(), args);
}

}  // namespace

HRESULT CComTestObject::GetFlagsChangeSummary() {
    return TestObjectGuard([&]() -> HRESULT {
        long updateFlags = 0;
        if (IsRecordingBlocked() || FAILED(GetUpdateModeFlags(Rack(), &updateFlags, false)) ||
            !(updateFlags & kUpdateEnabled))
            return S_OK;
        if (kcom::CComPtr<IUpdateTODescription> outer = Outer<IUpdateTODescription>())
            return outer->GetFlagsChangeSummary();
        if (m_descriptionUpdated) return S_OK;

        kcom::CComVariant parent;
        kcom::CComBSTR parentName(L"parent");
        m_properties.Get(parentName, parent.Put(), nullptr, nullptr, nullptr, nullptr);
        kcom::CComPtr<IUpdateTODescription> up;
        if (parent.vt == VT_DISPATCH && SUCCEEDED(kcom::QueryTo(parent.pdispVal, up.Put())) && up)
            if (const CParentLevel level; level) up->GetFlagsChangeSummary();

        kcom::CComPtr<IObjectManagerClient> client;
        kcom::CComBSTR collection;
        if (FAILED(InternalQueryInterface(__uuidof(IObjectManagerClient), reinterpret_cast<void**>(client.Put()))) ||
            !client || FAILED(client->get_CollectionName(collection.Put())) || collection.Length() == 0)
            return S_OK;
        kcom::CComPtr<ITestObjectInfo> info = Outer<ITestObjectInfo>();
        if (!info) {
            HRESULT hr = InternalQueryInterface(__uuidof(ITestObjectInfo), reinterpret_cast<void**>(info.Put()));
            if (FAILED(hr)) return hr;
            if (!info) return E_FAIL;
        }

        CTOPropertiesSnapshot before, beforeOrdered, after, afterOrdered;
        before.Capture(info, kIdentifyingFlags);
        beforeOrdered.Capture(info, kThirdDescriptionFlag);
        HRESULT hr = Handle2DescForObject();
        if (FAILED(hr)) return hr;
        kcom::CComPtr<IUnknown> managerObject;
        hr = GetObjectManager(managerObject.Put());
        if (FAILED(hr)) return hr;
        kcom::CComPtr<IKorObjectManager> manager;
        if (!managerObject || FAILED(managerObject.QueryInterface(manager.Put())) || !manager) return E_FAIL;
        kcom::CComPtr<IDispatch> own;
        hr = GetOwnDispatch(own.Put());
        if (FAILED(hr)) return hr;

        after.Capture(info, kIdentifyingFlags);
        afterOrdered.Capture(info, kThirdDescriptionFlag);
        CTOPropertiesFlagsChangeSummary changes;
        changes.Compute(&before, &after);
        DescriptionTexts a, b, c, d;
        FormatDescriptionReport(a.plain.Put(), a.html.Put(), &before, &changes);
        FormatDescriptionReport(b.plain.Put(), b.html.Put(), &beforeOrdered, &changes);
        FormatDescriptionReport(c.plain.Put(), c.html.Put(), &after, &changes);
        FormatDescriptionReport(d.plain.Put(), d.html.Put(), &afterOrdered, &changes);
        if (updateFlags & kComputeOnly) return S_OK;

        if (!SameTextNoCase(a.plain, c.plain)) {
            m_descriptionUpdated = 1;
            const bool told = manager->DescriptionUpdated(own) == S_OK;
            ReportDescriptionChange(a.plain, a.html, c.plain, c.html, told);
        } else if (!SameTextNoCase(b.plain, d.plain)) {
            m_descriptionUpdated = 1;
            const bool told = manager->DescriptionUpdated(own) == S_OK;
            ReportDescriptionFlagsChange(told);
        }
        return S_OK;
    });
}

HRESULT CComTestObject::ReportDescriptionChange(BSTR plainBefore, BSTR htmlBefore, BSTR plainAfter, BSTR htmlAfter,
                                                bool told) {
    const long status = told ? kStatusDone : kStatusStepFailed;
    if (!ShouldReport(kReportReplaySteps, status)) return S_OK;
    return TestObjectGuard([&] {
        const std::wstring step = MarrinText(ReportString::DescriptionChanged, {plainBefore, plainAfter});
        const std::wstring html = MarrinText(ReportString::DescriptionChangedHtml, {htmlBefore, htmlAfter});
        CReportEventInfo event;
        event.Set(L"Replay", nullptr, nullptr, step.c_str(), status, nullptr, html.c_str());
        return SendReportEvent(event, true);
    });
}

HRESULT CComTestObject::ReportDescriptionFlagsChange(bool told) {
    const long status = told ? kStatusDone : kStatusStepFailed;
    if (!ShouldReport(kReportReplaySteps, status)) return S_OK;
    return TestObjectGuard([&] {
        const std::wstring step = MarrinText(ReportString::FlagsChanged, {});
        CReportEventInfo event;
        event.Set(L"Replay", nullptr, nullptr, step.c_str(), status, nullptr, nullptr);
        return SendReportEvent(event, true);
    });
}
