#pragma once
// Host objects that the settings name by ProgID (selectors, identification algorithms).
#include <windows.h>
#include "host.h"

// Creates the in-process object of progId for iid and gives it the rack when it takes one. A
// refused rack fails the creation and nothing is handed out; otherwise the rack's answer is the
// result, or the creation's when the object takes no rack.
HRESULT CreateHostObject(const wchar_t* progId, REFIID iid, IObjectRack* rack, IUnknown** out) noexcept;
