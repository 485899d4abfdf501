#pragma once
// Reading the lists that identification passes around: candidate lists (VARIANT arrays of
// run-time objects, of any shape) and property-name lists (one name per row).
#include <windows.h>
#include <oleauto.h>
#include "com/ComBSTR.h"

// The number of elements of a candidate list; 0 for none.
ULONG CandidateCount(SAFEARRAY* candidates) noexcept;
// One object of a candidate list: S_FALSE with null when the element holds no object.
HRESULT CandidateObject(SAFEARRAY* candidates, ULONG index, IUnknown** object) noexcept;
// The name in column 0 of a row of a name list, held as BSTRs or as VARIANTs; null when the row
// holds no text.
kcom::CComBSTR NameAt(SAFEARRAY* names, ULONG row);
