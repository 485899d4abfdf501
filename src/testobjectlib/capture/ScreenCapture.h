#pragma once
// Screen capture into a packed device-independent bitmap, and from there into an image file.
#include <windows.h>

#include "com/Handles.h"

enum : UINT { ImageFormatPng = 0, ImageFormatBmp = 1 };

// Copies a screen rectangle (clipped to the monitors) into a packed DIB in a GHND block: header,
// colour table, bottom-up rows. With reduceColors the bit count is at most 8 or else 24. An empty
// block when nothing can be captured.
kcom::CGlobal CaptureScreenRectToDib(const RECT& rect, BOOL reduceColors) noexcept;

// Captures the rectangle and writes it to path as PNG (format 0) or BMP (format 1).
// E_INVALIDARG for another format or no path, E_FAIL when nothing could be captured or written.
HRESULT CaptureRectToImageFile(LONG left, LONG top, LONG right, LONG bottom, const wchar_t* path, UINT format,
                               BOOL reduceColors) noexcept;
