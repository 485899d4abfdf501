// The script methods from a real VBScript client: Wine's cscript creates the test object, served
// from this process, by its ProgID and calls it through IDispatch. One table of steps: every
// error comes back as Err.Number with its description, and the script goes on to its end.
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include "testobject/runtime/RunTimeTestObject.h"
#include "com/Handles.h"
#include "win32/MessageWait.h"

using kcom::CComVariant;

namespace {

const CLSID kScriptedClsid = {0x5c3a7e94, 0x8d4b, 0x4f0a, {0xb1, 0xe6, 0x3a, 0x9d, 0x2f, 0x7c, 0x4b, 0x10}};

// Identification answers what the script put into the description as "find result".
class CScriptedObject : public CRunTimeTestObject {
public:
    HRESULT STDMETHODCALLTYPE ITestObject_FindObjectId(IUnknown** object, QueryIdInfo* context) override {
        CComVariant result = Get(L"find result");
        findResult = result.vt == VT_I4 ? result.lVal : S_OK;
        return CRunTimeTestObject::ITestObject_FindObjectId(object, context);
    }
};

// Runs the script with its output into a file, serving this thread's objects the while.
DWORD RunScript(const std::wstring& script, const std::wstring& output) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    kcom::CFileHandle out(::CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0,
                                        nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process{};
    std::wstring command = L"cscript.exe //nologo \"" + script + L"\"";
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return 0xFFFFFFFF;
    kcom::CHandle processHandle(process.hProcess), thread(process.hThread);
    const HANDLE handles[] = {process.hProcess};
    DWORD result = WAIT_TIMEOUT;
    for (int i = 0; i < 900 && result != WAIT_OBJECT_0; ++i) {
        UINT stop = 0;
        result = WaitPumpingMessages(1, handles, 100, QS_ALLINPUT, &stop);
    }
    if (result != WAIT_OBJECT_0) {
        ::TerminateProcess(process.hProcess, 1);
        return 0xFFFFFFFE;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    return code;
}

TEST(ScriptClient, EveryReplayErrorReachesTheScriptAndTheScriptGoesOn) {
    RunTimeHost host;
    standin::Holder<CScriptedObject> object = standin::Holder<CScriptedObject>::New();
    object.as<IObjectRackClient>()->SetRack(host.host.Rack());
    object->found = CFakeRuntimeId::New();
    host.engine->PutValue(L"text", CComVariant(L"hello"));
    for (const wchar_t* name : {L"abs_x", L"abs_y", L"width", L"height"}) host.engine->PutValue(name, CComVariant(0L));
    standin::CObjectRegistration served(kScriptedClsid, object.as<DispTestObject>(), CLSCTX_LOCAL_SERVER);
    ASSERT_EQ(S_OK, served.Result());
    standin::CProgIdKey progId(L"Kestrune.ScriptedTestObject", kScriptedClsid);

    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path folder = std::filesystem::path(temp) / L"kestrune_script";
    std::filesystem::create_directories(folder);
    const std::wstring existing = (folder / L"old.png").wstring();
    { std::ofstream(std::filesystem::path(existing)) << "old"; }
    std::string existingA(existing.begin(), existing.end());
    const std::wstring jpeg = (folder / L"shot.jpg").wstring();
    std::string jpegA(jpeg.begin(), jpeg.end());
    const std::string body =
        "On Error Resume Next\r\n"
        "Set o = CreateObject(\"Kestrune.ScriptedTestObject\")\r\n"
        "If Err.Number <> 0 Then WScript.Echo \"create|\" & Hex(Err.Number) : WScript.Quit 2\r\n"
        "steps = Array(\"exists\", \"value\", \"wait without a name\", \"jpeg\", \"kept file\", \"zero size\", _\r\n"
        "  \"lose it\", \"missing\", \"value missing\", \"highlight missing\", \"capture missing\")\r\n"
        "For i = 0 To UBound(steps)\r\n"
        "  Err.Clear : r = Empty\r\n"
        "  Select Case i\r\n"
        "    Case 0 : r = o.Exist(0)\r\n"
        "    Case 1 : r = o.GetROProperty(\"text\")\r\n"
        "    Case 2 : r = o.WaitProperty(\"\", 1, 0)\r\n"
        "    Case 3 : o.CaptureBitmap \"" + jpegA + "\"\r\n"
        "    Case 4 : o.CaptureBitmap \"" + existingA + "\"\r\n"
        "    Case 5 : o.CaptureBitmap \"" + existingA + "\", True\r\n"
        "    Case 6 : o.SetTOProperty \"find result\", &H80040202\r\n"
        "    Case 7 : r = o.Exist(0)\r\n"
        "    Case 8 : r = o.GetROProperty(\"text\")\r\n"
        "    Case 9 : o.Highlight\r\n"
        "    Case 10 : o.CaptureBitmap \"" + existingA + "\", True\r\n"
        "  End Select\r\n"
        "  WScript.Echo steps(i) & \"|\" & Hex(Err.Number) & \"|\" & Err.Description & \"|\" & r\r\n"
        "Next\r\n"
        "WScript.Echo \"end\"\r\n"
        "WScript.Quit 7\r\n";
    const std::wstring script = (folder / L"steps.vbs").wstring();
    { std::ofstream(std::filesystem::path(script), std::ios::binary) << body; }
    const std::wstring output = (folder / L"out.txt").wstring();
    const DWORD code = RunScript(script, output);
    std::ifstream in{std::filesystem::path(output)};
    std::stringstream lines;
    lines << in.rdbuf();
    in.close();
    std::filesystem::remove_all(folder);
    ASSERT_EQ(7u, code) << lines.str();
    EXPECT_EQ(
        "exists|0||True\n"
        "value|0||hello\n"
        // Without a description the script engine names a refused argument itself.
        "wait without a name|5|Invalid procedure call or argument|\n"
        "jpeg|80070057|The specified file extension is not supported for this action.|\n"
        "kept file|800700B7|File already exists.\n|\n"
        "zero size|80040206|The object has an empty rectangle.|\n"
        "lose it|0||\n"
        "missing|0||False\n"
        "value missing|80040202|Cannot identify the object \"[ TestClass ]\" (of class TestClass).|\n"
        "highlight missing|80040202|Cannot identify the object \"[ TestClass ]\" (of class TestClass).|\n"
        "capture missing|80040202|Cannot identify the object \"[ TestClass ]\" (of class TestClass).|\n"
        "end\n",
        lines.str());
}

}  // namespace
