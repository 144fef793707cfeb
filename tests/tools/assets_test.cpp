// vostrel-assets: the marker script, the bitmap encoders (ImageMagick and our loader as oracles), the meter and the voices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bmp.h"
#include "detmath.h"
#include "generate.h"
#include "gfx/dib.h"
#include "images.h"
#include "master.h"
#include "mp3.h"
#include "music/markers.h"
#include "raster.h"
#include "song.h"
#include "synth.h"
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

std::vector<uint8_t> readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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

TEST(AssetTimeline, CaptionsAreAShortTextThatFitsTheScreen) {
  std::string text;
  for (int n = 11; n <= 48; ++n) {  // shown at counts 12-49
    const std::string name = markers[static_cast<size_t>(n - 1)].name;
    for (unsigned char c : name) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "marker " << n << " is plain ASCII";
    // Counts 12-39 show the caption only through the copied 512-pixel corner, from x = 100.
    EXPECT_LE(name.size(), n <= 38 ? 12u : 25u) << "marker " << n << ": " << name;
    EXPECT_EQ(name.find("marker"), std::string::npos);
    text += name + " ";
  }
  EXPECT_NE(text.find("Vostrel"), std::string::npos);
  std::set<std::string> words;
  for (size_t at = 0, end; (end = text.find(' ', at)) != std::string::npos; at = end + 1) words.insert(text.substr(at, end - at));
  EXPECT_GE(words.size(), 50u) << "a text, not a repeated label";
}

TEST(AssetTimeline, ChaptersFollowTheTableAndTheTestTrackIsShort) {
  const std::vector<mp3::Chapter> full = generate::chapters(false), test = generate::chapters(true);
  ASSERT_EQ(84u, full.size());
  ASSERT_EQ(84u, test.size());
  for (size_t i = 0; i < full.size(); ++i) {
    EXPECT_EQ(static_cast<uint32_t>(markers[i].beat * 500), full[i].startMs);
    EXPECT_EQ(full[i].title, markers[i].name);
    EXPECT_EQ(test[i].title, markers[i].name);
    EXPECT_EQ(i + 1 < full.size() ? full[i + 1].startMs : 180000u, full[i].endMs);
    if (i > 0) {
      EXPECT_GE(test[i].startMs, test[i - 1].startMs + 40) << "four frames per count at least";
    }
  }
  EXPECT_LE(test.back().startMs, 4500u);
  EXPECT_EQ(static_cast<uint32_t>(timeline::testTrackMs), test.back().endMs);
}

TEST(AssetMp3, OurReaderFindsTheChaptersAtTheirSamples) {
  std::vector<float> l(44100), r(44100);
  for (size_t i = 0; i < l.size(); ++i) l[i] = r[i] = static_cast<float>(0.3 * detmath::sin(i * 0.05));
  std::vector<mp3::Chapter> chapters = {{0, 250, "zero"}, {250, 600, "a name of 25 bytes exactly"}, {600, 1000, "last"}};
  std::vector<uint8_t> file = mp3::id3Tag({{"TIT2", "probe"}}, chapters);
  const std::vector<uint8_t> audio = mp3::encode(l, r);
  ASSERT_GT(audio.size(), 4u);
  EXPECT_EQ(0xFF, audio[0]) << "the audio starts with a frame sync";
  EXPECT_TRUE(std::search(audio.begin(), audio.begin() + 200, std::begin("Info"), std::end("Info") - 1) != audio.begin() + 200)
      << "the first frame is LAME's Info tag";
  file.insert(file.end(), audio.begin(), audio.end());
  MusicFileInfo info;
  std::string error;
  ASSERT_TRUE(readMusicFile(file.data(), file.size(), &info, &error)) << error;
  EXPECT_EQ(3, info.id3Version);
  EXPECT_EQ(MarkerSource::id3Chapters, info.markerSource);
  ASSERT_EQ(3u, info.markers.size());
  EXPECT_EQ(0u, info.markers[0].sample);
  EXPECT_EQ(11025u, info.markers[1].sample);
  EXPECT_EQ(26460u, info.markers[2].sample);
  EXPECT_EQ("a name of 25 bytes exactly", info.markers[1].name);
  EXPECT_EQ(44100u, info.sampleRate);
  EXPECT_EQ(2, info.channels);
}

