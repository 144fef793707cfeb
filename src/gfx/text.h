// Bitmap-font text: the two fonts' display lists and printing at window pixel positions.
#pragma once

// List bases of the two fonts, 256 lists each: 0 is the caption face at height 50, 1 the small face at 12.
extern unsigned fontLists[2];

// Reserves 256 display lists and fills base+0..base+254 with the face's glyphs; returns the base.
unsigned createFont(const char* face, int height);
// Puts the raster position for canvas pixel (x, y) (origin top left, y down): the glyph origin lands
// at column x-1, on the baseline 71 rows below y. The position stays valid outside the window.
void setTextPosition(int x, int y);
// Formats the text, keeping at most 255 bytes, and draws it with font 0 or 1 from (x, y) as placed by
// setTextPosition; a null format draws nothing.
#if defined(__GNUC__)
__attribute__((format(printf, 4, 5)))
#endif
void printText(int font, int x, int y, const char* format, ...);
