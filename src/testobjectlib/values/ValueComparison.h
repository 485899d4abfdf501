#pragma once
// The package's rules for deciding whether an expected property value matches an actual one.
#include <windows.h>
#include <oleauto.h>
#include "host.h"

// Compare-type bits kept with every property.
enum CompareTypeBits : long {
    CMP_REGEXP = 0x1,          // the expected text is a pattern that must cover the whole actual text
    CMP_IGNORE_SPACE = 0x2,    // " \t\r\n" are removed from both texts before matching
    CMP_CASE_SENSITIVE = 0x4,  // without it, case is ignored
    CMP_CONTAINS = 0x8,        // the actual text need only contain the expected text (or a match)
    CMP_KEEP_TYPE = 0x10,      // ConvertByParamType keeps the value's own VARTYPE
};

// Exact, type-aware equality.
bool CompareVariantValues(const VARIANT& a, const VARIANT& b);

// Matches the expected text (the pattern side) against the actual text under a compare type.
HRESULT MatchValuePattern(BSTR expected, BSTR actual, long compareType, VARIANT_BOOL* result);

// Typed equality first (unless both sides are text or a pattern is asked for), then text matching.
// A declared type of VT_EMPTY declares nothing for that side.
HRESULT CompareTypedValues(VARIANT expected, VARIANT actual, long compareType, VARIANT_BOOL* result,
                           VARTYPE expectedType, VARTYPE actualType);

// The value used at run time for a stored property value: a parameter text (property flag 0x100)
// is evaluated through the host's "KorParamTypeMgr", and the value is converted to the declared
// VARTYPE unless the compare type keeps it. The owner is accepted and not used.
HRESULT ConvertByParamType(IObjectRack* rack, IDispatch* owner, const VARIANT* value, DWORD flags,
                           VARTYPE declaredType, DWORD compareType, VARIANT* result);
