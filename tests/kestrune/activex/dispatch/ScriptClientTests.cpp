// The ActiveX test object from a real VBScript client: Wine's cscript creates the host, which this
// process serves, and gets test objects for the real controls of the application under test from
// the package's factory. One table of steps: the actions reach the controls (their input logs and
// event sinks show it), the control itself answers through Object, and every replay error comes
// back as Err.Number with its description while the script goes on to its end.
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>
#include "KorTestHost.h"
#include "ScriptRunner.h"

namespace {

// Each step: its name and the VBScript line that runs it (r: what the step answers).
struct Step {
    const char* name;
    const char* code;
};

const Step kSteps[] = {
    {"click", "o.Click : w.Click 5, 5 : r = h.ControlLog(\"ctl\") & \" / \" & h.ControlLog(\"main:7\")"},
    {"double click", "o.DblClick 3, 4 : w.DblClick 6, 7, 1 : r = h.ControlLog(\"ctl\") & \" / \" & h.ControlLog(\"main:7\")"},
    {"type", "o.Type \"ab\" : w.Type \"z\" : r = h.ControlLog(\"ctl\") & \" / \" & h.ControlLog(\"main:7\")"},
    {"drag and drop", "o.Drag 3, 4 : o.Drop 40, 20 : w.Drag 3, 4 : w.Drop 40, 20 : r = h.ControlLog(\"ctl\") & \" / \" & h.ControlLog(\"main:7\")"},
    {"make visible", "o.MakeVisible : w.MakeVisible 0"},
    {"move", "o.MouseMove 5, 6 : w.MouseMove 30, 90 : r = h.ControlLog(\"ctl\") & \" / \" & h.ControlLog(\"main:7\")"},
    {"window", "r = (o.hWnd <> 0) & \" \" & (w.hWnd <> 0)"},
    {"visible text", "r = o.GetVisibleText() & \" / \" & w.GetVisibleText(-1, -1, -1, -1)"},
    {"text location", "r = o.GetTextLocation(\"Hello\", 0, 0, 0, 0)"},
    {"click on text", "o.ClickOnText \"Hello\", 1 : r = h.InnerLog(o)"},
    {"object", "Set c = o.Object : c.AddItem \"x\" : r = c.Caption & \",\" & c.Text & \",\" & c.ListCount & \"/\" & w.Object.Caption"},
    {"run-time value", "r = o.GetROProperty(\"Caption\") & \"/\" & w.GetROProperty(\"Caption\")"},
    {"fire", "o.FireEvent \"Clicked\", Array(3, 4) : w.FireEvent \"Changed\", Array() : r = h.Events"},
    {"by name", "r = o.GetPropertyByName(\"Caption\")"},
    {"unknown member", "o.NoSuchThing"},
    {"not found", "Set c = lost.Object"},
    {"not found event", "lost.FireEvent \"Clicked\", Array()"},
    {"no area", "r = lost.GetVisibleText()"},
    {"not visible", "e8.Object.Move 0, 0, 0, 0 : e8.Click"},
    {"not enabled", "h.InnerAnswer o, \"WaitEnabled\", &H80040208 : o.Type \"x\""},
    {"enabled again", "h.InnerAnswer o, \"WaitEnabled\", 0 : o.Type \"y\" : r = h.ControlLog(\"ctl\")"},
    {"event name", "o.FireEvent 5, Array()"},
    {"unknown event", "o.FireEvent \"NoSuchEvent\", Array()"},
    {"argument type", "o.MouseMove \"a\", \"b\""},
    {"arguments missing", "o.DblClick"},
    {"aut mode", "h.SetOption \"AutMode\", 1 : Set a = h.TestObject(\"ctl\") : a.Click"},
};

std::string Script() {
    std::ostringstream s;
    s << "On Error Resume Next\r\n"
         "Set h = CreateObject(\"KorTest.Host\")\r\n"
         "If Err.Number <> 0 Then WScript.Echo \"create|\" & Hex(Err.Number) : WScript.Quit 2\r\n"
         "h.Start\r\n"
         "Set o = h.TestObject(\"ctl\") : Set w = h.TestObject(\"main:7\")\r\n"
         "Set e8 = h.TestObject(\"main:8\") : Set lost = h.TestObject(\"main:99\")\r\n"
         "h.Listen \"ctl\" : h.Listen \"main:7\"\r\n"
         "If Err.Number <> 0 Then WScript.Echo \"start|\" & Hex(Err.Number) & \"|\" & Err.Description : WScript.Quit 3\r\n";
    for (const Step& step : kSteps) {
        s << "Err.Clear : r = Empty : h.Clear\r\n"
          << step.code << "\r\n"
          << "WScript.Echo \"" << step.name << "|\" & Hex(Err.Number) & \"|\" & Err.Description & \"|\" & r\r\n";
    }
    s << "WScript.Echo \"end\"\r\nWScript.Quit 7\r\n";
    return s.str();
}

TEST(ScriptClient, EveryReplayMethodAndEveryReplayErrorFromAScript) {
    CKorTestHostServer server;
    ASSERT_EQ(S_OK, server.Result());
    std::string lines;
    const DWORD code = RunScript(Script(), lines);
    ASSERT_EQ(7u, code) << lines;
    EXPECT_EQ(
        // The actions reach the controls: in the container, a windowless control gets what falls
        // in its rectangle.
        // The windowed control's centre; the windowless one's point through the device-replay
        // engine, which focuses it for the keys that follow.
        "click|0||WM_LBUTTONDOWN 50,20 | WM_LBUTTONUP 50,20 / WM_SETFOCUS | WM_LBUTTONDOWN 5,5 | WM_LBUTTONUP 5,5\n"
        "double click|0||WM_LBUTTONDOWN 3,4 | WM_LBUTTONUP 3,4 | WM_LBUTTONDBLCLK 3,4 | WM_LBUTTONUP 3,4 / "
        "WM_RBUTTONDOWN 6,7 | WM_RBUTTONUP 6,7 | WM_RBUTTONDBLCLK 6,7 | WM_RBUTTONUP 6,7\n"
        "type|0||WM_KEYDOWN 0x41 | WM_CHAR 0x61 | WM_KEYUP 0x41 | WM_KEYDOWN 0x42 | WM_CHAR 0x62 | WM_KEYUP 0x42 / "
        "WM_KEYDOWN 0x5A | WM_CHAR 0x7A | WM_KEYUP 0x5A\n"
        // A windowless control's points are moved into its container for the inner object.
        "drag and drop|0||WM_LBUTTONDOWN 3,4 | WM_MOUSEMOVE 40,20 | WM_LBUTTONUP 40,20 / "
        "WM_LBUTTONDOWN 3,4 | WM_MOUSEMOVE 40,20 | WM_LBUTTONUP 40,20\n"
        "make visible|0||\n"
        "move|0||WM_MOUSEMOVE 5,6 / WM_MOUSEMOVE 10,10\n"
        "window|0||True True\n"
        "visible text|0||Hello / Kor Test Container\n"
        "text location|0||False\n"
        "click on text|0||do_ClickOnText(Hello,1)\n"
        "object|0||Hello,Alpha,1/Seven\n"
        "run-time value|0||Hello/Seven\n"
        "fire|0||Clicked(3,4) | Changed()\n"
        // Not a member of the object's IDispatch: the script engine's own error.
        "by name|1B6|Object doesn't support this property or method|\n"
        "unknown member|1B6|Object doesn't support this property or method|\n"
        "not found|80040202|Cannot identify the object \"[ ActiveX ]\" (of class ActiveX).|\n"
        "not found event|80040202|Cannot identify the object \"[ ActiveX ]\" (of class ActiveX).|\n"
        "no area|80040206|The object has an empty rectangle.|\n"
        "not visible|80040205|The object is not visible.|\n"
        "not enabled|80040208|The object is not enabled.|\n"
        "enabled again|0||WM_KEYDOWN 0x59 | WM_CHAR 0x79 | WM_KEYUP 0x59\n"
        // Codes the package has no text of: the script gets the number.
        "event name|80020008||\n"
        "unknown event|80020006||\n"
        "argument type|80020005||\n"
        "arguments missing|8002000E||\n"
        "aut mode|8004020F|The operation is refused in this run mode.|\n"
        "end\n",
        lines);
}

}  // namespace
