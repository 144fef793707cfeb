// Guards the bitmap decoder against a wrong depth, nibble or bit order, a missed pad byte, a colour table or pixels looked for in the wrong place, flipped rows, misread runs and masks, and any read past the file; the loader against a lost or doubled message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

static void put(Bytes& b, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> 8 * i));
}

// What goes into a test file, field by field, with the pixel data exactly as stored.
struct Bmp {
  uint32_t headerSize = 40;
  int32_t width = 1, height = 1;
  uint16_t bpp = 24;
  uint32_t compression = 0, colorsUsed = 0, imageSize = 0;
  std::vector<uint32_t> masks = {};  // after the 40-byte header
  Bytes table = {}, pixels = {};
};

// Info header, masks, colour table and pixels: a packed DIB.
static Bytes packedDib(const Bmp& b) {
  Bytes out;
  const int side = b.headerSize == 12 ? 2 : 4, field = b.headerSize == 12 ? 0 : 4;
  put(out, b.headerSize, 4), put(out, b.width, side), put(out, b.height, side), put(out, 1, 2), put(out, b.bpp, 2);
  for (uint32_t v : {b.compression, b.imageSize, 2835u, 2835u, b.colorsUsed, 0u}) put(out, v, field);
  out.resize(std::max<size_t>(out.size(), b.headerSize), 0);  // later header versions, to be refused
  for (uint32_t m : b.masks) put(out, m, 4);
  out.insert(out.end(), b.table.begin(), b.table.end());
  out.insert(out.end(), b.pixels.begin(), b.pixels.end());
  return out;
}