TEST(AssetMp3, TagIsReadAlikeByFfmpegAndOurReaderInCodePage1252) {
  std::vector<float> l(22050), r(22050);
  for (size_t i = 0; i < l.size(); ++i) l[i] = r[i] = static_cast<float>(0.2 * detmath::sin(i * 0.07));
  const std::vector<mp3::Chapter> chapters = {
      {100, 200, "plain"}, {200, 300, "Yorv er t\xF8" "ff!"}, {300, 500, "\x80uro \x93q\x94"}};
  std::vector<uint8_t> file = mp3::id3Tag({{"TIT2", "probe"}}, chapters);
  ASSERT_GE(file.size(), 10u);
  EXPECT_EQ(0, std::memcmp(file.data(), "ID3\x03\x00\x00", 6)) << "ID3v2.3, no flags";
  const size_t size = (size_t{file[6]} << 21) | (size_t{file[7]} << 14) | (size_t{file[8]} << 7) | file[9];
  EXPECT_EQ(file.size() - 10, size) << "syncsafe tag size";
  const std::vector<uint8_t> audio = mp3::encode(l, r);
  file.insert(file.end(), audio.begin(), audio.end());
  const std::string path = tmpPath("names.mp3");
  writeFile(path, file);
  // ffprobe prints names in UTF-8: the Latin-1 frame and the UTF-16 frame both come out right.
  EXPECT_EQ("100|200|plain\n200|300|Yorv er t\xC3\xB8" "ff!\n300|500|\xE2\x82\xACuro \xE2\x80\x9Cq\xE2\x80\x9D\n",
            run("ffprobe -v error -show_entries chapter=start,end:chapter_tags=title -of compact=p=0:nk=1 '" + path + "'"));
  MusicFileInfo info;
  std::string error;
  ASSERT_TRUE(readMusicFile(file.data(), file.size(), &info, &error)) << error;
  ASSERT_EQ(3u, info.markers.size());
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(chapters[i].title, info.markers[i].name) << "code page 1252 bytes come back";
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

TEST(AssetGenerate, TheTestTrackSetIsCompleteAndRepeatable) {
  const std::filesystem::path a = tmpPath("set_a"), b = tmpPath("set_b");
  std::filesystem::remove_all(a);
  std::filesystem::remove_all(b);
  generate::writeAll(a, true);
  generate::writeAll(b, true);
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(a))
    if (e.is_regular_file()) files.push_back(std::filesystem::relative(e.path(), a).string());
  std::sort(files.begin(), files.end());
  ASSERT_EQ(16u, files.size());
  EXPECT_EQ("Data/black.bmp", files[0]);
  EXPECT_EQ("demo.mp3", files.back());
  for (const std::string& f : files) EXPECT_TRUE(readFile(a / f) == readFile(b / f)) << f << " differs between two runs";
  const std::vector<uint8_t> mp3 = readFile(a / "demo.mp3");
  ASSERT_GT(mp3.size(), 3u);
  EXPECT_EQ(0, std::memcmp(mp3.data(), "ID3", 3));
  EXPECT_THROW(generate::writeAll("/proc/version/cannot", true), std::exception) << "a folder that cannot be made is an error";
}

