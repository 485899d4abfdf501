#pragma once
// IKorAXUtilities of the ActiveX test object: direct work on its control through the agent
// utility, for custom objects. It keeps its own view of the control (found anew before every
// operation) and its own agent reference.
#include <windows.h>
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "environment/LoadTimeValues.h"
#include "kestrune.h"
#include "tables/RuntimeId.h"
#include "testobject/forwarding/Forwarding.h"

template <class T>
class IKorAXUtilitiesImpl : public IKorAXUtilities {
public:
    virtual ~IKorAXUtilitiesImpl() = default;

    STDMETHOD(GetProgID)(BSTR* progId) override {
        return Run([&] {
            return m_windowless ? m_agent->WlsProgIDQuery(m_window, m_cookie, progId)
                                : m_agent->AcxProgIDQuery(m_window, progId);
        });
    }
    // Every answer but S_OK is a failure here.
    STDMETHOD(GetPropertyByName)(BSTR name, VARIANT* value) override {
        return Run([&] {
            const HRESULT hr = m_windowless ? m_agent->GetWlsPropertyByHandle(m_window, m_cookie, name, value)
                                            : m_agent->GetPropertyByHandle(m_window, name, value);
            return hr == S_OK ? S_OK : E_FAIL;
        });
    }
    // The value travels as text.
    STDMETHOD(SetProperty)(BSTR name, VARIANT value) override {
        return RunWindowed([&](IKorAcxDriver* driver) {
            kcom::CComVariant text;
            HRESULT hr = ::VariantChangeType(&text, &value, 0, VT_BSTR);
            if (FAILED(hr)) return hr;
            return driver->SetPropertyByHandle(m_window, name, text);
        });
    }
    STDMETHOD(InvokeMethod)(BSTR method, SAFEARRAY** args, VARIANT* result) override {
        return RunWindowed([&](IKorAcxDriver* driver) { return driver->InvokeMethodByHandle(m_window, method, args, result); });
    }
    STDMETHOD(InvokeUserMessage)(BSTR first, BSTR second, SAFEARRAY** args, VARIANT* result) override {
        return RunWindowed(
            [&](IKorAcxDriver* driver) { return driver->InvokeUserMessage(m_window, first, second, args, result); });
    }
    STDMETHOD(GetDispatch)(IDispatch** control) override {
        return Run([&] {
            return m_windowless ? m_agent->GetWlsMarshalDisp(m_window, m_cookie, control)
                                : m_agent->GetMarshalDisp(m_window, control);
        });
    }

protected:
    // Finds the control and reads its window handle, and for a windowless control its cookie;
    // makes the agent on first use. A find other than S_OK is answered as it is.
    virtual HRESULT ResolveHandles() {
        kcom::CComPtr<IUnknown> found;
        HRESULT hr = static_cast<T*>(this)->ITestObject_FindObjectId(found.Put(), nullptr);
        if (hr != S_OK) return hr;
        CRuntimeId id{kcom::CComVariant(found.get())};
        long value = 0;
        hr = id.GetLong(L"hwnd", &value);
        if (SUCCEEDED(hr)) m_window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
        if (SUCCEEDED(hr) && id.GetPackage() == g_cfWindowlessAcxControl) {
            m_windowless = true;
            hr = id.GetLong(L"punknown", &value);
            if (SUCCEEDED(hr)) m_cookie = value;
        }
        if (!m_agent) hr = m_agent.CoCreateInstance(CLSID_AcxAgntUtil, nullptr, CLSCTX_ALL);
        return hr;
    }

private:
    template <class F>
    HRESULT Run(F&& operation) noexcept {
        return TestObjectGuard([&]() -> HRESULT {
            HRESULT hr = ResolveHandles();
            if (FAILED(hr)) return hr;
            if (!m_agent) return E_FAIL;
            return operation();
        });
    }
    // The operations of a windowed control's driver; a windowless control has none.
    template <class F>
    HRESULT RunWindowed(F&& operation) noexcept {
        return Run([&]() -> HRESULT {
            if (m_windowless) return E_NOTIMPL;
            // Asked by the one IID the agent utility answers (the interface's IID in the type
            // library): an IID of the test object's own would never be answered, and every
            // windowed operation here would fail.
            kcom::CComQIPtr<IKorAcxDriver> driver(static_cast<IUnknown*>(m_agent.get()));
            if (!driver) return E_FAIL;
            return operation(driver.get());
        });
    }

    bool m_windowless = false;
    HWND m_window = nullptr;
    LONG m_cookie = 0;
    kcom::CComPtr<IAcxAgntUtil2> m_agent;
};
