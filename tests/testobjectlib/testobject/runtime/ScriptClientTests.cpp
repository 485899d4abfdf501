// The script methods from a real VBScript client: Wine's cscript creates the test object, served
// from this process, by its ProgID and calls it through IDispatch. One table of steps: every
// error comes back as Err.Number with its description, and the script goes on to its end.
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <string>
#include "ScriptRunner.h"
#include "testobject/runtime/RunTimeTestObject.h"

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

    const std::filesystem::path folder = ScriptFolder();
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
    std::string lines;
    const DWORD code = RunScript(body, lines);
    ASSERT_EQ(7u, code) << lines;
    EXPECT_EQ(
        "exists|0||True\n"
        "value|0||hello\n"
        // Without a description the script engine names a refused argument itself.
        "wait without a name|5|Invalid procedure call or argument|\n"
        "jpeg|80070057|The specified file extension is not supported for this action.|\n"
        // The system's text of a Win32 error ends with its line break.
        "kept file|800700B7|File already exists.\n|\n"
        "zero size|80040206|The object has an empty rectangle.|\n"
        "lose it|0||\n"
        "missing|0||False\n"
        "value missing|80040202|Cannot identify the object \"[ TestClass ]\" (of class TestClass).|\n"
        "highlight missing|80040202|Cannot identify the object \"[ TestClass ]\" (of class TestClass).|\n"
        "capture missing|80040202|Cannot identify the object \"[ TestClass ]\" (of class TestClass).|\n"
        "end\n",
        lines);
}

}  // namespace
