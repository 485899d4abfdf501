// "Quorvel.AcxUtil" from a real VBScript client: Wine's cscript creates it and the host, which
// this process serves, and fires events on the Object of an ActiveX test object; the control's
// event sink sees every one of them, though Wine's proxy of IEnumConnections::Next across processes
// reads the reply's count and HRESULT from bytes never written. The forms of every argument,
// variables by reference included, are checked in process.
#include <gtest/gtest.h>
#include <string>
#include "KorTestHost.h"
#include "ScriptRunner.h"
#include "activex/classes/AcxUtilObj.h"
#include "com/ComPtr.h"
#include "environment/ObjectMap.h"

TEST(AcxUtilScript, FireEventOnAControlsObjectReachesItsSink) {
    CKorTestHostServer server;
    ASSERT_EQ(S_OK, server.Result());
    kcom::CComPtr<IUnknown> util;
    ASSERT_EQ(S_OK, AcxUtilObjCreator(nullptr, IID_IUnknown, reinterpret_cast<void**>(util.Put())));
    standin::CObjectRegistration utilClass(CLSID_KorAcxUtil, util, CLSCTX_LOCAL_SERVER);
    ASSERT_EQ(S_OK, utilClass.Result());
    standin::CProgIdKey utilProgId(L"Quorvel.AcxUtil", CLSID_KorAcxUtil);

    std::string lines;
    const DWORD code = RunScript(
        "On Error Resume Next\r\n"
        "Set h = CreateObject(\"KorTest.Host\") : h.Start\r\n"
        "Set o = h.TestObject(\"ctl\")\r\n"
        "h.Listen \"ctl\"\r\n"
        "Set u = CreateObject(\"Quorvel.AcxUtil\")\r\n"
        "If Err.Number <> 0 Then WScript.Echo \"start|\" & Hex(Err.Number) : WScript.Quit 3\r\n"
        "h.Clear : u.FireEvent o.Object, \"Clicked\", Array(1, 2) : u.FireEvent o.Object, \"Clicked\", Array(3, 4)\r\n"
        "WScript.Echo \"values|\" & Hex(Err.Number) & \"|\" & h.Events\r\n"
        "Err.Clear : u.FireEvent Nothing, \"Clicked\", Array()\r\n"
        "WScript.Echo \"nothing|\" & Hex(Err.Number)\r\n"
        "Err.Clear : u.FireEvent o.Object, \"\", Array()\r\n"
        "WScript.Echo \"no name|\" & Hex(Err.Number)\r\n"
        "Err.Clear : u.FireEvent o.Object, \"NoSuchEvent\", Array()\r\n"
        "WScript.Echo \"unknown event|\" & Hex(Err.Number)\r\n"
        "WScript.Quit 7\r\n",
        lines);
    ASSERT_EQ(7u, code) << lines;
    EXPECT_EQ(
        "values|0|Clicked(1,2) | Clicked(3,4)\n"
        // E_INVALIDARG as the script engine shows it.
        "nothing|5\n"
        "no name|5\n"
        // The script engine shows an unknown name as its own error.
        "unknown event|1B6\n",
        lines);
}
