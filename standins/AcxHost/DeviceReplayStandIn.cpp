#include "DeviceReplayStandIn.h"
#include <algorithm>
#include <string>
#include "InputDelivery.h"
#include "com/ComError.h"

namespace standin {

namespace {

std::vector<CDeviceReplayStandIn*>& Live() {
    static std::vector<CDeviceReplayStandIn*> live;
    return live;
}

}  // namespace

CDeviceReplayStandIn::Settings& CDeviceReplayStandIn::Defaults() {
    static Settings defaults;
    return defaults;
}

HRESULT CDeviceReplayStandIn::Create(IUnknown* outer, REFIID iid, void** out) {
    return kcom::CComCreatorNoAggregation<CDeviceReplayStandIn>::CreateInstance(outer, iid, out);
}

CDeviceReplayStandIn* CDeviceReplayStandIn::Last() noexcept { return Live().empty() ? nullptr : Live().back(); }

CDeviceReplayStandIn::CDeviceReplayStandIn() : settings_(Defaults()) { Live().push_back(this); }

CDeviceReplayStandIn::~CDeviceReplayStandIn() {
    auto& live = Live();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

HRESULT CDeviceReplayStandIn::Deliver(const wchar_t* kind, long x, long y, long button, bool doubleClick) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(std::wstring(kind) + L"(" + std::to_wstring(x) + L"," + std::to_wstring(y) + L"," +
                 std::to_wstring(button) + L")");
        const POINT screen{x, y};
        const MouseButton which = button == 0 ? MouseButton::Left : MouseButton::Right;
        if (settings_.delivery == Delivery::RealInput) {
            targets_.push_back(::WindowFromPoint(screen));
            const HRESULT sent = SendRealClick(screen, which, doubleClick);
            if (FAILED(sent)) return sent;
        } else if (settings_.delivery == Delivery::Messages) {
            const HWND target = ::WindowFromPoint(screen);
            targets_.push_back(target);
            POINT client = screen;
            if (target && ::ScreenToClient(target, &client)) PostClick(target, client, which, doubleClick);
        }
        return settings_.result;
    });
}

STDMETHODIMP CDeviceReplayStandIn::Click(long x, long y, long button) { return Deliver(L"Click", x, y, button, false); }

STDMETHODIMP CDeviceReplayStandIn::DblClick(long x, long y, long button) {
    return Deliver(L"DblClick", x, y, button, true);
}

STDMETHODIMP CDeviceReplayStandIn::GetRack(IObjectRack** rack) {
    if (!rack) return E_POINTER;
    return rack_.CopyTo(rack);
}

STDMETHODIMP CDeviceReplayStandIn::SetRack(IObjectRack* rack) {
    log_.Add(std::wstring(L"SetRack(") + (rack ? L"rack" : L"(null)") + L")");
    rack_ = rack;
    return S_OK;
}

}  // namespace standin
