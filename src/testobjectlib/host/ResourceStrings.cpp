#include "host/ResourceStrings.h"
#include <shlwapi.h>
#include <new>
#include <vector>
#include "com/Handles.h"

namespace {

constexpr int kChunk = 512;

// Replaces *out by a copy of the text; false when the copy cannot be made.
bool Assign(BSTR* out, const wchar_t* text, int length) noexcept {
    BSTR copy = ::SysAllocStringLen(text, static_cast<UINT>(length));
    if (!copy) return false;
    ::SysFreeString(*out);
    *out = copy;
    return true;
}

HMODULE LoadBesideHost(kcom::CLibrary& module, const wchar_t* fileName) noexcept {
    if (module) return module;
    wchar_t path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    ::PathRemoveFileSpecW(path);
    if (!::PathAppendW(path, fileName)) return nullptr;
    module.Reset(::LoadLibraryExW(path, nullptr, DONT_RESOLVE_DLL_REFERENCES));
    return module;
}

}  // namespace

bool LoadResourceString(BSTR* out, HMODULE module, UINT id) noexcept {
    if (!out) return false;
    wchar_t buffer[kChunk];
    int length = ::LoadStringW(module, id, buffer, kChunk);
    if (length <= 0) {
        ::SysFreeString(*out);
        *out = nullptr;
        return false;
    }
    if (length < kChunk - 1) return Assign(out, buffer, length);
    // The text may have been cut at the buffer's end: grow until two characters stay free.
    try {
        for (int size = 2 * kChunk;; size += kChunk) {
            std::vector<wchar_t> larger(static_cast<size_t>(size));
            length = ::LoadStringW(module, id, larger.data(), size);
            if (length <= 0) return false;
            if (length < size - 1) return Assign(out, larger.data(), length);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
}

HMODULE LoadMarrinModule() noexcept {
    static kcom::CLibrary module;  // freed at process exit
    return LoadBesideHost(module, L"Marrin.dll");
}

HMODULE LoadVostaneModule() noexcept {
    static kcom::CLibrary module;
    return LoadBesideHost(module, L"Vostane.dll");
}

std::wstring FormatResourceText(const wchar_t* pattern, std::initializer_list<const wchar_t*> args) {
    std::wstring out;
    auto next = args.begin();
    for (const wchar_t* p = pattern ? pattern : L""; *p; ++p) {
        if (p[0] == L'%' && p[1] == L's') {
            if (next != args.end()) {
                if (*next) out += *next;
                ++next;
            }
            ++p;
        } else if (p[0] == L'%' && p[1] == L'%') {
            out += L'%';
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}
