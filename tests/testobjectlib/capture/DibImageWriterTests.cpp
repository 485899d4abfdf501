// The PNG and BMP writers on bitmaps built by hand: palette images, the 16- and 32-bit layouts,
// and the headers they refuse.
#include "capture/DibImageWriter.h"

#include <gtest/gtest.h>

#include "capture/CaptureTestSupport.h"

namespace {

class DibImageWriter : public ::testing::Test {
protected:
    // Writes dib as a PNG under name and reads it back.
    bool WritePng(const kcom::CGlobal& dib, const wchar_t* name, DecodedPng& png) {
        const std::wstring path = temp_.Path(name);
        return SaveDibAsPng(dib, path.c_str()) && pngtest::Decode(path, png);
    }
    TempFolder temp_;
};

struct Px {
    png_uint_32 x, y;
    COLORREF rgb;
};

void ExpectPixels(const DecodedPng& png, std::initializer_list<Px> pixels, DWORD tag = 0) {
    for (const Px& p : pixels) EXPECT_EQ(p.rgb, png.Pixel(p.x, p.y)) << p.x << "," << p.y << " " << tag;
}

// Palette entry i is (i, 255 - i, 2i) in RGB.
void FillGreyRamp(const kcom::CGlobalLock<BYTE>& lock, DWORD entries) {
    RGBQUAD* table = DibAt<RGBQUAD>(lock, 40);
    for (DWORD i = 0; i < entries; ++i) table[i] = {BYTE(2 * i), BYTE(255 - i), BYTE(i), 0};
}

TEST_F(DibImageWriter, EightBitPaletteImageKeepsItsPalette) {
    constexpr LONG w = 7, h = 3;  // rows padded to 8 bytes
    kcom::CGlobal dib = MakeDib(w, h, 8, BI_RGB, 40, 256 * 4);
    {
        kcom::CGlobalLock<BYTE> lock(dib);
        FillGreyRamp(lock, 256);
        BYTE* rows = DibAt(lock, 40 + 1024);
        for (LONG y = 0; y < h; ++y)  // bottom-up: file row 0 is DIB row h-1
            for (LONG x = 0; x < w; ++x) rows[(h - 1 - y) * 8 + x] = BYTE(y * 50 + x);
    }
    const std::wstring path = temp_.Path(L"p8.png");
    ASSERT_TRUE(SaveDibAsPng(dib, path.c_str()));

    DecodedPng png;
    ASSERT_TRUE(pngtest::Decode(path, png));
    EXPECT_EQ(PNG_COLOR_TYPE_PALETTE, png.colorType);
    EXPECT_EQ(8, png.bitDepth);
    EXPECT_EQ(PNG_INTERLACE_ADAM7, png.interlace);
    ASSERT_EQ(256u, png.palette.size());
    EXPECT_EQ(10, png.palette[10].red);
    EXPECT_EQ(245, png.palette[10].green);
    EXPECT_EQ(20, png.palette[10].blue);
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) {
            const int i = y * 50 + x;
            ASSERT_EQ(RGB(i, 255 - i, 2 * i), png.Pixel(x, y)) << x << "," << y;
        }
    const std::vector<std::string> chunks = pngtest::Chunks(path);
    const auto plte = std::find(chunks.begin(), chunks.end(), "PLTE");
    ASSERT_NE(chunks.end(), plte);
    EXPECT_LT(plte - chunks.begin(), std::find(chunks.begin(), chunks.end(), "IDAT") - chunks.begin());
    EXPECT_EQ(chunks.end(), std::find(chunks.begin(), chunks.end(), "gAMA"));
    EXPECT_NE(chunks.end(), std::find(chunks.begin(), chunks.end(), "tIME"));
}

