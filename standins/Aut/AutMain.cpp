// The application under test: real windows with a message loop, hooked by Quillon.
//   KestruneAut.exe <scenario> <published file> <ready event> <parent pid> [-nohook]
// Creates the scenario's windows and test controls, hooks its GUI thread, writes "name=HWND" lines (and pid, tid,
// nmhdr) to the published file, signals the ready event and pumps messages until WM_QUIT, until
// the parent process ends, or for at most ten minutes.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <cstdio>
#include <map>
#include <string>
#include <vector>
#include "com/Handles.h"
#include "HookScenario.h"
#include "QuillonStub.h"
#include "TestContainer.h"

namespace {

constexpr wchar_t kOwnClass[] = L"KestruneAutWindow";
constexpr DWORD kMaxLifetimeMs = 10 * 60 * 1000;

// A notification record other processes may read at a published address.
NMHDR g_notify{};

// Classes the system does not know are registered on the fly, so any class name can be tested.
bool EnsureClass(const std::wstring& name, HINSTANCE instance) {
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    if (::GetClassInfoExW(nullptr, name.c_str(), &info) || ::GetClassInfoExW(instance, name.c_str(), &info)) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = name.c_str();
    return ::RegisterClassExW(&wc) != 0;
}

template <class F>
F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

int Fail(const wchar_t* what, HRESULT hr) {
    fwprintf(stderr, L"KestruneAut: %ls (0x%08lX)\n", what, static_cast<unsigned long>(hr));
    return 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 5) return Fail(L"usage: scenario published-file ready-event parent-pid [-nohook]", E_INVALIDARG);
    const std::wstring scenarioPath = argv[1], publishPath = argv[2], readyName = argv[3];
    const DWORD parentPid = static_cast<DWORD>(_wtoi(argv[4]));
    const bool hook = !(argc > 5 && lstrcmpiW(argv[5], L"-nohook") == 0);
    ::LocalFree(argv);

    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return Fail(L"CoInitializeEx", E_FAIL);
    CHookScenario scenario;
    int badLine = 0;
    HRESULT hr = scenario.Load(scenarioPath.c_str(), &badLine);
    if (FAILED(hr)) return Fail((L"scenario line " + std::to_wstring(badLine)).c_str(), hr);

    // Registered so that the controls' events reach sinks in other processes.
    hr = CTestControl::LoadTypeLibrary(true);
    if (SUCCEEDED(hr)) hr = CTestContainer::RegisterClasses(instance);
    if (FAILED(hr)) return Fail(L"test controls", hr);

    std::map<std::wstring, HWND> windows;
    std::vector<kcom::CComPtr<CTestControlObject>> controls;
    for (const CScenarioWindow& w : scenario.windows) {
        HWND parent = nullptr;
        if (!w.parent.empty()) {
            auto it = windows.find(w.parent);
            if (it == windows.end()) return Fail((L"unknown parent " + w.parent).c_str(), E_INVALIDARG);
            parent = it->second;
        }
        const std::wstring cls = w.className == L"-" ? kOwnClass : w.className;
        if (!EnsureClass(cls, instance)) return Fail((L"class " + cls).c_str(), HRESULT_FROM_WIN32(::GetLastError()));
        RECT r = w.hasRect   ? w.rect
                 : w.control ? RECT{10, 10, 111, 51}  // 101 x 41: the centre rounds to (50, 20)
                 : parent    ? RECT{10, 10, 210, 110}
                             : RECT{40, 40, 440, 340};
        DWORD style = parent ? WS_CHILD | WS_CLIPSIBLINGS : WS_OVERLAPPEDWINDOW;
        if (!w.hidden) style |= WS_VISIBLE;
        HWND wnd = ::CreateWindowExW(0, cls.c_str(), w.text.c_str(), style, r.left, r.top, r.right - r.left,
                                     r.bottom - r.top, parent, nullptr, instance, nullptr);
        if (!wnd) return Fail((L"window " + w.name).c_str(), HRESULT_FROM_WIN32(::GetLastError()));
        windows[w.name] = wnd;
        if (w.control) {
            kcom::CComPtr<CTestControlObject> control;
            hr = CTestControl::Create(*w.control, w.name, wnd, 0, r, !w.hidden, control.Put());
            if (FAILED(hr)) return Fail((L"control " + w.name).c_str(), hr);
            CTestContainer::Of(wnd)->SetOwner(control);
            controls.push_back(control);
        }
    }
    for (const CScenarioWindowless& w : scenario.windowless) {
        auto it = windows.find(w.container);
        CTestContainer* container = it == windows.end() ? nullptr : CTestContainer::Of(it->second);
        const std::wstring name = w.container + L":" + std::to_wstring(w.cookie);
        if (!container) return Fail((L"no test container for " + name).c_str(), E_INVALIDARG);
        kcom::CComPtr<CTestControlObject> control;
        hr = CTestControl::Create(w.control, name, it->second, w.cookie, w.hasRect ? w.rect : RECT{10, 10, 110, 40},
                                  !w.hidden, control.Put());
        if (FAILED(hr)) return Fail((L"control " + name).c_str(), hr);
        container->Add(control);
        controls.push_back(control);
    }

