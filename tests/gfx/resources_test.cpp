// Start-up of every resource from real files: the texture table, and the end on a missing picture.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/gl.h"
#include "gfx/render_state.h"
#include "platform/shell.h"
#include "gfx/resources.h"
#include "gl_harness.h"

namespace {

namespace fs = std::filesystem;

// A copy of the test track's folder without the named pictures.
fs::path assetsWithout(std::initializer_list<const char*> missing) {
  const fs::path dir = fs::path(VOSTREL_TEST_TMP) / ("setup-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::copy(fs::path(VOSTREL_BUILD) / "testdata", dir, fs::copy_options::recursive);
  for (const char* name : missing) fs::remove(dir / name);
  return dir;
}

void startUp() {
  ASSERT_TRUE(shellCreateWindow("Vostrel test", 1024, 768, false));
  initResources();
  ASSERT_TRUE(glReady);
}

TEST(Setup, EverySlotIsFilledAndTheRenderTexturesAreBlack) {
  fs::current_path(fs::path(VOSTREL_BUILD) / "testdata");
  startUp();
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(bound, static_cast<GLint>(textures[15])) << "the last picture loaded stays bound";
  for (int slot = 0; slot < textureSlots; ++slot) {
    ASSERT_NE(textures[slot], 0u) << slot;
    EXPECT_TRUE(glIsTexture(textures[slot])) << slot;
    glBindTexture(GL_TEXTURE_2D, textures[slot]);
    GLint width = 0, height = 0, level1 = 0, minFilter = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &level1);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    if (slot == 0 || slot == 5) {
      EXPECT_EQ(width, 512);
      EXPECT_EQ(height, 512);
      EXPECT_EQ(level1, 0) << "one level only";
      EXPECT_EQ(minFilter, GL_LINEAR);
      std::vector<uint8_t> texels(512 * 512 * 3, 0xAB);
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
      glPixelStorei(GL_PACK_ALIGNMENT, 4);
      EXPECT_EQ(std::count(texels.begin(), texels.end(), 0), static_cast<long>(texels.size())) << slot;
    } else {
      // Powers of two (GLU scales the others), with the whole mipmap chain below.
      EXPECT_EQ(width & (width - 1), 0) << slot;
      EXPECT_EQ(height & (height - 1), 0) << slot;
      EXPECT_EQ(level1, width > 1 ? width / 2 : 1) << slot;
      EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_NEAREST) << slot;
    }
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Rows of a picture 5 pixels wide are 15 bytes: uploaded as if 4-byte aligned, they shear and the
// upload reads past the end of the pixels.
TEST(Setup, APictureWhoseWidthIsNotAMultipleOf4IsUploadedUnsheared) {
  constexpr int width = 5, height = 64, stride = 16;  // rows padded to 4 bytes in the file
  std::string file = "BM";
  auto put32 = [&file](uint32_t v) { for (int i = 0; i < 4; ++i) file += char(v >> (8 * i)); };
  put32(54 + stride * height), put32(0), put32(54);
  put32(40), put32(width), put32(height), put32(1 | 24 << 16), put32(0), put32(stride * height);
  put32(2835), put32(2835), put32(0), put32(0);
  // Bottom row first; each row one colour of its own, stored blue, green, red.
  auto colour = [](int y) { return Rgb{4 * y, 255 - 4 * y, 60 + y}; };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) file += {char(colour(y).b), char(colour(y).g), char(colour(y).r)};
    for (int p = width * 3; p < stride; ++p) file += '\0';
  }
  const fs::path path = fs::path(VOSTREL_TEST_TMP) / "five-wide.bmp";
  std::FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(file.data(), 1, file.size(), out);
  std::fclose(out);

  fs::current_path(fs::path(VOSTREL_BUILD) / "testdata");
  startUp();
  uint32_t table[textureSlots] = {};
  loadTexture(table, path.c_str(), 1);
  GLint texWidth = 0, texHeight = 0, alignment = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &texWidth);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &texHeight);
  ASSERT_EQ(texHeight, height);
  std::vector<uint8_t> texels(static_cast<size_t>(texWidth) * texHeight * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  // The top row is not judged: GLU's scaling to a power of two leaves it dark, whatever the width.
  int wrong = 0;
  for (int y = 0; y + 1 < texHeight; ++y)
    for (int x = 0; x < texWidth; ++x) {
      const uint8_t* t = &texels[(static_cast<size_t>(y) * texWidth + x) * 3];
      wrong += rgbDistance(Rgb{t[0], t[1], t[2]}, colour(y)) > 1;
    }
  EXPECT_EQ(wrong, 0) << "of " << texWidth * (texHeight - 1) << " texels";
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 4) << "the unpack alignment is given back";
  glDeleteTextures(1, &table[1]);
}

// Reports which slots were filled when the process ends early.
void printFilledSlots() {
  std::string line = "slots filled:";
  for (int slot = 0; slot < textureSlots; ++slot)
    if (textures[slot]) line += " " + std::to_string(slot);
  std::fprintf(stderr, "%s\n", line.c_str());
}

// Start-up without the given pictures ends with exit code 1 after exactly the expected output.
void expectStartUpEnds(std::initializer_list<const char*> missing, const char* output) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const fs::path dir = assetsWithout(missing);
  EXPECT_EXIT(
      {
        fs::current_path(dir);
        std::atexit(printFilledSlots);
        startUp();
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), output);
}

TEST(SetupDeathTest, AMissingPictureEndsTheRunAfterOneMessage) {
  expectStartUpEnds({"Data/black.bmp"},
                    "^Error: Failed to open DIB file Data/black\\.bmp\\.\nslots filled: 0 1 2 3 5\n$");
}

TEST(SetupDeathTest, TheEighthGreetingIsLoadedBeforeTheCredits) {
  expectStartUpEnds({"Data/greets/druvel.bmp", "Data/code.bmp"},
                    "^Error: Failed to open DIB file Data/greets/druvel\\.bmp\\.\n"
                    "slots filled: 0 1 2 3 4 5 6 7 8 9 10 11 12\n$");
}

}  // namespace
