#pragma once
// Texts of failures as a test object shows them: the library's own codes from the resource module
// `Vostane`, every other code from the system.
#include <windows.h>
#include <oleauto.h>

// Replaces *text by the text of hr for the object named `name` (null or empty: no name). A
// missing resource module or string gives an empty text. E_POINTER for a null text.
HRESULT FormatLibraryErrorText(HRESULT hr, const wchar_t* name, BSTR* text) noexcept;

// A new BSTR with the system's text of hr; codes that an interface defines for itself, and
// custom control errors, get the resource module's general text instead. E_POINTER for a null
// out, E_OUTOFMEMORY.
HRESULT GetSystemErrorText(HRESULT hr, BSTR* out) noexcept;

// The description resource and help page that a replay error of hr carries, when it has one.
struct ErrorHelpPage {
    HRESULT code;
    UINT descriptionId;  // in `Marrin`
    const wchar_t* page;
};
// Null for a code without a help page. For the object-not-found code, the entry of the object
// itself; the text of an ancestor not found is kAncestorNotFoundDescriptionId.
const ErrorHelpPage* FindErrorHelpPage(HRESULT hr) noexcept;
inline constexpr UINT kAncestorNotFoundDescriptionId = 103;