// The same bitmap behind a 14-byte file header whose pixel offset points right after the table.
static Bytes bmpFile(const Bmp& b) {
  const Bytes body = packedDib(b);
  Bytes out = {'B', 'M'};
  put(out, uint32_t(14 + body.size()), 4), put(out, 0, 4), put(out, uint32_t(14 + body.size() - b.pixels.size()), 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// Random pixels (indices below `colors` at table depths) in rows padded to 4 bytes, the padding junk.
static Bmp randomBmp(uint32_t headerSize, uint16_t bpp, int32_t width, int32_t height, uint32_t colors,
                     std::mt19937& rng) {
  Bmp b{.headerSize = headerSize, .width = width, .height = height, .bpp = bpp};
  if (bpp <= 8 && headerSize == 40 && colors < (1u << bpp)) b.colorsUsed = colors;
  for (uint32_t i = 0; i < colors * (headerSize == 40 ? 4 : 3); ++i) b.table.push_back(uint8_t(rng()));
  const size_t stride = (size_t(width) * bpp + 31) / 32 * 4;
  for (int32_t y = 0; y < std::abs(height); ++y) {
    Bytes row(stride);
    for (auto& byte : row) byte = uint8_t(rng());
    for (int32_t x = 0; bpp <= 8 && x < width; ++x) {
      const int shift = 8 - bpp - (x * bpp) % 8;
      uint8_t& byte = row[size_t(x) * bpp / 8];
      byte = uint8_t((byte & ~(((1 << bpp) - 1) << shift)) | (rng() % colors) << shift);
    }
    b.pixels.insert(b.pixels.end(), row.begin(), row.end());
  }
  return b;
}

// A run-length picture over a palette whose entry 0 is black, so pixels a run skips agree with ImageMagick.
static Bmp runLength(uint16_t bpp, int32_t width, int32_t height, Bytes stream) {
  Bmp b{.width = width, .height = height, .bpp = bpp, .compression = bpp == 8 ? 1u : 2u,
        .colorsUsed = bpp == 8 ? 9u : 0u, .imageSize = uint32_t(stream.size()), .pixels = std::move(stream)};
  for (int i = 0; i < (bpp == 8 ? 9 : 16); ++i) b.table.insert(b.table.end(), {uint8_t(i * 29), uint8_t(i * 71), 0, 0});
  return b;
}

// Our decoding into *pixels; an error hands out no pixels.
static DibError decode(const Bytes& file, Bytes* pixels = nullptr) {
  DibImage image;
  const DibError error = decodeDib(file.data(), file.size(), &image);
  EXPECT_EQ(error == DibError::none, image.pixels != nullptr);
  if (pixels && image.pixels) pixels->assign(image.pixels, image.pixels + size_t(image.width) * image.height * 3);
  freeDibPixels(&image);
  return error;
}

static void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A bitmap decodes as ImageMagick reads it (flipped to our bottom-up rows) behind a file header, and alike packed.
static void expectLikeMagick(const Bmp& b, const std::string& what) {
  SCOPED_TRACE(what);
  const Bytes file = bmpFile(b);
  Bytes ours, packed;
  ASSERT_EQ(decode(file, &ours), DibError::none);
  writeFile(VOSTREL_TEST_TMP "/dib_test.bmp", file);
  FILE* p = popen("convert 'BMP:" VOSTREL_TEST_TMP "/dib_test.bmp' -flip -depth 8 rgb:- 2>/dev/null", "r");
  ASSERT_NE(p, nullptr);
  Bytes magick(ours.size() + 1);
  magick.resize(std::fread(magick.data(), 1, magick.size(), p));
  pclose(p);
  EXPECT_EQ(ours, magick);
  decode(packedDib(b), &packed);
  EXPECT_EQ(packed, ours);
}

TEST(DibDecode, ThreeByTwoTwentyFourBitIsRgbBottomRowFirstWithoutThePadding) {
  Bytes pixels;
  decode(bmpFile({.width = 3, .height = 2, .pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE, 0xEE, 0xEE,
                                                      11, 12, 13, 14, 15, 16, 17, 18, 19, 0xEE, 0xEE, 0xEE}}), &pixels);
  EXPECT_EQ(pixels, (Bytes{3, 2, 1, 6, 5, 4, 9, 8, 7, 13, 12, 11, 16, 15, 14, 19, 18, 17}));
}

TEST(DibDecode, EveryDepthCodingAndHeaderMatchesImageMagick) {
  if (std::system("command -v convert >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick's convert is not installed";
  std::mt19937 rng(7);
  for (uint16_t bpp : {1, 4, 8, 16, 24, 32})
    for (int32_t width = 1; width <= 8; ++width) {
      const uint32_t table = bpp <= 8 ? 1u << bpp : 0;
      const std::string what = std::to_string(bpp) + " bpp, width " + std::to_string(width);
      expectLikeMagick(randomBmp(40, bpp, width, 3, table, rng), what);
      expectLikeMagick(randomBmp(40, bpp, width, -3, table, rng), what + ", top-down");
      if (bpp <= 8) expectLikeMagick(randomBmp(40, bpp, width, 2, table - table / 4, rng), what + ", short table");
      if (bpp != 16 && bpp != 32) expectLikeMagick(randomBmp(12, bpp, width, 3, table, rng), what + ", core header");
    }
  Bmp trueColour = randomBmp(40, 24, 5, 3, 20, rng);  // a packed DIB's pixels follow the table it declares
  trueColour.colorsUsed = 20;
  expectLikeMagick(trueColour, "24 bpp, 20 colours");
  // Bit fields: 5-5-5, 5-6-5, swapped channels, and 32-bit masks in every byte.
  const uint32_t fields[][4] = {{16, 0x7C00, 0x03E0, 0x001F}, {16, 0xF800, 0x07E0, 0x001F},
                                {16, 0x001F, 0x07E0, 0xF800}, {32, 0xFF0000, 0xFF00, 0xFF},
                                {32, 0xFF, 0xFF00, 0xFF0000}, {32, 0xFF000000, 0xFF0000, 0xFF00}};
  for (const auto& f : fields)
    for (int32_t height : {3, -3}) {
      Bmp b = randomBmp(40, uint16_t(f[0]), 5, height, 0, rng);
      b.compression = 3, b.masks = {f[1], f[2], f[3]};
      expectLikeMagick(b, std::to_string(f[0]) + " bpp masks " + std::to_string(f[1]) + ", " + std::to_string(height));
    }
  // Runs, odd and even absolute runs with their padding, an early end of line, a delta and an early end.
  expectLikeMagick(runLength(8, 7, 4, {3, 1, 0, 3, 2, 3, 4, 0, 1, 5, 0, 0, 0, 4, 1, 2, 3, 4, 0, 2,
                                       1, 1, 2, 6, 0, 0, 2, 7, 0, 1}), "RLE8");
  expectLikeMagick(runLength(4, 7, 3, {2, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 0, 2, 3, 0, 3, 0x9A, 0, 0,
                                       0, 3, 0xBC, 0xD0, 1, 0xF0, 0, 1}), "RLE4");
  expectLikeMagick(runLength(8, 2, 2, {2, 1, 0, 0, 2, 8}), "RLE8, every row ended by its last run, no end mark");
}

TEST(DibMalformed, EveryTruncationBeforeTheFirstPixelIsAConversionError) {
  std::mt19937 rng(17);
  const Bmp plain = randomBmp(40, 8, 4, 3, 5, rng), core = randomBmp(12, 4, 8, 2, 16, rng);
  Bmp runs = runLength(8, 4, 2, {4, 4, 0, 0, 0, 4, 1, 2, 3, 5, 0, 1});
  runs.imageSize = 0;
  for (const Bytes& file : {bmpFile(plain), packedDib(plain), bmpFile(core), packedDib(core), bmpFile(runs)}) {
    ASSERT_EQ(decode(file), DibError::none);
    // A stream cut after its first run loads with the rest black (see below); only a cut before it fails.
    const size_t whole = file.size() - (file == bmpFile(runs) ? 10 : 0);
    for (size_t size = 0; size < whole; ++size)
      EXPECT_EQ(decode(Bytes(file.begin(), file.begin() + size)), DibError::conversionError) << size << " bytes";
  }
}

TEST(DibMalformed, LyingFieldsLaterHeadersAndRunsOutsideThePictureAreRefused) {
  std::mt19937 rng(19);
  const Bytes file = bmpFile(randomBmp(40, 8, 4, 2, 4, rng));
  auto patched = [](Bytes bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(value >> (8 * i));
    return bytes;
  };
  auto indexed = [](uint16_t bpp, uint32_t colors, Bytes pixels) {
    Bmp b = runLength(8, 2, 1, std::move(pixels));
    b.bpp = bpp, b.compression = 0, b.colorsUsed = colors, b.table.resize(colors * 4);
    return bmpFile(b);
  };
  auto rle = [](uint16_t bpp, int32_t w, int32_t h, Bytes stream) { return bmpFile(runLength(bpp, w, h, stream)); };
  Bmp fields = randomBmp(40, 16, 2, 1, 0, rng), gap = fields, statedTooLong = runLength(8, 2, 1, {2, 1, 0, 1});
  fields.compression = gap.compression = 3, fields.masks = {0x7C00, 0x03E0}, gap.masks = {0x7C00, 0x03E0, 0x0015};
  statedTooLong.imageSize = 5;
  ASSERT_EQ(decode(file), DibError::none);
  ASSERT_EQ(decode(bmpFile({.width = 16384, .pixels = Bytes(16384 * 3, 0x55)})), DibError::none) << "the widest";
  ASSERT_EQ(decode(indexed(1, 1, {0x3F, 0, 0, 0})), DibError::none) << "bits past the width are not pixels";
  const std::pair<const char*, Bytes> cases[] = {
      {"pixels at the end", patched(file, 10, uint32_t(file.size()))}, {"far past", patched(file, 10, ~15u)},
      {"one short of the end", patched(file, 10, uint32_t(file.size() - 1))}, {"in the headers", patched(file, 10, 20)},
      {"colours past the end", patched(file, 46, 1000)}, {"colours wrapping to 0", patched(file, 46, 0x10000)},
      {"packed, the table swallowing the pixels", patched(Bytes(file.begin() + 14, file.end()), 32, 200)},
      {"0 planes", patched(file, 26, 0x80000)}, {"2 planes", patched(file, 26, 0x80002)},
      {"2 bits", patched(file, 26, 0x20001)}, {"0 bits", patched(file, 26, 1)}, {"64 bits", patched(file, 26, 0x400001)},
      {"RLE4 at 8 bits", patched(file, 30, 2)}, {"fields at 8 bits", patched(file, 30, 3)},
      {"JPEG", patched(file, 30, 4)}, {"PNG", patched(file, 30, 5)}, {"alpha fields", patched(file, 30, 6)},
      {"stream size past the end", bmpFile(statedTooLong)}, {"masks cut off", packedDib(fields)},
      {"mask with a gap", bmpFile(gap)}, {"width 16385", rle(8, 16385, 1, {0, 1})},
      {"height 16385", rle(8, 1, 16385, {0, 1})}, {"width 0", rle(8, 0, 1, {0, 1})}, {"height 0", rle(8, 1, 0, {0, 1})},
      {"width -4", rle(8, -4, 1, {0, 1})}, {"height INT32_MIN", rle(8, 1, INT32_MIN, {0, 1})},
      {"top-down runs", rle(8, 4, -1, {0, 1})}, {"every index past the table", indexed(8, 4, {4, 5, 0, 0})},
      {"1-bit, 1 of 1 only", indexed(1, 1, {0xC0, 0, 0, 0})}, {"run of 9 of 9", rle(8, 2, 1, {2, 9, 0, 1})},
      {"absolute 9 of 9 cut", rle(8, 4, 1, {0, 2, 9})}, {"cut delta, nothing before", rle(8, 4, 2, {0, 2, 1})},
      {"run past the row", rle(8, 4, 2, {5, 1, 0, 1})}, {"second run past the row", rle(8, 4, 2, {3, 1, 2, 1, 0, 1})},
      {"RLE4 run past", rle(4, 4, 2, {5, 0x12, 0, 1})},
      {"absolute run past the row", rle(8, 4, 2, {0, 5, 1, 2, 3, 4, 5, 0, 0, 1})},
      {"RLE4 absolute run past", rle(4, 4, 2, {0, 5, 0x12, 0x34, 0x50, 0, 0, 1})},
      {"delta past the right", rle(8, 4, 2, {0, 2, 5, 0, 0, 1})},
      {"delta past the top", rle(8, 4, 2, {0, 2, 0, 2, 1, 1, 0, 1})},
      {"pixels after the last row", rle(8, 4, 2, {0, 0, 0, 0, 1, 1, 0, 1})},
      {"end of line after the last row", rle(8, 4, 2, {0, 0, 0, 0, 0, 0, 0, 1})},
  };
  for (const auto& [what, bytes] : cases) EXPECT_EQ(decode(bytes), DibError::conversionError) << what;
  for (uint32_t size : {108u, 124u, 64u, 16u}) {
    EXPECT_EQ(decode(bmpFile({.headerSize = size, .pixels = {1, 2, 3, 0}})), DibError::unknownFormat) << size;
    EXPECT_EQ(decode(packedDib({.headerSize = size, .pixels = {1, 2, 3, 0}})), DibError::unknownFormat) << size;
  }
}

// Entry i of the test palette is R 0, G 71 i, B 29 i; what cannot be decoded is black.
TEST(DibMalformed, ColoursPastTheTableAndStreamsEndingEarlyLoadWithThosePixelsBlack) {
  auto indexed = [](uint16_t bpp, uint32_t colors, Bytes pixels) {
    Bmp b = runLength(8, 2, 1, std::move(pixels));
    b.bpp = bpp, b.compression = 0, b.colorsUsed = colors, b.table.resize(colors * 4);
    return bmpFile(b);
  };
  auto rle = [](uint16_t bpp, int32_t w, int32_t h, Bytes stream) { return bmpFile(runLength(bpp, w, h, stream)); };
  auto thenBlack = [](Bytes pixels, size_t count) { return pixels.resize(pixels.size() + 3 * count), pixels; };
  const std::pair<Bytes, Bytes> cases[] = {
      {indexed(8, 4, {3, 4, 0, 0}), {0, 213, 87, 0, 0, 0}}, {indexed(4, 3, {0x23, 0, 0, 0}), {0, 142, 58, 0, 0, 0}},
      {indexed(1, 1, {0x40, 0, 0, 0}), {0, 0, 0, 0, 0, 0}},  // entry 0 is black itself
      {rle(8, 2, 1, {1, 9, 1, 2, 0, 1}), {0, 0, 0, 0, 142, 58}},
      {rle(8, 4, 1, {0, 3, 1, 9, 2, 0, 0, 1}), {0, 71, 29, 0, 0, 0, 0, 142, 58, 0, 0, 0}},
      {rle(8, 4, 2, {4, 1, 0, 0}), thenBlack({0, 71, 29, 0, 71, 29, 0, 71, 29, 0, 71, 29}, 4)},  // no second row
      {rle(8, 4, 2, {0, 4, 1, 2}), thenBlack({0, 71, 29, 0, 142, 58}, 6)},  // cut inside its absolute run
      {rle(4, 4, 1, {0, 4, 0x13}), {0, 71, 29, 0, 213, 87, 0, 0, 0, 0, 0, 0}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    Bytes pixels;
    EXPECT_EQ(decode(cases[i].first, &pixels), DibError::none) << i;
    EXPECT_EQ(pixels, cases[i].second) << i;
  }
}

TEST(DibLoad, ShowsExactlyOneMessagePerFailureAndReturnsThePictureOtherwise) {
  const std::string dir = VOSTREL_TEST_TMP "/", longName = dir + "missing/" + std::string(300, 'x') + ".bmp";
  std::mt19937 rng(23);
  const Bytes good = bmpFile(randomBmp(40, 8, 8, -5, 256, rng));
  writeFile(dir + "dib_empty.bmp", {});
  writeFile(dir + "dib_unknown.bmp", bmpFile({.headerSize = 124}));
  writeFile(dir + "dib_cut.bmp", Bytes(good.begin(), good.end() - 1));
  writeFile(dir + "dib_good.bmp", good);
  auto opening = [](const std::string& path) { return ("Failed to open DIB file " + path + ".\n").substr(0, 255); };
  const std::pair<std::string, std::string> cases[] = {
      {dir + "no-such.bmp", opening(dir + "no-such.bmp")}, {longName, opening(longName)},  // cut like every text
      {dir + "dib_empty.bmp", opening(dir + "dib_empty.bmp")}, {dir, opening(dir)},
      {dir + "dib_unknown.bmp", "Unknown DIB file format."}, {dir + "dib_cut.bmp", "Image file conversion error."}};
  for (const auto& [path, text] : cases) {
    shownErrors.clear();
    EXPECT_EQ(loadDibImage(path.c_str()), nullptr);
    EXPECT_EQ(shownErrors, std::vector<std::string>{text});
  }
  shownErrors.clear();
  DibImage* image = loadDibImage((dir + "dib_good.bmp").c_str());
  ASSERT_NE(image, nullptr);
  Bytes pixels;
  decode(good, &pixels);
  EXPECT_TRUE(shownErrors.empty());
  EXPECT_EQ(Bytes(image->pixels, image->pixels + size_t(image->width) * image->height * 3), pixels);
  EXPECT_TRUE(image->width == 8 && image->height == 5) << image->width << "x" << image->height;
  freeDibImage(image);
  freeDibImage(nullptr);
}
