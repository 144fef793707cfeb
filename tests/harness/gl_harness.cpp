// The GL tests' context, pictures read back, boxes, state tables and PNGs of failed tests' frames.
#include "gl_harness.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "gfx/render_state.h"
#include "platform/shell.h"
#include "png.h"

int rgbDistance(Rgb a, Rgb b) { return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)}); }

Rgb Picture::at(int x, int y) const {
  const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
  return {p[0], p[1], p[2]};
}

Picture Picture::crop(int left, int top, int w, int h) const {
  Picture part{w, h, {}};
  for (int y = top; y < top + h; ++y) {
    const auto row = rgb.begin() + (static_cast<ptrdiff_t>(y) * width + left) * 3;
    part.rgb.insert(part.rgb.end(), row, row + w * 3);
  }
  return part;
}

void openTestContext() {
  static bool open = false;
  int width = 0, height = 0;
  if (open) return;
  ASSERT_TRUE(shellCreateWindow("Vostrel test", frameWidth, frameHeight, false));
  shellClientSize(&width, &height);
  ASSERT_TRUE(width == frameWidth && height == frameHeight && initGL(width, height)) << width << "x" << height;
  keepFramesOfFailures();
  open = true;
}

void keepFramesOfFailures() {
  struct Keeper : ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& test) override {
      if (!test.result()->Failed()) return;
      const std::string path = std::string(VOSTREL_TEST_TMP "/frames/") + test.test_suite_name() + "." + test.name();
      const Picture frame = grabFrame();
      std::filesystem::create_directories(VOSTREL_TEST_TMP "/frames");
      if (writePng(path + ".png", frame.width, frame.height, frame.rgb)) std::printf("see %s.png\n", path.c_str());
    }
  };
  static bool kept = false;
  if (!kept) ::testing::UnitTest::GetInstance()->listeners().Append(new Keeper);
  kept = true;
}

// Pixels as GL hands them over, packed, rows from the bottom: the window's, or a texture level's.
static Picture readPixels(int width, int height, int level = -1) {
  Picture picture{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  if (level >= 0) glGetTexImage(GL_TEXTURE_2D, level, GL_RGB, GL_UNSIGNED_BYTE, picture.rgb.data());
  if (level < 0) glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, picture.rgb.data());
  glPopClientAttrib();
  return picture;
}

Picture grabFrame() {
  Picture frame = readPixels(frameWidth, frameHeight);
  for (int y = 0, row = frameWidth * 3; y < frameHeight / 2; ++y)  // top row first
    std::swap_ranges(&frame.rgb[y * row], &frame.rgb[(y + 1) * row], &frame.rgb[(frameHeight - 1 - y) * row]);
  return frame;
}

Picture grabTexture(GLuint name, int level) {
  GLint bound = 0, width = 0, height = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glBindTexture(GL_TEXTURE_2D, name);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &height);
  const Picture texture = readPixels(width, height, level);
  glBindTexture(GL_TEXTURE_2D, bound);
  return texture;
}

std::array<double, 3> bilinear(const Picture& level, double s, double t) {
  const double u = s * level.width - 0.5, v = t * level.height - 0.5, a = u - std::floor(u), b = v - std::floor(v);
  auto wrap = [](double i, int n) { return static_cast<int>(std::fmod(std::fmod(std::floor(i), n) + n, n)); };
  const int i0 = wrap(u, level.width), i1 = wrap(u + 1, level.width);
  const int j0 = wrap(v, level.height), j1 = wrap(v + 1, level.height);
  const Rgb c00 = level.at(i0, j0), c10 = level.at(i1, j0), c01 = level.at(i0, j1), c11 = level.at(i1, j1);
  auto mix = [&](int Rgb::*c) { return (1 - b) * ((1 - a) * c00.*c + a * c10.*c) + b * ((1 - a) * c01.*c + a * c11.*c); };
  return {mix(&Rgb::r), mix(&Rgb::g), mix(&Rgb::b)};
}

void expectPixel(const Picture& picture, int x, int y, Rgb want, int slack) {
  EXPECT_LE(rgbDistance(picture.at(x, y), want), slack) << "at " << x << ", " << y << ": " << picture.at(x, y);
}

Box findBox(const Picture& picture, const std::function<bool(Rgb)>& match) {
  Box box;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x)
      if (match(picture.at(x, y))) {
        box.left = std::min(box.left, x), box.right = std::max(box.right, x);
        box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
        ++box.pixels;
      }
  return box;
}

void expectGlState(const std::vector<GlValue>& want) {
  for (const GlValue& value : want) {
    double got[16] = {};
    float light[4] = {};
    if (value.kind == GlValue::capability) got[0] = glIsEnabled(value.name);
    if (value.kind == GlValue::value) glGetDoublev(value.name, got);
    if (value.kind == GlValue::light) glGetLightfv(value.name, value.lightParameter, light), std::copy_n(light, 4, got);
    for (size_t i = 0; i < value.want.size(); ++i)
      EXPECT_NEAR(got[i], value.want[i], 1e-5)
          << "GL state 0x" << std::hex << value.name << " 0x" << value.lightParameter << std::dec << " [" << i << "]";
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
