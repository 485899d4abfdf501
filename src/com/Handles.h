#pragma once
// Owners of kernel handles, GDI objects, device contexts, registry keys, global memory and
// buffers of the COM task allocator.
#include <windows.h>
#include <objbase.h>
#include <cstdio>
#include <memory>
#include <utility>

namespace kcom {

// Generic unique owner: Traits gives the invalid value and the close function.
template <class Traits>
class CUniqueHandle {
public:
    using H = typename Traits::Handle;
    CUniqueHandle() noexcept = default;
    explicit CUniqueHandle(H h) noexcept : h_(h) {}
    CUniqueHandle(CUniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Traits::Invalid())) {}
    CUniqueHandle& operator=(CUniqueHandle&& o) noexcept {
        if (this != std::addressof(o)) Reset(std::exchange(o.h_, Traits::Invalid()));
        return *this;
    }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    ~CUniqueHandle() { Reset(); }

    void Reset(H h = Traits::Invalid()) noexcept {
        H old = std::exchange(h_, h);
        if (old != Traits::Invalid()) Traits::Close(old);
    }
    H Detach() noexcept { return std::exchange(h_, Traits::Invalid()); }
    H get() const noexcept { return h_; }
    operator H() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != Traits::Invalid(); }
    // Out-parameter for a callee to fill; the held handle is closed first.
    H* Put() noexcept { Reset(); return &h_; }
    // Taking the owner's address would hand out the wrapper, not the slot: Put() is the out-parameter.
    void operator&() = delete;

private:
    H h_ = Traits::Invalid();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static HANDLE Invalid() noexcept { return nullptr; }
    static void Close(HANDLE h) noexcept { if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h); }
};
struct FileHandleTraits {
    using Handle = HANDLE;
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};
template <class T>
struct GdiObjectTraits {
    using Handle = T;
    static T Invalid() noexcept { return nullptr; }
    static void Close(T h) noexcept { ::DeleteObject(h); }
};
struct MemoryDCTraits {
    using Handle = HDC;
    static HDC Invalid() noexcept { return nullptr; }
    static void Close(HDC h) noexcept { ::DeleteDC(h); }
};
struct RegKeyTraits {
    using Handle = HKEY;
    static HKEY Invalid() noexcept { return nullptr; }
    static void Close(HKEY h) noexcept { ::RegCloseKey(h); }
};
struct GlobalTraits {
    using Handle = HGLOBAL;
    static HGLOBAL Invalid() noexcept { return nullptr; }
    static void Close(HGLOBAL h) noexcept { ::GlobalFree(h); }
};
struct ModuleTraits {
    using Handle = HMODULE;
    static HMODULE Invalid() noexcept { return nullptr; }
    static void Close(HMODULE h) noexcept { ::FreeLibrary(h); }
};
struct StdioFileTraits {
    using Handle = FILE*;
    static FILE* Invalid() noexcept { return nullptr; }
    static void Close(FILE* f) noexcept { std::fclose(f); }
};
template <class T>
struct CoTaskMemTraits {
    using Handle = T*;
    static T* Invalid() noexcept { return nullptr; }
    static void Close(T* p) noexcept { ::CoTaskMemFree(p); }
};
struct ViewTraits {
    using Handle = void*;
    static void* Invalid() noexcept { return nullptr; }
    static void Close(void* p) noexcept { ::UnmapViewOfFile(p); }
};

using CHandle = CUniqueHandle<KernelHandleTraits>;
using CFileHandle = CUniqueHandle<FileHandleTraits>;
template <class T>
using CGdiObject = CUniqueHandle<GdiObjectTraits<T>>;
using CBitmap = CGdiObject<HBITMAP>;
using CPalette = CGdiObject<HPALETTE>;
using CPen = CGdiObject<HPEN>;
using CBrush = CGdiObject<HBRUSH>;
using CRgn = CGdiObject<HRGN>;
using CMemoryDC = CUniqueHandle<MemoryDCTraits>;
using CRegKey = CUniqueHandle<RegKeyTraits>;
using CGlobal = CUniqueHandle<GlobalTraits>;
using CLibrary = CUniqueHandle<ModuleTraits>;
using CMappedView = CUniqueHandle<ViewTraits>;
using CStdioFile = CUniqueHandle<StdioFileTraits>;
// A buffer a callee hands out from the COM task allocator (CLSID texts, packed blobs).
template <class T>
using CCoTaskMem = CUniqueHandle<CoTaskMemTraits<T>>;

// A window's DC, released to its window.
class CWindowDC {
public:
    explicit CWindowDC(HWND wnd) noexcept : CWindowDC(wnd, ::GetDC(wnd)) {}
    ~CWindowDC() { if (dc_) ::ReleaseDC(wnd_, dc_); }
    CWindowDC(const CWindowDC&) = delete;
    CWindowDC& operator=(const CWindowDC&) = delete;
    HDC get() const noexcept { return dc_; }
    operator HDC() const noexcept { return dc_; }

protected:
    CWindowDC(HWND wnd, HDC dc) noexcept : wnd_(wnd), dc_(dc) {}

private:
    HWND wnd_;
    HDC dc_;
};

// The DC of a whole window, frame included.
class CWholeWindowDC : public CWindowDC {
public:
    explicit CWholeWindowDC(HWND wnd) noexcept : CWindowDC(wnd, ::GetWindowDC(wnd)) {}
};

// Selects an object into a DC for a scope.
class CSelectObject {
public:
    CSelectObject(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(::SelectObject(dc, obj)) {}
    ~CSelectObject() { if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_); }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// Selects and realises a palette in a DC for a scope; SelectObject does not take palettes.
class CSelectPalette {
public:
    CSelectPalette(HDC dc, HPALETTE pal) noexcept : dc_(dc), old_(::SelectPalette(dc, pal, FALSE)) {
        if (old_) ::RealizePalette(dc);
    }
    ~CSelectPalette() { if (old_) ::SelectPalette(dc_, old_, FALSE); }
    CSelectPalette(const CSelectPalette&) = delete;
    CSelectPalette& operator=(const CSelectPalette&) = delete;

private:
    HDC dc_;
    HPALETTE old_;
};

// Locks global memory for a scope.
template <class T>
class CGlobalLock {
public:
    explicit CGlobalLock(HGLOBAL h) noexcept : h_(h), p_(static_cast<T*>(::GlobalLock(h))) {}
    ~CGlobalLock() { if (p_) ::GlobalUnlock(h_); }
    CGlobalLock(const CGlobalLock&) = delete;
    CGlobalLock& operator=(const CGlobalLock&) = delete;
    T* get() const noexcept { return p_; }

private:
    HGLOBAL h_;
    T* p_;
};

}  // namespace kcom
