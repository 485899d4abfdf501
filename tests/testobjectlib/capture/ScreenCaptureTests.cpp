// Captures of a painted window on the real (Xvfb) screen, written as PNG and BMP and read back
// with libpng and by hand.
#include "capture/ScreenCapture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>

#include "capture/CaptureTestSupport.h"
#include "win32/TestWindow.h"

namespace {

constexpr int kLeft = 930, kTop = 640, kWidth = 160, kHeight = 120;
constexpr COLORREF kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255),
                   kYellow = RGB(255, 255, 0), kMagenta = RGB(255, 0, 255);
// The magenta square in the middle of the four quadrants.
constexpr RECT kSquare = {70, 50, 90, 70};

void Fill(HDC dc, int l, int t, int r, int b, COLORREF colour) {
    const RECT rc = {l, t, r, b};
    kcom::CBrush brush(::CreateSolidBrush(colour));
    ::FillRect(dc, &rc, brush);
}

LRESULT CALLBACK PaintProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(wnd, &ps);
        Fill(dc, 0, 0, kWidth / 2, kHeight / 2, kRed);
        Fill(dc, kWidth / 2, 0, kWidth, kHeight / 2, kGreen);
        Fill(dc, 0, kHeight / 2, kWidth / 2, kHeight, kBlue);
        Fill(dc, kWidth / 2, kHeight / 2, kWidth, kHeight, kYellow);
        Fill(dc, kSquare.left, kSquare.top, kSquare.right, kSquare.bottom, kMagenta);
        ::EndPaint(wnd, &ps);
        return 0;
    }
    return ::DefWindowProcW(wnd, msg, wp, lp);
}

constexpr COLORREF kHigh5 = RGB(0xF8, 0xF8, 0xF8);

// The 5-5-5 word a pure colour becomes in a 16-bit DIB.
WORD As555(COLORREF c) {
    return WORD((GetRValue(c) >> 3) << 10 | (GetGValue(c) >> 3) << 5 | GetBValue(c) >> 3);
}

LONGLONG SecondsOf(const SYSTEMTIME& t) {
    FILETIME ft = {};
    ::SystemTimeToFileTime(&t, &ft);
    return LONGLONG((ULONGLONG(ft.dwHighDateTime) << 32 | ft.dwLowDateTime) / 10000000);
}

