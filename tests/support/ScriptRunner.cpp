#include "ScriptRunner.h"
#include <filesystem>
#include <fstream>
#include <sstream>
#include "com/CodePageText.h"
#include "com/Handles.h"
#include "win32/MessageWait.h"

std::wstring ScriptFolder() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path folder =
        std::filesystem::path(temp) / (L"kestrune_script_" + std::to_wstring(::GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    return folder.wstring();
}

DWORD RunScript(const std::string& body, std::string& output) {
    const std::filesystem::path folder = ScriptFolder();
    const std::filesystem::path script = folder / L"steps.vbs";
    { std::ofstream(script, std::ios::binary) << body; }
    const DWORD code = RunScriptFile(script.wstring(), L"", output);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return code;
}

DWORD RunScriptFile(const std::wstring& script, const std::wstring& arguments, std::string& output, DWORD timeoutMs) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path written =
        std::filesystem::path(temp) / (L"kestrune_script_out_" + std::to_wstring(::GetCurrentProcessId()) + L".txt");
    DWORD code = 0xFFFFFFFF;
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        kcom::CFileHandle out(::CreateFileW(written.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0,
                                            nullptr));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out;
        startup.hStdError = out;
        PROCESS_INFORMATION process{};
        std::wstring command = L"cscript.exe //nologo \"" + script + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
            kcom::CHandle processHandle(process.hProcess), thread(process.hThread);
            // The script's calls arrive as this thread's messages.
            const HANDLE handles[] = {process.hProcess};
            DWORD result = WAIT_TIMEOUT;
            for (DWORD waited = 0; waited < timeoutMs && result != WAIT_OBJECT_0; waited += 100) {
                UINT stop = 0;
                result = WaitPumpingMessages(1, handles, 100, QS_ALLINPUT, &stop);
            }
            if (result == WAIT_OBJECT_0) {
                ::GetExitCodeProcess(process.hProcess, &code);
            } else {
                ::TerminateProcess(process.hProcess, 1);
                code = 0xFFFFFFFE;
            }
        }
    }
    std::ifstream in(written);
    std::stringstream text;
    text << in.rdbuf();
    in.close();
    output = text.str();
    std::error_code ignored;
    std::filesystem::remove(written, ignored);
    return code;
}

std::string ScriptFileText(const std::wstring& script, bool* lossless) {
    return kcom::Narrow(script, ::GetACP(), lossless);
}

std::wstring ScriptOutputText(const std::string& output) { return kcom::Widen(output, ::GetOEMCP()); }
