#pragma once
// Typed look-up of a DLL export.
#include <windows.h>

template <class F>
F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}