class ScreenCapture : public ::testing::Test {
protected:
    // One window for the suite: Wine takes a while to take a window down without a window manager.
    // It is topmost, so the suite holds the desktop the while.
    static void SetUpTestSuite() {
        desktop_ = std::make_unique<DesktopLock>();
        WNDCLASSW wc = {};
        wc.lpfnWndProc = PaintProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KestruneCaptureTarget";
        ::RegisterClassW(&wc);
        wnd_ = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName, L"", WS_POPUP,
                                 kLeft, kTop, kWidth, kHeight, nullptr, nullptr, wc.hInstance, nullptr);
        if (wnd_) ::ShowWindow(wnd_, SW_SHOWNOACTIVATE);
    }
    static void TearDownTestSuite() {
        if (wnd_) ::DestroyWindow(wnd_);
        wnd_ = nullptr;
        desktop_.reset();
    }

    void SetUp() override {
        ASSERT_NE(nullptr, wnd_);
        {
            kcom::CWindowDC screen(nullptr);
            screenBits_ = ::GetDeviceCaps(screen, BITSPIXEL);
        }
        // A run on a display of a chosen depth says so, so that it cannot pass on another.
        if (const char* depth = std::getenv("KESTRUNE_SCREEN_DEPTH")) {
            ASSERT_EQ(std::atoi(depth), screenBits_);
        }
        ASSERT_TRUE(WaitForPaint()) << "the test window never showed its colours";
    }

    // Pumps until the screen shows the painted window.
    bool WaitForPaint() {
        ::SetWindowPos(wnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ::InvalidateRect(wnd_, nullptr, FALSE);
        ::UpdateWindow(wnd_);
        for (int i = 0; i < 500; ++i) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
            ::GdiFlush();
            kcom::CWindowDC screen(nullptr);
            // A 16-bit screen keeps five bits a channel (six for green).
            auto shows = [&](int x, int y, COLORREF c) { return (::GetPixel(screen, x, y) & kHigh5) == (c & kHigh5); };
            if (shows(kLeft + 5, kTop + 5, kRed) && shows(kLeft + kWidth - 5, kTop + kHeight - 5, kYellow) &&
                shows(kLeft + 80, kTop + 60, kMagenta))
                return true;
            ::Sleep(10);
        }
        return false;
    }

    // Through a 16-bit DIB a full channel reads back as 248.
    COLORREF Expect(COLORREF c) const { return screenBits_ > 16 ? c : c & kHigh5; }

    HRESULT Capture(const std::wstring& path, UINT format, BOOL reduce = FALSE) {
        return CaptureRectToImageFile(kLeft, kTop, kLeft + kWidth, kTop + kHeight, path.c_str(), format, reduce);
    }

    // Checks the painted layout through a pixel reader in window coordinates. A 24-bit DIB taken
    // from a 16-bit screen is compared on the bits the screen keeps.
    template <class Pixel>
    void ExpectPainted(Pixel pixel, bool trueColourDib = false) {
        const bool coarse = trueColourDib && screenBits_ <= 16;
        auto check = [&](int x, int y, COLORREF c) {
            if (coarse)
                EXPECT_EQ(c & kHigh5, pixel(x, y) & kHigh5) << x << "," << y;
            else
                EXPECT_EQ(Expect(c), pixel(x, y)) << x << "," << y;
        };
        check(10, 10, kRed);
        check(0, 0, kRed);
        check(kWidth - 10, 10, kGreen);
        check(10, kHeight - 10, kBlue);
        check(kWidth - 1, kHeight - 1, kYellow);
        check(kSquare.left, kSquare.top, kMagenta);
        check(kSquare.right - 1, kSquare.bottom - 1, kMagenta);
        check(kSquare.left - 1, kSquare.top, kRed);
        check(kSquare.right, kSquare.bottom, kYellow);
    }

    static inline std::unique_ptr<DesktopLock> desktop_;
    static inline HWND wnd_ = nullptr;
    int screenBits_ = 0;
    TempFolder temp_;
};

TEST_F(ScreenCapture, PngIsInterlacedRgbWithTimeAndNoGamma) {
    const std::wstring path = temp_.Path(L"window.png");
    SYSTEMTIME before;
    ::GetSystemTime(&before);
    ASSERT_EQ(S_OK, Capture(path, ImageFormatPng));

    DecodedPng png;
    ASSERT_TRUE(pngtest::Decode(path, png));
    EXPECT_EQ(png_uint_32(kWidth), png.width);
    EXPECT_EQ(png_uint_32(kHeight), png.height);
    EXPECT_EQ(8, png.bitDepth);
    EXPECT_EQ(PNG_COLOR_TYPE_RGB, png.colorType);
    EXPECT_EQ(PNG_INTERLACE_ADAM7, png.interlace);
    ExpectPainted([&](int x, int y) { return png.Pixel(x, y); });

    const std::vector<std::string> chunks = pngtest::Chunks(path);
    ASSERT_GE(chunks.size(), 4u);
    EXPECT_EQ("IHDR", chunks.front());
    EXPECT_EQ("IEND", chunks.back());
    for (const char* absent : {"gAMA", "PLTE", "tEXt", "zTXt", "iTXt", "tRNS"})
        EXPECT_EQ(0, std::count(chunks.begin(), chunks.end(), absent)) << absent;
    EXPECT_EQ(1, std::count(chunks.begin(), chunks.end(), "tIME"));

    ASSERT_TRUE(png.hasTime);
    const SYSTEMTIME stamped = {png.time.year, png.time.month, 0, png.time.day, png.time.hour, png.time.minute,
                                png.time.second, 0};
    EXPECT_LE(std::llabs(SecondsOf(stamped) - SecondsOf(before)), 60) << "tIME is not the current UTC time";
}

