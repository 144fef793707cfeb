// The full-window quads: what they draw and exactly what state each leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gl.h"
#include "gfx/overlay.h"
#include "gfx/resources.h"
#include "gl_harness.h"

namespace {

// A 2x2 texture in slot, one colour per quadrant: bottom-left red, bottom-right green,
// top-left blue, top-right white (rows bottom-up, as the loader delivers them).
void makeQuadrantTexture(int slot) {
  const uint8_t texels[2 * 2 * 4] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
  glGenTextures(1, &textures[slot]);
  glBindTexture(GL_TEXTURE_2D, textures[slot]);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
}

// A mipmapped picture in slot with the loader's filters: level 0 in `top` colours (a vertical ramp
// of red, when `ramp`), every smaller level green, so the window shows which level was sampled.
void makeLevelTexture(int slot, int width, int height, bool ramp) {
  glGenTextures(1, &textures[slot]);
  glBindTexture(GL_TEXTURE_2D, textures[slot]);
  for (int level = 0;; ++level) {
    const int w = std::max(1, width >> level), h = std::max(1, height >> level);
    std::vector<uint8_t> texels(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < texels.size(); i += 3) {
      const size_t column = i / 3 % w;
      texels[i] = level ? 0 : ramp ? static_cast<uint8_t>(column * 255 / (w - 1)) : 255;
      texels[i + 1] = level ? 255 : 0;
    }
    glTexImage2D(GL_TEXTURE_2D, level, 3, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    if (w == 1 && h == 1) break;
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

class Overlay : public ::testing::Test {
 protected:
  void SetUp() override {
    openTestContext();
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glViewport(0, 0, 1024, 768);
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    makeQuadrantTexture(7);
    glBindTexture(GL_TEXTURE_2D, 0);
    // A camera-like model-view matrix, to see what each quad keeps or loses.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1, 2, 3);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
  }
  void TearDown() override {
    if (HasFailure()) saveFrame(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  float projection[16];

  void expectModelView(bool identity) {
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_EQ(m[12], identity ? 0.0f : 1.0f);
    EXPECT_EQ(m[14], identity ? 0.0f : 3.0f);
    float p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    EXPECT_EQ(std::memcmp(p, projection, sizeof p), 0) << "projection restored";
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
  }
  void expectColour(float r, float g, float b, float a) {
    float c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    const float want[4] = {r, g, b, a};
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(c[i], want[i]) << "colour [" << i << "]";
  }
  void expectBlend(bool on, GLenum src, GLenum dst) {
    EXPECT_EQ(glIsEnabled(GL_BLEND), on ? GL_TRUE : GL_FALSE);
    GLint s = 0, d = 0;
    glGetIntegerv(GL_BLEND_SRC, &s);
    glGetIntegerv(GL_BLEND_DST, &d);
    EXPECT_EQ(s, static_cast<GLint>(src));
    EXPECT_EQ(d, static_cast<GLint>(dst));
  }
  GLint boundTexture() {
    GLint t = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &t);
    return t;
  }
  void expectTexCoord(float s, float t) {
    float c[4];
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, c);
    EXPECT_FLOAT_EQ(c[0], s);
    EXPECT_FLOAT_EQ(c[1], t);
  }
};

TEST_F(Overlay, FeedbackLayerMixesNinetyNinePercentAndLeavesItsState) {
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glTexCoord2f(0.25f, 0.75f);
  drawFeedbackLayer(7);
  readFrame();
  // Top-left of the window shows the texture's top-left (blue): 0.99 texel + 0.01 of the clear.
  EXPECT_LE(rgbDistance(pixelAt(10, 10), {static_cast<int>(0.01 * 51), static_cast<int>(0.01 * 102),
                                          static_cast<int>(0.99 * 255 + 0.01 * 153)}), 2);
  EXPECT_LE(rgbDistance(pixelAt(10, 758), {252, 1, 2}), 2);    // bottom-left red
  EXPECT_LE(rgbDistance(pixelAt(1014, 758), {1, 253, 2}), 2);  // bottom-right green
  expectModelView(false);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  expectBlend(false, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_EQ(boundTexture(), static_cast<GLint>(textures[7]));
  expectColour(1, 1, 1, 0.99f);
  expectTexCoord(1, 1);
}

TEST_F(Overlay, FadeDrawsBlackAtItsOpacityAndLeavesBlendingOn) {
  glBindTexture(GL_TEXTURE_2D, textures[7]);  // modulated to black all the same
  glTexCoord2f(0.25f, 0.75f);
  drawFade(0.0f);
  readFrame();
  EXPECT_EQ(rgbDistance(pixelAt(500, 400), {51, 102, 153}), 0) << "fade 0 changes nothing";
  expectModelView(false);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  expectBlend(true, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_EQ(boundTexture(), static_cast<GLint>(textures[7]));
  expectColour(0, 0, 0, 0);
  expectTexCoord(0.25f, 0.75f);

  glEnable(GL_LIGHTING);  // lit black is black too
  drawFade(0.5f);
  readFrame();
  EXPECT_LE(rgbDistance(pixelAt(500, 400), {26, 51, 77}), 1);
  drawFade(1.0f);
  readFrame();
  EXPECT_EQ(rgbDistance(pixelAt(500, 400), {0, 0, 0}), 0);
  EXPECT_EQ(rgbDistance(pixelAt(0, 0), {0, 0, 0}), 0);
  EXPECT_EQ(rgbDistance(pixelAt(1023, 767), {0, 0, 0}), 0);
  expectColour(0, 0, 0, 1);
}

TEST_F(Overlay, ImageIsUprightAndBlendsOnlyAsTheCallerHasIt) {
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);  // at depth 0 the quad passes a less-or-equal test
  glTexCoord2f(0.25f, 0.75f);
  drawImageOverlay(7, 0.5f);
  readFrame();
  EXPECT_EQ(rgbDistance(pixelAt(10, 10), {0, 0, 255}), 0) << "opaque with blending off";
  EXPECT_EQ(rgbDistance(pixelAt(1013, 10), {255, 255, 255}), 0);
  EXPECT_EQ(rgbDistance(pixelAt(10, 757), {255, 0, 0}), 0);
  EXPECT_EQ(rgbDistance(pixelAt(1013, 757), {0, 255, 0}), 0);
  expectModelView(true);  // the caller's matrix is lost
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(boundTexture(), static_cast<GLint>(textures[7]));
  expectColour(1, 1, 1, 0.5f);
  expectTexCoord(0, 0);

  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  drawImageOverlay(7, 0.5f);
  readFrame();
  EXPECT_LE(rgbDistance(pixelAt(10, 757), {153, 51, 77}), 1) << "half and half";
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  drawImageOverlay(7, 0.5f);
  readFrame();
  EXPECT_LE(rgbDistance(pixelAt(10, 757), {178, 102, 153}), 1) << "half the image added";
  expectBlend(true, GL_SRC_ALPHA, GL_ONE);
}

// Stretched over the window, a picture shows its full-size level unless it is shrunk by more than
// 1.41 each way; the filter it was made with is left in place.
TEST_F(Overlay, ImageSamplesTheMipmapLevelItsSizeCallsFor) {
  glDisable(GL_BLEND);
  const struct {
    int width, height;
    bool fullSize;
  } rows[] = {{256, 256, true}, {1024, 768, true}, {1024, 1024, true}, {1280, 960, true},
              {1024, 2048, false}, {2048, 2048, false}, {4096, 256, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
    makeLevelTexture(9, row.width, row.height, false);
    drawImageOverlay(9, 1.0f);
    readFrame();
    EXPECT_EQ(rgbDistance(pixelAt(512, 384), row.fullSize ? Rgb{255, 0, 0} : Rgb{0, 255, 0}), 0);
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR_MIPMAP_NEAREST);
    glDeleteTextures(1, &textures[9]);
  }

  // A magnified picture is the same to the byte whichever minifying filter the texture has.
  makeLevelTexture(9, 512, 256, true);
  drawImageOverlay(9, 1.0f);
  const std::vector<uint8_t> drawn = readFrame();
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_LINEAR);
  glClear(GL_COLOR_BUFFER_BIT);
  drawImageOverlay(9, 1.0f);
  EXPECT_TRUE(readFrame() == drawn);
  glDeleteTextures(1, &textures[9]);
}

TEST_F(Overlay, CanvasOriginIsTheTopLeftCorner) {
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  beginOverlay2D(0, 0, 1024, 768);
  glColor3f(1, 1, 0);
  glBegin(GL_QUADS);  // the canvas's top-left 4x2 pixels
  glVertex2f(0, 0), glVertex2f(0, 2), glVertex2f(4, 2), glVertex2f(4, 0);
  glEnd();
  glBegin(GL_QUADS);  // and its bottom-right 4x2
  glVertex2f(1020, 766), glVertex2f(1020, 768), glVertex2f(1024, 768), glVertex2f(1024, 766);
  glEnd();
  endOverlay2D();
  readFrame();
  EXPECT_EQ(rgbDistance(pixelAt(0, 0), {255, 255, 0}), 0);
  EXPECT_EQ(rgbDistance(pixelAt(3, 1), {255, 255, 0}), 0);
  EXPECT_EQ(rgbDistance(pixelAt(4, 0), {51, 102, 153}), 0);
  EXPECT_EQ(rgbDistance(pixelAt(0, 2), {51, 102, 153}), 0);
  EXPECT_EQ(rgbDistance(pixelAt(1023, 767), {255, 255, 0}), 0);
  EXPECT_EQ(rgbDistance(pixelAt(1019, 767), {51, 102, 153}), 0);
}

}  // namespace
