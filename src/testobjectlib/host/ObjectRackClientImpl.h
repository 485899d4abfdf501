#pragma once
// The common rack-client base: keeps the rack that the host hands over.
#include <windows.h>
#include "com/ComPtr.h"
#include "host.h"

template <class T>
class IObjectRackClientImpl : public IObjectRackClient {
public:
    // The kept rack with a reference, or null with S_OK when none is set.
    STDMETHOD(GetRack)(IObjectRack** rack) override {
        if (!rack) return E_POINTER;
        return m_rack.CopyTo(rack);
    }
    // Replaces the kept rack; null is allowed. Derived classes call this first.
    STDMETHOD(SetRack)(IObjectRack* rack) override {
        m_rack = rack;
        return S_OK;
    }

protected:
    kcom::CComPtr<IObjectRack> m_rack;
};
