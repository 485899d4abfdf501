// The inner test object as the tests see it.
#include "InnerObjectStandIn.h"
#include "com/ComError.h"

namespace standin {

HRESULT CInnerObjectStandIn::Unserved(const wchar_t* method) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(std::wstring(method) + L"()");
        return E_NOTIMPL;
    });
}

HRESULT CInnerObjectStandIn::Step(const wchar_t* method) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(std::wstring(method) + L"()");
        auto answer = stepAnswers_.find(method);
        return answer == stepAnswers_.end() ? stepResult_ : answer->second;
    });
}

STDMETHODIMP CInnerObjectStandIn::SetOuterObject(IUnknown* outer) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(std::wstring(L"SetOuterObject(") + (outer ? L"object" : L"(null)") + L")");
        outer_ = outer;
        return S_OK;
    });
}

STDMETHODIMP CInnerObjectStandIn::SetRecordMgr(IKorDataTarget* recordMgr) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(std::wstring(L"SetRecordMgr(") + (recordMgr ? L"target" : L"(null)") + L")");
        recordMgr_ = recordMgr;
        return S_OK;
    });
}

STDMETHODIMP CInnerObjectStandIn::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_NULL;
    return S_OK;
}

STDMETHODIMP CInnerObjectStandIn::Load(IStream* stream) {
    return kcom::Guard([&]() -> HRESULT {
        if (!stream) return E_POINTER;
        DWORD marker = 0;
        ULONG read = 0;
        HRESULT hr = stream->Read(&marker, sizeof(marker), &read);
        log_.Add(L"Load(" + std::to_wstring(read == sizeof(marker) && marker == kMarker ? 1 : 0) + L")");
        if (FAILED(hr)) return hr;
        if (read != sizeof(marker) || marker != kMarker) return E_FAIL;
        return streamResult_;
    });
}

STDMETHODIMP CInnerObjectStandIn::Save(IStream* stream, BOOL clearDirty) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"Save(" + std::to_wstring(clearDirty) + L")");
        if (!stream) return E_POINTER;
        if (FAILED(streamResult_)) return streamResult_;
        const DWORD marker = kMarker;
        return stream->Write(&marker, sizeof(marker), nullptr);
    });
}

STDMETHODIMP CInnerObjectStandIn::GetStepTimes(ULONG* timeout, ULONG* delay) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"GetStepTimes()");
        if (!timeout || !delay) return E_POINTER;
        if (timeout_ != 0xFFFFFFFF) *timeout = timeout_;
        if (delay_ != 0xFFFFFFFF) *delay = delay_;
        return stepResult_;
    });
}

STDMETHODIMP CInnerObjectStandIn::BeginReplayStep(VARIANT context) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"BeginReplayStep(" + VariantText(context) + L")");
        return stepResult_;
    });
}

STDMETHODIMP CInnerObjectStandIn::GetReplayMethodFlags(ULONG* flags) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"GetReplayMethodFlags()");
        if (!flags) return E_POINTER;
        *flags = methodFlags_;
        return stepResult_;
    });
}

STDMETHODIMP CInnerObjectStandIn::GetRack(IObjectRack** rack) {
    if (!rack) return E_POINTER;
    return rack_.CopyTo(rack);
}

STDMETHODIMP CInnerObjectStandIn::SetRack(IObjectRack* rack) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(std::wstring(L"SetRack(") + (rack ? L"rack" : L"(null)") + L")");
        rack_ = rack;
        return S_OK;
    });
}

}  // namespace standin
