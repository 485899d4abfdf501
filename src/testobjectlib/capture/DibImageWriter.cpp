#include "capture/DibImageWriter.h"

#include <bit>
#include <cstring>
#include <vector>

#include "com/Handles.h"
#include "capture/PngFileWriter.h"

namespace {

constexpr DWORD kFileHeaderSize = 14;
constexpr DWORD kWritePiece = 32767;

// The writers trust the DIB's own numbers only as far as the block reaches.
bool HeaderFits(const BITMAPINFOHEADER& h, SIZE_T blockSize) noexcept {
    return blockSize >= sizeof(BITMAPINFOHEADER) && h.biSize >= sizeof(BITMAPINFOHEADER) && h.biSize <= blockSize &&
           h.biWidth >= 1 && h.biHeight >= 1 && h.biBitCount >= 1 && h.biBitCount <= 32 &&
           ULONGLONG(h.biBitCount) * ULONGLONG(h.biWidth) + 31 <= MAXDWORD;  // a row size that does not wrap
}

bool PixelsFit(const BITMAPINFOHEADER& h, ULONGLONG imageSize, SIZE_T blockSize) noexcept {
    return ULONGLONG(h.biSize) + DibColorTableSize(h) + imageSize <= blockSize;
}

ULONGLONG RowsSize(const BITMAPINFOHEADER& h) noexcept {
    return ULONGLONG(DibStride(h.biWidth, h.biBitCount)) * ULONGLONG(h.biHeight);
}

// Scales one channel selected by a mask to 8 bits.
struct Channel {
    DWORD mask;
    int low;
    int width;
    explicit Channel(DWORD m) noexcept : mask(m), low(m ? std::countr_zero(m) : 0), width(std::popcount(m)) {}
    BYTE operator()(DWORD p) const noexcept {
        DWORD v = (p & mask) >> low;
        return static_cast<BYTE>(width <= 8 ? v << (8 - width) : v >> (width - 8));
    }
};

// Converts the DIB's rows to 8-bit RGB, top-down; false for a layout it cannot read.
bool ToRgb(const BITMAPINFOHEADER& h, const BYTE* pixels, std::vector<BYTE>& rgb, DWORD rgbStride) {
    const LONG w = h.biWidth, ht = h.biHeight;
    const DWORD stride = DibStride(w, h.biBitCount);
    const bool fields = h.biCompression == BI_BITFIELDS;
    if (fields && h.biBitCount != 16 && h.biBitCount != 32) return false;
    DWORD masks[3] = {};
    if (fields) std::memcpy(masks, reinterpret_cast<const BYTE*>(&h) + sizeof(BITMAPINFOHEADER), sizeof masks);
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);

    rgb.assign(size_t(rgbStride) * size_t(ht), 0);
    for (LONG y = 0; y < ht; ++y) {
        const BYTE* src = pixels + size_t(stride) * size_t(ht - 1 - y);
        BYTE* dst = rgb.data() + size_t(rgbStride) * size_t(y);
        for (LONG x = 0; x < w; ++x, dst += 3) {
            switch (h.biBitCount) {
            case 24:
                dst[0] = src[x * 3 + 2], dst[1] = src[x * 3 + 1], dst[2] = src[x * 3];
                break;
            case 16: {
                const DWORD p = src[x * 2] | DWORD(src[x * 2 + 1]) << 8;
                if (fields)
                    dst[0] = red(p), dst[1] = green(p), dst[2] = blue(p);
                else
                    dst[0] = BYTE((p & 0x7C00) >> 7), dst[1] = BYTE((p & 0x03E0) >> 2), dst[2] = BYTE((p & 0x001F) << 3);
                break;
            }
            case 32: {
                const BYTE* q = src + x * 4;
                if (fields) {
                    const DWORD p = q[0] | DWORD(q[1]) << 8 | DWORD(q[2]) << 16 | DWORD(q[3]) << 24;
                    dst[0] = red(p), dst[1] = green(p), dst[2] = blue(p);
                } else {
                    dst[0] = q[2], dst[1] = q[1], dst[2] = q[0];
                }
                break;
            }
            default:
                return false;
            }
        }
    }
    return true;
}

bool WriteAll(HANDLE file, const BYTE* data, DWORD size) noexcept {
    while (size > 0) {
        const DWORD piece = size < kWritePiece ? size : kWritePiece;
        DWORD written = 0;
        if (!::WriteFile(file, data, piece, &written, nullptr) || written != piece) return false;
        data += piece;
        size -= piece;
    }
    return true;
}

}  // namespace

