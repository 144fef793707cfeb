// Glyph display lists: what a platform supplies to turn a font into bitmaps GL can draw.
#pragma once

// Fills the 255 display lists base+0..base+254 with the glyph bitmaps of codes 0-254 (code page 1252)
// of the named face, bold, at the given cell height in pixels; each list draws its glyph at the raster
// position and moves the position on by the glyph's advance. base+255 is left undefined. Without the
// face the lists stay empty, after one line saying so.
void buildGlyphLists(const char* face, int height, unsigned base);
