// The GL tests' context, pixel read-back and PNG output.
#include "gl_harness.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/gl.h"
#include "app/render_state.h"
#include "app/shell.h"

namespace {

constexpr int frameWidth = 1024;
constexpr int frameHeight = 768;

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void putBig32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  putBig32(out, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  putBig32(out, crc32(body.data(), body.size()));
}

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

bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
  // Rows each led by filter byte 0, in stored (uncompressed) deflate blocks: large but plain.
  std::vector<uint8_t> raw;
  raw.reserve((width * 3 + 1) * height);
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgb.begin() + y * width * 3, rgb.begin() + (y + 1) * width * 3);
  }
  std::vector<uint8_t> z = {0x78, 0x01};
  for (size_t at = 0; at < raw.size() || at == 0;) {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    const bool last = at + n == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(n & 0xFF), z.push_back(n >> 8), z.push_back(~n & 0xFF), z.push_back((~n >> 8) & 0xFF);
    z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
    at += n;
    if (last) break;
  }
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) a = (a + byte) % 65521, b = (b + a) % 65521;
  putBig32(z, (b << 16) | a);

  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  putBig32(header, width);
  putBig32(header, height);
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  chunk(png, "IHDR", header);
  chunk(png, "IDAT", z);
  chunk(png, "IEND", {});
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

std::string saveFrame(const std::string& name) {
  std::filesystem::create_directories(VOSTREL_TEST_TMP "/frames");
  const std::string path = VOSTREL_TEST_TMP "/frames/" + name + ".png";
  writePng(path, frameWidth, frameHeight, readFrame());
  return path;
}
