#pragma once
// IObjectRackClient of a test object: keeps the host's rack and hands it on to the delegate
// replay skeleton. The test object's own GetRack operation has this method's name and signature,
// so T overrides both at once by answering GetRack from here.
#include <windows.h>
#include "com/ComPtr.h"
#include "host/ObjectRackClientImpl.h"
#include "testobject/forwarding/Forwarding.h"

template <class T>
class ObjectRackClientContainer : public IObjectRackClientImpl<T> {
public:
    // Always S_OK: a delegate without a rack of its own is passed over.
    STDMETHOD(SetRack)(IObjectRack* rack) override {
        IObjectRackClientImpl<T>::SetRack(rack);
        TestObjectGuard([&]() -> HRESULT {
            kcom::CComPtr<IUnknown> skeleton;
            if (FAILED(TestObjectOf<T>(this)->GetReplaySkeleton(skeleton.Put())) || !skeleton) return S_OK;
            kcom::CComPtr<IObjectRackClient> client;
            if (SUCCEEDED(skeleton.QueryInterface(client.Put())) && client) client->SetRack(rack);
            return S_OK;
        });
        return S_OK;
    }
};
