#include "environment/AcxFlowEvents.h"
#include "contracts/AcxSetting.h"
#include "com/ComError.h"
#include "environment/LoadTimeValues.h"
#include "environment/ObjectMap.h"
#include "contracts/Orlenty.h"

extern const kcom::CreatorFn AcxFlowEventsCreator = &kcom::CComCreator<CAcxFlowEvents>::CreateInstance;

namespace {

// Answer codes of a record receiver.
constexpr ULONG kNotMine = 8;
constexpr ULONG kHandled = 1;
constexpr USHORT kWindowRecordMask = 1 << 3;

// Offsets inside the recorder's records, read in place.
constexpr size_t kWindowAt = 8;
constexpr size_t kMessageAt = 12;
constexpr size_t kWlsWindowAt = 4;
constexpr size_t kWlsCookieAt = 8;

template <class T>
T ReadAt(const BYTE* record, size_t offset) noexcept {
    T value;
    memcpy(&value, record + offset, sizeof(T));
    return value;
}

HWND WindowAt(const BYTE* record, size_t offset) noexcept {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(ReadAt<DWORD>(record, offset)));
}

}  // namespace

void CAcxFlowEvents::FinalRelease() noexcept { Disconnect(); }

HRESULT CAcxFlowEvents::Pass(ACX_FLOW_EVENT event) noexcept {
    if (agent_) agent_->SetTestMode(event);
    return S_OK;
}

STDMETHODIMP CAcxFlowEvents::StartRecord() { return Pass(ACX_FLOW_EVENT_START_RECORD); }
STDMETHODIMP CAcxFlowEvents::EndRecord() { return Pass(ACX_FLOW_EVENT_END_RECORD); }
STDMETHODIMP CAcxFlowEvents::StartReplay(short) { return Pass(ACX_FLOW_EVENT_START_REPLAY); }
STDMETHODIMP CAcxFlowEvents::StartIteration(LONG) { return Pass(ACX_FLOW_EVENT_START_ITERATION); }
STDMETHODIMP CAcxFlowEvents::EndIteration(LONG) { return Pass(ACX_FLOW_EVENT_END_ITERATION); }
STDMETHODIMP CAcxFlowEvents::EndReplay() { return Pass(ACX_FLOW_EVENT_END_REPLAY); }
STDMETHODIMP CAcxFlowEvents::Error() { return Pass(ACX_FLOW_EVENT_ERROR); }
STDMETHODIMP CAcxFlowEvents::PauseReplay() { return Pass(ACX_FLOW_EVENT_PAUSE_REPLAY); }
STDMETHODIMP CAcxFlowEvents::ResumeReplay() { return Pass(ACX_FLOW_EVENT_RESUME_REPLAY); }

// The quit events end the flow subscription; they leave the caches alone.
HRESULT CAcxFlowEvents::Unadvise(DWORD& cookie) noexcept {
    return kcom::Guard([&]() -> HRESULT {
        kcom::CComPtr<IObjectRack> rack;
        HRESULT hr = GetRack(rack.Put());
        if (FAILED(hr)) return hr;
        if (!rack) return S_OK;
        kcom::CComPtr<IUnknown> connector;
        connector.Attach(OztGetEventConnector());
        kcom::CComQIPtr<IKorEventConnector> events(connector.get());
        if (!events) return S_OK;
        hr = events->Unadvise(cookie);
        cookie = 0;
        return hr;
    });
}

STDMETHODIMP CAcxFlowEvents::QuitRecord() { return Unadvise(recordCookie_); }
STDMETHODIMP CAcxFlowEvents::QuitReplay() { return Unadvise(replayCookie_); }

STDMETHODIMP CAcxFlowEvents::SetRack(IObjectRack* rack) {
    return kcom::Guard([&]() -> HRESULT {
        IObjectRackClientImpl<CAcxFlowEvents>::SetRack(rack);
        if (!rack) return E_FAIL;
        kcom::CComPtr<IUnknown> connector;
        connector.Attach(OztGetEventConnector());
        if (!connector) return E_FAIL;
        kcom::CComPtr<IUnknown> channel;
        channel.Attach(OztGetInputChannel());
        inputChannel_ = kcom::CComQIPtr<IKorInputChannel>(channel.get());
        if (!inputChannel_) return E_FAIL;
        return Connect(connector);
    });
}

STDMETHODIMP CAcxFlowEvents::Connect(IUnknown* server) {
    return kcom::Guard([&]() -> HRESULT {
        // Every step runs; the first failure is the answer, so a sink that misses the record or
        // replay events is not reported as connected.
        HRESULT hr = S_OK, failure = S_OK;
        auto step = [&](HRESULT result) {
            hr = result;
            if (FAILED(result) && SUCCEEDED(failure)) failure = result;
        };
        kcom::CComQIPtr<IKorEventConnector> connector(server);
        if (connector) {
            IUnknown* self = GetControllingUnknown();
            step(connector->Advise(self, 0, __uuidof(_KorFlowRecordEvents), &recordCookie_));
            step(connector->Advise(self, 0, __uuidof(_KorFlowReplayEvents), &replayCookie_));
        }
        if (!agent_) step(agent_.CoCreateInstance(CLSID_AcxAgntUtil, nullptr, CLSCTX_ALL));
        kcom::CComPtr<IKorDataTarget> target;
        if (SUCCEEDED(kcom::QueryTo(GetControllingUnknown(), target.Put())) && inputChannel_)
            step(inputChannel_->RegisterDataTarget(target, kWindowRecordMask, &dataTargetCookie_));
        return FAILED(failure) ? failure : hr;
    });
}

STDMETHODIMP CAcxFlowEvents::Disconnect() {
    return kcom::Guard([&]() -> HRESULT {
        HRESULT hr = S_OK;
        if (dataTargetCookie_ && inputChannel_) {
            hr = inputChannel_->UnregisterDataTarget(dataTargetCookie_);
            dataTargetCookie_ = 0;
        }
        inputChannel_.Release();
        return hr;
    });
}

STDMETHODIMP CAcxFlowEvents::ReceiveData(FORMATETC* format, STGMEDIUM* medium, ULONG* mdRet) {
    return kcom::Guard([&]() -> HRESULT {
        if (!mdRet) return E_POINTER;
        *mdRet = kNotMine;
        if (!format || !medium) return E_POINTER;
        const UINT cf = format->cfFormat;
        // The recorder hands the record's address as the medium's handle.
        const auto* record = reinterpret_cast<const BYTE*>(medium->hGlobal);
        if (cf == g_cfShelHalonotRegilim) {
            if (!record) return E_POINTER;
            if (ReadAt<WORD>(record, kMessageAt) == WM_DESTROY) {
                const HWND window = WindowAt(record, kWindowAt);
                if (agent_) agent_->ClearCachedInfo(window);
                RecordedWindowMap.erase(window);
            }
            return S_OK;
        }
        if (cf == CAcxSetting::GetInstance()->m_wlsClearFormat) {
            if (!record) return E_POINTER;
            kcom::CComQIPtr<IAcxAgntUtil2> agent(agent_.get());
            if (agent) agent->ClearWlsCachedInfo(WindowAt(record, kWlsWindowAt), ReadAt<LONG>(record, kWlsCookieAt));
            *mdRet = kHandled;
            return S_OK;
        }
        return S_OK;
    });
}