TEST(AssetBitmaps, EveryEncodingDecodesAlikeInImageMagickAndOurLoader) {
  // Runs longer than 255, lone pixels, pairs, literal stretches of odd length, and flat rows.
  bmp::Picture p{304, 7, std::vector<bmp::Rgb>(304 * 7)};
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      uint8_t v = 0;
      if (y == 1) v = static_cast<uint8_t>(x % 7 == 0 ? 200 : 10);
      if (y == 2) v = static_cast<uint8_t>((x * 37) % 11 * 20);
      if (y == 3) v = static_cast<uint8_t>(x / 2 % 2 ? 90 : 30);
      if (y == 4) v = static_cast<uint8_t>(x < 3 ? x * 60 : (x < 280 ? 150 : x));
      if (y == 5) v = static_cast<uint8_t>(x % 5 == 4 ? 7 : 250);
      p.at(x, y) = {v, static_cast<uint8_t>(255 - v), static_cast<uint8_t>(y * 30)};
    }
  for (bmp::Encoding e : kEncodings) {
    bmp::Picture stored;
    const std::vector<uint8_t> file = bmp::encode(p, e, &stored);
    EXPECT_TRUE(stored.pixels == p.pixels) << "fewer than 256 colours are kept exactly, encoding " << static_cast<int>(e);
    expectDecodesTo(file, stored, "pattern" + std::to_string(static_cast<int>(e)));
  }
  // A smooth gradient has far more than 256 colours: the palette encodings keep 256 and round to the nearest.
  bmp::Picture g{64, 64, {}};
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) g.pixels.push_back({static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 4), static_cast<uint8_t>((x + y) * 2)});
  for (bmp::Encoding e : {bmp::Encoding::pal8, bmp::Encoding::rle8, bmp::Encoding::core8}) {
    bmp::Picture stored;
    expectDecodesTo(bmp::encode(g, e, &stored), stored, "gradient" + std::to_string(static_cast<int>(e)));
    std::set<std::tuple<int, int, int>> colours;
    int worst = 0;
    for (size_t i = 0; i < g.pixels.size(); ++i) {
      colours.insert({stored.pixels[i].r, stored.pixels[i].g, stored.pixels[i].b});
      worst = std::max({worst, std::abs(stored.pixels[i].r - g.pixels[i].r), std::abs(stored.pixels[i].g - g.pixels[i].g),
                        std::abs(stored.pixels[i].b - g.pixels[i].b)});
    }
    EXPECT_LE(colours.size(), 256u);
    EXPECT_GE(colours.size(), 200u) << "the palette is put to use";
    EXPECT_LE(worst, 24) << "median cut keeps every pixel near its colour";
  }
  EXPECT_THROW(bmp::encode(bmp::Picture{6, 2, std::vector<bmp::Rgb>(12)}, bmp::Encoding::rgb24), std::invalid_argument)
      << "the demo's unpack alignment needs widths that are multiples of 4";
}

TEST(AssetBitmaps, RleRowsEndWithEndOfLineAndTheLastWithEndOfBitmap) {
  bmp::Indexed flat{8, 2, {{0, 0, 0}}, std::vector<uint8_t>(16, 0)};
  EXPECT_EQ((std::vector<uint8_t>{8, 0, 0, 0, 8, 0, 0, 1}), bmp::rle8(flat));
  bmp::Indexed mixed{8, 1, {}, {1, 2, 3, 3, 3, 3, 4, 5}};
  // A literal of two is written as two runs of one: absolute mode needs three or more.
  EXPECT_EQ((std::vector<uint8_t>{1, 1, 1, 2, 4, 3, 1, 4, 1, 5, 0, 1}), bmp::rle8(mixed));
  bmp::Indexed literal{4, 1, {}, {9, 8, 7, 6}};
  EXPECT_EQ((std::vector<uint8_t>{0, 4, 9, 8, 7, 6, 0, 1}), bmp::rle8(literal));
  bmp::Indexed pair{4, 1, {}, {9, 8, 7, 7}};
  EXPECT_EQ((std::vector<uint8_t>{0, 4, 9, 8, 7, 7, 0, 1}), bmp::rle8(pair)) << "a pair does not break a literal";
  bmp::Indexed odd3{8, 1, {}, {9, 8, 7, 5, 5, 5, 5, 5}};
  EXPECT_EQ((std::vector<uint8_t>{0, 3, 9, 8, 7, 0, 5, 5, 0, 1}), bmp::rle8(odd3)) << "odd literals are padded to 16 bits";
}

class AssetImages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { assets_ = new std::vector<images::Asset>(images::makeAll()); }
  static void TearDownTestSuite() { delete assets_; }
  static const images::Asset& find(const std::string& path) {
    for (const images::Asset& a : *assets_)
      if (a.path == path) return a;
    throw std::runtime_error("no asset " + path);
  }
  static double meanLuma(const bmp::Picture& p) {
    double sum = 0.0;
    for (const bmp::Rgb& c : p.pixels) sum += (0.3 * c.r + 0.59 * c.g + 0.11 * c.b) / 255.0;
    return sum / static_cast<double>(p.pixels.size());
  }
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

