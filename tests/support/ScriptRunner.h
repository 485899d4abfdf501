#pragma once
// A VBScript run by Wine's cscript while this thread serves the objects the script calls.
#include <windows.h>
#include <string>

// The folder the script runs from, made on first use; a file the script should find can be put
// there beforehand. It goes with the next RunScript.
std::wstring ScriptFolder();
// Runs body and reads what it wrote; the exit code, 0xFFFFFFFF when cscript could not start, or
// 0xFFFFFFFE when it was ended after 90 s.
DWORD RunScript(const std::string& body, std::string& output);
// Runs a script file with its arguments (quoted as they must be) the same way; ended after
// timeoutMs.
DWORD RunScriptFile(const std::wstring& script, const std::wstring& arguments, std::string& output,
                    DWORD timeoutMs = 90000);
