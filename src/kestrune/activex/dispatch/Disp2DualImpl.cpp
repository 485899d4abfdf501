#include "activex/dispatch/Disp2DualImpl.h"

namespace {

struct Route {
    DISPID first;
    DISPID last;
    const IID* target;
};

constexpr Route kRoutes[] = {
    {0x7, 0x18, &IID_DispTestObject},
    {0x51, 0x53, &IID_IStdObjectReplay},
    {0x55, 0x58, &IID_IStdObjectReplay},
    {0xA0, 0xA2, &IID_IStdCaptureTextReplay},
    {0x213, 0x213, &IID_IKorActiveXBaseReplay},
    {0x215, 0x216, &IID_IKorActiveXBaseReplay},
};

}  // namespace

const IID* DefaultDispatchRoute(DISPID id) noexcept {
    for (const Route& r : kRoutes)
        if (id >= r.first && id <= r.last) return r.target;
    return nullptr;
}
