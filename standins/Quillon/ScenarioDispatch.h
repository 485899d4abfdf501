#pragma once
// The IDispatch the hook hands out for a control (and for its listener): its properties and
// methods are the scenario's, so a caller in another process sees the same state as the hook.
#include <windows.h>
#include <oaidl.h>
#include "HookScenario.h"

// Properties beyond the scenario's: where the object lives.
enum : DISPID {
    DispidProcessId = 1000,   // "ProcessId": the serving process
    DispidThreadId = 1001,    // "ThreadId": the serving thread
    DispidRole = 1002,        // "Role": "control" or "listener"
    DispidMethodBase = 2000,  // scenario methods, in their order
};

// A new object over target (which outlives it); one reference.
HRESULT CreateScenarioDispatch(CScenarioTarget* target, bool listener, IDispatch** out);
