// Recorded clicks per second through the package: a windowless control's left button release as
// the host's recorder hands it over, through the ActiveX factory, the test object it hands to the
// factory site and its helper strategy, to the step handed to the record manager; against the
// hook requests that recording the click makes, made alone through the agent utility. The two
// paths run in alternating blocks of the same run, so that each sees the same load. Sections: the
// making of the test object that the factory hands over for a windowless record (a new one per
// record: only window identifiers are cached), timed alone in the same blocks, and the rest of the
// click (delivery, the strategy, the step handed to the record manager) as the difference. The
// requests of one recorded click are printed once, in the order made.
#include <windows.h>
#include <objbase.h>
#include <cstdio>
#include <string>
#include <vector>
#include "AcxHostBed.h"
#include "AlternatingPaths.h"
#include "AutTestBed.h"
#include "OrlentyStandIn.h"
#include "QuillonStub.h"
#include "RecorderStandIn.h"
#include "TestObjectStandIn.h"
#include "contracts/QuillonRequests.h"
#include "environment/ObjectMap.h"
#include "environment/LoadTimeValues.h"
#include "factory/AcxFactory.h"
#include "tables/RuntimeId.h"

namespace {

// The hook requests sent since the last call, as "NAME xN" joined by blanks.
std::wstring RequestsSince(LONG (&before)[static_cast<int>(EQuillonRequest::Count)]) {
    std::wstring made;
    for (int i = 0; i < static_cast<int>(EQuillonRequest::Count); ++i) {
        const LONG now = PelluceStub_GetCount(kQuillonRequestNames[i]);
        if (now != before[i]) made += std::wstring(made.empty() ? L"" : L" ") + kQuillonRequestNames[i] + L" x" +
                                      std::to_wstring(now - before[i]);
        before[i] = now;
    }
    return made;
}

// One hook request as the package made it: what it sent, to be sent again alone.
struct Request {
    ULONG carrier = 0;
    HWND target = nullptr;
    ULONG request = 0;
    HWND window = nullptr;
    LONG cookie = 0;
    LONG result = 0;
    kcom::CComVariant a, b;
    long sent = 0;  // the send's own result then
};

// Notes every request and sends it on for real.
long NoteAndSend(void* context, ULONG carrier, HWND target, ULONG request, const wchar_t*, CAcxParamHelper* params) {
    auto& noted = *static_cast<std::vector<Request>*>(context);
    Request r;
    r.carrier = carrier;
    r.target = target;
    r.request = request;
    r.window = params->hWnd;
    r.cookie = params->lCookie;
    r.result = params->lResult;
    r.a.Copy(params->varA);
    r.b.Copy(params->varB);
    kcom::CComPtr<IOutputChannel> channel;
    PelluceStub_SetResponder(nullptr, nullptr);
    PelluceStub_CreateChannel(5000, channel.Put());
    r.sent = CPelluce::SendMessageByOCh(carrier, target, request, *params, channel);
    PelluceStub_SetResponder(NoteAndSend, context);
    noted.push_back(std::move(r));
    return noted.back().sent;
}

// "NAME NAME ..." of the noted requests in the order made.
std::wstring RequestOrder(const std::vector<Request>& noted) {
    std::wstring order;
    for (const Request& r : noted) {
        const wchar_t* name = L"?";
        for (int i = 0; i < static_cast<int>(EQuillonRequest::Count); ++i)
            if (::RegisterWindowMessageW(QuillonMessageName(static_cast<EQuillonRequest>(i)).c_str()) == r.request)
                name = kQuillonRequestNames[i];
        order += std::wstring(order.empty() ? L"" : L" ") + name;
    }
    return order;
}

bool SendAgain(const Request& r, IOutputChannel* channel) {
    CAcxParamHelper params;
    params.hWnd = r.window;
    params.lCookie = r.cookie;
    params.lResult = r.result;
    ::VariantCopy(&params.varA, const_cast<VARIANT*>(static_cast<const VARIANT*>(&r.a)));
    ::VariantCopy(&params.varB, const_cast<VARIANT*>(static_cast<const VARIANT*>(&r.b)));
    return CPelluce::SendMessageByOCh(r.carrier, r.target, r.request, params, channel) == r.sent;
}

}  // namespace

