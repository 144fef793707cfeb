// Guards start-up against a picture in the wrong slot, render textures that are not black 512x512, missing mipmaps or the wrong filter, a picture whose rows are not 4-byte multiples sheared on upload, and a missing picture not ending the run at once.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "gfx/dib_load.h"
#include "gfx/render_state.h"
#include "gl_harness.h"
#include "platform/shell.h"

namespace fs = std::filesystem;
static const fs::path testData = fs::path(VOSTREL_BUILD) / "testdata";

static void startUp() {
  ASSERT_TRUE(shellCreateWindow("Vostrel test", frameWidth, frameHeight, false));
  initResources();
  ASSERT_TRUE(glReady);
}

// Mean colours of an 8 x 8 grid of blocks: a picture and its texture, scaled or not, agree within a few levels.
static std::vector<double> blockMeans(const Picture& p) {
  std::vector<double> means(8 * 8 * 3, 0.0);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      for (int c = 0; c < 3; ++c)
        means[(y * 8 / p.height * 8 + x * 8 / p.width) * 3 + c] += p.rgb[(size_t(y) * p.width + x) * 3 + c];
  for (double& m : means) m /= double(p.width) * p.height / 64;
  return means;
}

TEST(Setup, EverySlotHoldsItsPictureAndTheRenderTexturesAreBlack) {
  fs::current_path(testData), startUp();
  expectGlState({is(GL_TEXTURE_BINDING_2D, {double(textures[15])})});  // the last picture loaded stays bound
  const char* files[textureSlots] = {nullptr, "neonblue", "neonlilla", "tessary", "black", nullptr, "greets/talvo",
                                     "greets/pirsek", "greets/mondal", "greets/quesh", "greets/vabrin", "greets/lorrit",
                                     "greets/senyx", "code", "music", "present", "greets/druvel"};
  for (int slot = 0; slot < textureSlots; ++slot) {
    SCOPED_TRACE(files[slot] ? files[slot] : "render texture " + std::to_string(slot));
    const Picture level0 = grabTexture(textures[slot]), level1 = grabTexture(textures[slot], 1);
    if (!files[slot]) {
      EXPECT_TRUE(level0.width == 512 && level0.height == 512) << level0.width << "x" << level0.height;
      EXPECT_EQ(findBox(level0, notBlack).pixels, 0) << "not black";
      continue;
    }
    EXPECT_EQ((level0.width & (level0.width - 1)) | (level0.height & (level0.height - 1)), 0) << "sides not powers of 2";
    EXPECT_EQ(level1.width, level0.width / 2) << "the mipmap chain below";
    GLint filter = 0;
    glBindTexture(GL_TEXTURE_2D, textures[slot]), glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR_MIPMAP_NEAREST);
    DibImage* image = loadDibImage(("Data/" + std::string(files[slot]) + ".bmp").c_str());
    ASSERT_NE(image, nullptr);
    const size_t bytes = size_t(image->width) * image->height * 3;
    const Picture picture{image->width, image->height, {image->pixels, image->pixels + bytes}};
    freeDibImage(image);
    const std::vector<double> want = blockMeans(picture), got = blockMeans(level0);
    for (size_t i = 0; i < got.size(); ++i) ASSERT_NEAR(got[i], want[i], 4.0) << "block " << i / 3;
  }
}

// Rows of a picture 5 pixels wide are 15 bytes: uploaded as if 4-byte aligned, they shear and the
// upload reads past the end of the pixels.
TEST(Setup, APictureWhoseWidthIsNotAMultipleOf4IsUploadedUnsheared) {
  constexpr int width = 5, height = 64, stride = 16;  // rows padded to 4 bytes in the file
  std::string file = "BM";
  auto put32 = [&file](uint32_t v) { for (int i = 0; i < 4; ++i) file += char(v >> (8 * i)); };
  for (uint32_t v : {54u + stride * height, 0u, 54u, 40u, 5u, 64u, 1u | 24u << 16, 0u, 16u * 64, 2835u, 2835u, 0u, 0u})
    put32(v);
  auto colour = [](int y) { return Rgb{4 * y, 255 - 4 * y, 60 + y}; };  // one colour per row, bottom row first
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) file += {char(colour(y).b), char(colour(y).g), char(colour(y).r)};
    file.append(stride - width * 3, '\0');
  }
  const fs::path path = fs::path(VOSTREL_TEST_TMP) / "five-wide.bmp";
  ASSERT_TRUE(std::ofstream(path, std::ios::binary) << file);
  fs::current_path(testData), startUp();
  uint32_t table[textureSlots] = {};
  loadTexture(table, path.c_str(), 1);
  const Picture texture = grabTexture(table[1]);
  ASSERT_EQ(texture.height, height);
  int wrong = 0;  // the top row is not judged: GLU's scaling to a power of two leaves it dark, whatever the width
  for (int y = 0; y + 1 < texture.height; ++y)
    for (int x = 0; x < texture.width; ++x) wrong += rgbDistance(texture.at(x, y), colour(y)) > 1;
  EXPECT_EQ(wrong, 0) << "of " << texture.width * (texture.height - 1) << " texels";
  expectGlState({is(GL_UNPACK_ALIGNMENT, {4})});  // given back
}

// Start-up without the given pictures ends with exit code 1 after one message naming `file`, with `slots` filled.
static void expectStartUpEnds(std::initializer_list<const char*> missing, const std::string& file, const char* slots) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const fs::path dir = fs::path(VOSTREL_TEST_TMP) / ("setup-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::copy(testData, dir, fs::copy_options::recursive);
  for (const char* name : missing) fs::remove(dir / name);
  EXPECT_EXIT(
      {
        fs::current_path(dir);
        std::atexit([] {  // which slots were filled when the run ended
          std::string line = "slots filled:";
          for (int slot = 0; slot < textureSlots; ++slot) line += textures[slot] ? " " + std::to_string(slot) : "";
          std::fprintf(stderr, "%s\n", line.c_str());
        });
        startUp();
        std::exit(0);
      },
      ::testing::ExitedWithCode(1),
      "^Error: Failed to open DIB file Data/" + file + "\\.bmp\\.\nslots filled: " + slots + "\n$");
}

// The first picture missing in loading order is the one reported: the eighth greeting comes before the credits.
TEST(SetupDeathTest, AMissingPictureEndsTheRunAfterOneMessage) {
  expectStartUpEnds({"Data/black.bmp"}, "black", "0 1 2 3 5");
  expectStartUpEnds({"Data/greets/druvel.bmp", "Data/code.bmp"}, "greets/druvel", "0 1 2 3 4 5 6 7 8 9 10 11 12");
}
