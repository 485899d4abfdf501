#include "com/CodePageText.h"

namespace kcom {

std::string Narrow(const std::wstring& text, UINT codePage, bool* lossless) {
    if (lossless) *lossless = true;
    if (text.empty()) return {};
    // UTF-8 and UTF-7 refuse the default-character argument and the flag. Without the flag a
    // missing character would become a look-alike (Ā as A) and not count as defaulted.
    const bool unicode = codePage == CP_UTF8 || codePage == CP_UTF7;
    const DWORD flags = unicode ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL defaulted = FALSE;
    BOOL* usedDefault = unicode ? nullptr : &defaulted;
    const int length = static_cast<int>(text.size());
    const int n = ::WideCharToMultiByte(codePage, flags, text.c_str(), length, nullptr, 0, nullptr, usedDefault);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) ::WideCharToMultiByte(codePage, flags, text.c_str(), length, bytes.data(), n, nullptr, usedDefault);
    if (lossless) *lossless = n > 0 && !defaulted;
    return bytes;
}

std::wstring Widen(const std::string& bytes, UINT codePage) {
    if (bytes.empty()) return {};
    const int length = static_cast<int>(bytes.size());
    const int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    std::wstring text(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) ::MultiByteToWideChar(codePage, 0, bytes.data(), length, text.data(), n);
    return text;
}

}  // namespace kcom
