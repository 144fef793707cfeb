// Guards printed text against a wrong origin or baseline, the em height taken for the cell, glyph rows upside down or torn, bytes read outside code page 1252, no cut at 255 bytes, a glyph for byte 255, and state left changed.
#include "gfx/text.h"
#include "gl_harness.h"

class Text : public ::testing::Test {
 protected:
  void SetUp() override {
    openTestContext();
    if (!fontLists[0]) fontLists[0] = createFont("Arial Black", 50), fontLists[1] = createFont("Arial", 12);
  }
  // Black glyphs on white, with nothing to tint, blend or hide them.
  static Picture printed(int font, int x, int y, const std::string& text) {
    for (GLenum what : {GL_LIGHTING, GL_TEXTURE_2D, GL_BLEND, GL_DEPTH_TEST}) glDisable(what);
    glClearColor(1, 1, 1, 1), glClear(GL_COLOR_BUFFER_BIT), glColor3f(0, 0, 0);
    printText(font, x, y, "%s", text.c_str());
    return grabFrame();
  }
  static Box ink(int font, int x, int y, const std::string& text) { return findBox(printed(font, x, y, text), dark); }
  // The raster position in window coordinates from the bottom left; x is -1 when it is not valid.
  static std::pair<float, float> rasterPosition() {
    float position[4] = {};
    GLboolean valid = GL_FALSE;
    glGetFloatv(GL_CURRENT_RASTER_POSITION, position), glGetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    return {valid ? position[0] : -1.0f, position[1]};
  }
};

TEST_F(Text, EachFontHasGlyphsForCodes0To254AndNoneFor255) {
  expectGlState({is(GL_CLIENT_ATTRIB_STACK_DEPTH, {0}), is(GL_UNPACK_ALIGNMENT, {4})});  // given back
  for (int font = 0; font < 2; ++font)
    for (unsigned code = 0; code < 256; ++code) {
      setTextPosition(100, 300);
      glCallList(fontLists[font] + code);  // a glyph, the face's missing one at worst, moves the position on
      EXPECT_EQ(rasterPosition().first > 99.0f, code < 255) << "font " << font << " code " << code;
    }
}

// Placed at (x - 1, 697 - y) from the bottom left: the baseline 71 rows below y, a capital standing on row y + 70.
TEST_F(Text, TheFirstGlyphStandsAtColumnXMinusOneOnTheBaseline71RowsBelowY) {
  EXPECT_EQ(ink(0, 250, 40, "").pixels, 0);
  EXPECT_EQ(rasterPosition(), std::make_pair(249.0f, 657.0f)) << "an empty text still places the position";
  const Box h = ink(0, 100, 300, "H");
  EXPECT_EQ(h.bottom, 370);
  EXPECT_NEAR(h.left, 103, 4) << "H's bearing is a few pixels";
  const auto after = rasterPosition();
  const char* noFormat = nullptr;
  printText(0, 500, 500, noFormat);
  EXPECT_EQ(rasterPosition(), after) << "a null format does nothing at all";
  EXPECT_EQ(ink(0, -10, 300, "HHH").left, 0) << "left of the window the position stays valid and the rest shows";
  EXPECT_EQ(ink(0, 100, 720, "HHH").bottom, frameHeight - 1) << "below it as well";
}

// Heights are cells, ascent plus descent: an em of 50 would make the capitals alone 35 rows or more.
TEST_F(Text, HeightIsTheCellHeightAndRowsAreUprightAndWhole) {
  EXPECT_NEAR(ink(0, 100, 300, "H").height(), 27, 5);
  EXPECT_NEAR(ink(0, 100, 300, "\xC9\xC5\xD6gjpy").height(), 45, 5);  // ÉÅÖgjpy
  EXPECT_NEAR(ink(1, 100, 300, "H").height(), 7.5, 1.5);
  const Picture l = printed(0, 100, 300, "L");  // its bar at the foot: rows upside down put it at the head
  auto inkInRow = [&](int y) { return findBox(l.crop(0, y, frameWidth, 1), dark).pixels; };
  EXPECT_GT(inkInRow(findBox(l, dark).bottom), 2 * inkInRow(findBox(l, dark).top));
  // The em dash (0x97) is a solid bar over 32 wide, each row two words: a slip in row length or bit order tears it.
  const Box bar = ink(0, 100, 300, "\x97");
  EXPECT_GT(bar.width(), 32);
  EXPECT_EQ(bar.pixels, long(bar.width()) * bar.height()) << "holes in the bar";
}

TEST_F(Text, BytesAreCodePage1252AndByte255DrawsNothingAndTheTextIsCutAt255Bytes) {
  EXPECT_GT(ink(0, 100, 300, "\xF8").pixels, ink(0, 100, 300, "o").pixels) << "0xF8 is o with its slash";
  const Box y = ink(0, 100, 300, "Y"), yDiaeresis = ink(0, 100, 300, "\x9F");
  EXPECT_EQ(yDiaeresis.bottom, y.bottom);
  EXPECT_LT(yDiaeresis.top, y.top - 3) << "0x9F is Y with the marks above it";
  const Picture ab = printed(0, 100, 300, "AB");
  const auto end = rasterPosition();
  EXPECT_TRUE(printed(0, 100, 300, "A\xFF" "B") == ab) << "B moved";
  EXPECT_EQ(rasterPosition(), end);
  const std::string text(300, 'I');
  printed(0, 0, 300, text);
  const float all = rasterPosition().first;
  printed(0, 0, 300, text.substr(0, 255));
  EXPECT_EQ(rasterPosition().first, all) << "more than 255 drawn";
  printed(0, 0, 300, text.substr(0, 254));
  EXPECT_LT(rasterPosition().first, all) << "fewer than 255 drawn";
}

// Printed from the texture-matrix mode into a small viewport: mode, viewport, matrices and list base come back.
TEST_F(Text, PrintingLeavesViewportMatricesModeAndListBaseAsTheyWere) {
  printed(0, 0, 0, "");
  glViewport(10, 20, 300, 200), glMatrixMode(GL_TEXTURE), glListBase(7);
  printText(0, 100, 300, "State %d", 42);
  expectGlState({is(GL_MATRIX_MODE, {GL_TEXTURE}), is(GL_VIEWPORT, {10, 20, 300, 200}), is(GL_LIST_BASE, {7})});
  glMatrixMode(GL_MODELVIEW);
  expectGlState({is(GL_PROJECTION_STACK_DEPTH, {1}), is(GL_MODELVIEW_STACK_DEPTH, {1}), is(GL_ATTRIB_STACK_DEPTH, {0}),
                 is(GL_PROJECTION_MATRIX, basePerspective), is(GL_MODELVIEW_MATRIX, identityMatrix)});
  EXPECT_EQ(findBox(grabFrame(), dark).bottom, 370) << "placed in the window whatever the viewport says";
}