TEST_F(ScreenCapture, BmpKeepsTheScreenDepthAndItsSizeField) {
    const std::wstring path = temp_.Path(L"window.bmp");
    ASSERT_EQ(S_OK, Capture(path, ImageFormatBmp));

    BmpFile bmp(path);
    ASSERT_TRUE(bmp.Signed());
    EXPECT_EQ(bmp.bytes.size(), bmp.sizeField);
    EXPECT_EQ(0u, Le32(bmp.bytes, 6));
    EXPECT_EQ(14u + 40u, bmp.offset);
    EXPECT_EQ(40u, bmp.header.biSize);
    EXPECT_EQ(kWidth, bmp.header.biWidth);
    EXPECT_EQ(kHeight, bmp.header.biHeight);
    EXPECT_EQ(1, bmp.header.biPlanes);
    EXPECT_EQ(DWORD(BI_RGB), bmp.header.biCompression);
    EXPECT_EQ(screenBits_ > 24 ? 32 : screenBits_, bmp.header.biBitCount);
    EXPECT_EQ(bmp.Stride() * kHeight, bmp.header.biSizeImage);
    EXPECT_EQ(bmp.offset + bmp.header.biSizeImage, bmp.sizeField);
    if (bmp.header.biBitCount >= 24) {
        ExpectPainted([&](int x, int y) { return bmp.Pixel(x, y); });
    } else {
        ASSERT_EQ(16, bmp.header.biBitCount);
        auto word = [&](int x, int y) { return Le16(bmp.bytes, bmp.offset + bmp.Stride() * (kHeight - 1 - y) + 2 * x); };
        EXPECT_EQ(As555(kRed), word(10, 10));
        EXPECT_EQ(As555(kGreen), word(kWidth - 10, 10));
        EXPECT_EQ(As555(kBlue), word(10, kHeight - 10));
        EXPECT_EQ(As555(kMagenta), word(kSquare.left, kSquare.top));
    }
}

TEST_F(ScreenCapture, ReducedColoursGive24BitBmpAndRgbPng) {
    const std::wstring bmpPath = temp_.Path(L"reduced.bmp"), pngPath = temp_.Path(L"reduced.png");
    ASSERT_EQ(S_OK, Capture(bmpPath, ImageFormatBmp, TRUE));
    ASSERT_EQ(S_OK, Capture(pngPath, ImageFormatPng, TRUE));

    BmpFile bmp(bmpPath);
    EXPECT_EQ(24, bmp.header.biBitCount);
    EXPECT_EQ(bmp.bytes.size(), bmp.sizeField);
    ExpectPainted([&](int x, int y) { return bmp.Pixel(x, y); }, true);

    DecodedPng png;
    ASSERT_TRUE(pngtest::Decode(pngPath, png));
    EXPECT_EQ(PNG_COLOR_TYPE_RGB, png.colorType);
    EXPECT_EQ(8, png.bitDepth);
    ExpectPainted([&](int x, int y) { return png.Pixel(x, y); }, true);
}

TEST_F(ScreenCapture, RectanglesAreClippedToTheMonitors) {
    const int screenW = ::GetSystemMetrics(SM_CXSCREEN), screenH = ::GetSystemMetrics(SM_CYSCREEN);
    const std::wstring topLeft = temp_.Path(L"top-left.png"), bottomRight = temp_.Path(L"bottom-right.bmp");
    ASSERT_EQ(S_OK, CaptureRectToImageFile(-40, -30, kLeft + 10, kTop + 10, topLeft.c_str(), ImageFormatPng, FALSE));
    ASSERT_EQ(S_OK, CaptureRectToImageFile(screenW - 30, screenH - 20, screenW + 500, screenH + 500, bottomRight.c_str(),
                                           ImageFormatBmp, FALSE));
    DecodedPng png;
    ASSERT_TRUE(pngtest::Decode(topLeft, png));
    EXPECT_EQ(png_uint_32(kLeft + 10), png.width);
    EXPECT_EQ(png_uint_32(kTop + 10), png.height);
    EXPECT_EQ(Expect(kRed), png.Pixel(kLeft + 5, kTop + 5));

    BmpFile bmp(bottomRight);
    EXPECT_EQ(30, bmp.header.biWidth);
    EXPECT_EQ(20, bmp.header.biHeight);
    EXPECT_EQ(bmp.bytes.size(), bmp.sizeField);
}

