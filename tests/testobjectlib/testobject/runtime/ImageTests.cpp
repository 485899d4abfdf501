// CaptureBitmap and Highlight on the real (Xvfb) screen: captures read back and compared with what
// was painted, the file rules of a capture, and a frame drawn and inverted back.
#include <gtest/gtest.h>
#include <filesystem>
#include <memory>
#include "FakeClock.h"
#include "capture/CaptureTestSupport.h"
#include "testobject/runtime/RunTimeTestObject.h"
#include "win32/TestWindow.h"

using kcom::CComBSTR;
using kcom::CComVariant;

namespace {

constexpr int kLeft = 640, kTop = 420, kWidth = 90, kHeight = 60;
constexpr COLORREF kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255);

LRESULT CALLBACK PaintProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(wnd, &ps);
        RECT left = {0, 0, kWidth / 2, kHeight}, right = {kWidth / 2, 0, kWidth, kHeight};
        kcom::CBrush red(::CreateSolidBrush(kRed)), blue(::CreateSolidBrush(kBlue));
        ::FillRect(dc, &left, red);
        ::FillRect(dc, &right, blue);
        ::EndPaint(wnd, &ps);
        return 0;
    }
    return ::DefWindowProcW(wnd, msg, wp, lp);
}

COLORREF ScreenPixel(int x, int y) {
    ::GdiFlush();
    kcom::CWindowDC screen(nullptr);
    return ::GetPixel(screen, x, y) & 0xFFFFFF;
}

class ObjectOnScreen : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        desktop_ = std::make_unique<DesktopLock>();
        WNDCLASSW wc = {};
        wc.lpfnWndProc = PaintProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KestruneRunTimeTarget";
        ::RegisterClassW(&wc);
        wnd_ = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName, L"", WS_POPUP,
                                 kLeft, kTop, kWidth, kHeight, nullptr, nullptr, wc.hInstance, nullptr);
        if (wnd_) ::ShowWindow(wnd_, SW_SHOWNOACTIVATE);
    }
    static void TearDownTestSuite() {
        if (wnd_) ::DestroyWindow(wnd_);
        desktop_.reset();
    }

    void SetUp() override {
        ASSERT_NE(nullptr, wnd_);
        ::InvalidateRect(wnd_, nullptr, FALSE);
        bool painted = false;
        for (int i = 0; i < 500 && !painted; ++i) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
            painted = ScreenPixel(kLeft + 2, kTop + 2) == kRed && ScreenPixel(kLeft + kWidth - 2, kTop + 2) == kBlue;
            if (!painted) ::Sleep(10);
        }
        ASSERT_TRUE(painted);
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = std::filesystem::path(temp) / (L"kestrune_capture_" + std::to_wstring(::GetCurrentProcessId()));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        object().found = CFakeRuntimeId::New();
        Place(kLeft, kTop, kWidth, kHeight);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    CRunTimeTestObject& object() { return *host_.object.get(); }
    void Place(long x, long y, long width, long height) {
        host_.engine->PutValue(L"abs_x", CComVariant(x));
        host_.engine->PutValue(L"abs_y", CComVariant(y));
        host_.engine->PutValue(L"width", CComVariant(width));
        host_.engine->PutValue(L"height", CComVariant(height));
    }
    // Through the script interface, where a raised error comes back as its code.
    HRESULT Capture(const std::wstring& path, bool replace = false) {
        CComBSTR name(path.c_str());
        return host_.object.as<DispTestObject>()->CaptureBitmap(name, replace ? VARIANT_TRUE : VARIANT_FALSE);
    }
    std::wstring File(const wchar_t* name) const { return (folder_ / name).wstring(); }
    size_t FileCount() const {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder_), {}));
    }

    RunTimeHost host_;
    std::filesystem::path folder_;
    static inline std::unique_ptr<DesktopLock> desktop_;
    static inline HWND wnd_ = nullptr;
};

TEST_F(ObjectOnScreen, CaptureWritesWhatTheScreenShowsAsPngAndBmp) {
    ASSERT_EQ(S_OK, Capture(File(L"shot.png")));
    DecodedPng png;
    ASSERT_TRUE(pngtest::Decode(File(L"shot.png"), png));
    ASSERT_EQ(png.width, static_cast<png_uint_32>(kWidth));
    ASSERT_EQ(png.height, static_cast<png_uint_32>(kHeight));
    EXPECT_EQ(kRed, png.Pixel(0, 0));
    EXPECT_EQ(kRed, png.Pixel(kWidth / 2 - 1, kHeight - 1));
    EXPECT_EQ(kBlue, png.Pixel(kWidth / 2, 0));
    EXPECT_EQ(kBlue, png.Pixel(kWidth - 1, kHeight - 1));

    // A part of the object only, upper case extension.
    Place(kLeft + kWidth / 2 - 4, kTop + 10, 8, 4);
    ASSERT_EQ(S_OK, Capture(File(L"part.BMP")));
    BmpFile bmp(File(L"part.BMP"));
    ASSERT_TRUE(bmp.Signed());
    EXPECT_EQ(8, bmp.header.biWidth);
    EXPECT_EQ(4, bmp.header.biHeight);
    EXPECT_EQ(kRed, bmp.Pixel(3, 0));
    EXPECT_EQ(kBlue, bmp.Pixel(4, 3));
}