int main() {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int rc = 0;
    {
        CAcxHostBed bed;
        if (FAILED(bed.Start(kAutControlsScenario))) {
            std::fprintf(stderr, "application under test did not start\n");
            return 1;
        }
        standin::CClassRegistration activeXClass(CLSID_KorActiveX, KorActiveXCreator);
        bed.options->Put(L"", L"OnRecord", 1L);
        OrlentyStandIn_SetApplicationSettings(bed.options.as<IKorSettings>());
        auto recorder = standin::Holder<standin::CRecorderStandIn>::New();
        auto parent = standin::Holder<standin::CTestObjectStandIn>::New();
        kcom::CComPtr<IUnknown> factory;
        if (FAILED((kcom::CreateObject<CAcxFactory, IUnknown>(factory.Put())))) return 1;
        recorder->SetParent(parent.as<IDispatch>());
        recorder->SetRecordMgr(bed.RecordTarget());
        if (FAILED(recorder->AddFactory(factory, bed.Rack()))) return 1;

        const HWND main = bed.aut.Window(L"main");
        // The record of a left button release at (10, 15) of control 7, as the hook records it.
        DWORD record[6] = {0, static_cast<DWORD>(reinterpret_cast<UINT_PTR>(main)), 7, WM_LBUTTONUP, 0,
                           static_cast<DWORD>(MAKELPARAM(10, 15))};
        COPYDATASTRUCT copy{kQuillonStubWindowlessRecord, sizeof record, record};
        auto recordClick = [&] {
            const size_t steps = bed.recordMgr->Steps().size();
            ::SendMessageW(recorder->Window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
            return bed.recordMgr->Steps().size() == steps + 1 &&
                   bed.recordMgr->Steps().back().arguments == L"[I4:10,I4:15]";
        };
        // The first record makes the test object; from then on the factory's cache hands it out.
        if (!recordClick()) {
            std::fprintf(stderr, "the first record made no step: %zu \"%ls\"\n", bed.recordMgr->Steps().size(),
                         bed.recordMgr->Steps().empty() ? L"" : bed.recordMgr->Steps().back().arguments.c_str());
            rc = 1;
        }
        std::vector<Request> requests;
        PelluceStub_SetResponder(NoteAndSend, &requests);
        if (!recordClick()) rc = 1;
        PelluceStub_SetResponder(nullptr, nullptr);
        std::printf("# requests of one recorded click (%zu): %ls\n", requests.size(), RequestOrder(requests).c_str());
        kcom::CComQIPtr<IPackageServices> services(factory.get());
        kcom::CComPtr<IRuntimeID2> windowlessId;
        {
            CRuntimeId id(g_cfWindowlessAcxControl);
            id.PutVariantValue(L"hwnd", kcom::CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(main))));
            id.PutVariantValue(L"punknown", kcom::CComVariant(7L));
            windowlessId = static_cast<IRuntimeID2*>(id);
        }
        auto newObject = [&] {
            kcom::CComPtr<IDispatch> object;
            return services && services->CreateTestObjFromRuntimeId(windowlessId, object.Put()) == S_OK && object;
        };
        Path paths[] = {
            {"record_click_hook_baseline",
             [&] {
                 bool answered = true;
                 for (const Request& r : requests) answered = SendAgain(r, bed.channel) && answered;
                 return answered;
             }},
            {"record_click", recordClick},
            {"record_click_section_new_object", newObject},
        };
        LONG counts[static_cast<int>(EQuillonRequest::Count)] = {};
        RequestsSince(counts);
        paths[1].run();
        const std::wstring packageRequests = RequestsSince(counts);
        paths[0].run();
        const std::wstring baselineRequests = RequestsSince(counts);
        if (packageRequests != baselineRequests) {
            std::fprintf(stderr, "the recorded click made the hook requests \"%ls\", the baseline \"%ls\"\n",
                         packageRequests.c_str(), baselineRequests.c_str());
            rc = 1;
        }
        const int count = 20 * 50;
        LONGLONG frequency = 0;
        const int done = RunAlternating(paths, 20, 20, 50, &frequency);
        constexpr int kPaths = static_cast<int>(sizeof paths / sizeof paths[0]);
        if (done != kPaths * count) {
            std::fprintf(stderr, "%d of %d paths failed\n", kPaths * count - done, kPaths * count);
            rc = 1;
        }
        const double baseline = PerSecond(paths[0].ticks, frequency, count);
        const double package = PerSecond(paths[1].ticks, frequency, count);
        std::printf("BENCH %s %.0f per_s\n", paths[0].name, baseline);
        std::printf("BENCH %s %.0f per_s\n", paths[1].name, package);
        // Time per recorded click against the time of its hook requests alone.
        std::printf("BENCH record_click_hook_baseline_time %.0f us\n", baseline > 0 ? 1e6 / baseline : 0.0);
        std::printf("BENCH record_click_time %.0f us ratio %.3f vs record_click_hook_baseline_time\n",
                    package > 0 ? 1e6 / package : 0.0, package > 0 ? baseline / package : 0.0);
        // Where the time of one click goes: the new test object (with its own requests), the
        // remaining hook requests, and the package's own work around them.
        const double clickUs = package > 0 ? 1e6 / package : 0.0;
        const double hookUs = baseline > 0 ? 1e6 / baseline : 0.0;
        const double objectRate = PerSecond(paths[2].ticks, frequency, count);
        const double objectUs = objectRate > 0 ? 1e6 / objectRate : 0.0;
        std::printf("BENCH record_click_section_new_object %.0f us\n", objectUs);
        std::printf("BENCH record_click_section_rest %.0f us\n", clickUs - objectUs);
        std::printf("BENCH record_click_section_own_work %.0f us\n", clickUs - hookUs);
        OrlentyStandIn_Reset();
    }
    ::CoUninitialize();
    return rc;
}
