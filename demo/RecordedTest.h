#pragma once
// The recorded test as the host writes it: one script line per step, "<object>.<Method> <args>".
#include <windows.h>
#include <string>
#include <vector>

// One step as the record manager received it, with the logical name of its test object.
struct RecordedAction {
    std::wstring object;
    std::wstring method;
    std::wstring arguments;  // "[I4:10,I4:15]": each argument's type and value
    DWORD tick = 0;          // when it was recorded
};

// The script arguments of "[I4:10,UI2:15]": "10, 15". Only numbers are steps' arguments here;
// false for anything else.
bool ScriptArguments(const std::wstring& arrayText, std::wstring& out);

// The script lines of the steps. Two clicks of one object at one point within the double-click
// time are the two halves of a double click: one "DblClick" line. False (and the line that could
// not be written in `failed`) when a step's arguments cannot be written.
bool ScriptLines(const std::vector<RecordedAction>& steps, UINT doubleClickTime, std::vector<std::wstring>& lines,
                 std::wstring& failed);

// The runnable replay: the frame script with its two marker lines ("' @OBJECTS@", "' @STEPS@")
// replaced by the loading of each named object from its description and by each line between
// Begin and Finish. False when the frame lacks a marker.
bool ReplayScript(const std::wstring& frame, const std::vector<std::wstring>& objects,
                  const std::vector<std::wstring>& lines, std::wstring& script);
