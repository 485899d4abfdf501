// The main job of Kestrune, end to end: registers the package, sets it up through the host in the
// host's order, records a user's clicks on real controls of the application under test, replays
// the recorded test as a VBScript against a fresh start of the application, captures a control
// and writes the step report.
//
//   KestruneDemo.exe --out <folder> --script <replay frame .vbs> [--register]
//
// The recorded test goes into the replay frame (Replay.vbs) as out\replay.vbs, which cscript runs.
// --register runs regsvr32 on Kestrune.dll beside the program first and takes the registration
// away again at the end. Any failing phase ends the program with 1 and says what failed.
#include <windows.h>
#include <shellapi.h>
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include "KorTestHost.h"
#include "PhaseTimes.h"
#include "RecordingSession.h"
#include "ReportPage.h"
#include "ScriptRunner.h"
#include "com/CodePageText.h"
#include "com/Handles.h"

namespace {

struct Options {
    std::wstring out, script;
    bool registers = false;
};

// Wine hands the bytes on unchanged to the Linux terminal or pipe, which reads UTF-8.
void Say(const std::wstring& line) {
    std::printf("%s\n", kcom::Utf8(line).c_str());
    std::fflush(stdout);
}

std::wstring Hex(DWORD value) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(value));
    return text;
}

// A Windows path as the machine sees it: Wine's drive Z: is the machine's root.
std::wstring Shown(const std::wstring& path) {
    if (path.size() < 3 || (path[0] != L'Z' && path[0] != L'z') || path[1] != L':') return path;
    std::wstring unix = path.substr(2);
    for (wchar_t& c : unix)
        if (c == L'\\') c = L'/';
    return unix;
}

std::wstring BinFolder() {
    wchar_t module[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    return std::filesystem::path(module).parent_path().wstring();
}

// regsvr32 on the package; its exit code.
DWORD RegisterPackage(bool unregister) {
    std::wstring command = L"regsvr32.exe /s " + std::wstring(unregister ? L"/u " : L"") + L"\"" + BinFolder() +
                           L"\\Kestrune.dll\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return ::GetLastError();
    kcom::CHandle processHandle(process.hProcess), thread(process.hThread);
    DWORD code = 1;
    if (::WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) ::GetExitCodeProcess(process.hProcess, &code);
    return code;
}

bool Parse(Options& options) {
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!args) return false;
    for (int i = 1; i < count; ++i) {
        const std::wstring arg = args[i];
        if (arg == L"--out" && i + 1 < count) options.out = args[++i];
        else if (arg == L"--script" && i + 1 < count) options.script = args[++i];
        else if (arg == L"--register") options.registers = true;
    }
    ::LocalFree(args);
    if (options.out.empty() || options.script.empty()) return false;
    std::error_code ignored;
    options.out = std::filesystem::absolute(options.out, ignored).wstring();
    options.script = std::filesystem::absolute(options.script, ignored).wstring();
    return true;
}

std::wstring FailureLine(const std::wstring& phase, const std::wstring& what) {
    return L"FAILED (" + phase + L"): " + what;
}

class CDemo {
public:
    explicit CDemo(Options options) : options_(std::move(options)) {}
    int Run();

private:
    int Fail(const std::wstring& what) {
        Say(FailureLine(phase_, what));
        times_.End();
        Say(SummaryLine(counts_, times_));
        return 1;
    }
    void Phase(const std::wstring& name) {
        phase_ = name;
        times_.Begin(name);
    }
    int Record();
    int Replay();
    // A stand-in that cannot set itself up raises: that fails the phase like any other failure.
    int Guarded(int (CDemo::*phase)()) {
        try {
            return (this->*phase)();
        } catch (const std::exception& e) {
            return Fail(kcom::Widen(e.what(), CP_UTF8));
        }
    }