TEST_F(DibImageWriter, SmallPalettesFollowTheUsedColourCount) {
    {   // 4 bits, five colours in use
        kcom::CGlobal dib = MakeDib(3, 2, 4, BI_RGB, 40, 5 * 4, 5);
        {
            kcom::CGlobalLock<BYTE> lock(dib);
            FillGreyRamp(lock, 5);
            BYTE* rows = DibAt(lock, 40 + 20);
            rows[0] = 0x34, rows[1] = 0x00;  // bottom row: 3 4 0
            rows[4] = 0x12, rows[5] = 0x00;  // top row: 1 2 0
        }
        DecodedPng png;
        ASSERT_TRUE(WritePng(dib, L"p4.png", png));
        EXPECT_EQ(4, png.bitDepth);
        EXPECT_EQ(5u, png.palette.size());
        ExpectPixels(png, {{0, 0, RGB(1, 254, 2)}, {1, 0, RGB(2, 253, 4)}, {0, 1, RGB(3, 252, 6)},
                          {2, 1, RGB(0, 255, 0)}});
    }
    {   // 1 bit, the full two-entry table
        kcom::CGlobal dib = MakeDib(10, 1, 1, BI_RGB, 40, 2 * 4);
        {
            kcom::CGlobalLock<BYTE> lock(dib);
            RGBQUAD* table = DibAt<RGBQUAD>(lock, 40);
            table[0] = {0, 0, 0, 0};
            table[1] = {255, 255, 255, 0};
            BYTE* row = DibAt(lock, 48);
            row[0] = 0xA0, row[1] = 0x40;  // 1010000001
        }
        DecodedPng png;
        ASSERT_TRUE(WritePng(dib, L"p1.png", png));
        EXPECT_EQ(1, png.bitDepth);
        EXPECT_EQ(2u, png.palette.size());
        ExpectPixels(png, {{0, 0, RGB(255, 255, 255)}, {1, 0, RGB(0, 0, 0)}, {2, 0, RGB(255, 255, 255)},
                          {9, 0, RGB(255, 255, 255)}, {8, 0, RGB(0, 0, 0)}});
    }
}

TEST_F(DibImageWriter, SixteenBitRgbIs555) {
    kcom::CGlobal dib = MakeDib(5, 1, 16);
    {
        kcom::CGlobalLock<BYTE> lock(dib);
        WORD* px = DibAt<WORD>(lock, 40);
        px[0] = 0x7C00, px[1] = 0x03E0, px[2] = 0x001F, px[3] = 0x7FFF, px[4] = 0x0421;
    }
    DecodedPng png;
    ASSERT_TRUE(WritePng(dib, L"555.png", png));
    EXPECT_EQ(PNG_COLOR_TYPE_RGB, png.colorType);
    EXPECT_EQ(8, png.bitDepth);
    ExpectPixels(png, {{0, 0, RGB(248, 0, 0)}, {1, 0, RGB(0, 248, 0)}, {2, 0, RGB(0, 0, 248)},
                      {3, 0, RGB(248, 248, 248)}, {4, 0, RGB(8, 8, 8)}});
}

// The masks of a 40-byte BI_BITFIELDS header sit between the header and the pixels; a 108-byte
// header holds them itself.
TEST_F(DibImageWriter, BitfieldMasksAreHonouredAfterAndInsideTheHeader) {
    for (DWORD headerSize : {DWORD(40), DWORD(sizeof(BITMAPV4HEADER))}) {
        const DWORD extra = headerSize == 40 ? 12 : 0;
        kcom::CGlobal dib = MakeDib(3, 2, 16, BI_BITFIELDS, headerSize, extra);
        {
            kcom::CGlobalLock<BYTE> lock(dib);
            DWORD* masks = DibAt<DWORD>(lock, 40);
            masks[0] = 0xF800, masks[1] = 0x07E0, masks[2] = 0x001F;
            WORD* px = DibAt<WORD>(lock, headerSize + extra);
            px[0] = 0xF800, px[1] = 0x07E0, px[2] = 0x001F;  // bottom row
            px[4] = 0xFFFF, px[5] = 0x0000, px[6] = 0x8410;  // top row (stride 8)
        }
        DecodedPng png;
        ASSERT_TRUE(WritePng(dib, L"565.png", png)) << headerSize;
        ExpectPixels(png, {{0, 0, RGB(248, 252, 248)}, {1, 0, RGB(0, 0, 0)}, {2, 0, RGB(128, 128, 128)},
                          {0, 1, RGB(248, 0, 0)}, {1, 1, RGB(0, 252, 0)}, {2, 1, RGB(0, 0, 248)}}, headerSize);
    }
    {   // 32 bits with the channels in unusual places
        kcom::CGlobal dib = MakeDib(1, 1, 32, BI_BITFIELDS, 40, 12);
        kcom::CGlobalLock<BYTE> lock(dib);
        DWORD* masks = DibAt<DWORD>(lock, 40);
        masks[0] = 0x000000FF, masks[1] = 0x0000FF00, masks[2] = 0xFF000000;
        *DibAt<DWORD>(lock, 52) = 0x30002010;
        DecodedPng png;
        ASSERT_TRUE(WritePng(dib, L"fields32.png", png));
        EXPECT_EQ(RGB(0x10, 0x20, 0x30), png.Pixel(0, 0));
    }
}

