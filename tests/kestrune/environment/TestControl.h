#pragma once
// A control for handler tests: a real Scripting.Dictionary behind an IDispatch that also says
// which window (and so which thread) it belongs to, and notes the thread of every call.
#include <windows.h>
#include <oleidl.h>
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "EnvTestSupport.h"

class CTestControl : public kcom::CComObjectRootEx<kcom::CComMultiThreadModel>, public IDispatch, public IOleWindow {
public:
    BEGIN_COM_MAP(CTestControl)
        COM_INTERFACE_ENTRY(IDispatch)
        COM_INTERFACE_ENTRY(IOleWindow)
    END_COM_MAP()

    STDMETHOD(GetTypeInfoCount)(UINT* count) override {
        if (!count) return E_POINTER;
        if (!typeInfo) {
            *count = 0;
            return S_OK;
        }
        return inner->GetTypeInfoCount(count);
    }
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) override {
        return inner->GetTypeInfo(index, lcid, info);
    }
    STDMETHOD(GetIDsOfNames)(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        lastThread = ::GetCurrentThreadId();
        return inner->GetIDsOfNames(iid, names, count, lcid, ids);
    }
    STDMETHOD(Invoke)(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT* argErr) override {
        lastThread = ::GetCurrentThreadId();
        ::InterlockedIncrement(&invokes);
        return inner->Invoke(id, iid, lcid, flags, params, result, excep, argErr);
    }
    STDMETHOD(GetWindow)(HWND* out) override {
        if (!out) return E_POINTER;
        *out = window;
        return window ? S_OK : E_FAIL;
    }
    STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }

    kcom::CComPtr<IDispatch> inner;
    HWND window = nullptr;
    bool typeInfo = true;
    volatile DWORD lastThread = 0;
    volatile LONG invokes = 0;
};

// A new Scripting.Dictionary.
inline HRESULT NewDictionary(IDispatch** out) {
    CLSID clsid;
    HRESULT hr = ::CLSIDFromProgID(L"Scripting.Dictionary", &clsid);
    if (FAILED(hr)) return hr;
    return ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(out));
}

// dictionary.Add key, item
inline HRESULT DictionaryAdd(IDispatch* dictionary, const VARIANT& key, const VARIANT& item) {
    return CallByName(dictionary, L"Add", DISPATCH_METHOD, nullptr, {key, item});
}
