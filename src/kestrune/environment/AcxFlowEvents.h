#pragma once
// The flow-event sink: follows the host's record and replay flow and the recorder's window
// records, and keeps the agent utility's caches in step with them.
#include <windows.h>
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/DispatchImpl.h"
#include "host/ObjectRackClientImpl.h"
#include "host.h"
#include "kestrune.h"

class CAcxFlowEvents : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                       public _KorFlowRecordEvents,
                       public _KorFlowReplayEvents,
                       public kcom::IDispatchImpl<IAcxFlowEvents, &IID_IAcxFlowEvents>,
                       public IObjectRackClientImpl<CAcxFlowEvents>,
                       public IKorDataTarget {
public:
    BEGIN_COM_MAP(CAcxFlowEvents)
        COM_INTERFACE_ENTRY(_KorFlowRecordEvents)
        COM_INTERFACE_ENTRY(_KorFlowReplayEvents)
        COM_INTERFACE_ENTRY(IAcxFlowEvents)
        COM_INTERFACE_ENTRY(IDispatch)
        COM_INTERFACE_ENTRY(IObjectRackClient)
        COM_INTERFACE_ENTRY(IKorDataTarget)
    END_COM_MAP()

    void FinalRelease() noexcept;

    // _KorFlowRecordEvents
    STDMETHOD(StartRecord)() override;
    STDMETHOD(EndRecord)() override;
    STDMETHOD(QuitRecord)() override;
    // _KorFlowReplayEvents
    STDMETHOD(StartReplay)(short bDebug) override;
    STDMETHOD(StartIteration)(LONG number) override;
    STDMETHOD(EndIteration)(LONG number) override;
    STDMETHOD(EndReplay)() override;
    STDMETHOD(Error)() override;
    STDMETHOD(QuitReplay)() override;
    STDMETHOD(PauseReplay)() override;
    STDMETHOD(ResumeReplay)() override;
    // IAcxFlowEvents
    STDMETHOD(Connect)(IUnknown* server) override;
    STDMETHOD(Disconnect)() override;
    // IObjectRackClient
    STDMETHOD(SetRack)(IObjectRack* rack) override;
    // IKorDataTarget
    STDMETHOD(ReceiveData)(FORMATETC* format, STGMEDIUM* medium, ULONG* mdRet) override;

private:
    HRESULT Pass(ACX_FLOW_EVENT event) noexcept;
    HRESULT Unadvise(DWORD& cookie) noexcept;

    DWORD recordCookie_ = 0;
    DWORD replayCookie_ = 0;
    kcom::CComPtr<IAcxAgntUtil> agent_;
    kcom::CComPtr<IKorInputChannel> inputChannel_;
    DWORD dataTargetCookie_ = 0;
};
