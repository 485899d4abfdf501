#pragma once
// Text as the bytes of a code page, and back: UTF-8 for what is read on the Linux side of Wine (pages,
// scenario files, terminals), the ANSI and OEM code pages for what Windows programs read and write.
#include <windows.h>
#include <string>

namespace kcom {

// The text in codePage; a character the code page lacks becomes its default character, never a
// look-alike, and *lossless (when given) tells whether none did. A code page without a default
// character (UTF-8, UTF-7) carries every character.
std::string Narrow(const std::wstring& text, UINT codePage, bool* lossless = nullptr);
// The bytes read in codePage.
std::wstring Widen(const std::string& bytes, UINT codePage);

inline std::string Utf8(const std::wstring& text) { return Narrow(text, CP_UTF8); }

}  // namespace kcom
