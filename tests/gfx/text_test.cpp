// Bitmap-font text on a real context and the installed fonts: placement, cell height, code page, state.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/gl.h"
#include "gfx/text.h"
#include "gl_harness.h"

namespace {

constexpr int frameWidth = 1024;
constexpr int frameHeight = 768;

using Frame = std::vector<uint8_t>;

bool dark(const Frame& frame, int x, int y) { return frame[(static_cast<size_t>(y) * frameWidth + x) * 3] < 128; }

// The box around a frame's dark pixels, and how many there are.
struct Ink {
  int left = frameWidth, top = frameHeight, right = -1, bottom = -1;
  long pixels = 0;
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
};

Ink inkOf(const Frame& frame) {
  Ink ink;
  for (int y = 0; y < frameHeight; ++y)
    for (int x = 0; x < frameWidth; ++x)
      if (dark(frame, x, y)) {
        ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
        ++ink.pixels;
      }
  return ink;
}

int inkInRow(const Frame& frame, int y) {
  int n = 0;
  for (int x = 0; x < frameWidth; ++x) n += dark(frame, x, y);
  return n;
}

// Shifted by (dx, dy), b must match a pixel for pixel wherever both lie inside the window.
bool sameWhereVisible(const Frame& a, const Frame& b, int dx, int dy) {
  for (int y = std::max(0, -dy); y < std::min(frameHeight, frameHeight - dy); ++y)
    for (int x = std::max(0, -dx); x < std::min(frameWidth, frameWidth - dx); ++x)
      if (dark(a, x, y) != dark(b, x + dx, y + dy)) return false;
  return true;
}

// Both fonts as start-up makes them, once per process.
void openFonts() {
  openTestContext();
  static bool made = false;
  if (made) return;
  fontLists[0] = createFont("Arial Black", 50);
  fontLists[1] = createFont("Arial", 12);
  made = true;
}

// Black glyphs on white, with nothing that would tint, blend or hide their pixels.
void clearWhite() {
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glColor3f(0.0f, 0.0f, 0.0f);
}

Frame printed(int font, int x, int y, const char* text) {
  clearWhite();
  printText(font, x, y, "%s", text);
  return readFrame();
}

// The font's lists called at a raster position placed through an ordinary pixel projection: an
// independent way to put a glyph origin at a window pixel (x, y counted from the bottom).
Frame drawnAtWindowPixel(int font, float x, float y, const char* text) {
  clearWhite();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0.0, frameWidth, 0.0, frameHeight, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glRasterPos2f(x, y);
  glListBase(fontLists[font]);
  glCallLists(static_cast<GLsizei>(std::strlen(text)), GL_UNSIGNED_BYTE, text);
  glListBase(0);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  return readFrame();
}

// The raster position in window coordinates, origin bottom left; x is -1 when it is not valid.
std::pair<float, float> rasterPosition() {
  float position[4] = {};
  glGetFloatv(GL_CURRENT_RASTER_POSITION, position);
  GLboolean valid = GL_FALSE;
  glGetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
  return {valid ? position[0] : -1.0f, position[1]};
}

// Keeps the frame on screen as a PNG for a person to look at once a check has failed.
void keepIfFailed(const char* name) {
  if (::testing::Test::HasFailure()) ADD_FAILURE() << "frame kept in " << saveFrame(std::string("text_") + name);
}

TEST(Text, EachFontHasGlyphsForCodesZeroTo254AndNoneFor255) {
  openFonts();
  ASSERT_NE(fontLists[0], 0u);
  ASSERT_NE(fontLists[1], 0u);
  EXPECT_TRUE(fontLists[1] >= fontLists[0] + 256 || fontLists[0] >= fontLists[1] + 256) << "the blocks overlap";
  // Building them gave back the pixel-store state the rest of the program relies on.
  GLint clientStack = -1, unpack = 0;
  glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &clientStack);
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpack);
  EXPECT_EQ(clientStack, 0);
  EXPECT_EQ(unpack, 4);
  // Every code up to 254 holds a glyph, the face's missing glyph at worst, so it moves the position on.
  for (int font = 0; font < 2; ++font)
    for (unsigned code = 0; code < 256; ++code) {
      setTextPosition(100, 300);
      glCallList(fontLists[font] + code);
      const float x = rasterPosition().first;
      if (code < 255)
        EXPECT_GT(x, 99.0f) << "font " << font << " code " << code;
      else
        EXPECT_EQ(x, 99.0f) << "font " << font << " code 255";
    }
}

