// Round trips per second of one hook request made by the agent utility into the application
// under test, against the output channel that carries it alone and a bare SendMessage round trip
// between the same two processes, measured in alternating blocks of the same run so that every
// path sees the same load on a busy machine.
#include <windows.h>
#include <objbase.h>
#include <cstdio>
#include "AutProcess.h"
#include "com/ComPtr.h"
#include "HostStandIn.h"
#include "PelluceStub.h"
#include "contracts/QuillonRequests.h"
#include "environment/AcxAgntUtil.h"

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
        if (FAILED(aut.Start(L"window main - \nfact main activex=1 createtime=4242\n"))) {
            std::fprintf(stderr, "application under test did not start\n");
            return 1;
        }
        kcom::CComPtr<IOutputChannel> channel;
        PelluceStub_CreateChannel(5000, channel.Put());
        auto rack = standin::Holder<standin::CRackStandIn>::New();
        rack->Put(L"TestOutputChannel", channel);
        kcom::CComPtr<IAcxAgntUtil2> agent;
        if (FAILED((kcom::CreateObject<CAcxAgntUtil, IAcxAgntUtil2>(agent.Put())))) return 1;
        kcom::CComQIPtr<IObjectRackClient>(static_cast<IUnknown*>(agent.get()))->SetRack(rack.as<IObjectRack>());

        const HWND target = aut.Window(L"main");
        const UINT carrier = ::RegisterWindowMessageW(kQuillonCarrierMessage);
        const UINT request = RegisterQuillonMessage(EQuillonRequest::GetCreateTime);
        auto bareSend = [&] {
            DWORD_PTR r = 0;
            ::SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
        };
        auto transport = [&] {
            CAcxParamHelper params;
            params.hWnd = target;
            return CPelluce::SendMessageByOCh(carrier, target, request, params, channel) == 0 && params.lResult == 4242;
        };
        auto package = [&] {
            LONG time = 0;
            return agent->GetCreateTime(target, &time, 0) == S_OK && time == 4242;
        };
        for (int i = 0; i < 50; ++i) {  // warm every path
            bareSend();
            transport();
            package();
        }
        const int blocks = 30, perBlock = 100, count = blocks * perBlock;
        LARGE_INTEGER f, t0, t1, t2, t3;
        ::QueryPerformanceFrequency(&f);
        LONGLONG bareTicks = 0, transportTicks = 0, packageTicks = 0;
        int answered = 0;
        for (int block = 0; block < blocks; ++block) {
            ::QueryPerformanceCounter(&t0);
            for (int i = 0; i < perBlock; ++i) bareSend();
            ::QueryPerformanceCounter(&t1);
            for (int i = 0; i < perBlock; ++i) answered += transport();
            ::QueryPerformanceCounter(&t2);
            for (int i = 0; i < perBlock; ++i) answered += package();
            ::QueryPerformanceCounter(&t3);
            bareTicks += t1.QuadPart - t0.QuadPart;
            transportTicks += t2.QuadPart - t1.QuadPart;
            packageTicks += t3.QuadPart - t2.QuadPart;
        }
        if (answered != 2 * count) rc = 1;
        const double bare = PerSecond(bareTicks, f.QuadPart, count);
        const double carried = PerSecond(transportTicks, f.QuadPart, count);
        const double agentRate = PerSecond(packageTicks, f.QuadPart, count);
        std::printf("BENCH bare_sendmessage_roundtrip %.0f per_s\n", bare);
        std::printf("BENCH transport_request_roundtrip %.0f per_s ratio %.3f vs bare_sendmessage_roundtrip\n", carried,
                    bare > 0 ? carried / bare : 0.0);
        std::printf("BENCH agent_hook_request_roundtrip %.0f per_s ratio %.3f vs bare_sendmessage_roundtrip\n",
                    agentRate, bare > 0 ? agentRate / bare : 0.0);
        // Time per request: what the package adds on top of the channel that carries it.
        std::printf("BENCH agent_hook_request_time %.1f us ratio %.3f vs transport_request_time\n",
                    agentRate > 0 ? 1e6 / agentRate : 0.0, agentRate > 0 ? carried / agentRate : 0.0);
    }
    ::CoUninitialize();
    return rc;
}
