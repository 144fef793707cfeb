// Glyph display lists in a browser: the page's canvas draws each glyph with the web font the page loaded
// for the face (the file a Linux build's fontconfig picks for it), and its pixels, cut at half cover,
// become the bitmap.
#include "platform/glyphs.h"

#include <emscripten.h>

#include <cstdio>

#include "platform/failure.h"
#include "platform/gl.h"

namespace {

// Unicode of bytes 0x80-0x9F in code page 1252; the five bytes it leaves undefined keep their value.
constexpr unsigned short cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

unsigned unicodeOf(int code) { return code >= 0x80 && code < 0xA0 ? cp1252High[code - 0x80] : static_cast<unsigned>(code); }

constexpr int maxSide = 256;  // pixels a glyph bitmap may span each way
unsigned char bits[maxSide * maxSide / 8];

}  // namespace

// Whether the page has a font for the face (Module.vostrelFonts: family and the em size per pixel of
// cell, from the font's own OS/2 table, as Windows sizes a font by its cell).
EM_JS(int, pageHasFont, (const char* face), {
  var fonts = Module['vostrelFonts'] || {};
  return fonts[UTF8ToString(face)] ? 1 : 0;
});

// Draws one character; writes its bitmap (rows bottom-up, most significant bit first, each row padded
// to 4 bytes) to out, and width, rows, left bearing, rows above the baseline and advance to metrics.
EM_JS(void, drawGlyph, (const char* face, int height, unsigned code, unsigned char* out, int maxSide, int* metrics), {
  var font = Module['vostrelFonts'][UTF8ToString(face)];
  var px = height * font.emPerCell;
  var side = Math.min(maxSide, Math.ceil(px * 2) + 8);
  var canvas = Module['vostrelGlyphCanvas'];
  if (!canvas) canvas = Module['vostrelGlyphCanvas'] = document.createElement('canvas');
  canvas.width = side * 2;
  canvas.height = side * 2;
  var context = canvas.getContext('2d', {willReadFrequently: true});
  context.clearRect(0, 0, canvas.width, canvas.height);
  context.font = 'bold ' + px + 'px "' + font.family + '"';
  context.textBaseline = 'alphabetic';
  context.fillStyle = '#fff';
  var text = String.fromCharCode(code);
  var originX = Math.floor(side / 2), baseline = side;
  var advance = code < 32 ? 0 : Math.round(context.measureText(text).width);
  if (code >= 32) context.fillText(text, originX, baseline);
  var pixels = context.getImageData(0, 0, canvas.width, canvas.height).data;
  var x0 = canvas.width, y0 = canvas.height, x1 = -1, y1 = -1;
  for (var y = 0; y < canvas.height; ++y)
    for (var x = 0; x < canvas.width; ++x)
      if (pixels[(y * canvas.width + x) * 4 + 3] >= 128) {
        if (x < x0) x0 = x;
        if (x > x1) x1 = x;
        if (y < y0) y0 = y;
        if (y > y1) y1 = y;
      }
  var width = x1 < 0 ? 0 : Math.min(x1 - x0 + 1, maxSide);
  var rows = x1 < 0 ? 0 : Math.min(y1 - y0 + 1, maxSide);
  var stride = Math.floor((width + 31) / 32) * 4;
  HEAPU8.fill(0, out, out + stride * rows);
  for (var r = 0; r < rows; ++r)
    for (var c = 0; c < width; ++c)
      if (pixels[((y0 + rows - 1 - r) * canvas.width + x0 + c) * 4 + 3] >= 128)
        HEAPU8[out + r * stride + (c >> 3)] |= 128 >> (c & 7);
  HEAP32[(metrics >> 2) + 0] = width;
  HEAP32[(metrics >> 2) + 1] = rows;
  HEAP32[(metrics >> 2) + 2] = width ? x0 - originX : 0;
  HEAP32[(metrics >> 2) + 3] = rows ? baseline - y0 : 0;
  HEAP32[(metrics >> 2) + 4] = advance;
});

void buildGlyphLists(const char* face, int height, unsigned base) {
  if (!pageHasFont(face)) {
    char line[256];
    std::snprintf(line, sizeof line, "no font found for \"%s\"; its text will not show", face);
    showFailure(FailureStyle::line, line);
    return;
  }
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  for (int code = 0; code < 255; ++code) {
    int metrics[5];
    drawGlyph(face, height, unicodeOf(code), bits, maxSide, metrics);
    const int rows = metrics[1];
    glNewList(base + code, GL_COMPILE);
    // The origin is given from the bitmap's lower left corner, as a Linux build gives it.
    glBitmap(metrics[0], rows, static_cast<float>(-metrics[2]), static_cast<float>(rows - metrics[3]),
             static_cast<float>(metrics[4]), 0.0f, rows > 0 ? bits : nullptr);
    glEndList();
  }
  glPopClientAttrib();
}
