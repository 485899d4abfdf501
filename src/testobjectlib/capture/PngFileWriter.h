#pragma once
// Writes one image as a PNG file through libpng (the Tamsel DLL).
#include <windows.h>
#include <png.h>

// Everything the PNG writer needs, in the order the image source hands it over.
struct PngImageParams {
    const wchar_t* path = nullptr;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    bool interlace = false;
    int paletteCount = 0;
    const png_color* palette = nullptr;
    double gamma = -1.0;  // not above 0: no gAMA chunk
    int textCount = 0;
    const png_text* text = nullptr;
    bool writeTime = false;
    const png_byte* transparency = nullptr;
    int transparencyCount = 0;
    const png_color_16* transparentColor = nullptr;
    png_bytep* rows = nullptr;  // top-down, one per image row
    png_write_status_ptr status = nullptr;
};

// True when the depth and colour type make a PNG that libpng can write.
bool PngParamsValid(const PngImageParams& params) noexcept;

// Creates (or replaces) the file and writes the image. False on any failure; a file that libpng
// gave up on half-way stays on disk.
bool WritePngFile(const PngImageParams& params) noexcept;
