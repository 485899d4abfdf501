#pragma once
// What the settings tree says about a property under "Attributes"\<name>: the help texts shown for
// it and its declared type.
#include <windows.h>
#include <oleauto.h>
#include "com/ComBSTR.h"
#include "host.h"

struct PropertyAttributes {
    kcom::CComBSTR name;
    kcom::CComBSTR helpString;
    kcom::CComBSTR helpFile;
    DWORD helpContext = 0;
    VARTYPE type = VT_EMPTY;
    DWORD kind = 0;
};

// Fills out from the child of "Attributes" whose name equals propertyName without regard to case;
// E_FAIL when there is none. A value of an unexpected type leaves its field as it was.
HRESULT ReadPropertyAttributes(IObjectRack* rack, const wchar_t* propertyName, PropertyAttributes* out) noexcept;
