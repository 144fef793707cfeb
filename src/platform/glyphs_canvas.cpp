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

// Draws the characters of codes (their Unicode values, one per code) in a grid on one canvas and reads it
// back once; keeps each glyph's bitmap and metrics in Module.vostrelGlyphs for takeGlyph.
EM_JS(void, drawGlyphs, (const char* face, int height, const unsigned* codes, int count, int maxSide), {
  var font = Module['vostrelFonts'][UTF8ToString(face)];
  var px = height * font.emPerCell;
  var side = Math.min(maxSide, Math.ceil(px * 2) + 8);  // a cell, with room around the widest glyph
  var across = 16, down = Math.ceil(count / across);
  var canvas = document.createElement('canvas');
  canvas.width = side * across;
  canvas.height = side * down;
  var context = canvas.getContext('2d', {willReadFrequently: true});
  context.font = 'bold ' + px + 'px "' + font.family + '"';
  context.textBaseline = 'alphabetic';
  context.fillStyle = '#fff';
  var originX = Math.floor(side / 6), baseline = Math.floor(side * 0.7);
  var advances = [];
  for (var n = 0; n < count; ++n) {
    var code = HEAPU32[(codes >> 2) + n];
    var text = String.fromCharCode(code);
    advances.push(code < 32 ? 0 : Math.round(context.measureText(text).width));
    if (code < 32) continue;  // control codes draw nothing
    var x = (n % across) * side, y = Math.floor(n / across) * side;
    context.save();
    context.beginPath();
    context.rect(x, y, side, side);
    context.clip();
    context.fillText(text, x + originX, y + baseline);
    context.restore();
  }
  var pixels = context.getImageData(0, 0, canvas.width, canvas.height).data;
  var glyphs = [];
  for (var n = 0; n < count; ++n) {
    var cellX = (n % across) * side, cellY = Math.floor(n / across) * side;
    var x0 = side, y0 = side, x1 = -1, y1 = -1;
    for (var y = 0; y < side; ++y)
      for (var x = 0; x < side; ++x)
        if (pixels[((cellY + y) * canvas.width + cellX + x) * 4 + 3] >= 128) {
          if (x < x0) x0 = x;
          if (x > x1) x1 = x;
          if (y < y0) y0 = y;
          if (y > y1) y1 = y;
        }
    var width = x1 < 0 ? 0 : x1 - x0 + 1, rows = x1 < 0 ? 0 : y1 - y0 + 1;
    var stride = Math.floor((width + 31) / 32) * 4;
    var bits = new Uint8Array(stride * rows);
    for (var r = 0; r < rows; ++r)
      for (var c = 0; c < width; ++c)
        if (pixels[((cellY + y0 + rows - 1 - r) * canvas.width + cellX + x0 + c) * 4 + 3] >= 128)
          bits[r * stride + (c >> 3)] |= 128 >> (c & 7);
    glyphs.push({width: width, rows: rows, left: width ? x0 - originX : 0, top: rows ? baseline - y0 : 0,
                 advance: advances[n], bits: bits});
  }
  Module['vostrelGlyphs'] = glyphs;
});

// One glyph of the last drawGlyphs: its bitmap (rows bottom-up, most significant bit first, each row padded
// to 4 bytes) to out, and width, rows, left bearing, rows above the baseline and advance to metrics.
EM_JS(void, takeGlyph, (int n, unsigned char* out, int* metrics), {
  var glyph = Module['vostrelGlyphs'][n];
  HEAPU8.set(glyph.bits, out);
  HEAP32[(metrics >> 2) + 0] = glyph.width;
  HEAP32[(metrics >> 2) + 1] = glyph.rows;
  HEAP32[(metrics >> 2) + 2] = glyph.left;
  HEAP32[(metrics >> 2) + 3] = glyph.top;
  HEAP32[(metrics >> 2) + 4] = glyph.advance;
});

void buildGlyphLists(const char* face, int height, unsigned base) {
  if (!pageHasFont(face)) {
    char line[256];
    std::snprintf(line, sizeof line, "no font found for \"%s\"; its text will not show", face);
    showFailure(FailureStyle::line, line);
    return;
  }
  unsigned codes[255];
  for (int code = 0; code < 255; ++code) codes[code] = unicodeOf(code);
  drawGlyphs(face, height, codes, 255, maxSide);
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  for (int code = 0; code < 255; ++code) {
    int metrics[5];
    takeGlyph(code, bits, metrics);
    const int rows = metrics[1];
    glNewList(base + code, GL_COMPILE);
    // The origin is given from the bitmap's lower left corner, as a Linux build gives it.
    glBitmap(metrics[0], rows, static_cast<float>(-metrics[2]), static_cast<float>(rows - metrics[3]),
             static_cast<float>(metrics[4]), 0.0f, rows > 0 ? bits : nullptr);
    glEndList();
  }
  glPopClientAttrib();
}
