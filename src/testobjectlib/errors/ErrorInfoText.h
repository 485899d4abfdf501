#pragma once
// The thread's error information, set from a description and the optional help fields.
#include <windows.h>
#include <oleauto.h>

// E_INVALIDARG without a description. The help context, help file and source are set only when
// given (non-zero, non-null); answers the first failure.
HRESULT SetErrorInfoText(const wchar_t* description, const GUID* source, DWORD helpContext, const wchar_t* helpFile,
                         const wchar_t* sourceName) noexcept;