TEST_F(AssetImages, DesignsSuitTheirUse) {
  for (const char* path : {"Data/code.bmp", "Data/music.bmp", "Data/present.bmp"}) {
    const bmp::Picture& p = find(path).picture;
    EXPECT_LT(meanLuma(p), 0.12) << path << " lies at 70 % over the tunnel: mostly dark";
    const size_t bright = static_cast<size_t>(std::count_if(p.pixels.begin(), p.pixels.end(), [](const bmp::Rgb& c) { return c.r > 240 && c.g > 240 && c.b > 240; }));
    EXPECT_GT(bright, 5000u) << path << " has bright lettering";
  }
  // The title is tiled across the window: its left and right columns must meet like neighbouring columns do.
  const bmp::Picture& t = find("Data/tessary.bmp").picture;
  auto columnStep = [&](int a, int b) {
    double sum = 0.0;
    for (int y = 0; y < t.height; ++y) sum += std::abs(t.at(a, y).r - t.at(b, y).r) + std::abs(t.at(a, y).g - t.at(b, y).g) + std::abs(t.at(a, y).b - t.at(b, y).b);
    return sum / t.height;
  };
  EXPECT_LE(columnStep(t.width - 1, 0), 1.5 * columnStep(0, 1) + 1.0);
  // Greeting cards differ from each other; the cube face is dark glass with light lines.
  std::set<std::vector<uint8_t>> cards;
  for (const images::Asset& a : *assets_)
    if (a.path.rfind("Data/greets/", 0) == 0) {
      std::vector<uint8_t> key;
      for (const bmp::Rgb& c : a.picture.pixels) key.insert(key.end(), {c.r, c.g, c.b});
      cards.insert(key);
      EXPECT_GT(meanLuma(a.picture), 0.1) << a.path << " is a lit card";
    }
  EXPECT_EQ(8u, cards.size());
  EXPECT_LT(meanLuma(find("Data/black.bmp").picture), 0.35);
  EXPECT_GT(meanLuma(find("Data/neonblue.bmp").picture), meanLuma(find("Data/black.bmp").picture) * 0.3);
}

TEST_F(AssetImages, TheDefaultSetExercisesTheLoadersPaths) {
  std::set<std::string> seen;
  for (const images::Asset& a : *assets_) {
    const std::vector<uint8_t> file = bmp::encode(a.picture, a.encoding);
    DibInfo info{};
    ASSERT_EQ(DibError::none, readDibInfo(file.data(), file.size(), &info)) << a.path;
    EXPECT_TRUE(info.fileHeader) << a.path << ": ImageMagick needs the file header";
    EXPECT_GT(info.height, 0) << a.path << ": rows bottom-up, as the demo's loader copies them";
    if (info.headerSize == 12) seen.insert(info.bitsPerPixel == 8 ? "core, palette" : "core, 24-bit");
    if (info.headerSize == 40 && info.bitsPerPixel == 24) seen.insert("24-bit");
    if (info.compression == 1) seen.insert("RLE8");
    if (info.headerSize == 40 && info.bitsPerPixel == 8 && info.compression == 0) seen.insert(info.colors < 256 ? "short palette" : "full palette");
  }
  EXPECT_EQ((std::set<std::string>{"core, palette", "core, 24-bit", "24-bit", "RLE8", "short palette", "full palette"}), seen);
}

TEST(AssetRaster, LetteringLandsWhereItIsMeasuredAndBlursWrapForTiles) {
  raster::Font font("DejaVu Sans:bold");
  EXPECT_TRUE(std::filesystem::exists(font.file())) << "fontconfig names a real file";
  const double plain = font.measure("VOSTREL", 60), wide = font.measure("VOSTREL", 60, 1.5);
  EXPECT_NEAR(1.5 * plain, wide, 4.0) << "the stretch widens advances and kerning alike";
  raster::Mask m(600, 100);
  font.draw(m, "VOSTREL", 20.0, 70.0, 60, 1.5);
  int left = m.width, right = -1, top = m.height, bottom = -1;
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x)
      if (m.at(x, y) > 0.0f) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  EXPECT_NEAR(20, left, 6);
  EXPECT_NEAR(20 + wide, right, 8) << "centring by measure() centres the ink";
  EXPECT_NEAR(70 - 0.73 * 60, top, 4) << "capitals stand on the baseline";
  EXPECT_LE(bottom, 71);
  EXPECT_LE(font.measure("a much longer line of text", font.fit("a much longer line of text", 200.0, 80)), 200.0);

  raster::Mask dot(64, 16);
  dot.at(0, 8) = 1.0f;
  const raster::Mask wrapped = raster::blur(dot, 3, true), clamped = raster::blur(dot, 3, false);
  EXPECT_NEAR(wrapped.at(1, 8), wrapped.at(63, 8), 1e-6) << "light crossing the left edge comes in on the right";
  EXPECT_NEAR(0.0f, clamped.at(63, 8), 1e-6);
  float sum = 0.0f;
  for (float v : wrapped.v) sum += v;
  EXPECT_NEAR(1.0f, sum, 0.02f) << "a wrapped blur keeps the light it spreads";
  EXPECT_EQ(1.0f, raster::dilate(dot, 2).at(2, 8));
  EXPECT_EQ(0.0f, raster::dilate(dot, 2).at(2, 10)) << "the disc of radius 2 leaves out its corners";
}

