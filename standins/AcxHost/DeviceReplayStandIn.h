#pragma once
// The host's device-replay engine ("DeviceReplayEngine", ProgID "Quorvel.DeviceReplay"): clicks
// at screen points through Wine's own hit testing. Every call is recorded; the answer is the
// configured HRESULT.
#include <windows.h>
#include <vector>
#include "../common/CallLog.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "host.h"

namespace standin {

inline constexpr wchar_t kDeviceReplayProgId[] = L"Quorvel.DeviceReplay";
// The stand-in's own class; the host's is not given.
inline constexpr CLSID kDeviceReplayClsid = {0x6A1F3C52, 0x2B7E, 0x4D90, {0x8C, 0x31, 0x5E, 0x0A, 0x94, 0x7B, 0x2D, 0x61}};

class CDeviceReplayStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                             public IKorDeviceReplay,
                             public IObjectRackClient {
public:
    // How a click reaches the application: posted button messages to the window under the
    // point (the default), real input at the point, or not at all.
    enum class Delivery { Messages, RealInput, None };

    // What every engine starts with, also those the package creates by ProgID.
    struct Settings {
        Delivery delivery = Delivery::Messages;
        HRESULT result = S_OK;
    };
    static Settings& Defaults();
    // The class creator for a ProgID registration; each engine made is remembered (weakly).
    static HRESULT Create(IUnknown* outer, REFIID iid, void** out);
    // The last engine made that still lives, or null.
    static CDeviceReplayStandIn* Last() noexcept;

    CDeviceReplayStandIn();
    ~CDeviceReplayStandIn();

    BEGIN_COM_MAP(CDeviceReplayStandIn)
        COM_INTERFACE_ENTRY(IKorDeviceReplay)
        COM_INTERFACE_ENTRY(IObjectRackClient)
    END_COM_MAP()

    // "Click(x,y,button)", "DblClick(x,y,button)": screen point and the button code (0 the left
    // button, any other the right one).
    STDMETHOD(Click)(long x, long y, long button) override;
    STDMETHOD(DblClick)(long x, long y, long button) override;
    STDMETHOD(GetRack)(IObjectRack** rack) override;
    STDMETHOD(SetRack)(IObjectRack* rack) override;

    void SetDelivery(Delivery delivery) noexcept { settings_.delivery = delivery; }
    void SetResult(HRESULT hr) noexcept { settings_.result = hr; }
    // The window each delivered click was posted to, in order (null when none was under the point).
    const std::vector<HWND>& Targets() const noexcept { return targets_; }
    CallLog& Log() noexcept { return log_; }

private:
    HRESULT Deliver(const wchar_t* kind, long x, long y, long button, bool doubleClick);

    Settings settings_;
    kcom::CComPtr<IObjectRack> rack_;
    std::vector<HWND> targets_;
    CallLog log_;
};

}  // namespace standin
