#include "host/RackServices.h"
#include "com/ComBSTR.h"
#include "com/ComError.h"

HRESULT GetRackObject(IObjectRack* rack, const wchar_t* name, REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!rack) return E_FAIL;
    return kcom::Guard([&]() -> HRESULT {
        kcom::CComBSTR key(name);
        IUnknown* object = nullptr;
        HRESULT hr = rack->GetObject(key, iid, &object);
        if (FAILED(hr)) {
            if (object) object->Release();  // a failing rack may still have answered something
            return hr;
        }
        if (!object) return E_FAIL;
        *out = object;
        return hr;
    });
}

HRESULT GetRackService(IObjectRack* rack, const wchar_t* name, REFIID iid, void** out) noexcept {
    HRESULT hr = GetRackObject(rack, name, iid, out);
    return FAILED(hr) && hr != E_POINTER ? E_FAIL : hr;
}

HRESULT GetObjectManager(IObjectRack* rack, IUnknown** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!rack) return E_FAIL;
    return kcom::Guard([&] {
        kcom::CComBSTR key(RackName::ObjectManager);
        HRESULT hr = rack->GetObject(key, IID_IKorObjectManager, out);
        if (FAILED(hr) && *out) {
            (*out)->Release();  // nothing is handed out with a failure
            *out = nullptr;
        }
        return hr;
    });
}
