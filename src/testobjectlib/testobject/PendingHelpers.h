#pragma once
// Settings readers and the selector creation that identification and descriptions call.
#include <windows.h>
#include <oleauto.h>
#include "host.h"

HRESULT CreateSelector(IObjectRack* rack, BSTR name, IUnknown** out) noexcept;
HRESULT ReadClassSettingKind3(IObjectRack* rack, BSTR className, SAFEARRAY** out, BSTR userDefinedName,
                              DWORD mask) noexcept;
HRESULT ReadClassSettingKind5(IObjectRack* rack, BSTR className, BSTR* out, BSTR userDefinedName) noexcept;
HRESULT ReadClassSettingKind0(IObjectRack* rack, BSTR className, SAFEARRAY** out, BSTR userDefinedName) noexcept;
