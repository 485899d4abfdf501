#pragma once
// Test controls of the Varrow stand-in: its call log and the answers it gives.
#include <windows.h>
#include "contracts/AcxSetting.h"

extern "C" {
// Calls so far, one line each: "Name(arg,arg)", joined by '\n'. Returns the length needed
// (without the terminator); writes at most size characters including the terminator.
VARROW_API int VarrowStandIn_GetLog(wchar_t* buffer, int size);
VARROW_API int VarrowStandIn_GetCallCount(const wchar_t* method);
// Forgets the log, the trapping modes, the ignored properties and the root.
VARROW_API void VarrowStandIn_Reset();
// The mode last set for a category; -2 when none was set.
VARROW_API long VarrowStandIn_GetTrappingMode(const wchar_t* category);
VARROW_API void VarrowStandIn_AddIgnoredProperty(const wchar_t* progId, const wchar_t* property);
// Names under which the two record formats are registered.
VARROW_API const wchar_t* VarrowStandIn_NotificationFormatName();
VARROW_API const wchar_t* VarrowStandIn_WlsClearFormatName();
}