TEST(AssetMaster, LoudnessMeterMatchesTheStandardsReferenceTones) {
  std::vector<float> l(44100 * 5), r(l.size());
  for (size_t i = 0; i < l.size(); ++i) l[i] = r[i] = static_cast<float>(0.1 * detmath::sin(detmath::twoPi * 997.0 * i / 44100.0));
  EXPECT_NEAR(-20.0, master::integratedLoudness(l, r), 0.1) << "-20 dBFS at 997 Hz in both channels";
  std::fill(r.begin(), r.end(), 0.0f);
  EXPECT_NEAR(-23.01, master::integratedLoudness(l, r), 0.1) << "one channel only";
  l.resize(l.size() * 6, 0.0f);  // 25 s of silence are gated out; only blocks straddling the end pull it down a little
  r.resize(l.size(), 0.0f);
  EXPECT_NEAR(-23.1, master::integratedLoudness(l, r), 0.1) << "ffmpeg's ebur128 reads -23.1 for this signal";
}

TEST(AssetMaster, LimiterHoldsTheCeilingAndLeavesQuietPartsAlone) {
  std::vector<float> l(44100), r(44100);
  for (size_t i = 0; i < l.size(); ++i) {
    l[i] = static_cast<float>(0.2 * detmath::sin(i * 0.03));
    r[i] = -l[i];
  }
  for (size_t at : {5000u, 5003u, 20000u}) l[at] = 1.5f;
  std::vector<float> ol = l, orr = r;
  master::limit(ol, orr, 2.0, 0.8);
  EXPECT_LE(master::peak(ol, orr), 0.8f + 1e-6f);
  EXPECT_FLOAT_EQ(2.0f * l[3000], ol[3000]) << "before the first peak only the gain applies";
  EXPECT_FLOAT_EQ(2.0f * r[4700], orr[4700]) << "the look-ahead is 5 ms";
  EXPECT_LT(std::fabs(orr[4990]), 2.0f * std::fabs(r[4990])) << "and the gain is already down before the peak";
  float worstStep = 0.0f;  // the gain ramps: no sample-to-sample jump larger than the tone itself makes
  for (size_t i = 4000; i < 7000; ++i)
    if (i != 5000 && i != 5001 && i != 5003 && i != 5004) worstStep = std::max(worstStep, std::fabs(orr[i] - orr[i - 1]));
  EXPECT_LT(worstStep, 0.02f);
}

