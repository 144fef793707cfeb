// Bitmap-font text: fonts made into display lists once, and text printed at window pixel positions.
#include "gfx/text.h"

#include <cstdarg>
#include <cstdio>

#include "platform/gl.h"
#include "platform/glyphs.h"

unsigned fontLists[2] = {0, 0};

unsigned createFont(const char* face, int height) {
  const unsigned base = glGenLists(256);
  if (base != 0) buildGlyphLists(face, height, base);
  return base;
}

void setTextPosition(int x, int y) {
  glPushAttrib(GL_TRANSFORM_BIT | GL_VIEWPORT_BIT);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  // With identity matrices the point maps to the viewport's origin, and a viewport of zero size
  // puts that origin anywhere, even outside the window, without clipping the raster position.
  // Row 697 - y is the baseline 71 rows below y in the 768-row window.
  glViewport(x - 1, 697 - y, 0, 0);
  glRasterPos4f(0.0f, 0.0f, 0.0f, 1.0f);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glPopAttrib();
}

void printText(int font, int x, int y, const char* format, ...) {
  if (format == nullptr) return;
  char text[256];
  va_list args;
  va_start(args, format);
  const int wanted = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  // vsnprintf cuts a longer text at 255 bytes; a format it cannot apply prints nothing.
  int length = wanted < 0 ? 0 : wanted;
  if (length > static_cast<int>(sizeof text) - 1) length = sizeof text - 1;

  setTextPosition(x, y);
  glPushAttrib(GL_LIST_BIT);
  glListBase(fontLists[font]);
  glCallLists(length, GL_UNSIGNED_BYTE, text);
  glPopAttrib();
}