DWORD DibColorTableSize(const BITMAPINFOHEADER& h) noexcept {
    if (h.biSize == sizeof(BITMAPCOREHEADER)) {
        const WORD bits = reinterpret_cast<const BITMAPCOREHEADER&>(h).bcBitCount;
        return bits <= 8 ? (DWORD(1) << bits) * sizeof(RGBTRIPLE) : 0;
    }
    DWORD entries = h.biClrUsed;
    if (entries == 0 && (h.biBitCount == 1 || h.biBitCount == 4 || h.biBitCount == 8)) entries = DWORD(1) << h.biBitCount;
    ULONGLONG size = ULONGLONG(entries) * sizeof(RGBQUAD);
    if (h.biSize == sizeof(BITMAPINFOHEADER) && h.biCompression == BI_BITFIELDS) size += 3 * sizeof(DWORD);
    return size < MAXDWORD ? DWORD(size) : MAXDWORD;  // an absurd count must not wrap round
}

DWORD DibStride(LONG width, WORD bitCount) noexcept {
    return (DWORD(bitCount) * DWORD(width) + 31) / 32 * 4;
}

bool SaveDibAsPng(HGLOBAL dib, const wchar_t* path) noexcept {
    try {
        kcom::CGlobalLock<BITMAPINFOHEADER> lock(dib);
        if (!lock.get()) return false;
        const BITMAPINFOHEADER& h = *lock.get();
        if (h.biSize != sizeof(BITMAPINFOHEADER) && h.biSize != sizeof(BITMAPV4HEADER)) return false;
        if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) return false;
        if (!HeaderFits(h, ::GlobalSize(dib)) || !PixelsFit(h, RowsSize(h), ::GlobalSize(dib))) return false;

        const BYTE* table = reinterpret_cast<const BYTE*>(&h) + h.biSize;
        const BYTE* pixels = table + DibColorTableSize(h);
        const DWORD stride = DibStride(h.biWidth, h.biBitCount);

        PngImageParams p;
        p.path = path;
        p.width = png_uint_32(h.biWidth);
        p.height = png_uint_32(h.biHeight);
        p.interlace = true;
        p.writeTime = true;

        std::vector<png_color> palette;
        std::vector<BYTE> rgb;
        std::vector<png_bytep> rows(size_t(h.biHeight));
        switch (h.biBitCount) {
        case 1:
        case 4:
        case 8: {
            if (h.biCompression != BI_RGB) return false;
            const DWORD most = DWORD(1) << h.biBitCount;
            const DWORD count = h.biClrUsed ? h.biClrUsed : most;
            if (count > most) return false;
            const RGBQUAD* quads = reinterpret_cast<const RGBQUAD*>(table);
            for (DWORD i = 0; i < count; ++i) palette.push_back({quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue});
            p.bitDepth = h.biBitCount;
            p.colorType = PNG_COLOR_TYPE_PALETTE;
            p.paletteCount = int(count);
            p.palette = palette.data();
            for (LONG y = 0; y < h.biHeight; ++y)
                rows[size_t(y)] = const_cast<png_bytep>(pixels + size_t(stride) * size_t(h.biHeight - 1 - y));
            break;
        }
        case 16:
        case 24:
        case 32: {
            const DWORD rgbStride = DibStride(h.biWidth, 24);
            if (!ToRgb(h, pixels, rgb, rgbStride)) return false;
            p.bitDepth = 8;
            p.colorType = PNG_COLOR_TYPE_RGB;
            for (LONG y = 0; y < h.biHeight; ++y) rows[size_t(y)] = rgb.data() + size_t(rgbStride) * size_t(y);
            break;
        }
        default:
            return false;
        }
        p.rows = rows.data();
        return WritePngFile(p);
    } catch (...) {
        return false;
    }
}

bool SaveDibAsBmp(HGLOBAL dib, const wchar_t* path) noexcept {
    if (!path) return false;
    kcom::CGlobalLock<BITMAPINFOHEADER> lock(dib);
    if (!lock.get()) return false;
    BITMAPINFOHEADER& h = *lock.get();
    if (!HeaderFits(h, ::GlobalSize(dib))) return false;
    const bool rle = h.biCompression == BI_RLE8 || h.biCompression == BI_RLE4;
    const ULONGLONG imageSize = rle ? h.biSizeImage : RowsSize(h);
    if (!PixelsFit(h, imageSize, ::GlobalSize(dib))) return false;
    h.biSizeImage = DWORD(imageSize);
    const DWORD dibSize = h.biSize + DibColorTableSize(h) + h.biSizeImage;

    kcom::CFileHandle file(::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;

    BYTE header[kFileHeaderSize] = {'B', 'M'};
    const DWORD fileSize = kFileHeaderSize + dibSize;
    const DWORD offset = kFileHeaderSize + h.biSize + DibColorTableSize(h);
    std::memcpy(header + 2, &fileSize, 4);
    std::memcpy(header + 10, &offset, 4);
    if (WriteAll(file, header, kFileHeaderSize) && WriteAll(file, reinterpret_cast<const BYTE*>(&h), dibSize))
        return true;
    // A truncated bitmap is worse than none.
    file.Reset();
    ::DeleteFileW(path);
    return false;
}
