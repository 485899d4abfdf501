// Replayed clicks per second through the whole package, on the windowed and on a windowless test
// control of the application under test, against what such a click needs besides the package:
// the inner standard window object's click for the windowed control, and for the windowless one
// the hook requests the click makes and the device-replay engine's click, made directly. The
// paths run in alternating blocks of the same run, so that each sees the same load.
#include <windows.h>
#include <objbase.h>
#include <cstdio>
#include "AcxHostBed.h"
#include "AlternatingPaths.h"
#include "AutTestBed.h"
#include "activex/core/KorActiveX.h"
#include "environment/LoadTimeValues.h"
#include "tables/RuntimeId.h"

namespace {

kcom::CComVariant Identifier(UINT format, HWND window, long cookie) {
    CRuntimeId id(format);
    id.PutVariantValue(L"hwnd", kcom::CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(window))));
    if (cookie) id.PutVariantValue(L"punknown", kcom::CComVariant(cookie));
    return kcom::CComVariant(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(id)));
}

// An ActiveX test object of the control, as the factory hands it out.
kcom::CComPtr<IKorActiveXBaseReplay> TestObject(CAcxHostBed& bed, UINT format, HWND window, long cookie) {
    kcom::CComPtr<IKorActiveXBaseReplay> object;
    if (FAILED(kcom::CreateObject<CKorActiveX>(object.Put()))) return nullptr;
    kcom::CComQIPtr<IObjectRackClient>(object.get())->SetRack(bed.Rack());
    kcom::CComQIPtr<ITestObjectInfo>(object.get())
        ->put_PropExpr(kcom::CComBSTR(L"objectid"), nullptr, nullptr, nullptr, Identifier(format, window, cookie));
    kcom::CComQIPtr<IKorActiveXInit>(object.get())->Init(format);
    return object;
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
        const HWND main = bed.aut.Window(L"main"), ctl = bed.aut.Window(L"ctl");
        bed.TakeDesktop(main);
        auto windowed = TestObject(bed, g_cfShelHalonotRegilim, ctl, 0);
        auto windowless = TestObject(bed, g_cfWindowlessAcxControl, main, 7);
        auto* inner = standin::CWinObjectStandIn::Last();
        if (!windowed || !windowless || !inner) return 1;

        POINT corner{20 + 50, 80 + 15};
        ::ClientToScreen(main, &corner);
        Path paths[] = {
            {"windowed_click_baseline", [&] { return inner->DoClick(50, 20, BUTTON_LEFT) == S_OK; }},
            {"windowed_click", [&] { return windowed->ReplayDoClick(50, 20, BUTTON_LEFT) == S_OK; }},
            {"windowless_click_baseline",
             [&] {
                 // The hook requests of the package's click (the size twice, the visibility), and the engine.
                 RECT size{};
                 BOOL visible = FALSE;
                 return bed.agent->GetWlsSize(main, 7, &size) == S_OK &&
                        bed.agent->IsWlsVisible(main, 7, &visible) == S_OK &&
                        bed.agent->GetWlsSize(main, 7, &size) == S_OK &&
                        bed.deviceReplay->Click(corner.x, corner.y, 0) == S_OK;
             }},
            {"windowless_click", [&] { return windowless->ReplayDoClick(50, 15, BUTTON_LEFT) == S_OK; }},
        };
        // The package's windowless click makes exactly the baseline's hook requests.
        LONG before = PelluceStub_GetTotalCount();
        paths[3].run();
        const LONG packageRequests = PelluceStub_GetTotalCount() - before;
        before = PelluceStub_GetTotalCount();
        paths[2].run();
        const LONG baselineRequests = PelluceStub_GetTotalCount() - before;
        if (packageRequests != baselineRequests) {
            std::fprintf(stderr, "the windowless click made %ld hook requests, the baseline %ld\n", packageRequests,
                         baselineRequests);
            rc = 1;
        }
        const int count = 10 * 10;
        LONGLONG frequency = 0;
        if (RunAlternating(paths, 5, 10, 10, &frequency) != 4 * count) rc = 1;
        for (int i = 0; i < 4; i += 2) {
            const double baseline = PerSecond(paths[i].ticks, frequency, count);
            const double package = PerSecond(paths[i + 1].ticks, frequency, count);
            std::printf("BENCH %s %.1f per_s\n", paths[i].name, baseline);
            // Time per click against the baseline's: the package's share of a replayed click.
            std::printf("BENCH %s_time %.0f us ratio %.3f vs %s_time\n", paths[i + 1].name,
                        package > 0 ? 1e6 / package : 0.0, package > 0 ? baseline / package : 0.0, paths[i].name);
        }
    }
    ::CoUninitialize();
    return rc;
}
