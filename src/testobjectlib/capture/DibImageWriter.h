#pragma once
// Saves a packed device-independent bitmap (header, colour table, pixels in one global memory
// block) as a PNG or BMP file.
#include <windows.h>

// Bytes between the header and the pixels: the colour table, and the three masks that follow a
// 40-byte header with BI_BITFIELDS.
DWORD DibColorTableSize(const BITMAPINFOHEADER& header) noexcept;

// Bytes of one pixel row, padded to a multiple of 4.
DWORD DibStride(LONG width, WORD bitCount) noexcept;

// Palette images (1, 4, 8 bits) become colour type 3, 16, 24 and 32 bits 8-bit RGB; Adam7
// interlaced, with a tIME chunk and neither gAMA nor text. False when the DIB is not supported or
// the file could not be written.
bool SaveDibAsPng(HGLOBAL dib, const wchar_t* path) noexcept;

// Writes the file header and the DIB as it stands (its image size brought up to date). False when
// the file could not be written; no partial file is left behind.
bool SaveDibAsBmp(HGLOBAL dib, const wchar_t* path) noexcept;
