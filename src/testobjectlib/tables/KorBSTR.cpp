#include "tables/KorBSTR.h"
#include <cstdarg>
#include <cwchar>
#include <cwctype>
#include <algorithm>
#include <climits>

namespace {

wchar_t FoldAscii(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

// Microsoft's own wide printf, fetched by name: MinGW's headers may route the *printf names to
// its C99 implementation, where %s in a wide format means a narrow string.
using MeasureFn = int(__cdecl*)(const wchar_t*, va_list);
using PrintFn = int(__cdecl*)(wchar_t*, size_t, const wchar_t*, va_list);
struct MsPrintf {
    MeasureFn measure = nullptr;
    PrintFn print = nullptr;
};

const MsPrintf& CrtPrintf() noexcept {
    static const MsPrintf fns = [] {
        MsPrintf f;
        HMODULE crt = ::GetModuleHandleW(L"msvcrt.dll");
        if (!crt) crt = ::LoadLibraryW(L"msvcrt.dll");  // kept for the life of the process
        if (crt) {
            f.measure = reinterpret_cast<MeasureFn>(reinterpret_cast<void*>(::GetProcAddress(crt, "_vscwprintf")));
            f.print = reinterpret_cast<PrintFn>(reinterpret_cast<void*>(::GetProcAddress(crt, "_vsnwprintf")));
        }
        return f;
    }();
    return fns;
}

}  // namespace

bool CKorBSTR::IsMalformed(BSTR s) noexcept { return s && s[::SysStringLen(s)] != L'\0'; }

CKorBSTR CKorBSTR::Left(int n) const {
    const int len = static_cast<int>(Length());
    n = std::clamp(n, 0, len);
    return CKorBSTR(c_str(), static_cast<UINT>(n));
}

CKorBSTR CKorBSTR::Mid(int start, int count) const {
    const int len = static_cast<int>(Length());
    start = std::max(start, 0);
    count = std::max(count, 0);
    if (start >= len) return CKorBSTR(L"", 0);
    count = std::min(count, len - start);
    return CKorBSTR(c_str() + start, static_cast<UINT>(count));
}

CKorBSTR CKorBSTR::Mid(int start) const {
    const long long rest = static_cast<long long>(Length()) - start;
    return Mid(start, static_cast<int>(std::clamp<long long>(rest, INT_MIN, INT_MAX)));
}

CKorBSTR CKorBSTR::Right(int n) const {
    if (n < 0) return CKorBSTR(L"", 0);
    const long long start = static_cast<long long>(Length()) - n;
    return Mid(static_cast<int>(std::max<long long>(start, 0)), n);
}

int CKorBSTR::Find(const wchar_t* substr, int start) const noexcept {
    const BSTR s = *this;
    const int len = static_cast<int>(Length());
    if (!substr || !s || len == 0 || IsMalformed(s) || start < 0 || start >= len) return -1;
    const wchar_t* hit = std::wcsstr(s + start, substr);
    return hit ? static_cast<int>(hit - s) : -1;
}

int CKorBSTR::FindChar(wchar_t ch, int start) const noexcept {
    const BSTR s = *this;
    const int len = static_cast<int>(Length());
    if (IsMalformed(s) || start < 0 || start >= len) return -1;
    const wchar_t* hit = std::wcschr(s + start, ch);
    return hit ? static_cast<int>(hit - s) : -1;
}

int CKorBSTR::ReverseFind(wchar_t ch) const noexcept {
    const BSTR s = *this;
    if (!s || IsMalformed(s)) return -1;
    const wchar_t* hit = std::wcsrchr(s, ch);
    return hit ? static_cast<int>(hit - s) : -1;
}

bool CKorBSTR::IsEmpty() const noexcept { return Length() == 0; }

int CKorBSTR::CompareNoCase(const wchar_t* str) const noexcept {
    const wchar_t* a = c_str();
    const wchar_t* b = str ? str : L"";
    for (;; ++a, ++b) {
        const wchar_t ca = FoldAscii(*a), cb = FoldAscii(*b);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == L'\0') return 0;
    }
}

bool CKorBSTR::IsLess(BSTR a, BSTR b) noexcept {
    if (!b) return false;
    if (!a) return true;
    const UINT la = ::SysStringLen(a), lb = ::SysStringLen(b);
    return std::lexicographical_compare(a, a + la, b, b + lb);
}

bool CKorBSTR::IsLess(BSTR str) const noexcept { return IsLess(static_cast<BSTR>(*this), str); }

