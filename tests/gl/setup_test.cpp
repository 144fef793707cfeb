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