TEST_F(DibImageWriter, TrueColourRowsArePaddedAndTurnedTopDown) {
    kcom::CGlobal dib24 = MakeDib(3, 2, 24), dib32 = MakeDib(3, 2, 32);
    {
        kcom::CGlobalLock<BYTE> lock(dib24);
        BYTE* rows = DibAt(lock, 40);  // stride 12
        const BYTE bottom[] = {1, 2, 3, 4, 5, 6, 7, 8, 9}, top[] = {10, 20, 30, 40, 50, 60, 70, 80, 90};
        std::memcpy(rows, bottom, 9);
        std::memcpy(rows + 12, top, 9);
    }
    {
        kcom::CGlobalLock<BYTE> lock(dib32);
        DWORD* px = DibAt<DWORD>(lock, 40);
        px[0] = 0xFF010203, px[3] = 0x00A0B0C0, px[5] = 0x00FFFFFF;
    }
    DecodedPng png24, png32;
    ASSERT_TRUE(WritePng(dib24, L"24.png", png24));
    ASSERT_TRUE(WritePng(dib32, L"32.png", png32));
    ExpectPixels(png24, {{0, 0, RGB(30, 20, 10)}, {2, 0, RGB(90, 80, 70)}, {0, 1, RGB(3, 2, 1)},
                      {2, 1, RGB(9, 8, 7)}});
    ExpectPixels(png32, {{0, 1, RGB(1, 2, 3)}, {0, 0, RGB(0xA0, 0xB0, 0xC0)}, {2, 0, RGB(255, 255, 255)}});
}

