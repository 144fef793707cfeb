// Glyph display lists on Win32: the system font mapper's face, drawn into lists by wglUseFontBitmapsA.
#include "platform/glyphs.h"

#include <windows.h>

#include <cstdio>

#include "platform/failure.h"

void buildGlyphLists(const char* face, int height, unsigned base) {
  // The device context the GL context is current on: the window's, held by the shell.
  const HDC device = wglGetCurrentDC();
  const HFONT font = CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
  if (!device || !font) {
    char line[256];
    std::snprintf(line, sizeof line, "no font found for \"%s\"; its text will not show", face);
    showFailure(FailureStyle::line, line);
    if (font) DeleteObject(font);
    return;
  }
  // The font stays selected and is never deleted: the lists hold its bitmaps, not the font, and the
  // device context keeps whichever font was built last.
  SelectObject(device, font);
  // Codes 0-254 only: base+255 stays undefined, so byte 255 draws nothing and does not move on.
  if (!wglUseFontBitmapsA(device, 0, 255, base)) {
    char line[256];
    std::snprintf(line, sizeof line, "cannot make the glyphs of \"%s\"; its text will not show", face);
    showFailure(FailureStyle::line, line);
  }
}
