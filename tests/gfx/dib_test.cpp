// Bitmap decoder and loader: files written here, checked against ImageMagick and against malformed input.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "gfx/dib.h"
#include "gfx/dib_load.h"
#include "platform/failure.h"

using Bytes = std::vector<uint8_t>;

// The loader reports its failures in a box; here every message is recorded instead.
static std::vector<std::string> shownErrors;
void showFailure(FailureStyle, const char* text) { shownErrors.push_back(text); }

namespace {

void put16(Bytes& b, uint32_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void put32(Bytes& b, uint32_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); }

// What goes into a test file, field by field, with the pixel data exactly as stored.
struct Bmp {
  uint32_t headerSize = 40;
  int32_t width = 1, height = 1;
  uint16_t bpp = 24;
  uint32_t compression = 0, colorsUsed = 0, imageSize = 0;
  std::vector<uint32_t> masks;  // after the 40-byte header
  Bytes table, pixels;
};

// Info header, masks, colour table and pixels: a packed DIB.
Bytes packedDib(const Bmp& b) {
  Bytes out;
  put32(out, b.headerSize);
  if (b.headerSize == 12) {
    put16(out, uint32_t(b.width)), put16(out, uint32_t(b.height)), put16(out, 1), put16(out, b.bpp);
  } else {
    put32(out, uint32_t(b.width)), put32(out, uint32_t(b.height)), put16(out, 1), put16(out, b.bpp);
    put32(out, b.compression), put32(out, b.imageSize), put32(out, 2835), put32(out, 2835);
    put32(out, b.colorsUsed), put32(out, 0);
    out.resize(b.headerSize, 0);  // later header versions, to be refused
  }
  for (uint32_t m : b.masks) put32(out, m);
  out.insert(out.end(), b.table.begin(), b.table.end());
  out.insert(out.end(), b.pixels.begin(), b.pixels.end());
  return out;
}

// The same bitmap behind a 14-byte file header whose pixel offset points right after the table.
Bytes bmpFile(const Bmp& b) {
  Bytes body = packedDib(b), out = {'B', 'M'};
  put32(out, uint32_t(14 + body.size())), put32(out, 0), put32(out, uint32_t(14 + body.size() - b.pixels.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// Random pixels (indices below colors for table depths) in rows padded to 4 bytes, padding filled with junk.
Bmp randomBmp(uint32_t headerSize, uint16_t bpp, int32_t width, int32_t height, uint32_t colors, std::mt19937& rng) {
  Bmp b;
  b.headerSize = headerSize, b.bpp = bpp, b.width = width, b.height = height;
  if (bpp <= 8 && headerSize == 40 && colors < (1u << bpp)) b.colorsUsed = colors;
  for (uint32_t i = 0; i < colors; ++i) {
    b.table.insert(b.table.end(), {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
    if (headerSize == 40) b.table.push_back(0);
  }
  const size_t stride = (size_t(width) * bpp + 31) / 32 * 4;
  for (int32_t y = 0; y < std::abs(height); ++y) {
    Bytes row(stride);
    for (auto& byte : row) byte = uint8_t(rng());
    if (bpp <= 8) {
      for (int32_t x = 0; x < width; ++x) {
        const int shift = 8 - bpp - (x * bpp) % 8;
        uint8_t& byte = row[size_t(x) * bpp / 8];
        byte = uint8_t((byte & ~(((1 << bpp) - 1) << shift)) | (rng() % colors) << shift);
      }
    }
    b.pixels.insert(b.pixels.end(), row.begin(), row.end());
  }
  return b;
}

bool haveMagick() { return std::system("command -v convert >/dev/null 2>&1") == 0; }

// ImageMagick's reading of a file, turned into bottom-up rows like ours; empty when it fails.
Bytes magickDecode(const Bytes& file, int width, int height) {
  const std::string path = std::string(VOSTREL_TEST_TMP) + "/dib_test_" +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bmp";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return {};
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  FILE* p = popen(("convert 'BMP:" + path + "' -depth 8 rgb:- 2>/dev/null").c_str(), "r");
  if (!p) return {};
  Bytes topDown(size_t(width) * height * 3 + 1);
  topDown.resize(std::fread(topDown.data(), 1, topDown.size(), p));
  pclose(p);
  if (topDown.size() != size_t(width) * height * 3) return {};
  Bytes out;
  for (int y = height - 1; y >= 0; --y) {
    out.insert(out.end(), topDown.begin() + size_t(y) * width * 3, topDown.begin() + size_t(y + 1) * width * 3);
  }
  return out;
}

// Our decoding as bytes, empty on any error.
Bytes decode(const Bytes& file) {
  DibImage image;
  if (decodeDib(file.data(), file.size(), &image) != DibError::none) return {};
  Bytes out(image.pixels, image.pixels + size_t(image.width) * image.height * 3);
  freeDibPixels(&image);
  return out;
}

// Decodes what must be rejected: the error, with no pixels handed out.
DibError reject(const Bytes& file) {
  DibImage image;
  const DibError error = decodeDib(file.data(), file.size(), &image);
  EXPECT_EQ(image.pixels, nullptr);
  freeDibPixels(&image);
  return error;
}

// Checks a bitmap against ImageMagick with a file header, and that its packed form decodes the same.
void expectLikeMagick(const Bmp& b, const std::string& what) {
  SCOPED_TRACE(what);
  const Bytes file = bmpFile(b), ours = decode(file);
  ASSERT_FALSE(ours.empty());
  EXPECT_EQ(ours, magickDecode(file, b.width, std::abs(b.height)));
  EXPECT_EQ(decode(packedDib(b)), ours);
}

#define REQUIRE_MAGICK() \
  if (!haveMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed"

}  // namespace

TEST(DibColorCount, FollowsHeaderVariantColoursUsedAndDepth) {
  struct Case { uint32_t headerSize; uint16_t bpp; uint32_t used; uint16_t count; };
  const Case cases[] = {{12, 1, 0, 2},   {12, 4, 0, 16},   {12, 8, 0, 256},  {12, 24, 0, 0},
                        {40, 1, 0, 2},   {40, 4, 0, 16},   {40, 8, 0, 256},  {40, 8, 20, 20},
                        {40, 16, 0, 0},  {40, 32, 0, 0},   {40, 24, 7, 7},   {40, 8, 0x12345, 0x2345}};
  for (const Case& c : cases) {
    Bmp b;
    b.headerSize = c.headerSize, b.bpp = c.bpp, b.colorsUsed = c.used;
    const Bytes header = packedDib(b);
    EXPECT_EQ(dibColorCount(header.data(), header.size()), c.count) << c.headerSize << " " << c.bpp << " " << c.used;
    EXPECT_EQ(dibColorCount(header.data(), 3), 0);
  }
}

TEST(DibDecode, ThreeByTwoTwentyFourBitGivesEighteenBytesRgbBottomRowFirst) {
  Bmp b;
  b.width = 3, b.height = 2;
  b.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE, 0xEE, 0xEE, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(decode(bmpFile(b)), (Bytes{3, 2, 1, 6, 5, 4, 9, 8, 7, 13, 12, 11, 16, 15, 14, 19, 18, 17}));
}

TEST(DibDecode, EveryDepthWidthAndHeaderMatchesImageMagick) {
  REQUIRE_MAGICK();
  std::mt19937 rng(7);
  for (uint16_t bpp : {1, 4, 8, 16, 24, 32}) {
    const uint32_t fullTable = bpp <= 8 ? 1u << bpp : 0;
    for (int32_t width = 1; width <= 8; ++width) {
      const std::string what = std::to_string(bpp) + " bpp, width " + std::to_string(width);
      expectLikeMagick(randomBmp(40, bpp, width, 3, fullTable, rng), what);
      expectLikeMagick(randomBmp(40, bpp, width, -3, fullTable, rng), what + ", top-down");
      if (bpp <= 8) expectLikeMagick(randomBmp(40, bpp, width, 2, fullTable - fullTable / 4, rng), what + ", short table");
      if (bpp != 16 && bpp != 32) expectLikeMagick(randomBmp(12, bpp, width, 3, fullTable, rng), what + ", core header");
    }
  }
}

TEST(DibDecode, PackedDibFindsPixelsAfterTheColourTableItDeclares) {
  REQUIRE_MAGICK();
  std::mt19937 rng(11);
  // Colours used 20: the pixels start 40 + 80 bytes after the header, even in a 24-bit picture.
  Bmp b = randomBmp(40, 8, 6, 4, 20, rng);
  ASSERT_EQ(packedDib(b).size() - b.pixels.size(), 40u + 80u);
  expectLikeMagick(b, "8 bpp, 20 colours");
  Bmp trueColour = randomBmp(40, 24, 5, 3, 20, rng);
  trueColour.colorsUsed = 20;
  expectLikeMagick(trueColour, "24 bpp, 20 colours");
  expectLikeMagick(randomBmp(12, 4, 5, 3, 16, rng), "core header, 16 three-byte entries");
}

TEST(DibDecode, BitFieldsMatchImageMagick) {
  REQUIRE_MAGICK();
  std::mt19937 rng(13);
  struct Case { uint16_t bpp; uint32_t r, g, b; };
  const Case cases[] = {{16, 0x7C00, 0x03E0, 0x001F}, {16, 0xF800, 0x07E0, 0x001F}, {16, 0x001F, 0x07E0, 0xF800},
                        {32, 0xFF0000, 0xFF00, 0xFF}, {32, 0xFF, 0xFF00, 0xFF0000}, {32, 0xFF000000, 0xFF0000, 0xFF00}};
  for (const Case& c : cases) {
    for (int32_t height : {3, -3}) {
      Bmp b = randomBmp(40, c.bpp, 5, height, 0, rng);
      b.compression = 3, b.masks = {c.r, c.g, c.b};
      expectLikeMagick(b, std::to_string(c.bpp) + " bpp masks " + std::to_string(c.r) + " height " + std::to_string(height));
    }
  }
}

namespace {

// A palette of n entries whose entry 0 is black, so pixels a run skips look the same to both decoders.
Bytes runPalette(int n) {
  Bytes table;
  for (int i = 0; i < n; ++i) table.insert(table.end(), {uint8_t(i * 29 % 256), uint8_t(i * 71 % 256), uint8_t(i * 113 % 256), 0});
  return table;
}

Bmp runLength(uint16_t bpp, int32_t width, int32_t height, Bytes stream) {
  Bmp b;
  b.bpp = bpp, b.width = width, b.height = height, b.compression = bpp == 8 ? 1 : 2;
  b.table = runPalette(bpp == 8 ? 9 : 16), b.colorsUsed = bpp == 8 ? 9 : 0;
  b.imageSize = uint32_t(stream.size()), b.pixels = std::move(stream);
  return b;
}

}  // namespace

TEST(DibDecode, RunLengthEscapesMatchImageMagick) {
  REQUIRE_MAGICK();
  // Runs, odd and even absolute runs with their padding, an early end of line, a delta and an early end.
  expectLikeMagick(runLength(8, 7, 4, {3, 1, 0, 3, 2, 3, 4, 0, 1, 5, 0, 0,
                                       0, 4, 1, 2, 3, 4, 0, 2, 1, 1, 2, 6, 0, 0,
                                       2, 7, 0, 1}), "RLE8");
  expectLikeMagick(runLength(4, 7, 3, {2, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0,
                                       0, 2, 3, 0, 3, 0x9A, 0, 0,
                                       0, 3, 0xBC, 0xD0, 1, 0xF0, 0, 1}), "RLE4");
  // Every row ended by its last run, with no end-of-bitmap mark.
  expectLikeMagick(runLength(8, 2, 2, {2, 1, 0, 0, 2, 8}), "RLE8 without end mark");
}

TEST(DibMalformed, EveryTruncationIsAConversionError) {
  std::mt19937 rng(17);
  Bmp plain = randomBmp(40, 8, 4, 3, 5, rng);
  Bmp core = randomBmp(12, 4, 8, 2, 16, rng);
  // Cut anywhere before its end-of-bitmap mark, the run-length picture is missing pixels.
  Bmp runs = runLength(8, 4, 2, {4, 4, 0, 0, 0, 4, 1, 2, 3, 5, 0, 1});
  runs.imageSize = 0;
  for (const Bytes& file : {bmpFile(plain), packedDib(plain), bmpFile(core), packedDib(core), bmpFile(runs)}) {
    ASSERT_FALSE(decode(file).empty());
    const size_t whole = file.size() - (file == bmpFile(runs) ? 2 : 0);
    for (size_t size = 0; size < whole; ++size) {
      const Bytes cut(file.begin(), file.begin() + size);
      EXPECT_EQ(reject(cut), DibError::conversionError) << "cut to " << size << " of " << file.size();
    }
  }
}

TEST(DibMalformed, LaterHeaderVersionsAreAnUnknownFormat) {
  for (uint32_t headerSize : {108u, 124u, 64u, 16u}) {
    Bmp b;
    b.headerSize = headerSize, b.pixels = {1, 2, 3, 0};
    EXPECT_EQ(reject(bmpFile(b)), DibError::unknownFormat) << headerSize;
    EXPECT_EQ(reject(packedDib(b)), DibError::unknownFormat) << headerSize;
  }
}

TEST(DibMalformed, LyingFieldsAndUnsupportedCodingsAreConversionErrors) {
  std::mt19937 rng(19);
  const Bmp good = randomBmp(40, 8, 4, 2, 4, rng);
  ASSERT_FALSE(decode(bmpFile(good)).empty());
  auto patched = [&](size_t at, uint32_t value, Bytes file) {
    for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(value >> (8 * i));
    return file;
  };
  const Bytes file = bmpFile(good);
  for (uint32_t offset : {uint32_t(file.size()), uint32_t(file.size() - 1), 0xFFFFFFF0u, 20u, 0u})
    EXPECT_EQ(reject(patched(10, offset, file)), DibError::conversionError) << "pixel offset " << offset;
  EXPECT_EQ(reject(patched(14 + 32, 1000, file)), DibError::conversionError) << "colours used beyond the file";
  EXPECT_EQ(reject(patched(14 + 32, 0x10000, file)), DibError::conversionError) << "colours used wraps to none";
  const Bytes packed = packedDib(good);
  EXPECT_EQ(reject(patched(32, 200, packed)), DibError::conversionError) << "packed, table swallows the pixels";
  // Planes, depths, codings and depth/coding pairs that no bitmap has.
  for (uint32_t planesAndDepth : {0x00080000u, 0x00080002u, 0x00020001u, 0x00000001u, 0x00400001u})
    EXPECT_EQ(reject(patched(14 + 12, planesAndDepth, file)), DibError::conversionError) << planesAndDepth;
  for (uint32_t compression : {2u, 3u, 4u, 5u, 6u})
    EXPECT_EQ(reject(patched(14 + 16, compression, file)), DibError::conversionError) << compression;
  Bmp runs = runLength(8, 2, 1, {2, 1, 0, 1});
  runs.imageSize = 5;
  EXPECT_EQ(reject(bmpFile(runs)), DibError::conversionError) << "stated stream size past the end";
  Bmp fields = randomBmp(40, 16, 2, 1, 0, rng);
  fields.compression = 3, fields.masks = {0x7C00, 0x03E0};
  EXPECT_EQ(reject(packedDib(fields)), DibError::conversionError) << "masks cut off";
  fields.masks = {0x7C00, 0x03E0, 0x0015};
  EXPECT_EQ(reject(bmpFile(fields)), DibError::conversionError) << "mask with a gap";
}

TEST(DibMalformed, DimensionsOutsideOneTo16384AreRejected) {
  // A run-length picture that ends at once would otherwise decode at any size from a few bytes.
  const std::pair<int32_t, int32_t> sizes[] = {{16385, 1}, {1, 16385}, {0, 1}, {1, 0}, {-4, 1}, {1, INT32_MIN}};
  for (auto [width, height] : sizes) {
    EXPECT_EQ(reject(bmpFile(runLength(8, width, height, {0, 1}))), DibError::conversionError) << width << "x" << height;
  }
  EXPECT_EQ(reject(bmpFile(runLength(8, 4, -1, {0, 1}))), DibError::conversionError) << "top-down runs";
  Bmp wide;
  wide.width = 16384, wide.pixels.assign(16384 * 3, 0x55);
  EXPECT_EQ(decode(bmpFile(wide)).size(), 16384u * 3);
}

TEST(DibMalformed, ColourIndicesPastTheTableAreConversionErrors) {
  auto indexed = [](uint16_t bpp, uint32_t colors, Bytes pixels) {
    Bmp b;
    b.bpp = bpp, b.width = 2, b.colorsUsed = colors, b.table = runPalette(int(colors)), b.pixels = std::move(pixels);
    return bmpFile(b);
  };
  EXPECT_EQ(reject(indexed(8, 4, {3, 4, 0, 0})), DibError::conversionError);
  EXPECT_EQ(reject(indexed(4, 3, {0x23, 0, 0, 0})), DibError::conversionError);
  EXPECT_EQ(reject(indexed(1, 1, {0x40, 0, 0, 0})), DibError::conversionError);
  EXPECT_FALSE(decode(indexed(1, 1, {0x3F, 0, 0, 0})).empty()) << "bits past the width are not pixels";
  EXPECT_EQ(reject(bmpFile(runLength(8, 2, 1, {2, 9, 0, 1}))), DibError::conversionError);
  EXPECT_EQ(reject(bmpFile(runLength(8, 4, 1, {0, 3, 1, 9, 2, 0, 0, 1}))), DibError::conversionError);
}

TEST(DibMalformed, RunsPastTheRowOrThePictureAreConversionErrors) {
  const std::pair<uint16_t, Bytes> cases[] = {
      {8, {5, 1, 0, 1}},                      // encoded run longer than the row
      {8, {3, 1, 2, 1, 0, 1}},                // second run crosses the row's end
      {8, {0, 5, 1, 2, 3, 4, 5, 0, 0, 1}},    // absolute run longer than the row
      {8, {0, 4, 1, 2}},                      // absolute run cut off by the end of the data
      {8, {0, 2, 5, 0, 0, 1}},                // delta past the right edge
      {8, {0, 2, 0, 2, 1, 1, 0, 1}},          // delta past the top
      {8, {0, 0, 0, 0, 1, 1, 0, 1}},          // pixels after the last row
      {8, {0, 0, 0, 0, 0, 0, 0, 1}},          // end of line after the last row
      {8, {4, 1, 0, 0}},                      // data ends before the last row
      {4, {5, 0x12, 0, 1}},                   // RLE4 run longer than the row
      {4, {0, 5, 0x12, 0x34, 0x50, 0, 0, 1}}, // RLE4 absolute run longer than the row
  };
  for (const auto& [bpp, stream] : cases) {
    EXPECT_EQ(reject(bmpFile(runLength(bpp, 4, 2, stream))), DibError::conversionError) << ::testing::PrintToString(stream);
  }
}

namespace {

std::string tmpPath(const char* name) { return std::string(VOSTREL_TEST_TMP) + "/" + name; }

bool writeFile(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  return std::fclose(f) == 0;
}

}  // namespace

TEST(DibLoad, ShowsExactlyOneMessagePerFailureAndReturnsNothing) {
  const std::string longName = tmpPath("missing/") + std::string(300, 'x') + ".bmp";
  Bmp unknown;
  unknown.headerSize = 124;
  std::mt19937 rng(23);
  Bytes cut = bmpFile(randomBmp(40, 24, 4, 4, 0, rng));
  cut.resize(cut.size() - 1);
  ASSERT_TRUE(writeFile(tmpPath("dib_empty.bmp"), {}));
  ASSERT_TRUE(writeFile(tmpPath("dib_unknown.bmp"), bmpFile(unknown)));
  ASSERT_TRUE(writeFile(tmpPath("dib_cut.bmp"), cut));
  const std::pair<std::string, std::string> cases[] = {
      {tmpPath("no-such.bmp"), "Failed to open DIB file " + tmpPath("no-such.bmp") + ".\n"},
      {longName, ("Failed to open DIB file " + longName + ".\n").substr(0, 255)},  // cut like every text
      {tmpPath("dib_empty.bmp"), "Failed to open DIB file " + tmpPath("dib_empty.bmp") + ".\n"},
      {tmpPath(""), "Failed to open DIB file " + tmpPath("") + ".\n"},
      {tmpPath("dib_unknown.bmp"), "Unknown DIB file format."},
      {tmpPath("dib_cut.bmp"), "Image file conversion error."},
  };
  for (const auto& [path, text] : cases) {
    shownErrors.clear();
    EXPECT_EQ(loadDibImage(path.c_str()), nullptr);
    EXPECT_EQ(shownErrors, std::vector<std::string>{text});
  }
}

TEST(DibLoad, ReturnsTheDecodedPictureWithoutAMessage) {
  std::mt19937 rng(29);
  const Bytes file = bmpFile(randomBmp(40, 8, 8, -5, 256, rng));
  ASSERT_TRUE(writeFile(tmpPath("dib_good.bmp"), file));
  shownErrors.clear();
  DibImage* image = loadDibImage(tmpPath("dib_good.bmp").c_str());
  ASSERT_NE(image, nullptr);
  EXPECT_TRUE(shownErrors.empty());
  EXPECT_EQ(image->width, 8);
  EXPECT_EQ(image->height, 5);
  EXPECT_EQ(Bytes(image->pixels, image->pixels + 8 * 5 * 3), decode(file));
  freeDibImage(image);
  freeDibImage(nullptr);
}