HRESULT CKorBSTR::CopyRemovingChars(const wchar_t* set, BSTR source) noexcept {
    if (!source) return E_INVALIDARG;
    const UINT len = ::SysStringLen(source);
    BSTR out = ::SysAllocStringLen(nullptr, len);
    if (!out) return E_OUTOFMEMORY;
    UINT n = 0;
    for (UINT i = 0; i < len; ++i) {
        const wchar_t c = source[i];
        // wcschr would match the terminator of the set for an embedded null character.
        if (set && c != L'\0' && std::wcschr(set, c)) continue;
        out[n++] = c;
    }
    out[n] = L'\0';
    if (n != len && !::SysReAllocStringLen(&out, out, n)) {
        ::SysFreeString(out);
        return E_OUTOFMEMORY;
    }
    Attach(out);
    return S_OK;
}

HRESULT CKorBSTR::ToLower() noexcept {
    const BSTR s = *this;
    if (!s) return E_FAIL;
    for (UINT i = 0, n = Length(); i < n; ++i)
        if (s[i] >= L'A' && s[i] <= L'Z') s[i] = static_cast<wchar_t>(s[i] + (L'a' - L'A'));
    return S_OK;
}

void CKorBSTR::TrimLeft() noexcept {
    const BSTR s = *this;
    if (!s || IsMalformed(s)) return;
    const UINT len = Length();
    UINT i = 0;
    while (i < len && std::iswspace(s[i])) ++i;
    if (i == 0) return;
    if (BSTR t = ::SysAllocStringLen(s + i, len - i)) Attach(t);
}

void CKorBSTR::TrimRight() noexcept {
    const BSTR s = *this;
    if (!s || IsMalformed(s)) return;
    const UINT len = Length();
    UINT n = len;
    while (n > 0 && std::iswspace(s[n - 1])) --n;
    if (n == len) return;
    if (BSTR t = ::SysAllocStringLen(s, n)) Attach(t);
}

// The exact length is measured first, so the one allocation always fits (an estimate of the
// conversions falls short for values such as %f of 1e300).
HRESULT CKorBSTR::Format(const wchar_t* format, ...) noexcept {
    const MsPrintf& crt = CrtPrintf();
    if (!format) return E_INVALIDARG;
    if (!crt.measure || !crt.print) return E_FAIL;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    HRESULT hr = S_OK;
    const int needed = crt.measure(format, args);
    if (needed < 0) {
        hr = E_INVALIDARG;
    } else if (BSTR out = ::SysAllocStringLen(nullptr, static_cast<UINT>(needed))) {
        const int written = crt.print(out, static_cast<size_t>(needed) + 1, format, again);
        if (written < 0) {
            ::SysFreeString(out);
            hr = E_INVALIDARG;
        } else {
            if (written < needed) ::SysReAllocStringLen(&out, out, static_cast<UINT>(written));
            Attach(out);
        }
    } else {
        hr = E_OUTOFMEMORY;
    }
    va_end(again);
    va_end(args);
    return hr;
}

int CKorBSTR::Replace(const wchar_t* oldText, const wchar_t* newText) {
    const BSTR s = *this;
    if (!s || !oldText || !*oldText) return 0;
    if (!newText) newText = L"";
    const size_t oldLen = std::wcslen(oldText), newLen = std::wcslen(newText);
    const wchar_t* const end = s + Length();
    int count = 0;
    for (const wchar_t* p = s; static_cast<size_t>(end - p) >= oldLen;) {
        if (std::equal(oldText, oldText + oldLen, p)) { ++count; p += oldLen; }
        else ++p;
    }
    if (count == 0) return 0;
    const size_t total = static_cast<size_t>(end - s) - count * oldLen + count * newLen;
    CKorBSTR out(nullptr, static_cast<UINT>(total));
    wchar_t* w = static_cast<BSTR>(out);
    for (const wchar_t* p = s; p < end;) {
        if (static_cast<size_t>(end - p) >= oldLen && std::equal(oldText, oldText + oldLen, p)) {
            w = std::copy(newText, newText + newLen, w);
            p += oldLen;
        } else {
            *w++ = *p++;
        }
    }
    *w = L'\0';
    *this = std::move(out);
    return count;
}

bool NoCaseBstrLess(BSTR a, BSTR b) noexcept {
    if (!a) return b != nullptr;
    if (!b) return false;
    const UINT la = ::SysStringLen(a), lb = ::SysStringLen(b);
    const UINT n = std::min(la, lb);
    for (UINT i = 0; i < n; ++i) {
        const wchar_t ca = FoldAscii(a[i]), cb = FoldAscii(b[i]);
        if (ca != cb) return ca > cb;
    }
    return la > lb;
}

bool SameCharacters(BSTR a, BSTR b) noexcept {
    const UINT length = ::SysStringLen(a);
    return a && b && length == ::SysStringLen(b) && std::wmemcmp(a, b, length) == 0;
}

bool NoCaseBstrEqual(BSTR a, BSTR b) noexcept {
    if (!a || !b) return a == b;
    const UINT la = ::SysStringLen(a);
    if (la != ::SysStringLen(b)) return false;
    for (UINT i = 0; i < la; ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}
