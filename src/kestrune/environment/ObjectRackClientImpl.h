#pragma once
// The rack-client half that every package object shares: it keeps the host's rack.
#include <windows.h>
#include "ComPtr.h"
#include "host.h"

template <class T>
class IObjectRackClientImpl : public IObjectRackClient {
public:
    STDMETHOD(GetRack)(IObjectRack** rack) override {
        if (!rack) return E_POINTER;
        return m_rack.CopyTo(rack);
    }
    STDMETHOD(SetRack)(IObjectRack* rack) override {
        m_rack = rack;
        return S_OK;
    }

protected:
    kcom::CComPtr<IObjectRack> m_rack;
};
