#pragma once
// Test controls of the Cerulin stand-in.
#include <windows.h>

#ifdef CERULIN_BUILD
#define CERULIN_API __declspec(dllexport)
#else
#define CERULIN_API __declspec(dllimport)
#endif

extern "C" {
CERULIN_API BOOL __cdecl IsInLearn();
CERULIN_API void CerulinStandIn_SetInLearn(BOOL inLearn);
CERULIN_API int CerulinStandIn_GetCallCount();
}
