#pragma once
// String resources, and the resource modules that lie beside the host's executable.
#include <windows.h>
#include <oleauto.h>
#include <initializer_list>
#include <string>

// Loads string `id` of `module` into *out, whatever its length. False with *out freed and null
// when there is no such string; false with *out left as it was when a longer buffer cannot be had.
bool LoadResourceString(BSTR* out, HMODULE module, UINT id) noexcept;

// "Marrin.dll" and "Vostane.dll" from the host executable's folder, loaded as data on first use
// and kept for the process; a failed load is tried again on the next use.
HMODULE LoadMarrinModule() noexcept;
HMODULE LoadVostaneModule() noexcept;

// The text of a resource string with its "%s" placeholders replaced by `args` in order (a missing
// argument or a null one gives an empty text) and "%%" by "%". Any other '%' stays as it is: the
// string comes from an outside file and is never handed to printf.
std::wstring FormatResourceText(const wchar_t* pattern, std::initializer_list<const wchar_t*> args);
