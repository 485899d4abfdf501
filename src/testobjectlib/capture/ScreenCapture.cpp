#include "capture/ScreenCapture.h"

#include <vector>

#include "capture/DibImageWriter.h"

namespace {

BOOL CALLBACK AddMonitor(HMONITOR, HDC, LPRECT monitor, LPARAM data) {
    RECT* all = reinterpret_cast<RECT*>(data);
    ::UnionRect(all, all, monitor);
    return TRUE;
}

WORD DibBitCount(WORD pixelBits, BOOL reduceColors) noexcept {
    if (reduceColors) {
        if (pixelBits <= 1) return 1;
        if (pixelBits <= 4) return 4;
        if (pixelBits <= 8) return 8;
        return 24;
    }
    for (WORD bits : {1, 4, 8, 16, 24}) {
        if (pixelBits <= bits) return bits;
    }
    return 32;
}

// The system palette on a palette device; otherwise none (the caller takes DEFAULT_PALETTE).
// A true-colour screen reports no palette size and -1 colours, which must not size a LOGPALETTE.
kcom::CPalette SystemPalette(HDC dc) {
    if (!(::GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE)) return {};
    int count = ::GetDeviceCaps(dc, SIZEPALETTE);
    if (count == 0) count = ::GetDeviceCaps(dc, NUMCOLORS);
    if (count < 1 || count > 256) return {};
    std::vector<BYTE> buffer(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * size_t(count));
    LOGPALETTE* logical = reinterpret_cast<LOGPALETTE*>(buffer.data());
    logical->palVersion = 0x300;
    logical->palNumEntries = WORD(count);
    if (::GetSystemPaletteEntries(dc, 0, UINT(count), logical->palPalEntry) == 0) return {};
    return kcom::CPalette(::CreatePalette(logical));
}

kcom::CGlobal Capture(const RECT& requested, BOOL reduceColors) {
    if (::IsRectEmpty(&requested)) return {};
    RECT monitors = {};
    ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    RECT rect;
    if (!::IntersectRect(&rect, &requested, &monitors)) return {};
    const LONG width = rect.right - rect.left, height = rect.bottom - rect.top;

    kcom::CMemoryDC screen(::CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr));
    if (!screen) return {};
    kcom::CMemoryDC memory(::CreateCompatibleDC(screen));
    kcom::CBitmap bitmap(::CreateCompatibleBitmap(screen, width, height));
    if (!memory || !bitmap) return {};
    {
        kcom::CSelectObject select(memory, bitmap);
        if (!::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY)) return {};
    }

    kcom::CPalette ownPalette = SystemPalette(screen);
    HPALETTE palette = ownPalette ? ownPalette.get() : static_cast<HPALETTE>(::GetStockObject(DEFAULT_PALETTE));

    BITMAP info = {};
    if (!::GetObjectW(bitmap, sizeof info, &info)) return {};
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = DibBitCount(WORD(info.bmPlanes * info.bmBitsPixel), reduceColors);
    header.biCompression = BI_RGB;
    const DWORD tableSize = DibColorTableSize(header);

    kcom::CSelectPalette realised(screen, palette);
    kcom::CGlobal block(::GlobalAlloc(GHND, sizeof header + tableSize));
    if (!block) return {};
    {
        kcom::CGlobalLock<BITMAPINFOHEADER> lock(block);
        if (!lock.get()) return {};
        *lock.get() = header;
        if (!::GetDIBits(screen, bitmap, 0, UINT(height), nullptr, reinterpret_cast<BITMAPINFO*>(lock.get()),
                         DIB_RGB_COLORS))
            return {};
        header = *lock.get();
    }
    if (header.biSizeImage == 0) header.biSizeImage = DibStride(width, header.biBitCount) * DWORD(height);
    // The header may have grown a colour count; recompute where the pixels begin.
    const DWORD pixelOffset = header.biSize + DibColorTableSize(header);
    HGLOBAL grown = ::GlobalReAlloc(block, pixelOffset + header.biSizeImage, GMEM_MOVEABLE | GMEM_ZEROINIT);
    if (!grown) return {};
    block.Detach();
    block.Reset(grown);
    {
        kcom::CGlobalLock<BYTE> lock(block);
        if (!lock.get()) return {};
        BITMAPINFOHEADER* filled = reinterpret_cast<BITMAPINFOHEADER*>(lock.get());
        filled->biSizeImage = header.biSizeImage;
        if (!::GetDIBits(screen, bitmap, 0, UINT(height), lock.get() + pixelOffset,
                         reinterpret_cast<BITMAPINFO*>(filled), DIB_RGB_COLORS))
            return {};
    }
    return block;
}

}  // namespace

kcom::CGlobal CaptureScreenRectToDib(const RECT& rect, BOOL reduceColors) noexcept {
    try {
        return Capture(rect, reduceColors);
    } catch (...) {
        return {};
    }
}

HRESULT CaptureRectToImageFile(LONG left, LONG top, LONG right, LONG bottom, const wchar_t* path, UINT format,
                               BOOL reduceColors) noexcept {
    if (format != ImageFormatPng && format != ImageFormatBmp) return E_INVALIDARG;
    if (!path || !*path) return E_INVALIDARG;
    const RECT rect = {left, top, right, bottom};
    kcom::CGlobal dib = CaptureScreenRectToDib(rect, reduceColors);
    if (!dib) return E_FAIL;
    const bool written = format == ImageFormatPng ? SaveDibAsPng(dib, path) : SaveDibAsBmp(dib, path);
    return written ? S_OK : E_FAIL;
}