TEST_F(ObjectOnScreen, ARelativeNameLandsInTheReportFolderElseTheTestFolder) {
    host_.host.options->Put(L"", L"TestPath", (folder_ / L"test").wstring().c_str());
    std::filesystem::create_directories(folder_ / L"test");
    ASSERT_EQ(S_OK, Capture(L"a.png"));
    EXPECT_TRUE(std::filesystem::exists(folder_ / L"test" / L"a.png"));
    host_.host.options->Put(L"", L"LastReportPath", folder_.wstring().c_str());
    ASSERT_EQ(S_OK, Capture(L"b.png"));
    EXPECT_TRUE(std::filesystem::exists(folder_ / L"b.png"));
    host_.host.rack->Drop(L"TestOptions");
    EXPECT_EQ(E_FAIL, Capture(L"c.png"));
}

TEST_F(ObjectOnScreen, ExistingFilesAreKeptUnlessReplacedAndNothingPartialIsLeft) {
    const std::wstring path = File(L"old.png");
    { std::ofstream(std::filesystem::path(path)) << "old"; }
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), Capture(path));
    EXPECT_EQ(3u, std::filesystem::file_size(path));

    // The old file survives a capture that cannot be made.
    Place(kLeft, kTop, 0, kHeight);
    EXPECT_EQ(static_cast<HRESULT>(0x80040206), Capture(path, true));
    EXPECT_EQ(3u, std::filesystem::file_size(path));
    object().findResult = static_cast<HRESULT>(0x80040202);
    EXPECT_EQ(static_cast<HRESULT>(0x80040202), Capture(path, true));
    EXPECT_EQ(3u, std::filesystem::file_size(path));

    object().findResult = S_OK;
    Place(kLeft, kTop, kWidth, kHeight);
    ASSERT_EQ(S_OK, Capture(path, true));
    DecodedPng png;
    EXPECT_TRUE(pngtest::Decode(path, png));

    // A zero-sized object, a folder that does not exist: their codes, and no file.
    Place(kLeft, kTop, kWidth, 0);
    EXPECT_EQ(static_cast<HRESULT>(0x80040206), Capture(File(L"empty.bmp")));
    Place(kLeft, kTop, kWidth, kHeight);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), Capture(File(L"nowhere\\x.png")));
    EXPECT_EQ(1u, FileCount());
}

TEST_F(ObjectOnScreen, OnlyPngAndBmpNamesAreTaken) {
    ::SetErrorInfo(0, nullptr);
    EXPECT_EQ(E_INVALIDARG, Capture(File(L"shot.jpg")));
    kcom::CComPtr<IErrorInfo> info;
    ASSERT_EQ(S_OK, ::GetErrorInfo(0, info.Put()));
    CComBSTR text;
    info->GetDescription(text.Put());
    EXPECT_STREQ(L"The specified file extension is not supported for this action.", text.c_str());

    EXPECT_EQ(E_INVALIDARG, Capture(File(L"shot")));
    kcom::CComPtr<IErrorInfo> none;
    EXPECT_EQ(S_FALSE, ::GetErrorInfo(0, none.Put()));
    EXPECT_EQ(0u, FileCount());
    EXPECT_EQ(0u, object().finds.size());  // refused before any search
}

TEST_F(ObjectOnScreen, HighlightInvertsAFrameThatAFlashLeavesAsItWas) {
    CFakeClock clock;
    const RECT rect = {kLeft + 10, kTop + 10, kLeft + 50, kTop + 40};
    const int border = ::GetSystemMetrics(SM_CXBORDER);
    ASSERT_EQ(S_OK, CComTestObject::HighlightRect(&rect, 0));
    // The frame is 4 borders wide, drawn inside the rectangle; inside it the screen is untouched.
    EXPECT_EQ(RGB(0, 255, 255), ScreenPixel(rect.left, rect.top + 15));
    EXPECT_EQ(RGB(0, 255, 255), ScreenPixel(rect.left + 4 * border - 1, rect.top + 15));
    EXPECT_EQ(kRed, ScreenPixel(rect.left + 4 * border, rect.top + 15));
    EXPECT_EQ(kRed, ScreenPixel(rect.left - 1, rect.top + 15));
    ASSERT_EQ(S_OK, CComTestObject::HighlightRect(&rect, 0));
    EXPECT_EQ(kRed, ScreenPixel(rect.left, rect.top + 15));

    // Through the script: a flash is eight inversions with a pause after each.
    Place(rect.left, rect.top, 40, 30);
    ASSERT_EQ(S_OK, host_.object.as<DispTestObject>()->Highlight(HighlightFlash, CComVariant()));
    EXPECT_EQ(std::vector<DWORD>(8, 150), clock.Sleeps());
    EXPECT_EQ(kRed, ScreenPixel(rect.left, rect.top + 15));
    ASSERT_EQ(S_OK, host_.object.as<DispTestObject>()->Highlight(HighlightStatic, CComVariant()));
    EXPECT_EQ(std::vector<DWORD>{50}, clock.Pumps());
    EXPECT_EQ(RGB(0, 255, 255), ScreenPixel(rect.left + 1, rect.top + 15));
    EXPECT_EQ(S_OK, CComTestObject::HighlightRect(&rect, 2));  // the windows below repaint
    bool repainted = false;
    for (int i = 0; i < 300 && !repainted; ++i) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        repainted = ScreenPixel(rect.left + 1, rect.top + 15) == kRed;
        if (!repainted) ::Sleep(10);
    }
    EXPECT_TRUE(repainted);
    EXPECT_EQ(E_FAIL, CComTestObject::HighlightRect(&rect, 3));

    object().findResult = static_cast<HRESULT>(0x80040203);
    EXPECT_EQ(static_cast<HRESULT>(0x80040203),
              host_.object.as<DispTestObject>()->Highlight(HighlightStatic, CComVariant()));
}

}  // namespace
