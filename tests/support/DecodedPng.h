#pragma once
// Decodes a PNG file with libpng's reader (the Tamsel DLL) into 8-bit RGB, and lists its chunks
// by reading the file's bytes directly.
#include <windows.h>
#include <png.h>
#include <setjmp.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct DecodedPng {
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    std::vector<png_color> palette;  // PLTE as stored
    bool hasTime = false;
    png_time time = {};
    std::vector<png_byte> rgb;  // top-down, 3 bytes a pixel, no padding

    const png_byte* At(png_uint_32 x, png_uint_32 y) const { return rgb.data() + (size_t(y) * width + x) * 3; }
    COLORREF Pixel(png_uint_32 x, png_uint_32 y) const { const png_byte* p = At(x, y); return RGB(p[0], p[1], p[2]); }
};

namespace pngtest {

// Runs with nothing destructible in its frame: libpng's errors longjmp back here.
inline bool DecodeStream(png_structp png, png_infop info, FILE* file, DecodedPng* out, std::vector<png_bytep>* rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_read_info(png, info);
    png_get_IHDR(png, info, &out->width, &out->height, &out->bitDepth, &out->colorType, &out->interlace, nullptr,
                 nullptr);
    png_colorp plte = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &plte, &count) & PNG_INFO_PLTE) out->palette.assign(plte, plte + count);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    out->rgb.assign(size_t(out->width) * out->height * 3, 0);
    rows->resize(out->height);
    for (png_uint_32 y = 0; y < out->height; ++y) (*rows)[y] = out->rgb.data() + size_t(y) * out->width * 3;
    png_read_image(png, rows->data());
    png_read_end(png, info);
    png_timep stamp = nullptr;
    if (png_get_tIME(png, info, &stamp) & PNG_INFO_tIME) out->hasTime = true, out->time = *stamp;
    return true;
}

inline bool Decode(const std::wstring& path, DecodedPng& out) {
    FILE* file = nullptr;
    if (_wfopen_s(&file, path.c_str(), L"rb") != 0 || !file) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_bytep> rows;
    bool ok = info && DecodeStream(png, info, file, &out, &rows);
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    std::fclose(file);
    return ok;
}

inline std::vector<char> ReadFileBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Chunk types in file order; empty when the signature or a length is wrong.
inline std::vector<std::string> Chunks(const std::wstring& path) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<char> bytes = ReadFileBytes(path);
    std::vector<std::string> names;
    if (bytes.size() < 8 || std::memcmp(bytes.data(), signature, 8) != 0) return names;
    size_t at = 8;
    while (at + 12 <= bytes.size()) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
        const size_t length = size_t(p[0]) << 24 | size_t(p[1]) << 16 | size_t(p[2]) << 8 | p[3];
        if (at + 12 + length > bytes.size()) return {};
        names.emplace_back(bytes.data() + at + 4, 4);
        at += 12 + length;
    }
    return at == bytes.size() ? names : std::vector<std::string>{};
}

}  // namespace pngtest
