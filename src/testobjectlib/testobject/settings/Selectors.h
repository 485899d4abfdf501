#pragma once
// The host's selector objects, named per property by the options.
#include <windows.h>
#include <oleauto.h>
#include "host.h"

// Creates the selector whose ProgID is the value "ProgID" of "Selectors\<name>" and gives it the
// rack when it takes one. out is the selector's IKorSelector.
HRESULT CreateSelector(IObjectRack* rack, BSTR name, IUnknown** out) noexcept;
