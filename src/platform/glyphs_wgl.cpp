// Glyph display lists on Win32: the system font mapper's face, drawn into lists by wglUseFontBitmapsA.
#include "platform/glyphs.h"

#include <windows.h>
#include <GL/gl.h>

#include <cstdio>

#include "platform/failure.h"

namespace {

void reportFace(const char* format, const char* face) {
  char line[256];
  std::snprintf(line, sizeof line, format, face);
  showFailure(FailureStyle::line, line);
}

// Glyphs without pixels (the space above all) must still move the raster position on. Mesa drops a
// glBitmap with a null bitmap from a display list, move and all, and that is what Wine's
// wglUseFontBitmapsA compiles for them: every caption would lose its spaces. Such lists are made again
// with an empty bitmap that is not null, which moves as Windows' own lists do.
void keepEmptyGlyphAdvances(HDC device, unsigned base) {
  static const GLubyte none[1] = {0};
  const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  for (unsigned code = 0; code < 255; ++code) {
    GLYPHMETRICS metrics;
    if (GetGlyphOutlineA(device, code, GGO_BITMAP, &metrics, 0, nullptr, &identity) != 0) continue;
    glNewList(base + code, GL_COMPILE);
    glBitmap(0, 0, 0, 0, static_cast<GLfloat>(metrics.gmCellIncX), static_cast<GLfloat>(metrics.gmCellIncY), none);
    glEndList();
  }
}

}  // namespace

void buildGlyphLists(const char* face, int height, unsigned base) {
  // The device context the GL context is current on: the window's, held by the shell.
  const HDC device = wglGetCurrentDC();
  const HFONT font = CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
  if (!device || !font) {
    reportFace("no font found for \"%s\"; its text will not show", face);
    if (font) DeleteObject(font);
    return;
  }
  // The font stays selected and is never deleted: the lists hold its bitmaps, not the font, and the
  // device context keeps whichever font was built last.
  SelectObject(device, font);
  // Codes 0-254 only: base+255 stays undefined, so byte 255 draws nothing and does not move on.
  if (!wglUseFontBitmapsA(device, 0, 255, base)) {
    reportFace("cannot make the glyphs of \"%s\"; its text will not show", face);
    return;
  }
  keepEmptyGlyphAdvances(device, base);
}
