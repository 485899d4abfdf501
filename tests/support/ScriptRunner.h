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
// Wine's cscript reads a script file in the ANSI code page and writes what a script echoes to a
// redirected output (file or pipe) in the OEM code page: 1252 and 437 under an English or C locale
// (a literal Ü saved as 0xDC is echoed as 0x9A). It runs with this process's locale, so GetACP and
// GetOEMCP name them. *lossless: whether every character of the script survives.
std::string ScriptFileText(const std::wstring& script, bool* lossless = nullptr);
std::wstring ScriptOutputText(const std::string& output);
