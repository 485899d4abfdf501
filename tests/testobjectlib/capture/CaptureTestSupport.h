#pragma once
// Temporary files and synthetic bitmaps for the capture and image writer tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "DecodedPng.h"
#include "com/Handles.h"

class TempFolder {
public:
    TempFolder() {
        dir_ = std::filesystem::temp_directory_path() /
               (L"kestrune-capture-" + std::to_wstring(::GetCurrentProcessId()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::wstring Path(const wchar_t* file) const { return (dir_ / file).wstring(); }

private:
    std::filesystem::path dir_;
};

inline bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline ULONGLONG FileLength(const std::wstring& path) {
    std::error_code ec;
    return std::filesystem::file_size(path, ec);
}

inline DWORD Le32(const std::vector<char>& b, size_t at) {
    DWORD v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
inline WORD Le16(const std::vector<char>& b, size_t at) {
    WORD v;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}

// A BMP file taken apart by hand.
struct BmpFile {
    std::vector<char> bytes;
    BITMAPINFOHEADER header = {};
    DWORD sizeField = 0, offset = 0;

    explicit BmpFile(const std::wstring& path) : bytes(pngtest::ReadFileBytes(path)) {
        if (bytes.size() < 14 + sizeof header) return;
        sizeField = Le32(bytes, 2);
        offset = Le32(bytes, 10);
        std::memcpy(&header, bytes.data() + 14, sizeof header);
    }
    bool Signed() const { return bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M'; }
    DWORD Stride() const { return (header.biBitCount * DWORD(header.biWidth) + 31) / 32 * 4; }
    // Top-down coordinates, for 24- and 32-bit files.
    COLORREF Pixel(LONG x, LONG y) const {
        const size_t row = offset + size_t(Stride()) * size_t(header.biHeight - 1 - y);
        const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data() + row + x * (header.biBitCount / 8));
        return RGB(p[2], p[1], p[0]);
    }
};

// A zero-filled packed DIB: header of headerSize bytes, then `extra` bytes (masks, colour table),
// then the rows.
inline kcom::CGlobal MakeDib(LONG width, LONG height, WORD bits, DWORD compression = BI_RGB, DWORD headerSize = 40,
                             DWORD extra = 0, DWORD clrUsed = 0) {
    const DWORD stride = (bits * DWORD(width) + 31) / 32 * 4;
    kcom::CGlobal dib(::GlobalAlloc(GHND, headerSize + extra + stride * DWORD(height < 0 ? -height : height)));
    kcom::CGlobalLock<BITMAPINFOHEADER> lock(dib);
    BITMAPINFOHEADER* h = lock.get();
    h->biSize = headerSize;
    h->biWidth = width;
    h->biHeight = height;
    h->biPlanes = 1;
    h->biBitCount = bits;
    h->biCompression = compression;
    h->biClrUsed = clrUsed;
    return dib;
}

// Pointer into a locked DIB at a byte offset.
template <class T = BYTE>
T* DibAt(const kcom::CGlobalLock<BYTE>& lock, size_t offset) {
    return reinterpret_cast<T*>(lock.get() + offset);
}
