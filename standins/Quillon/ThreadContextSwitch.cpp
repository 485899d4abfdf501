// The Quillon stand-in, switcher side: hands dispatch work to a registered thread through a
// hidden window of that thread and waits for it.
#include "contracts/ThreadContextSwitch.h"
#include <map>
#include "com/ComError.h"
#include "com/CritSec.h"
#include "QuillonStub.h"

namespace {

constexpr UINT kRunMessage = WM_APP + 0x51;
constexpr wchar_t kWindowClass[] = L"QuillonStubSwitchWindow";

volatile LONG g_switchCount = 0;

struct CRunPacket {
    IAcxSwitchTarget* handler;
    LONG opcode;
    void* arg1;
    void* arg2;
    void* arg3;
    HRESULT* result;
};

HRESULT ReadProperty(IDispatch* object, BSTR name, VARIANT* value) {
    if (!object || !value) return E_POINTER;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {name};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0x800, &id);
    if (FAILED(hr)) return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none{};
    return object->Invoke(id, IID_NULL, 0x400, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
}

HRESULT RunHere(const CRunPacket& p) {
    return kcom::Guard([&]() -> HRESULT {
        ::InterlockedIncrement(&g_switchCount);
        switch (p.opcode) {
        case AcxSwitchGetMemberList:
            if (!p.handler) return E_POINTER;
            p.handler->GetMemberList(static_cast<BSTR*>(p.arg1), FALSE);
            return S_OK;
        case AcxSwitchGetProperty:
            if (!p.handler) return E_POINTER;
            return p.handler->GetProperty(static_cast<BSTR>(p.arg1), static_cast<VARIANT*>(p.arg2), FALSE);
        case AcxSwitchReadProperty:
            return ReadProperty(static_cast<IDispatch*>(p.arg1), static_cast<BSTR>(p.arg2),
                                static_cast<VARIANT*>(p.arg3));
        case AcxSwitchMarshalToStream:
            if (!p.handler) return E_POINTER;
            return p.handler->MarshalToStream(static_cast<IStream**>(p.arg1), static_cast<IUnknown*>(p.arg2),
                                              static_cast<HRESULT*>(p.arg3), FALSE);
        default:
            return E_INVALIDARG;
        }
    });
}

LRESULT CALLBACK SwitchWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kRunMessage) {
        const auto* packet = reinterpret_cast<const CRunPacket*>(lParam);
        *packet->result = RunHere(*packet);
        return 1;
    }
    return ::DefWindowProcW(wnd, msg, wParam, lParam);
}

HMODULE ThisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&SwitchWndProc), &module);
    return module;
}

class CSwitcher final : public CThreadContextSwitch {
public:
    BOOL RegisterThread() override {
        const DWORD tid = ::GetCurrentThreadId();
        {
            kcom::CComCritSecLock lock(cs_);
            if (threads_.count(tid)) return TRUE;
        }
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = SwitchWndProc;
        wc.hInstance = ThisModule();
        wc.lpszClassName = kWindowClass;
        ::RegisterClassExW(&wc);  // a second registration fails harmlessly
        HWND wnd = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        if (!wnd) return FALSE;
        kcom::CComCritSecLock lock(cs_);
        threads_[tid] = wnd;
        return TRUE;
    }

    BOOL UnregisterThread() override {
        HWND wnd = nullptr;
        {
            kcom::CComCritSecLock lock(cs_);
            auto it = threads_.find(::GetCurrentThreadId());
            if (it == threads_.end()) return FALSE;
            wnd = it->second;
            threads_.erase(it);
        }
        ::DestroyWindow(wnd);
        return TRUE;
    }

    BOOL NeedsSwitch(DWORD threadId) override {
        if (threadId == ::GetCurrentThreadId()) return FALSE;
        kcom::CComCritSecLock lock(cs_);
        return threads_.count(threadId) ? TRUE : FALSE;
    }

    HRESULT Run(IAcxSwitchTarget* handler, DWORD threadId, LONG opcode, void* arg1, void* arg2, void* arg3,
                HRESULT* result) override {
        if (!result) return E_POINTER;
        CRunPacket packet{handler, opcode, arg1, arg2, arg3, result};
        if (threadId == ::GetCurrentThreadId()) {
            *result = RunHere(packet);
            return S_OK;
        }
        HWND wnd = nullptr;
        {
            kcom::CComCritSecLock lock(cs_);
            auto it = threads_.find(threadId);
            if (it != threads_.end()) wnd = it->second;
        }
        if (!wnd) return HRESULT_FROM_WIN32(ERROR_INVALID_THREAD_ID);
        // SendMessage waits for the target thread and lets this thread answer messages sent to it.
        if (!::SendMessageW(wnd, kRunMessage, 0, reinterpret_cast<LPARAM>(&packet))) return E_FAIL;
        return S_OK;
    }

    ULONG GetVersion() override { return 1; }

private:
    kcom::CComCriticalSection cs_;
    std::map<DWORD, HWND> threads_;
};

}  // namespace

extern "C" {

__declspec(dllexport) CThreadContextSwitch* CThreadContextSwitch_GetInstance() {
    static CSwitcher switcher;
    return &switcher;
}

__declspec(dllexport) HMODULE CThreadContextSwitch_GetHModule() { return ThisModule(); }

LONG QuillonStub_GetSwitchCount() { return g_switchCount; }

}  // extern "C"
