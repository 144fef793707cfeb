// Guards the full-window quads against a wrong mix (99 % layer, fade, image opacity), a picture upside down or mirrored, a wrong mipmap level or filter on a stretched picture.
#include <algorithm>

#include "gfx/overlay.h"
#include "gl_harness.h"

// A picture in `slot` with the loader's filters: level 0 red in even columns and black in odd ones, every
// smaller level green, so the window shows which level was sampled and how.
static void makeTexture(int slot, int width, int height) {
  glGenTextures(1, &textures[slot]), glBindTexture(GL_TEXTURE_2D, textures[slot]);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  for (int level = 0; width >> level || height >> level; ++level) {
    const int w = std::max(1, width >> level), h = std::max(1, height >> level);
    std::vector<uint8_t> texels(static_cast<size_t>(w) * h * 3, 0);
    for (size_t i = 0; i < texels.size(); i += 3) texels[i + (level ? 1 : 0)] = level || i / 3 % w % 2 == 0 ? 255 : 0;
    glTexImage2D(GL_TEXTURE_2D, level, GL_RGB, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

class Overlay : public ::testing::Test {
 protected:
  void SetUp() override {
    openTestContext();
    glDisable(GL_LIGHTING), glDisable(GL_DEPTH_TEST);
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);  // (51, 102, 153)
    glClear(GL_COLOR_BUFFER_BIT);
  }
  // The window's quarters 10 pixels in from each corner: top left, top right, bottom left, bottom right.
  static void expectQuarters(std::array<Rgb, 4> want, int slack) {
    const Picture frame = grabFrame();
    const int x[] = {10, 1013, 10, 1013}, y[] = {10, 10, 757, 757};
    for (int i = 0; i < 4; ++i) expectPixel(frame, x[i], y[i], want[i], slack);
    glClear(GL_COLOR_BUFFER_BIT);
  }
};

// Slot 7 is 2x2, rows bottom-up: red and green at the bottom, blue and white at the top.
TEST_F(Overlay, EachQuadMixesAsItShouldAndShowsItsPictureUpright) {
  const uint8_t quadrants[] = {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255};
  glGenTextures(1, &textures[7]), glBindTexture(GL_TEXTURE_2D, textures[7]);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, quadrants);  // rows padded to 4
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  drawFeedbackLayer(7);  // 0.99 x texel + 0.01 x clear: 0.99 x 255 + 0.01 x 153 = 254, + 0.01 x 51 = 253
  expectQuarters({Rgb{1, 1, 254}, {253, 253, 254}, {253, 1, 2}, {1, 253, 2}}, 1);
  glEnable(GL_TEXTURE_2D);
  drawFade(0.0f);
  expectQuarters({Rgb{51, 102, 153}, {51, 102, 153}, {51, 102, 153}, {51, 102, 153}}, 0);
  glEnable(GL_LIGHTING);  // black lit, or modulated by a texel, is black all the same
  drawFade(0.5f);
  expectQuarters({Rgb{26, 51, 77}, {26, 51, 77}, {26, 51, 77}, {26, 51, 77}}, 1);  // half the clear colour
  drawFade(1.0f);
  expectQuarters({}, 0);
  glDisable(GL_LIGHTING);
  glDisable(GL_BLEND);
  drawImageOverlay(7, 0.5f);  // opaque whatever its alpha
  expectQuarters({Rgb{0, 0, 255}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}}, 0);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  drawImageOverlay(7, 0.5f);  // half over half the clear
  expectQuarters({Rgb{26, 51, 204}, {153, 179, 204}, {153, 51, 77}, {26, 179, 77}}, 1);
}

// Stretched over the window, a picture shows its full-size level unless it is shrunk by more than 1.41
// each way (the nearest level is 1 from there); the filter it was made with stays in place.
TEST_F(Overlay, StretchedImageSamplesTheMipmapLevelItsSizeCallsFor) {
  glEnable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  const int rows[][3] = {{256, 256, 1},    {1024, 768, 1},   {1024, 1024, 1}, {1280, 960, 1},  // width, height, full size
                         {1024, 2048, 0}, {2048, 2048, 0}, {4096, 256, 0}};
  for (const auto& [width, height, fullSize] : rows) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    makeTexture(9, width, height);
    drawImageOverlay(9, 1.0f);
    const Rgb centre = grabFrame().at(512, 384);
    EXPECT_EQ(centre.g, fullSize ? 0 : 255);
    // 1280 wide, u = 512.5 x 1.25 - 0.5 = 640.125: 7/8 of even column 640's red, level 0 filtered linearly.
    EXPECT_TRUE(width != 1280 || std::abs(centre.r - 223) <= 1) << centre;
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR_MIPMAP_NEAREST);
    glDeleteTextures(1, &textures[9]);
  }
}
