#include "testobject/settings/HostObjects.h"
#include "com/ComPtr.h"

HRESULT CreateHostObject(const wchar_t* progId, REFIID iid, IObjectRack* rack, IUnknown** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    CLSID clsid;
    HRESULT hr = ::CLSIDFromProgID(progId, &clsid);
    if (FAILED(hr)) return hr;
    kcom::CComPtr<IUnknown> object;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(object.Put()));
    if (FAILED(hr)) return hr;
    if (!object) return E_NOINTERFACE;
    kcom::CComPtr<IObjectRackClient> client;
    if (SUCCEEDED(object.QueryInterface(client.Put())) && client) {
        hr = client->SetRack(rack);
        if (FAILED(hr)) return hr;
    }
    *out = object.Detach();
    return hr;
}
