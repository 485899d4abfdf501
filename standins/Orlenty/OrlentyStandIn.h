#pragma once
// Test controls of the Orlenty stand-in: what each entry function answers.
#include "contracts/Orlenty.h"

extern "C" {
// The stand-in keeps one reference to each object given (null clears it). An application
// settings object or query engine without its interface makes the function answer null.
ORLENTY_API void OrlentyStandIn_SetApplicationSettings(IUnknown* object);
ORLENTY_API void OrlentyStandIn_SetInputChannel(IUnknown* object);
ORLENTY_API void OrlentyStandIn_SetEventConnector(IUnknown* object);
ORLENTY_API void OrlentyStandIn_SetKorQuery(IUnknown* object);
ORLENTY_API void OrlentyStandIn_SetRecordMgr(IUnknown* object);
// Calls of one entry function so far, by its name ("OztGetKorQuery").
ORLENTY_API int OrlentyStandIn_GetCallCount(const wchar_t* function);
// Releases every object held and forgets the counts; call before CoUninitialize.
ORLENTY_API void OrlentyStandIn_Reset();
}
