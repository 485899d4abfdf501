// Tamsel carries libpng: a file written through its exports reads back the same.
#include <gtest/gtest.h>

#include <filesystem>

#include "DecodedPng.h"

namespace {

bool WriteStream(png_structp png, png_infop info, FILE* file, png_bytep* rows, png_uint_32 w, png_uint_32 h) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

TEST(Tamsel, WritesAndReadsBackAnImage) {
    const std::wstring path = (std::filesystem::temp_directory_path() / L"tamsel-smoke.png").wstring();
    constexpr png_uint_32 w = 7, h = 5;
    std::vector<png_byte> pixels(w * h * 4);
    for (png_uint_32 i = 0; i < w * h; ++i) {
        pixels[i * 4 + 0] = png_byte(i * 7);
        pixels[i * 4 + 1] = png_byte(255 - i);
        pixels[i * 4 + 2] = png_byte(i * 13);
        pixels[i * 4 + 3] = 255;
    }
    std::vector<png_bytep> rows(h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = pixels.data() + y * w * 4;

    FILE* file = nullptr;
    ASSERT_EQ(0, _wfopen_s(&file, path.c_str(), L"wb"));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, png);
    png_infop info = png_create_info_struct(png);
    const bool written = info && WriteStream(png, info, file, rows.data(), w, h);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    ASSERT_TRUE(written);

    DecodedPng decoded;
    ASSERT_TRUE(pngtest::Decode(path, decoded));
    EXPECT_EQ(w, decoded.width);
    EXPECT_EQ(h, decoded.height);
    EXPECT_EQ(PNG_COLOR_TYPE_RGB_ALPHA, decoded.colorType);
    for (png_uint_32 i = 0; i < w * h; ++i) {
        const png_byte* p = decoded.At(i % w, i / w);
        ASSERT_EQ(pixels[i * 4 + 0], p[0]) << i;
        ASSERT_EQ(pixels[i * 4 + 1], p[1]) << i;
        ASSERT_EQ(pixels[i * 4 + 2], p[2]) << i;
    }
    EXPECT_EQ((std::vector<std::string>{"IHDR", "IDAT", "IEND"}), pngtest::Chunks(path));
    std::filesystem::remove(path);
}

// Writers must hand libpng its own version: an old one is refused outright.
TEST(Tamsel, RefusesAnOlderVersionText) {
    EXPECT_STREQ(PNG_LIBPNG_VER_STRING, png_get_libpng_ver(nullptr));
    EXPECT_EQ(nullptr, png_create_write_struct("1.0.6", nullptr, nullptr, nullptr));
}

}  // namespace
