#pragma once
// One 32-bit word of a persisted test object.
#include <windows.h>
#include <objidl.h>

// Reads 4 bytes into *value. A failing read raises its HRESULT as a kcom::ComError, and so does
// a read that ends early (E_FAIL): the word would otherwise hold whatever was there before.
void ReadStreamDword(IStream* stream, DWORD* value);
