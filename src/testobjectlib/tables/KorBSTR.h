#pragma once
// One owned BSTR with the text operations the package needs, and the name orders of its maps.
#include <windows.h>
#include <oleauto.h>
#include "com/ComBSTR.h"

class CKorBSTR : public kcom::CComBSTR {
public:
    using kcom::CComBSTR::CComBSTR;
    using kcom::CComBSTR::operator=;
    CKorBSTR() noexcept = default;
    CKorBSTR(const kcom::CComBSTR& s) : kcom::CComBSTR(s) {}
    CKorBSTR(kcom::CComBSTR&& s) noexcept : kcom::CComBSTR(std::move(s)) {}

    // Substrings: new owned copies; counts are clamped to the held text.
    CKorBSTR Left(int n) const;
    CKorBSTR Mid(int start, int count) const;
    CKorBSTR Mid(int start) const;
    CKorBSTR Right(int n) const;

    // Searches answer -1 for no match and for a malformed held string.
    int Find(const wchar_t* substr, int start = 0) const noexcept;
    int FindChar(wchar_t ch, int start) const noexcept;
    int ReverseFind(wchar_t ch) const noexcept;

    bool IsEmpty() const noexcept;
    // Folds 'A'..'Z' only; a null on either side counts as the empty string.
    int CompareNoCase(const wchar_t* str) const noexcept;
    // Ordinal UTF-16 order over the whole BSTR length; a null string sorts first.
    bool IsLess(BSTR str) const noexcept;
    static bool IsLess(BSTR a, BSTR b) noexcept;

    HRESULT CopyRemovingChars(const wchar_t* set, BSTR source) noexcept;
    // Lower-cases 'A'..'Z' in place and nothing else; E_FAIL for a null string.
    HRESULT ToLower() noexcept;
    // Unchanged for a null, empty or malformed string.
    void TrimLeft() noexcept;
    void TrimRight() noexcept;
    // Microsoft wide printf rules: %s is a wide string, %S a narrow one. The old text is kept on
    // failure (E_INVALIDARG for a null or unusable format, E_OUTOFMEMORY).
    HRESULT Format(const wchar_t* format, ...) noexcept;
    int Replace(const wchar_t* oldText, const wchar_t* newText);

    // True when the character at SysStringLen is not the terminator.
    static bool IsMalformed(BSTR s) noexcept;
};

// Order of the package's name maps: null first, then DESCENDING after folding 'A'..'Z' only
// ("abc" before "ab", "b" before "A").
bool NoCaseBstrLess(BSTR a, BSTR b) noexcept;
// Equal after the same ASCII-only folding; null equals only null.
bool NoCaseBstrEqual(BSTR a, BSTR b) noexcept;
// Non-null texts of the same length and characters: equal under every locale comparison, so the
// comparison itself can be left for texts that differ.
bool SameCharacters(BSTR a, BSTR b) noexcept;

// Comparator object for maps keyed on BSTRs in the order above.
struct NoCaseBstrOrder {
    bool operator()(BSTR a, BSTR b) const noexcept { return NoCaseBstrLess(a, b); }
};