    Options options_;
    CPhaseTimes times_;
    DemoCounts counts_;
    std::wstring phase_;
    bool registered_ = false;
    std::wstring replayScript_;
    std::vector<std::wstring> recorded_;  // the recorded test's lines
};

int CDemo::Record() {
    auto host = standin::Holder<CKorTestHost>::New();
    host->UseRegisteredPackage();
    HRESULT hr = host->Start(L"");
    if (FAILED(hr)) return Fail(L"the host's set-up of the package or the application's start (" + Hex(hr) + L")");
    Say(L"1. Kestrune.dll " + std::wstring(options_.registers ? L"registered; " : L"") +
        L"set up through the host: rack, configuration \"full\", Init, query engine, factory");
    Say(L"2. application under test started (process " + std::to_wstring(host->Bed()->aut.ProcessId()) +
        L"): windowed KorTest.WndCtl; windowless KorTest.WlsButton, KorTest.WlsLabel, Forms.CommandButton.1, "
        L"KorTest.WlsLocal");

    Phase(L"record");
    CRecordingSession session(*host.get());
    std::wstring error;
    if (FAILED(session.Start(error))) return Fail(error);
    for (const DemoAction& action : DemoActions())
        if (FAILED(session.Perform(action, error))) return Fail(error);
    counts_.recorded = session.StepCount();
    std::vector<std::wstring> objects;
    if (FAILED(session.Finish(options_.out, recorded_, objects, error))) return Fail(error);
    times_.End();  // ending the application is no part of the phase
    host->Stop();
    Say(L"3. recorded " + std::to_wstring(counts_.recorded) + L" steps from real clicks (SendInput), as script lines:");
    for (const std::wstring& line : recorded_) Say(L"     " + line);
    Say(L"   descriptions saved:");
    for (const std::wstring& name : objects) Say(L"     " + Shown(DescriptionFile(options_.out, name)));

    // The runnable test: the recorded lines in the replay frame, a source file of this
    // repository and so UTF-8, written as cscript reads it.
    std::ifstream frameFile(std::filesystem::path(options_.script), std::ios::binary);
    std::stringstream frameText;
    frameText << frameFile.rdbuf();
    std::wstring script;
    if (!frameFile || !ReplayScript(kcom::Widen(frameText.str(), CP_UTF8), objects, recorded_, script))
        return Fail(L"the replay frame " + options_.script + L" cannot be read or lacks its markers");
    bool lossless = true;
    const std::string bytes = ScriptFileText(script, &lossless);
    if (!lossless)
        return Fail(L"the recorded test holds a character that cscript's code page " + std::to_wstring(::GetACP()) +
                    L" lacks");
    replayScript_ = (std::filesystem::path(options_.out) / L"replay.vbs").wstring();
    std::ofstream test(std::filesystem::path(replayScript_), std::ios::binary);
    test.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return test.good() ? 0 : Fail(L"the replay script could not be written");
}

