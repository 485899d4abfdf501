#include "capture/PngFileWriter.h"

#include <setjmp.h>
#include <time.h>

#include "com/Handles.h"

namespace {

// Owns libpng's write and info structures.
class CPngWriteStruct {
public:
    CPngWriteStruct() noexcept
        // libpng refuses any version text other than its own major.minor.
        : png_(png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr)),
          info_(png_ ? png_create_info_struct(png_) : nullptr) {}
    ~CPngWriteStruct() { if (png_) png_destroy_write_struct(&png_, info_ ? &info_ : nullptr); }
    CPngWriteStruct(const CPngWriteStruct&) = delete;
    CPngWriteStruct& operator=(const CPngWriteStruct&) = delete;
    png_structp png() const noexcept { return png_; }
    png_infop info() const noexcept { return info_; }

private:
    png_structp png_;
    png_infop info_;
};

// libpng reports errors by longjmp to here: this frame holds nothing with a destructor, and the
// caller's owners release the structures and the file.
bool WriteImage(png_structp png, png_infop info, FILE* file, const PngImageParams& p) noexcept {
    if (setjmp(png_jmpbuf(png))) return false;

    png_init_io(png, file);
    if (p.status) png_set_write_status_fn(png, p.status);
    png_set_IHDR(png, info, p.width, p.height, p.bitDepth, p.colorType,
                 p.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (p.paletteCount > 0 && p.colorType != PNG_COLOR_TYPE_GRAY && p.colorType != PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_PLTE(png, info, p.palette, p.paletteCount);
    if (p.gamma > 0) png_set_gAMA(png, info, p.gamma);
    if (p.textCount > 0) png_set_text(png, info, p.text, p.textCount);
    if (p.writeTime) {
        __time64_t now = _time64(nullptr);
        struct tm utc;
        if (_gmtime64_s(&utc, &now) == 0) {
            png_time stamp;
            png_convert_from_struct_tm(&stamp, &utc);
            png_set_tIME(png, info, &stamp);
        }
    }
    if (p.transparency || p.transparentColor)
        png_set_tRNS(png, info, p.transparency, p.transparencyCount, p.transparentColor);
    png_write_info(png, info);

    int passes = p.interlace ? png_set_interlace_handling(png) : 1;
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < p.height; ++y) png_write_row(png, p.rows[y]);

    png_write_end(png, info);
    return true;
}

}  // namespace

bool PngParamsValid(const PngImageParams& p) noexcept {
    if (p.width < 1 || p.height < 1 || !p.rows) return false;
    const int d = p.bitDepth;
    if (d < 1 || d > 16) return false;
    switch (p.colorType) {
    case PNG_COLOR_TYPE_GRAY:
        return d == 1 || d == 2 || d == 4 || d == 8 || d == 16;
    case PNG_COLOR_TYPE_RGB:
    case PNG_COLOR_TYPE_GRAY_ALPHA:
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return d == 8 || d == 16;
    case PNG_COLOR_TYPE_PALETTE:
        return (d == 1 || d == 2 || d == 4 || d == 8) && p.palette && p.paletteCount >= 1 &&
               p.paletteCount <= (1 << d);
    default:
        return false;
    }
}

bool WritePngFile(const PngImageParams& p) noexcept {
    if (!p.path || !PngParamsValid(p)) return false;
    FILE* raw = nullptr;
    if (_wfopen_s(&raw, p.path, L"wb") != 0 || !raw) return false;
    kcom::CStdioFile file(raw);
    CPngWriteStruct png;
    if (!png.png() || !png.info()) return false;
    return WriteImage(png.png(), png.info(), file, p);
}