    kcom::CLibrary quillon;
    if (hook) {
        quillon.Reset(::LoadLibraryW(L"Quillon.dll"));
        if (!quillon) return Fail(L"Quillon.dll", HRESULT_FROM_WIN32(::GetLastError()));
        auto start = Export<PFN_QuillonStub_StartHook>(quillon, "QuillonStub_StartHook");
        if (!start) return Fail(L"QuillonStub_StartHook", E_NOINTERFACE);
        std::vector<QuillonStubWindow> table;
        for (auto& [name, wnd] : windows) table.push_back({name.c_str(), wnd});
        hr = start(scenarioPath.c_str(), table.data(), static_cast<ULONG>(table.size()));
        if (FAILED(hr)) return Fail(L"hook", hr);
        auto add = Export<PFN_QuillonStub_AddControl>(quillon, "QuillonStub_AddControl");
        for (auto& control : controls) {
            hr = add ? add(static_cast<IKorTestControl*>(control.get())) : E_NOINTERFACE;
            if (FAILED(hr)) return Fail(L"hook control", hr);
        }
    }

    g_notify.hwndFrom = windows.empty() ? nullptr : windows.begin()->second;
    g_notify.idFrom = 1;
    g_notify.code = static_cast<UINT>(-2);  // NM_CLICK
    {
        FILE* out = _wfopen(publishPath.c_str(), L"w");
        if (!out) return Fail(L"published file", HRESULT_FROM_WIN32(ERROR_CANNOT_MAKE));
        for (auto& [name, wnd] : windows)
            fwprintf(out, L"%ls=%lu\n", name.c_str(), static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(wnd)));
        fwprintf(out, L"pid=%lu\ntid=%lu\nnmhdr=%lu\n", ::GetCurrentProcessId(), ::GetCurrentThreadId(),
                 static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(&g_notify)));
        fclose(out);
    }
    kcom::CHandle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, readyName.c_str()));
    if (!ready || !::SetEvent(ready)) return Fail(L"ready event", HRESULT_FROM_WIN32(::GetLastError()));

    // Ends with its test even when the test never says so: a timer looks after the parent.
    kcom::CHandle parent(::OpenProcess(SYNCHRONIZE, FALSE, parentPid));
    const DWORD started = ::GetTickCount();
    ::SetTimer(nullptr, 0, 500, nullptr);
    int code = 0;
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && !msg.hwnd) {
            if ((parent && ::WaitForSingleObject(parent, 0) == WAIT_OBJECT_0) ||
                ::GetTickCount() - started > kMaxLifetimeMs)
                break;
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (msg.message == WM_QUIT) code = static_cast<int>(msg.wParam);
    if (hook) {
        if (auto stop = Export<void (*)()>(quillon, "QuillonStub_StopHook")) stop();
    }
    for (auto& [name, wnd] : windows)
        if (::IsWindow(wnd) && !::GetParent(wnd)) ::DestroyWindow(wnd);
    controls.clear();
    ::CoUninitialize();
    return code;
}