int CDemo::Replay() {
    CKorTestHostServer server;
    if (FAILED(server.Result())) return Fail(L"the host could not be served to scripts (" + Hex(server.Result()) + L")");
    server.Host()->UseRegisteredPackage();
    std::string output;
    const DWORD code = RunScriptFile(replayScript_, L"\"" + options_.out + L"\"", output, 120000);
    Say(L"4. replayed by cscript against a fresh start of the application, objects loaded from their descriptions:");
    ReportSummary summary;
    std::wistringstream lines(ScriptOutputText(output));
    std::wstring line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        unsigned long replayed = 0, passed = 0, failed = 0;
        if (std::swscanf(line.c_str(), L"RESULT %lu %lu %lu", &replayed, &passed, &failed) == 3) {
            counts_.replayed = replayed;
            counts_.passed = passed;
            counts_.failed = failed;
        } else if (!line.empty()) {
            summary.steps.push_back(line);
            Say(L"     " + line);
        }
    }
    std::wstring failure;
    if (code == 1) failure = std::to_wstring(counts_.failed) + L" of " + std::to_wstring(counts_.replayed) +
                             L" replayed steps failed";
    else if (code == 2) failure = L"the replay could not begin";
    else if (code != 0) failure = L"cscript ended with " + Hex(code) + L" (" + replayScript_ + L")";
    else if (counts_.failed != 0 || counts_.replayed == 0 || counts_.passed != counts_.replayed)
        failure = L"the replay counted " + std::to_wstring(counts_.replayed) + L" steps, " +
                  std::to_wstring(counts_.passed) + L" passed";
    // Each recorded step comes back in its own words, which a misread of cscript's text would change.
    for (const std::wstring& step : recorded_) {
        const auto& steps = summary.steps;
        if (failure.empty() && std::find(steps.begin(), steps.end(), L"pass  " + step) == steps.end())
            failure = L"the replay reported no pass of the recorded step " + step;
    }

    // The page is written whatever the replay's verdict: a failed replay is when it is needed most.
    const std::wstring failedPhase = failure.empty() ? L"report" : phase_;
    Phase(L"report");
    const std::filesystem::path image = std::filesystem::path(options_.out) / L"Seven.png";
    const std::filesystem::path report = std::filesystem::path(options_.out) / L"report.html";
    std::error_code ignored;
    const bool captured = std::filesystem::exists(image, ignored) && std::filesystem::file_size(image, ignored) > 0;
    const CAcxHostBed* bed = server.Host()->Bed();
    static const std::vector<standin::ReportedEvent> none;
    const std::vector<standin::ReportedEvent>& events = bed ? bed->report->Events() : none;
    if (failure.empty() && !captured) failure = L"CaptureBitmap wrote no image";
    if (failure.empty() && events.empty()) failure = L"the package sent no report event";
    if (!failure.empty()) summary.failure = FailureLine(failedPhase, failure);
    summary.counts = SummaryLine(counts_, times_);
    if (captured) {
        summary.image = image.filename().wstring();
        summary.imageCaption = L"Seven (KorTest.WlsButton) through CaptureBitmap";
        Say(L"5. image of " + summary.imageCaption + L": " + Shown(image.wstring()));
    }
    const std::string page = ReportPage(L"Kestrune replay report", summary, events);
    std::ofstream file(report, std::ios::binary);
    file.write(page.data(), static_cast<std::streamsize>(page.size()));
    if (!file.good()) {
        if (!summary.failure.empty()) Say(summary.failure);  // the replay's verdict, which the page would have held
        return Fail(L"the report could not be written");
    }
    Say(std::wstring(captured ? L"   " : L"5. ") + L"step report (" + std::to_wstring(events.size()) +
        L" report events): " + Shown(report.wstring()));
    if (!failure.empty()) {
        phase_ = failedPhase;
        return Fail(failure);
    }
    times_.End();
    server.Host()->Stop();
    return 0;
}

int CDemo::Run() {
    Phase(L"set-up");
    std::filesystem::create_directories(options_.out);
    if (options_.registers) {
        const DWORD code = RegisterPackage(false);
        if (code != 0) return Fail(L"regsvr32 Kestrune.dll ended with " + Hex(code));
        registered_ = true;
    }
    int result = Guarded(&CDemo::Record);
    if (result == 0) {
        Phase(L"replay");
        result = Guarded(&CDemo::Replay);
    }
    if (registered_ && RegisterPackage(true) != 0 && result == 0) result = Fail(L"regsvr32 /u Kestrune.dll failed");
    if (result != 0) return result;
    Say(SummaryLine(counts_, times_));
    return 0;
}

}  // namespace

int main() {
    Options options;
    if (!Parse(options)) {
        Say(L"usage: KestruneDemo.exe --out <folder> --script <replay frame .vbs> [--register]");
        return 2;
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int result = 0;
    {
        CDemo demo(options);
        result = demo.Run();
    }
    ::CoUninitialize();
    return result;
}
