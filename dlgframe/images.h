// Bitmaps with their palettes, and the two ways the controls draw pictures.
#pragma once

#include <windows.h>

#include "win/unique.h"

namespace olvex::dlgframe {

// A bitmap through FrameworkLoadBitmap (module 0; from a file when asked)
// and, for one of 8 bits or fewer, a palette of its colour table. False
// (both empty) when the bitmap is not found.
bool LoadBitmapWithPalette(bool from_file, const wchar_t* name_or_id, win::UniqueBitmap& bitmap,
                           win::UniquePalette& palette);

// Draws a 32-bit premultiplied bitmap with its own alpha and a constant
// alpha through AlphaBlend; without AlphaBlend, or for another depth, copies
// the whole bitmap opaque at (x, y).
void DrawImage(HDC target, int x, int y, int width, int height, HBITMAP bitmap, BYTE alpha);

// Draws a bitmap with the colour of its top-left pixel transparent.
void DrawTransparent(HDC target, HBITMAP bitmap, int x, int y);

// A bitmap's width and height; zeros when it is none.
SIZE BitmapSize(HBITMAP bitmap);

}  // namespace olvex::dlgframe
