#pragma once
// Packed form of a VARIANT, exported by Drevak.dll.
//   PackVariant: packs value into a buffer that the callee allocates with CoTaskMemAlloc; the
//     caller frees it with CoTaskMemFree. A negative result is a failure (no buffer then).
//   UnpackVariant: size holds, on entry, the bytes available at blob and, on return, the bytes
//     consumed. value is initialised first and stays VT_EMPTY on failure.
#include <windows.h>
#include <oleauto.h>

#ifdef DREVAK_BUILD
#define DREVAK_API extern "C" __declspec(dllexport)
#else
#define DREVAK_API extern "C" __declspec(dllimport)
#endif

DREVAK_API long __cdecl PackVariant(VARIANT value, void** blob, ULONG* size);
DREVAK_API long __cdecl UnpackVariant(const void* blob, VARIANT* value, ULONG* size);