TEST_F(ScreenCapture, NothingToCaptureFailsWithoutAFile) {
    const std::wstring png = temp_.Path(L"none.png"), bmp = temp_.Path(L"none.bmp");
    struct Case { LONG l, t, r, b; } cases[] = {
        {kLeft, kTop, kLeft, kTop + 10},            // no width
        {kLeft, kTop, kLeft + 10, kTop},            // no height
        {kLeft + 10, kTop, kLeft, kTop + 10},       // inverted
        {kLeft, kTop + 10, kLeft + 10, kTop},       // inverted
        {-5000, -5000, -4000, -4000},               // off every monitor
        {20000, 100, 20100, 200},                   // off every monitor
    };
    for (const Case& c : cases) {
        EXPECT_EQ(E_FAIL, CaptureRectToImageFile(c.l, c.t, c.r, c.b, png.c_str(), ImageFormatPng, FALSE)) << c.l << "," << c.t;
        EXPECT_EQ(E_FAIL, CaptureRectToImageFile(c.l, c.t, c.r, c.b, bmp.c_str(), ImageFormatBmp, TRUE)) << c.l << "," << c.t;
    }
    EXPECT_FALSE(FileExists(png));
    EXPECT_FALSE(FileExists(bmp));
}

TEST_F(ScreenCapture, BadArgumentsAndUnwritablePaths) {
    const std::wstring path = temp_.Path(L"bad.img");
    EXPECT_EQ(E_INVALIDARG, Capture(path, 2));
    EXPECT_EQ(E_INVALIDARG, Capture(path, 0xFFFFFFFF));
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(E_INVALIDARG, CaptureRectToImageFile(kLeft, kTop, kLeft + 5, kTop + 5, nullptr, ImageFormatPng, FALSE));
    EXPECT_EQ(E_INVALIDARG, CaptureRectToImageFile(kLeft, kTop, kLeft + 5, kTop + 5, L"", ImageFormatBmp, FALSE));

    const std::wstring missingDir = temp_.Path(L"no-such-folder");
    EXPECT_EQ(E_FAIL, Capture(missingDir + L"\\x.png", ImageFormatPng));
    EXPECT_EQ(E_FAIL, Capture(missingDir + L"\\x.bmp", ImageFormatBmp));
    EXPECT_FALSE(FileExists(missingDir));
}

TEST_F(ScreenCapture, ExistingFilesAreReplacedUnlessLocked) {
    const std::wstring bmpPath = temp_.Path(L"old.bmp"), pngPath = temp_.Path(L"old.png");
    const std::string junk(300000, 'x');
    for (const std::wstring& p : {bmpPath, pngPath}) std::ofstream(std::filesystem::path(p), std::ios::binary) << junk;
    ASSERT_EQ(S_OK, Capture(bmpPath, ImageFormatBmp));
    ASSERT_EQ(S_OK, Capture(pngPath, ImageFormatPng));
    BmpFile bmp(bmpPath);
    EXPECT_EQ(bmp.bytes.size(), bmp.sizeField);
    DecodedPng png;
    EXPECT_TRUE(pngtest::Decode(pngPath, png));

    // A file held open without sharing cannot be replaced, and is left as it was.
    std::ofstream(std::filesystem::path(bmpPath), std::ios::binary) << junk;
    kcom::CFileHandle held(::CreateFileW(bmpPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(E_FAIL, Capture(bmpPath, ImageFormatBmp));
    held.Reset();
    EXPECT_EQ(junk.size(), FileLength(bmpPath));
}

}  // namespace
