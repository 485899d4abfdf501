#include "AutProcess.h"
#include <cstdio>
#include <fstream>
#include <sstream>
#include "DesktopLock.h"
#include "com/CodePageText.h"
#include "com/ComPtr.h"
#include "PelluceStub.h"
#include "QuillonStub.h"

namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

std::wstring TempName(const wchar_t* kind, LONG serial) {
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"kaut_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(serial) +
           kind;
}

bool WriteUtf8(const std::wstring& path, const std::wstring& text) {
    const std::string bytes = kcom::Utf8(text);
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    fclose(f);
    return ok;
}

}  // namespace

HRESULT CAutProcess::Start(const std::wstring& scenario, bool hook, DWORD readyTimeoutMs) {
    Stop();
    // The application's windows appear and take the foreground.
    if (HeldDesktop() == DesktopHeld::None)
        g_desktopRefused("this case starts the application under test, but it is among neither its program's "
                         "WINDOWS nor its DESKTOP cases (tests/CMakeLists.txt)");
    static volatile LONG serial = 0;
    const LONG n = ::InterlockedIncrement(&serial);
    scenarioPath_ = TempName(L"_scenario.txt", n);
    publishPath_ = TempName(L"_windows.txt", n);
    if (!WriteUtf8(scenarioPath_, scenario)) return HRESULT_FROM_WIN32(ERROR_CANNOT_MAKE);
    const std::wstring readyName =
        L"Local\\KestruneAutReady_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(n);
    kcom::CHandle ready(::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
    if (!ready) return HRESULT_FROM_WIN32(::GetLastError());

    const std::wstring exe = ProgramFolder() + L"KestruneAut.exe";
    std::wstring cmd = L"\"" + exe + L"\" \"" + scenarioPath_ + L"\" \"" + publishPath_ + L"\" " + readyName + L" " +
                       std::to_wstring(::GetCurrentProcessId()) + (hook ? L"" : L" -nohook");
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, ProgramFolder().c_str(), &si,
                          &pi))
        return HRESULT_FROM_WIN32(::GetLastError());
    ::CloseHandle(pi.hThread);
    process_.Reset(pi.hProcess);

    HANDLE waits[2] = {ready.get(), process_.get()};
    const DWORD w = ::WaitForMultipleObjects(2, waits, FALSE, readyTimeoutMs);
    if (w != WAIT_OBJECT_0) {
        Stop();
        return w == WAIT_OBJECT_0 + 1 ? E_ABORT : HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    }
    std::wifstream in(publishPath_.c_str());
    std::wstring line;
    while (std::getline(in, line)) {
        const size_t eq = line.find(L'=');
        if (eq == std::wstring::npos) continue;
        const std::wstring key = line.substr(0, eq);
        const unsigned long value = wcstoul(line.c_str() + eq + 1, nullptr, 10);
        if (key == L"pid") pid_ = value;
        else if (key == L"tid") tid_ = value;
        else if (key == L"nmhdr") nmhdr_ = value;
        else windows_[key] = reinterpret_cast<HWND>(static_cast<UINT_PTR>(value));
    }
    return pid_ ? S_OK : E_UNEXPECTED;
}

void CAutProcess::Stop() {
    if (process_) {
        if (tid_) ::PostThreadMessageW(tid_, WM_QUIT, 0, 0);
        if (::WaitForSingleObject(process_, 5000) != WAIT_OBJECT_0) {
            ::TerminateProcess(process_, 3);
            ::WaitForSingleObject(process_, 5000);
        }
        process_.Reset();
    }
    if (!scenarioPath_.empty()) ::DeleteFileW(scenarioPath_.c_str());
    if (!publishPath_.empty()) ::DeleteFileW(publishPath_.c_str());
    scenarioPath_.clear();
    publishPath_.clear();
    windows_.clear();
    pid_ = tid_ = 0;
    nmhdr_ = 0;
}

HWND CAutProcess::Window(const std::wstring& name) const {
    auto it = windows_.find(name);
    return it == windows_.end() ? nullptr : it->second;
}

long CAutProcess::Control(const wchar_t* message, CAcxParamHelper& params) const {
    if (windows_.empty()) return E_UNEXPECTED;
    kcom::CComPtr<IOutputChannel> channel;
    HRESULT hr = PelluceStub_CreateChannel(5000, channel.Put());
    if (FAILED(hr)) return hr;
    const UINT carrier = ::RegisterWindowMessageW(L"ZirevavoDizivov");
    return CPelluce::SendMessageByOCh(carrier, windows_.begin()->second, ::RegisterWindowMessageW(message), params,
                                      channel);
}

LONG CAutProcess::HookCount(const wchar_t* requestName) const {
    CAcxParamHelper params;
    params.varA.vt = VT_BSTR;
    params.varA.bstrVal = ::SysAllocString(requestName);
    return Control(kQuillonStubCountMessage, params) < 0 ? -1 : params.lResult;
}

std::vector<std::wstring> CAutProcess::HookLog() const {
    std::vector<std::wstring> lines;
    CAcxParamHelper params;
    if (Control(kQuillonStubLogMessage, params) < 0 || params.varA.vt != (VT_ARRAY | VT_BSTR)) return lines;
    SAFEARRAY* psa = params.varA.parray;
    BSTR* data = nullptr;
    if (FAILED(::SafeArrayAccessData(psa, reinterpret_cast<void**>(&data)))) return lines;
    for (ULONG i = 0; i < psa->rgsabound[0].cElements; ++i) lines.emplace_back(data[i] ? data[i] : L"");
    ::SafeArrayUnaccessData(psa);
    return lines;
}

void CAutProcess::ResetHook() const {
    CAcxParamHelper params;
    Control(kQuillonStubResetMessage, params);
}

HRESULT CAutProcess::Record(HWND target) const {
    CAcxParamHelper params;
    params.hWnd = target;
    const long sent = Control(kQuillonStubRecordMessage, params);
    return sent < 0 ? sent : params.lResult == 1 ? S_OK : E_FAIL;
}
