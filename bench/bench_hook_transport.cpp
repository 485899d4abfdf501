// Round trips per second of one hook request carried by Pelluce into the application under
// test, against a bare SendMessage round trip between the same two processes.
#include <windows.h>
#include <objbase.h>
#include <cstdio>
#include "AutProcess.h"
#include "ComPtr.h"
#include "PelluceStub.h"
#include "QuillonRequests.h"

namespace {

double PerSecond(LONGLONG ticks, LONGLONG frequency, int count) {
    return ticks > 0 ? count * static_cast<double>(frequency) / static_cast<double>(ticks) : 0.0;
}

}  // namespace

int main() {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int rc = 0;
    {
        CAutProcess aut;
        if (FAILED(aut.Start(L"window main - \nfact main activex=5 progid=Bench.Control\n"))) {
            fprintf(stderr, "application under test did not start\n");
            return 1;
        }
        kcom::CComPtr<IOutputChannel> channel;
        PelluceStub_CreateChannel(5000, &channel);
        const HWND target = aut.Window(L"main");
        const UINT carrier = ::RegisterWindowMessageW(kQuillonCarrierMessage);
        const UINT request = RegisterQuillonMessage(EQuillonRequest::GetProgId);
        const int count = 2000;
        LARGE_INTEGER f, t0, t1, t2;
        ::QueryPerformanceFrequency(&f);
        for (int i = 0; i < 50; ++i) {  // warm both paths
            CAcxParamHelper params;
            params.hWnd = target;
            CPelluce::SendMessageByOCh(carrier, target, request, params, channel);
            DWORD_PTR r = 0;
            ::SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
        }
        // Alternating blocks: both paths see the same load on a busy machine.
        LONGLONG bareTicks = 0, carriedTicks = 0;
        int answered = 0;
        for (int block = 0; block < count / 100; ++block) {
            ::QueryPerformanceCounter(&t0);
            for (int i = 0; i < 100; ++i) {
                DWORD_PTR r = 0;
                ::SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
            }
            ::QueryPerformanceCounter(&t1);
            for (int i = 0; i < 100; ++i) {
                CAcxParamHelper params;
                params.hWnd = target;
                if (CPelluce::SendMessageByOCh(carrier, target, request, params, channel) == 0 && params.lResult == 1)
                    ++answered;
            }
            ::QueryPerformanceCounter(&t2);
            bareTicks += t1.QuadPart - t0.QuadPart;
            carriedTicks += t2.QuadPart - t1.QuadPart;
        }
        if (answered != count) rc = 1;
        const double bare = PerSecond(bareTicks, f.QuadPart, count);
        const double carried = PerSecond(carriedTicks, f.QuadPart, count);
        printf("BENCH bare_sendmessage_roundtrip %.0f per_s\n", bare);
        printf("BENCH pelluce_request_roundtrip %.0f per_s ratio %.3f vs bare_sendmessage_roundtrip\n", carried,
               bare > 0 ? carried / bare : 0.0);
    }
    ::CoUninitialize();
    return rc;
}
