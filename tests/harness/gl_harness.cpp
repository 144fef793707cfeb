// The GL tests' context, pixel read-back and PNG output.
#include "gl_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/gl.h"
#include "gfx/render_state.h"
#include "platform/shell.h"
#include "png.h"

namespace {

constexpr int frameWidth = 1024;
constexpr int frameHeight = 768;

}  // namespace

void openTestContext() {
  static bool open = false;
  if (open) return;
  ASSERT_TRUE(shellCreateWindow("Vostrel test", frameWidth, frameHeight, false));
  int width = 0, height = 0;
  shellClientSize(&width, &height);
  ASSERT_EQ(width, frameWidth);
  ASSERT_EQ(height, frameHeight);
  ASSERT_TRUE(initGL(width, height));
  open = true;
}

namespace {
std::vector<uint8_t> lastFrame;
}

std::vector<uint8_t> readFrame() {
  std::vector<uint8_t> bottomUp(frameWidth * frameHeight * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, frameWidth, frameHeight, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  lastFrame.assign(bottomUp.size(), 0);
  const size_t row = frameWidth * 3;
  for (int y = 0; y < frameHeight; ++y)
    std::copy_n(&bottomUp[(frameHeight - 1 - y) * row], row, &lastFrame[y * row]);
  return lastFrame;
}

Rgb pixelAt(int x, int y) {
  if (lastFrame.empty()) readFrame();
  const uint8_t* p = &lastFrame[(static_cast<size_t>(y) * frameWidth + x) * 3];
  return {p[0], p[1], p[2]};
}

int rgbDistance(Rgb a, Rgb b) {
  return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

std::string saveFrame(const std::string& name) {
  std::filesystem::create_directories(VOSTREL_TEST_TMP "/frames");
  const std::string path = VOSTREL_TEST_TMP "/frames/" + name + ".png";
  writePng(path, frameWidth, frameHeight, readFrame());
  return path;
}
