// Guards the default assets against a script whose events have no room at 100 frames a second, a gapless tag
// that shifts the music, and bitmaps that decode otherwise in ImageMagick than in the demo's loader (chapters
// and repeatability are judged on the generated files in e2e/assets_test.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "bmp.h"
#include "gfx/dib.h"
#include "images.h"
#include "mp3.h"
#include "timeline.h"

namespace {

using timeline::countStartBeat;
using timeline::markers;

double seconds(int beats) { return beats * timeline::msPerBeat / 1000.0; }
// How long the demo stays at count n.
double countSeconds(int n) { return seconds(countStartBeat(n + 1) - countStartBeat(n)); }

std::string tmpPath(const std::string& name) { return std::string(VOSTREL_TEST_TMP) + "/assets_" + name; }

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// ImageMagick's reading of a bitmap file, as a top-down picture; width 0 when it fails.
bmp::Picture imageMagick(const std::string& path, int width, int height) {
  bmp::Picture p{0, 0, {}};
  FILE* pipe = popen(("convert '" + path + "' -depth 8 rgb:- 2>/dev/null").c_str(), "r");
  if (!pipe) return p;
  std::vector<uint8_t> bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  if (pclose(pipe) != 0 || bytes.size() != static_cast<size_t>(width) * height * 3) return p;
  p = {width, height, {}};
  for (size_t i = 0; i < bytes.size(); i += 3) p.pixels.push_back({bytes[i], bytes[i + 1], bytes[i + 2]});
  return p;
}

// Everything a shell command prints; empty when it fails.
std::string run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  return pclose(pipe) == 0 ? out : std::string();
}

// The demo's own loader, flipped to top-down rows; width 0 when it fails.
bmp::Picture ourLoader(const std::vector<uint8_t>& file) {
  DibImage image{};
  if (decodeDib(file.data(), file.size(), &image) != DibError::none) return {0, 0, {}};
  bmp::Picture p{image.width, image.height, {}};
  for (int y = image.height - 1; y >= 0; --y)
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* q = image.pixels + (static_cast<size_t>(y) * image.width + x) * 3;
      p.pixels.push_back({q[0], q[1], q[2]});
    }
  freeDibPixels(&image);
  return p;
}

// Both decoders must return exactly the pixels the encoder says it stored.
void expectDecodesTo(const std::vector<uint8_t>& file, const bmp::Picture& stored, const std::string& name) {
  const std::string path = tmpPath(name + ".bmp");
  writeFile(path, file);
  const bmp::Picture magick = imageMagick(path, stored.width, stored.height);
  ASSERT_EQ(stored.width, magick.width) << name << ": ImageMagick cannot read it";
  EXPECT_TRUE(magick.pixels == stored.pixels) << name << ": ImageMagick sees other pixels";
  const bmp::Picture ours = ourLoader(file);
  ASSERT_EQ(stored.width, ours.width) << name << ": decodeDib cannot read it";
  EXPECT_TRUE(ours.pixels == stored.pixels) << name << ": decodeDib sees other pixels";
}

const std::vector<bmp::Encoding> kEncodings = {bmp::Encoding::rgb24, bmp::Encoding::pal8, bmp::Encoding::rle8,
                                               bmp::Encoding::core8, bmp::Encoding::core24};

TEST(AssetTimeline, EveryEventHasRoomAtOneHundredFramesASecond) {
  ASSERT_EQ(84u, markers.size());
  EXPECT_GE(countSeconds(1), 9.5) << "the fade-in runs 1000 frames";
  for (int n : {2, 3, 4}) EXPECT_GE(countSeconds(n), 3.0) << "sway and credit at count " << n;
  EXPECT_GE(countSeconds(5), 3.0) << "title zoom";
  EXPECT_GE(countSeconds(6), 2.0) << "title collapse needs 89 frames";
  for (int n = 12; n <= 49; ++n) EXPECT_GE(countSeconds(n), 2.0) << "caption at count " << n;
  EXPECT_GE(countSeconds(62) + countSeconds(63), 4.0) << "blue interlude";
  for (int n = 66; n <= 73; ++n) EXPECT_GE(countSeconds(n), 2.0) << "greeting at count " << n;
  for (int n : {75, 76}) EXPECT_GE(countSeconds(n), 4.0) << "closing text at count " << n;
  for (int n = 1; n <= 84; ++n) EXPECT_GE(countSeconds(n), 0.5) << "count " << n << " is seen";
  const double song = seconds(timeline::songBeats), last = seconds(markers.back().beat);
  EXPECT_GE(song, 170.0);
  EXPECT_LE(song, 190.0);
  EXPECT_LE(song - last, 1.0) << "the quit follows the last note";
  EXPECT_GE(last - seconds(countStartBeat(84)), 3.0) << "the last chord rings before the quit";
}

TEST(AssetMp3, GaplessDecodersLineUpEverySample) {
  std::vector<float> l(12345, 0.0f), r(12345, 0.0f);  // not a whole number of frames
  l[5000] = 0.8f;
  r[5000] = -0.8f;
  const std::string path = tmpPath("impulse.mp3");
  writeFile(path, mp3::encode(l, r));
  const std::string pcm = run("ffmpeg -v error -i '" + path + "' -f s16le -");
  ASSERT_EQ(12345u * 4, pcm.size()) << "the Info tag's delay and padding give back exactly the samples put in";
  size_t loudest = 0;
  int best = 0;
  for (size_t i = 0; i < 12345; ++i) {
    int16_t v;
    std::memcpy(&v, pcm.data() + i * 4, 2);
    if (std::abs(v) > best) {
      best = std::abs(v);
      loudest = i;
    }
  }
  EXPECT_EQ(5000u, loudest) << "the click is heard at the sample it was put at";
}

class AssetImages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { assets_ = new std::vector<images::Asset>(images::makeAll()); }
  static void TearDownTestSuite() { delete assets_; }
  static std::vector<images::Asset>* assets_;
};
std::vector<images::Asset>* AssetImages::assets_ = nullptr;

TEST_F(AssetImages, TheFifteenFilesInLoadingOrderEachDecodeAlike) {
  const std::vector<std::string> expected = {
      "Data/neonblue.bmp", "Data/neonlilla.bmp", "Data/tessary.bmp", "Data/black.bmp",
      "Data/greets/talvo.bmp", "Data/greets/pirsek.bmp", "Data/greets/mondal.bmp", "Data/greets/quesh.bmp",
      "Data/greets/vabrin.bmp", "Data/greets/lorrit.bmp", "Data/greets/senyx.bmp", "Data/greets/druvel.bmp",
      "Data/code.bmp", "Data/music.bmp", "Data/present.bmp"};
  ASSERT_EQ(expected.size(), assets_->size());
  std::set<bmp::Encoding> used;
  for (size_t i = 0; i < expected.size(); ++i) {
    const images::Asset& a = (*assets_)[i];
    EXPECT_EQ(expected[i], a.path);
    EXPECT_EQ(0, a.picture.width % 4) << a.path;
    used.insert(a.encoding);
    bmp::Picture stored;
    const std::vector<uint8_t> file = bmp::encode(a.picture, a.encoding, &stored);
    expectDecodesTo(file, stored, std::filesystem::path(a.path).stem().string());
  }
  EXPECT_EQ(kEncodings.size(), used.size()) << "the default set exercises every encoding the loader reads";
}

}  // namespace
