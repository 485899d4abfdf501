// The Quillon stand-in, hook side: in the application under test it answers the hook requests
// that arrive under the carrier message on the hooked thread, from the scenario.
#include <map>
#include <memory>
#include "com/ComError.h"
#include "com/Handles.h"
#include "HookResponder.h"
#include "MessageRecorder.h"
#include "QuillonStub.h"
#include "WireRecord.h"

namespace {

HMODULE g_module = nullptr;

// Views of senders' sections, kept while a sender reuses one.
class CSectionViews {
public:
    CWireHeader* Find(ULONG pid, ULONG generation) {
        const auto key = std::make_pair(pid, generation);
        auto it = views_.find(key);
        if (it == views_.end()) {
            if (views_.size() >= 8) views_.clear();
            const std::wstring name = CWireHeader::SectionName(pid, generation);
            kcom::CHandle mapping(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str()));
            if (!mapping) return nullptr;
            kcom::CMappedView view(::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
            if (!view) return nullptr;
            it = views_.emplace(key, Entry{std::move(mapping), std::move(view)}).first;
        }
        auto* header = static_cast<CWireHeader*>(it->second.view.get());
        if (header->magic != CWireHeader::Magic || header->pid != pid || header->generation != generation) {
            views_.erase(it);
            return nullptr;
        }
        return header;
    }

private:
    struct Entry {
        kcom::CHandle mapping;
        kcom::CMappedView view;
    };
    std::map<std::pair<ULONG, ULONG>, Entry> views_;
};

struct CHookState {
    HHOOK hook = nullptr;
    HHOOK getMessageHook = nullptr;
    CMessageRecorder recorder;
    DWORD thread = 0;
    UINT carrier = 0;
    std::unique_ptr<CHookResponder> responder;
    CSectionViews views;
};

CHookState* g_hook = nullptr;

void OnCarrier(HWND target, WPARAM wParam, LPARAM lParam) {
    CWireHeader* header = g_hook->views.Find(static_cast<ULONG>(wParam), static_cast<ULONG>(lParam));
    if (!header || header->state != CWireHeader::Pending) return;
    const ULONG sequence = header->sequence;
    CWireRecord record;
    if (header->size > header->capacity ||
        FAILED(record.Read(reinterpret_cast<const BYTE*>(header + 1), header->size))) {
        ::InterlockedExchange(&header->state, CWireHeader::Unreadable);
        return;
    }
    DWORD hangMs = 0;
    if (CWireRecord::MessageName(record.request) == kQuillonStubRecordMessage) {
        g_hook->recorder.SetTarget(reinterpret_cast<HWND>(static_cast<UINT_PTR>(record.window)));
        record.result = 1;
    } else if (!g_hook->responder->Answer(target, record, hangMs)) {
        return;
    }
    if (hangMs) {
        const std::wstring name = kQuillonStubStallEvent + std::to_wstring(::GetCurrentProcessId());
        kcom::CHandle stalled(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
        if (stalled) ::SetEvent(stalled);
        ::Sleep(hangMs);
    }
    std::vector<BYTE> bytes;
    const HRESULT hr = record.Write(bytes);
    // The sender may have given up and moved on while this thread stalled.
    if (header->sequence != sequence || header->state != CWireHeader::Pending) return;
    if (FAILED(hr)) {
        ::InterlockedExchange(&header->state, CWireHeader::Unreadable);
    } else if (bytes.size() > header->capacity) {
        header->needed = static_cast<ULONG>(bytes.size());
        ::InterlockedExchange(&header->state, CWireHeader::TooLarge);
    } else {
        memcpy(header + 1, bytes.data(), bytes.size());
        header->size = static_cast<ULONG>(bytes.size());
        ::InterlockedExchange(&header->state, CWireHeader::Answered);
    }
}

LRESULT CALLBACK CallWndProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && g_hook) {
        const auto* msg = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (msg->message == g_hook->carrier && g_hook->carrier) {
            // Nothing thrown may unwind into the window manager's frames.
            kcom::Guard([&] {
                OnCarrier(msg->hwnd, msg->wParam, msg->lParam);
                return S_OK;
            });
        } else {
            g_hook->recorder.OnMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// Posted input, once as the thread takes it from its queue.
LRESULT CALLBACK GetMessageProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE && g_hook) {
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        g_hook->recorder.OnMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

extern "C" {

HRESULT QuillonStub_StartHook(const wchar_t* scenarioPath, const QuillonStubWindow* windows, ULONG count) {
    return kcom::Guard([&]() -> HRESULT {
        if (g_hook) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
        if (!windows && count) return E_POINTER;
        CHookScenario scenario;
        if (scenarioPath) {
            HRESULT hr = scenario.Load(scenarioPath);
            if (FAILED(hr)) return hr;
        }
        std::map<std::wstring, HWND> names;
        for (ULONG i = 0; i < count; ++i)
            if (windows[i].name) names[windows[i].name] = windows[i].window;
        auto state = std::make_unique<CHookState>();
        state->responder = std::make_unique<CHookResponder>(std::move(scenario), std::move(names));
        state->carrier = ::RegisterWindowMessageW(kQuillonCarrierMessage);
        state->thread = ::GetCurrentThreadId();
        state->hook = ::SetWindowsHookExW(WH_CALLWNDPROC, CallWndProc, g_module, state->thread);
        if (!state->hook) return HRESULT_FROM_WIN32(::GetLastError());
        state->getMessageHook = ::SetWindowsHookExW(WH_GETMESSAGE, GetMessageProc, g_module, state->thread);
        if (!state->getMessageHook) {
            ::UnhookWindowsHookEx(state->hook);
            return HRESULT_FROM_WIN32(::GetLastError());
        }
        g_hook = state.release();
        return S_OK;
    });
}

HRESULT QuillonStub_AddControl(IUnknown* control) {
    if (!g_hook) return E_UNEXPECTED;
    return kcom::Guard([&] { return g_hook->responder->AddControl(control); });
}

void QuillonStub_StopHook() {
    if (!g_hook) return;
    ::UnhookWindowsHookEx(g_hook->hook);
    ::UnhookWindowsHookEx(g_hook->getMessageHook);
    delete g_hook;
    g_hook = nullptr;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