TEST(AssetSynth, EveryVoiceStartsAndEndsInSilenceAndRendersTheSameInAnyWindow) {
  using namespace synth;
  auto play = [](Bus& dry, int which) {
    Route to{&dry, nullptr, 0.0f, nullptr, 0.0f};
    const int64_t at = 1000;
    switch (which) {
      case 0: kick(dry, at, 1.0f); break;
      case 1: snare(dry, nullptr, at, 1.0f); break;
      case 2: clap(dry, nullptr, at, 1.0f); break;
      case 3: hat(dry, at, 1.0f, true, 0.3f); break;
      case 4: crash(dry, nullptr, at, 1.0f); break;
      case 5: riser(dry, at, 30000, 1.0f); break;
      case 6: boom(dry, at, 1.0f); break;
      case 7: bass(to, at, 20000, 45, 1.0f); break;
      case 8: pad(to, at, 30000, 60, 1.0f, PadShape{}); break;
      case 9: pluck(to, at, 72, 1.0f, -0.5f); break;
      case 10: lead(to, at, 30000, 76, 1.0f); break;
      case 11: bell(to, at, 81, 1.0f, 0.5f); break;
    }
  };
  for (int which = 0; which < 12; ++which) {
    Bus whole(0, 200000);
    play(whole, which);
    int64_t first = -1, last = -1;
    float loudest = 0.0f;
    for (int64_t i = 0; i < whole.length(); ++i) {
      const float v = std::max(std::fabs(whole.l[static_cast<size_t>(i)]), std::fabs(whole.r[static_cast<size_t>(i)]));
      ASSERT_TRUE(std::isfinite(v));
      loudest = std::max(loudest, v);
      if (v > 0.0f) {
        if (first < 0) first = i;
        last = i;
      }
    }
    ASSERT_GE(first, 1000) << "voice " << which << " plays nothing before its start";
    EXPECT_GT(loudest, 0.05f) << "voice " << which << " is heard";
    EXPECT_LT(loudest, 3.0f) << "voice " << which << " stays in range at full level";
    EXPECT_LT(std::fabs(whole.l[static_cast<size_t>(first)]), 0.02f * loudest + 1e-4f) << "voice " << which << " fades in";
    EXPECT_LT(std::fabs(whole.l[static_cast<size_t>(last)]), 0.02f * loudest + 1e-4f) << "voice " << which << " fades out";
    EXPECT_LT(last, 199999) << "voice " << which << " ends";
    Bus window(first + 3000, 5000);  // a window that starts inside the note
    play(window, which);
    for (int64_t i = 0; i < window.length(); ++i)
      ASSERT_EQ(whole.l[static_cast<size_t>(window.start() + i)], window.l[static_cast<size_t>(i)]) << "voice " << which;
  }
}

TEST(AssetSynth, TheSidechainDucksSmoothlyAroundEachKick) {
  synth::Sidechain duck(0, 44100);
  duck.addKick(10000);
  EXPECT_EQ(1.0f, duck.gain(9999, 0.6f));
  EXPECT_EQ(1.0f, duck.gain(10000, 0.6f)) << "the push starts from nothing";
  EXPECT_NEAR(0.4f, duck.gain(10000 + 132, 0.6f), 0.01f) << "fully down 3 ms after the kick";
  EXPECT_EQ(1.0f, duck.gain(10000 + 44100 / 3, 0.6f)) << "and back up within a third of a second";
  EXPECT_EQ(1.0f, duck.gain(-5, 0.6f)) << "outside the window nothing ducks";
  float worst = 0.0f;
  for (int64_t i = 9000; i < 30000; ++i) worst = std::max(worst, std::fabs(duck.gain(i, 0.6f) - duck.gain(i - 1, 0.6f)));
  EXPECT_LT(worst, 0.006f) << "no step a listener would hear as a click";
}

TEST(AssetSong, TheTestTrackIsMasteredLikeTheSong) {
  const song::Stereo s = song::renderTestTrack();
  ASSERT_EQ(static_cast<size_t>(timeline::testTrackMs) * 441 / 10, s.l.size());
  // The mix aims a quarter unit above -14 LUFS before encoding; the peak stays under the -2 dBFS ceiling.
  EXPECT_NEAR(-13.73, master::integratedLoudness(s.l, s.r), 0.1);
  EXPECT_LE(master::peak(s.l, s.r), detmath::dbToGain(-2.0) + 1e-6);
  EXPECT_EQ(0.0f, s.l.front());
  EXPECT_EQ(0.0f, s.r.back()) << "short fades at both ends";
}

TEST(AssetMath, DeterministicFunctionsAreAccurate) {
  for (double x = -40.0; x < 40.0; x += 0.37) {
    EXPECT_NEAR(std::sin(x), detmath::sin(x), 1e-12);
    EXPECT_NEAR(std::exp2(x), detmath::exp2(x), 1e-12 * std::exp2(x));
    if (x > 0) {
      EXPECT_NEAR(std::log2(x), detmath::log2(x), 1e-12);
    }
  }
  EXPECT_NEAR(440.0, detmath::midiToHz(69), 1e-9);
  EXPECT_NEAR(-6.0206, detmath::gainToDb(0.5), 1e-4);
}

}  // namespace