TEST(Text, FirstGlyphOriginIsAtColumnXMinusOneOnTheBaseline71RowsBelowY) {
  openFonts();
  const Frame h = printed(0, 100, 300, "H");
  const Ink ink = inkOf(h);
  EXPECT_EQ(ink.bottom, 370) << "a flat-bottomed capital stands on the baseline";
  EXPECT_GE(ink.left, 99);
  EXPECT_LE(ink.left, 99 + 8) << "the left bearing of H is a few pixels";
  keepIfFailed("origin_h");
  // Column 99 and row 397 from the bottom; a quarter pixel in keeps the projection's rounding out.
  EXPECT_TRUE(h == drawnAtWindowPixel(0, 99.25f, 397.25f, "H")) << "the origin is not at (99, 397) from the bottom";

  const Ink moved = inkOf(printed(0, 137, 323, "H"));
  EXPECT_EQ(moved.left, ink.left + 37);
  EXPECT_EQ(moved.bottom, ink.bottom + 23);
  printed(0, 100, 300, "g");
  EXPECT_GT(inkOf(readFrame()).bottom, 370) << "descenders reach below the baseline";
  keepIfFailed("descender_g");
}

TEST(Text, HeightIsTheCellHeight) {
  openFonts();
  // Caption font, cell 50: capitals with marks above and letters with descenders fill the cell
  // without leaving it. Taken as an em height instead, the capitals alone would be 35 rows or more.
  const int capHeight = inkOf(printed(0, 100, 300, "H")).height();
  EXPECT_GE(capHeight, 22);
  EXPECT_LE(capHeight, 32);
  const Ink cell = inkOf(printed(0, 100, 300, "\xC9\xC5\xD6gjpy"));  // ÉÅÖgjpy
  EXPECT_LE(cell.height(), 50);
  EXPECT_GE(cell.height(), 40);
  EXPECT_LE(cell.bottom - 370, 14) << "descent";
  keepIfFailed("cell_50");

  const int smallCap = inkOf(printed(1, 100, 300, "H")).height();
  EXPECT_GE(smallCap, 6);
  EXPECT_LE(smallCap, 9);
  EXPECT_LE(inkOf(printed(1, 100, 300, "\xC9\xC5gjpy")).height(), 12);  // ÉÅgjpy
  keepIfFailed("cell_12");
}

TEST(Text, BitmapRowsAreUprightAndUnpackedWhole) {
  openFonts();
  // L has its bar at the foot and F at the head: rows upside down would swap them.
  const Frame l = printed(0, 100, 300, "L");
  const Ink lInk = inkOf(l);
  EXPECT_GT(inkInRow(l, lInk.bottom), 2 * inkInRow(l, lInk.top));
  for (int y = lInk.top; y <= lInk.bottom; ++y) EXPECT_TRUE(dark(l, lInk.left, y)) << "stem row " << y;
  keepIfFailed("upright_l");
  const Frame f = printed(0, 100, 300, "F");
  EXPECT_GT(inkInRow(f, inkOf(f).top), 2 * inkInRow(f, inkOf(f).bottom));
  keepIfFailed("upright_f");

  // The em dash (byte 0x97) is a solid bar wider than 32 pixels, so each of its rows spans two
  // 4-byte words: a slip in row length or bit order would leave holes in it.
  const Ink bar = inkOf(printed(0, 100, 300, "\x97"));
  EXPECT_GT(bar.width(), 32);
  EXPECT_LT(bar.height(), 12);
  EXPECT_EQ(bar.pixels, static_cast<long>(bar.width()) * bar.height()) << "holes in the bar";
  keepIfFailed("em_dash");
}

TEST(Text, BytesAreReadAsCodePage1252) {
  openFonts();
  const Frame o = printed(0, 100, 300, "o");
  const Frame oSlash = printed(0, 100, 300, "\xF8");  // ø
  EXPECT_FALSE(o == oSlash) << "0xF8 must be the slashed o";
  EXPECT_GT(inkOf(oSlash).pixels, inkOf(o).pixels) << "the slash adds ink";
  keepIfFailed("o_slash");
  // 0x9F is Y with diaeresis here, not a control: the marks stand above a Y.
  const Ink y = inkOf(printed(0, 100, 300, "Y"));
  const Ink yDiaeresis = inkOf(printed(0, 100, 300, "\x9F"));
  EXPECT_EQ(yDiaeresis.bottom, y.bottom);
  EXPECT_LT(yDiaeresis.top, y.top - 3);
  keepIfFailed("y_diaeresis");
}

