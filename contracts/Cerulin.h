#pragma once
// Cerulin.dll: the host's "IsInLearn" test, found by name at run time (never linked).
#include <windows.h>

// Type of the export "IsInLearn".
using IsInLearnFn = BOOL(__cdecl*)();
