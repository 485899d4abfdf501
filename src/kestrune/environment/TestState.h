#pragma once
// Run-state options of the host, read through the rack and cached while known.
#include <windows.h>
#include <oleauto.h>
#include "com/ComError.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "host/RackServices.h"
#include "host.h"

template <class T>
class CTestState {
public:
    // Reads an option of "TestOptions" by name. The read's own answer is not looked at.
    HRESULT GetTestOption(const wchar_t* name, VARIANT* value) {
        kcom::CComPtr<IObjectRack> rack;
        IObjectRackClient* client = static_cast<T*>(this);
        HRESULT hr = client->GetRack(rack.Put());
        if (FAILED(hr)) return hr;
        if (!rack) return E_FAIL;
        kcom::CComPtr<IKorSettings> options;
        hr = GetRackObject(rack.get(), RackName::TestOptions, options.Put());
        if (FAILED(hr)) return hr;
        return kcom::Guard([&]() -> HRESULT {
            kcom::CComVariant key(name);
            options->get_Item(&key, value);
            return S_OK;
        });
    }

    // 1 for a test run under automation, else 0; -1 while the option holds no number (read again
    // on the next call).
    long GetAutMode() {
        long& cached = m_state[AutModeSlot];
        if (cached != -1) return cached;
        kcom::CComVariant mode;
        GetTestOption(L"AutMode", &mode);
        if (mode.vt == VT_I4)
            cached = mode.lVal == 1 ? 1 : 0;
        else if (mode.vt == VT_EMPTY)
            cached = 0;
        return cached;
    }

private:
    enum { AutModeSlot = 0, StateSlots = 5 };
    long m_state[StateSlots] = {-1, -1, -1, -1, -1};
};