TEST(Text, Byte255EmptyTextAndNullFormatDrawNothing) {
  openFonts();
  const Frame ab = printed(0, 100, 300, "AB");
  const auto abEnd = rasterPosition();
  EXPECT_TRUE(ab == printed(0, 100, 300, "A\xFF" "B")) << "B moved";
  EXPECT_EQ(rasterPosition(), abEnd);
  keepIfFailed("byte_255");

  EXPECT_EQ(inkOf(printed(0, 100, 300, "\xFF\xFF")).pixels, 0);
  EXPECT_EQ(rasterPosition(), std::make_pair(99.0f, 397.0f)) << "byte 255 moved the position";
  // An empty text still places the raster position; a null format does nothing at all.
  EXPECT_EQ(inkOf(printed(0, 250, 40, "")).pixels, 0);
  EXPECT_EQ(rasterPosition(), std::make_pair(249.0f, 657.0f));
  const char* noFormat = nullptr;
  printText(0, 500, 500, noFormat);
  EXPECT_EQ(rasterPosition(), std::make_pair(249.0f, 657.0f)) << "a null format moved the position";
  EXPECT_EQ(inkOf(readFrame()).pixels, 0);
}

TEST(Text, TextIsCutAt255Bytes) {
  openFonts();
  char text[301];
  std::memset(text, 'I', 300);
  text[300] = 0;
  printed(0, 0, 300, text);
  const auto all = rasterPosition();
  text[255] = 0;
  printed(0, 0, 300, text);
  EXPECT_EQ(rasterPosition(), all);
  text[254] = 0;
  printed(0, 0, 300, text);
  EXPECT_LT(rasterPosition().first, all.first) << "fewer than 255 characters were kept";
}

TEST(Text, PositionsOutsideTheWindowStillDrawTheVisiblePart) {
  openFonts();
  // Left: the origin at column -11, so the window's left edge cuts the first H.
  const Frame inside = printed(0, 30, 300, "HHH");
  const Frame left = printed(0, -10, 300, "HHH");
  EXPECT_GE(rasterPosition().first, 0.0f) << "the raster position is valid";
  EXPECT_TRUE(sameWhereVisible(left, inside, 40, 0));
  EXPECT_EQ(inkOf(left).left, 0);
  EXPECT_LT(inkOf(left).pixels, inkOf(inside).pixels) << "nothing was cut off";
  keepIfFailed("left_of_window");

  // Below: the baseline at row 790, so only the tops of the capitals show.
  const Frame higher = printed(0, 100, 600, "HHH");
  const Frame below = printed(0, 100, 720, "HHH");
  EXPECT_GE(rasterPosition().first, 0.0f) << "the raster position is valid";
  EXPECT_TRUE(sameWhereVisible(below, higher, 0, -120));
  EXPECT_EQ(inkOf(below).bottom, frameHeight - 1);
  keepIfFailed("below_window");
}

TEST(Text, PrintingLeavesViewportMatricesModeAndListBaseAsTheyWere) {
  openFonts();
  GLint savedViewport[4];
  glGetIntegerv(GL_VIEWPORT, savedViewport);
  for (GLenum mode : {GLenum(GL_MODELVIEW), GLenum(GL_PROJECTION), GLenum(GL_TEXTURE)}) {
    clearWhite();
    glViewport(10, 20, 300, 200);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glFrustum(-1.0, 1.0, -0.75, 0.75, 1.0, 50.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(1.0f, 2.0f, -3.0f);
    glRotatef(30.0f, 0.0f, 1.0f, 0.0f);
    glMatrixMode(mode);
    glListBase(7);

    // Viewport, projection, model-view, mode, list base, the two stacks, attributes, unpack alignment.
    auto state = [] {
      std::vector<float> all(4 + 16 + 16 + 6);
      GLint ints[10];
      glGetIntegerv(GL_VIEWPORT, ints);
      glGetIntegerv(GL_MATRIX_MODE, ints + 4);
      glGetIntegerv(GL_LIST_BASE, ints + 5);
      glGetIntegerv(GL_PROJECTION_STACK_DEPTH, ints + 6);
      glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, ints + 7);
      glGetIntegerv(GL_ATTRIB_STACK_DEPTH, ints + 8);
      glGetIntegerv(GL_UNPACK_ALIGNMENT, ints + 9);
      for (int i = 0; i < 4; ++i) all[i] = static_cast<float>(ints[i]);
      glGetFloatv(GL_PROJECTION_MATRIX, &all[4]);
      glGetFloatv(GL_MODELVIEW_MATRIX, &all[20]);
      for (int i = 4; i < 10; ++i) all[32 + i] = static_cast<float>(ints[i]);
      return all;
    };
    const std::vector<float> before = state();
    printText(0, 100, 300, "State %d", 42);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(state(), before) << "matrix mode " << std::hex << mode;
    // The text lands at its window position whatever viewport and matrices were current.
    EXPECT_EQ(inkOf(readFrame()).bottom, 370);
    keepIfFailed("state");

    glListBase(0);
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glViewport(savedViewport[0], savedViewport[1], savedViewport[2], savedViewport[3]);
  }
}

}  // namespace