TEST_F(DibImageWriter, UnsupportedBitmapsWriteNothing) {
    const std::wstring path = temp_.Path(L"refused.png");
    kcom::CGlobal cases[] = {
        MakeDib(4, 4, 8, BI_RGB, 40, 16 * 4, 16 + 256),           // more colours than 8 bits hold
        MakeDib(4, 4, 1, BI_RGB, 40, 3 * 4, 3),                  // three entries for one bit
        MakeDib(4, 4, 8, BI_RLE8, 40, 256 * 4),                  // run-length coded
        MakeDib(4, 4, 2, BI_RGB, 40, 4 * 4),                     // no such DIB depth
        MakeDib(4, 4, 24, BI_RGB, 64),                           // unknown header size
        MakeDib(4, 4, 24, BI_BITFIELDS, 40, 12),                 // masks need 16 or 32 bits
        MakeDib(4, 0, 24),                                       // no rows
        MakeDib(4, -4, 24),                                      // top-down
    };
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_FALSE(SaveDibAsPng(cases[i], path.c_str())) << i;

    // A core header.
    kcom::CGlobal core(::GlobalAlloc(GHND, sizeof(BITMAPCOREHEADER) + 64));
    {
        kcom::CGlobalLock<BITMAPCOREHEADER> lock(core);
        *lock.get() = {sizeof(BITMAPCOREHEADER), 4, 4, 1, 24};
    }
    EXPECT_FALSE(SaveDibAsPng(core, path.c_str()));
    EXPECT_FALSE(SaveDibAsBmp(core, path.c_str()));

    // A header that promises more pixels than the block holds.
    kcom::CGlobal shortBlock(::GlobalAlloc(GHND, 40 + 16));
    {
        kcom::CGlobalLock<BITMAPINFOHEADER> lock(shortBlock);
        *lock.get() = {40, 100, 100, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    }
    EXPECT_FALSE(SaveDibAsPng(shortBlock, path.c_str()));
    EXPECT_FALSE(SaveDibAsBmp(shortBlock, path.c_str()));
    {   // a width whose row size wraps round 32 bits
        kcom::CGlobalLock<BITMAPINFOHEADER> lock(shortBlock);
        *lock.get() = {40, 0x08000001, 1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    }
    EXPECT_FALSE(SaveDibAsPng(shortBlock, path.c_str()));
    EXPECT_FALSE(SaveDibAsBmp(shortBlock, path.c_str()));
    EXPECT_FALSE(SaveDibAsPng(nullptr, path.c_str()));
    EXPECT_FALSE(SaveDibAsBmp(nullptr, path.c_str()));
    EXPECT_FALSE(FileExists(path));
}

TEST_F(DibImageWriter, BmpCarriesTheColourTableAndAFreshImageSize) {
    constexpr LONG w = 5, h = 3;
    kcom::CGlobal dib = MakeDib(w, h, 8, BI_RGB, 40, 256 * 4);
    {
        kcom::CGlobalLock<BYTE> lock(dib);
        FillGreyRamp(lock, 256);
        DibAt<BITMAPINFOHEADER>(lock, 0)->biSizeImage = 12345;  // stale
        BYTE* rows = DibAt(lock, 40 + 1024);
        for (int i = 0; i < 8 * h; ++i) rows[i] = BYTE(i);
    }
    const std::wstring path = temp_.Path(L"p8.bmp");
    ASSERT_TRUE(SaveDibAsBmp(dib, path.c_str()));

    BmpFile bmp(path);
    ASSERT_TRUE(bmp.Signed());
    EXPECT_EQ(14u + 40u + 1024u, bmp.offset);
    EXPECT_EQ(8u * h, bmp.header.biSizeImage);
    EXPECT_EQ(bmp.bytes.size(), bmp.sizeField);
    EXPECT_EQ(14u + 40u + 1024u + 8u * h, bmp.sizeField);
    {   // the file holds the DIB byte for byte, its image size brought up to date
        kcom::CGlobalLock<BYTE> lock(dib);
        EXPECT_EQ(8u * h, DibAt<BITMAPINFOHEADER>(lock, 0)->biSizeImage);
        EXPECT_EQ(0, std::memcmp(bmp.bytes.data() + 14, lock.get(), bmp.sizeField - 14));
    }
}

TEST_F(DibImageWriter, LargeBmpIsWrittenWhole) {
    constexpr LONG w = 300, h = 200;  // several write pieces
    kcom::CGlobal dib = MakeDib(w, h, 24);
    {
        kcom::CGlobalLock<BYTE> lock(dib);
        BYTE* rows = DibAt(lock, 40);
        for (size_t i = 0; i < size_t(w) * 3 * h; ++i) rows[i] = BYTE(i * 31 / 7);
    }
    const std::wstring path = temp_.Path(L"large.bmp");
    ASSERT_TRUE(SaveDibAsBmp(dib, path.c_str()));
    BmpFile bmp(path);
    ASSERT_EQ(14u + 40u + size_t(w) * 3 * h, bmp.bytes.size());
    kcom::CGlobalLock<BYTE> lock(dib);
    EXPECT_EQ(0, std::memcmp(bmp.bytes.data() + 14, lock.get(), bmp.bytes.size() - 14));
}

}  // namespace
