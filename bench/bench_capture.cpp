// Capture-and-write of the whole screen as PNG and as BMP: PNG against libpng encoding the same
// pixels; BMP against the same capture call timed alone plus a bare write of the same bytes, so
// that its ratio is what the BMP path adds.
#include <windows.h>
#include <png.h>
#include <setjmp.h>

#include <cstdio>
#include <string>
#include <vector>

#include "com/Handles.h"
#include "capture/DibImageWriter.h"
#include "capture/ScreenCapture.h"

namespace {

double NowMs() {
    static LARGE_INTEGER freq = [] { LARGE_INTEGER f; ::QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / double(freq.QuadPart);
}

template <class F>
double MeanMs(int runs, F&& f) {
    f();  // warm-up
    const double start = NowMs();
    for (int i = 0; i < runs; ++i) f();
    return (NowMs() - start) / runs;
}

// A screen with texture: smooth gradients with a busier band, so that neither encoder gets a free ride.
LRESULT CALLBACK PatternProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_PAINT) return ::DefWindowProcW(wnd, msg, wp, lp);
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(wnd, &ps);
    RECT rc;
    ::GetClientRect(wnd, &rc);
    const int w = rc.right, h = rc.bottom;
    std::vector<DWORD> pixels(size_t(w) * h);
    unsigned seed = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1103515245 + 12345;
            const DWORD noise = (y / 64) % 3 == 0 ? (seed >> 16) & 0x3F : 0;
            pixels[size_t(y) * w + x] = ((x * 255 / w) << 16 | (y * 255 / h) << 8 | ((x ^ y) & 0xFF)) + noise;
        }
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    ::SetDIBitsToDevice(dc, 0, 0, w, h, 0, 0, 0, h, pixels.data(), &bi, DIB_RGB_COLORS);
    ::EndPaint(wnd, &ps);
    return 0;
}

bool EncodeRows(png_structp png, png_infop info, FILE* file, png_bytep* rows, png_uint_32 w, png_uint_32 h) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

bool BareEncode(const std::wstring& path, std::vector<png_bytep>& rows, png_uint_32 w, png_uint_32 h) {
    FILE* raw = nullptr;
    if (_wfopen_s(&raw, path.c_str(), L"wb") != 0 || !raw) return false;
    kcom::CStdioFile file(raw);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool ok = info && EncodeRows(png, info, file, rows.data(), w, h);
    if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
    return ok;
}

bool BareWrite(const std::wstring& path, const BYTE* data, DWORD size) {
    kcom::CFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                         nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file, data, size, &written, nullptr) && written == size;
}

void Report(const char* name, double ms, const char* baseline = nullptr, double baseMs = 0) {
    if (baseline)
        std::printf("BENCH %s %.2f ms ratio %.2f vs %s\n", name, ms, ms / baseMs, baseline);
    else
        std::printf("BENCH %s %.2f ms\n", name, ms);
}

}  // namespace

int main() {
    const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = PatternProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KestruneBenchPattern";
    ::RegisterClassW(&wc);
    HWND wnd = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, w,
                                 h, nullptr, nullptr, wc.hInstance, nullptr);
    ::UpdateWindow(wnd);
    for (int i = 0; i < 20; ++i) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        ::Sleep(10);
    }

    wchar_t tempDir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tempDir);
    const std::wstring png = std::wstring(tempDir) + L"kestrune-bench.png", bmp = std::wstring(tempDir) + L"kestrune-bench.bmp",
                       base = std::wstring(tempDir) + L"kestrune-bench-base.bin";

    // The same pixels as the capture hands the writers, turned into top-down RGB rows once.
    const RECT screen = {0, 0, w, h};
    kcom::CGlobal dib = CaptureScreenRectToDib(screen, FALSE);
    if (!dib) {
        std::fprintf(stderr, "capture failed\n");
        return 1;
    }
    std::vector<BYTE> rgb(size_t(w) * h * 3), dibBytes;
    std::vector<png_bytep> rows(static_cast<size_t>(h));
    {
        kcom::CGlobalLock<BYTE> lock(dib);
        const BITMAPINFOHEADER* hdr = reinterpret_cast<const BITMAPINFOHEADER*>(lock.get());
        const BYTE* pixels = lock.get() + hdr->biSize + DibColorTableSize(*hdr);
        const DWORD stride = DibStride(w, hdr->biBitCount);
        const int bytes = hdr->biBitCount / 8;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const BYTE* p = pixels + size_t(stride) * (h - 1 - y) + size_t(x) * bytes;
                BYTE* q = rgb.data() + (size_t(y) * w + x) * 3;
                q[0] = p[2], q[1] = p[1], q[2] = p[0];
            }
        dibBytes.assign(14, 0);
        dibBytes.insert(dibBytes.end(), lock.get(), lock.get() + hdr->biSize + DibColorTableSize(*hdr) + stride * h);
    }
    for (int y = 0; y < h; ++y) rows[size_t(y)] = rgb.data() + size_t(y) * w * 3;

    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    bool ok = true;
    const double encode = MeanMs(5, [&] { ok &= BareEncode(base, rows, png_uint_32(w), png_uint_32(h)); });
    const double ourPng = MeanMs(5, [&] { ok &= CaptureRectToImageFile(0, 0, w, h, png.c_str(), 0, FALSE) == S_OK; });
    const double write = MeanMs(20, [&] { ok &= BareWrite(base, dibBytes.data(), DWORD(dibBytes.size())); });
    const double capture = MeanMs(20, [&] { ok &= static_cast<bool>(CaptureScreenRectToDib(screen, FALSE)); });
    const double captureAndWrite = MeanMs(20, [&] {
        kcom::CGlobal captured = CaptureScreenRectToDib(screen, FALSE);
        ok &= captured && BareWrite(base, dibBytes.data(), DWORD(dibBytes.size()));
    });
    const double ourBmp = MeanMs(20, [&] { ok &= CaptureRectToImageFile(0, 0, w, h, bmp.c_str(), 1, FALSE) == S_OK; });

    Report(("libpng_encode_" + size).c_str(), encode);
    Report(("capture_png_" + size).c_str(), ourPng, "libpng_encode", encode);
    Report(("file_write_" + size).c_str(), write);
    Report(("screen_capture_" + size).c_str(), capture);
    Report(("capture_then_write_" + size).c_str(), captureAndWrite);
    Report(("capture_bmp_" + size).c_str(), ourBmp, "capture_then_write", captureAndWrite);

    for (const std::wstring& f : {png, bmp, base}) ::DeleteFileW(f.c_str());
    ::DestroyWindow(wnd);
    return ok ? 0 : 1;
}
