// Decoding of Windows bitmap (DIB) files held in memory into packed bottom-up RGB rows.
#include "gfx/dib.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// What is accepted:
//  - an optional 14-byte "BM" file header (only the signature and the pixel-data offset at byte 10 are read),
//    then a 12-byte core header or a 40-byte info header; any other header size is an unknown format;
//  - 1, 4 and 8 bits per pixel through the colour table, 16 bits as 5-5-5, 24 bits as B,G,R and 32 bits as
//    B,G,R,ignored; RLE8 and RLE4; bit fields (three masks right after the 40-byte header) for 16 and 32 bits;
//  - a negative height (top-down rows) for uncompressed and bit-field pictures; run-length pictures are
//    bottom-up by definition, so a negative height there is a conversion error.
// Every field is checked against the file's length before it is used, in this order: signature, header
// size, planes, depth and compression, dimensions (1..16384 on a side, before anything is allocated),
// bit-field masks, colour table, pixel offset and pixel bytes. Anything that does not hold is
// "Image file conversion error."; so is a run that would leave its row or the picture. Pixels a run-length
// picture skips with a delta, an early end of line or the end of bitmap stay black. What cannot be decoded
// is black too, as the system's conversion leaves it: a pixel whose colour index lies past the colour table,
// and the rest of a run-length picture whose stream ends early. A picture in which that leaves not one
// pixel with a colour of its own has no line converted, and is a conversion error.

namespace {

constexpr int32_t maxSide = 16384;
constexpr size_t fileHeaderSize = 14;
constexpr uint32_t coreHeaderSize = 12;
constexpr uint32_t infoHeaderSize = 40;
constexpr size_t maskBytes = 12;

constexpr uint32_t compressionRgb = 0;
constexpr uint32_t compressionRle8 = 1;
constexpr uint32_t compressionRle4 = 2;
constexpr uint32_t compressionBitFields = 3;

uint16_t readU16(const uint8_t* p) { return uint16_t(uint32_t(p[0]) | uint32_t(p[1]) << 8); }

uint32_t readU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// One colour channel of a 16- or 32-bit pixel, described by its mask.
struct Channel {
  uint32_t mask;
  uint32_t shift;
  uint32_t bits;
};

// False for a mask whose bits are not one contiguous run.
bool makeChannel(uint32_t mask, Channel* channel) {
  channel->mask = mask;
  channel->shift = 0;
  channel->bits = 0;
  if (mask == 0) return true;
  while (!(mask & 1u)) {
    mask >>= 1;
    ++channel->shift;
  }
  if (mask & (mask + 1u)) return false;
  while (mask) {
    mask >>= 1;
    ++channel->bits;
  }
  return true;
}

// The channel's value widened or narrowed to 8 bits; short channels repeat their bits, so full scale
// stays full scale (31 of 5 bits becomes 255).
uint8_t channelValue(const Channel& channel, uint32_t pixel) {
  if (channel.bits == 0) return 0;
  uint32_t value = (pixel & channel.mask) >> channel.shift;
  if (channel.bits >= 8) return uint8_t(value >> (channel.bits - 8));
  uint32_t wide = 0;
  uint32_t filled = 0;
  while (filled < 8) {
    wide = wide << channel.bits | value;
    filled += channel.bits;
  }
  return uint8_t(wide >> (filled - 8));
}

// Everything the headers say, already checked against the file's length.
struct Layout {
  DibInfo info;
  uint32_t width;
  uint32_t rows;  // |height|
  const uint8_t* table;
  uint32_t entrySize;  // 3 after a core header, 4 after an info header
  const uint8_t* pixels;
  size_t pixelBytes;  // bytes from pixels on that belong to the picture
  Channel channels[3];  // red, green, blue of 16- and 32-bit pixels
};

DibError parseLayout(const uint8_t* data, size_t size, Layout* layout) {
  if (!data) return DibError::conversionError;
  DibInfo& info = layout->info;
  info.fileHeader = size >= 2 && data[0] == 'B' && data[1] == 'M';
  const size_t headerStart = info.fileHeader ? fileHeaderSize : 0;
  if (size < headerStart + 4) return DibError::conversionError;
  const uint8_t* header = data + headerStart;
  info.headerSize = readU32(header);
  if (info.headerSize != coreHeaderSize && info.headerSize != infoHeaderSize) return DibError::unknownFormat;
  if (size - headerStart < info.headerSize) return DibError::conversionError;

  uint16_t planes;
  uint32_t imageSize = 0;
  if (info.headerSize == coreHeaderSize) {
    info.width = readU16(header + 4);
    info.height = readU16(header + 6);
    planes = readU16(header + 8);
    info.bitsPerPixel = readU16(header + 10);
    info.compression = compressionRgb;
  } else {
    info.width = int32_t(readU32(header + 4));
    info.height = int32_t(readU32(header + 8));
    planes = readU16(header + 12);
    info.bitsPerPixel = readU16(header + 14);
    info.compression = readU32(header + 16);
    imageSize = readU32(header + 20);
  }
  if (planes != 1) return DibError::conversionError;

  const uint16_t bpp = info.bitsPerPixel;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return DibError::conversionError;
  const uint32_t compression = info.compression;
  const bool runLength = (compression == compressionRle8 && bpp == 8) || (compression == compressionRle4 && bpp == 4);
  const bool bitFields = compression == compressionBitFields && (bpp == 16 || bpp == 32);
  if (compression != compressionRgb && !runLength && !bitFields) return DibError::conversionError;

  // Checked one by one so that no negation can overflow (height may be INT32_MIN).
  if (info.width <= 0 || info.width > maxSide) return DibError::conversionError;
  if (info.height == 0 || info.height > maxSide || info.height < -maxSide) return DibError::conversionError;
  if (info.height < 0 && runLength) return DibError::conversionError;
  layout->width = uint32_t(info.width);
  layout->rows = uint32_t(info.height < 0 ? -info.height : info.height);

  size_t tableStart = headerStart + info.headerSize;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};  // 16-bit pixels without bit fields are 5-5-5
  if (bitFields) {
    // The masks sit between the 40-byte header and any colour table.
    if (size - tableStart < maskBytes) return DibError::conversionError;
    for (int i = 0; i < 3; ++i) masks[i] = readU32(data + tableStart + 4 * i);
    tableStart += maskBytes;
  } else if (bpp == 32) {
    masks[0] = 0x00FF0000;
    masks[1] = 0x0000FF00;
    masks[2] = 0x000000FF;
  }
  for (int i = 0; i < 3; ++i) {
    if (!makeChannel(masks[i], &layout->channels[i])) return DibError::conversionError;
  }

  info.colors = dibColorCount(header, size - headerStart);
  if (bpp <= 8 && info.colors == 0) return DibError::conversionError;
  layout->entrySize = info.headerSize == coreHeaderSize ? 3 : 4;
  if ((size - tableStart) / layout->entrySize < info.colors) return DibError::conversionError;
  layout->table = data + tableStart;

  size_t pixelStart;
  if (info.fileHeader) {
    pixelStart = readU32(data + 10);
    if (pixelStart < tableStart) return DibError::conversionError;
  } else {
    pixelStart = tableStart + size_t(layout->entrySize) * info.colors;
  }
  if (pixelStart >= size) return DibError::conversionError;
  const size_t available = size - pixelStart;
  layout->pixels = data + pixelStart;

  if (runLength) {
    // A stated size of the compressed data bounds the stream; one larger than the file is a lie.
    if (imageSize > available) return DibError::conversionError;
    layout->pixelBytes = imageSize ? imageSize : available;
  } else {
    // Every row is padded to 4 bytes; the last row needs only its own bytes, not its padding.
    const uint64_t rowBits = uint64_t(layout->width) * bpp;
    const uint64_t stride = (rowBits + 31) / 32 * 4;
    const uint64_t needed = stride * (layout->rows - 1) + (rowBits + 7) / 8;
    if (needed > available) return DibError::conversionError;
    layout->pixelBytes = size_t(needed);
  }
  return DibError::none;
}

// The colour table as R, G, B triples; indices at or past count are not in the file's table.
struct Palette {
  uint8_t rgb[256][3];
  uint32_t count;
};

void readPalette(const Layout& layout, Palette* palette) {
  palette->count = layout.info.colors < 256 ? layout.info.colors : 256;
  for (uint32_t i = 0; i < palette->count; ++i) {
    const uint8_t* entry = layout.table + size_t(i) * layout.entrySize;
    palette->rgb[i][0] = entry[2];
    palette->rgb[i][1] = entry[1];
    palette->rgb[i][2] = entry[0];
  }
}

// Uncompressed and bit-field rows; false when every pixel's colour index lies past the table.
bool decodeRows(const Layout& layout, uint8_t* out) {
  const uint32_t width = layout.width;
  const uint32_t bpp = layout.info.bitsPerPixel;
  const size_t stride = (size_t(width) * bpp + 31) / 32 * 4;
  const bool topDown = layout.info.height < 0;
  Palette palette;
  palette.count = 0;
  if (bpp <= 8) readPalette(layout, &palette);
  const uint32_t perByte = bpp <= 8 ? 8 / bpp : 1;
  const uint32_t indexMask = (1u << (bpp <= 8 ? bpp : 1)) - 1;
  bool converted = bpp > 8;

  for (uint32_t row = 0; row < layout.rows; ++row) {
    // Top-down rows are flipped so that the first output row is the bottom row.
    const uint8_t* src = layout.pixels + stride * (topDown ? layout.rows - 1 - row : row);
    uint8_t* dst = out + size_t(row) * width * 3;
    switch (bpp) {
      case 1:
      case 4:
      case 8:
        for (uint32_t x = 0; x < width; ++x, dst += 3) {
          // The leftmost pixel sits in the byte's high bits.
          const uint32_t shift = bpp * (perByte - 1 - x % perByte);
          const uint32_t index = uint32_t(src[x / perByte]) >> shift & indexMask;
          if (index >= palette.count) {
            dst[0] = dst[1] = dst[2] = 0;
            continue;
          }
          converted = true;
          dst[0] = palette.rgb[index][0];
          dst[1] = palette.rgb[index][1];
          dst[2] = palette.rgb[index][2];
        }
        break;
      case 16:
        for (uint32_t x = 0; x < width; ++x, dst += 3, src += 2) {
          const uint32_t pixel = readU16(src);
          dst[0] = channelValue(layout.channels[0], pixel);
          dst[1] = channelValue(layout.channels[1], pixel);
          dst[2] = channelValue(layout.channels[2], pixel);
        }
        break;
      case 24:
        for (uint32_t x = 0; x < width; ++x, dst += 3, src += 3) {
          dst[0] = src[2];
          dst[1] = src[1];
          dst[2] = src[0];
        }
        break;
      case 32:
        if (layout.info.compression == compressionRgb) {
          for (uint32_t x = 0; x < width; ++x, dst += 3, src += 4) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
          }
        } else {
          for (uint32_t x = 0; x < width; ++x, dst += 3, src += 4) {
            const uint32_t pixel = readU32(src);
            dst[0] = channelValue(layout.channels[0], pixel);
            dst[1] = channelValue(layout.channels[1], pixel);
            dst[2] = channelValue(layout.channels[2], pixel);
          }
        }
        break;
    }
  }
  return converted;
}

// Run-length rows into a zeroed picture. Runs never wrap to the next row; anything that would write outside
// the picture fails the whole picture. A colour past the table leaves its pixel black; a stream that ends
// early leaves the rest black, and fails only when nothing before had a colour.
bool decodeRunLength(const Layout& layout, uint8_t* out) {
  const bool rle4 = layout.info.compression == compressionRle4;
  const uint32_t width = layout.width;
  const uint32_t rows = layout.rows;
  Palette palette;
  readPalette(layout, &palette);
  const uint8_t* p = layout.pixels;
  const uint8_t* const end = layout.pixels + layout.pixelBytes;
  uint32_t x = 0;
  uint32_t y = 0;  // rows count from the bottom, as in the output

  bool converted = false;  // a pixel has had a colour from the table
  bool lost = false;       // a pixel's colour lay past the table
  auto put = [&](uint32_t index) {
    uint8_t* dst = out + (size_t(y) * width + x) * 3;
    ++x;
    if (index >= palette.count) {
      lost = true;
      return;
    }
    converted = true;
    dst[0] = palette.rgb[index][0];
    dst[1] = palette.rgb[index][1];
    dst[2] = palette.rgb[index][2];
  };

  for (;;) {
    if (end - p < 2) {
      // A stream may stop without its end-of-bitmap mark once every row is there; earlier it is cut short.
      return ((y == rows || (y + 1 == rows && x == width)) && !lost) || converted;
    }
    const uint32_t count = p[0];
    const uint32_t value = p[1];
    p += 2;
    if (count > 0) {
      // An encoded run: one index repeated, or for RLE4 two indices alternating.
      if (y >= rows || count > width - x) return false;
      for (uint32_t i = 0; i < count; ++i) put(rle4 ? (i & 1 ? value & 15 : value >> 4) : value);
    } else if (value == 0) {  // end of line
      if (y >= rows) return false;
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      return !lost || converted;
    } else if (value == 2) {  // delta: move right and up
      if (end - p < 2) return converted;  // the stream ends early
      const uint32_t dx = p[0];
      const uint32_t dy = p[1];
      p += 2;
      if (y >= rows || dx > width - x || dy >= rows - y) return false;
      x += dx;
      y += dy;
    } else {
      // An absolute run of value literal indices, its bytes padded to a 16-bit boundary.
      const uint32_t bytes = rle4 ? (value + 1) / 2 : value;
      if (y >= rows || value > width - x) return false;
      // A stream that ends inside the run still has the pixels whose bytes are there.
      const bool cut = size_t(end - p) < bytes;
      const uint32_t there = cut ? uint32_t(end - p) * (rle4 ? 2 : 1) : value;
      for (uint32_t i = 0; i < there; ++i) put(rle4 ? (i & 1 ? p[i / 2] & 15 : p[i / 2] >> 4) : p[i]);
      if (cut) return converted;
      const size_t padded = bytes + (bytes & 1);
      p += padded < size_t(end - p) ? padded : size_t(end - p);
    }
  }
}

}  // namespace

uint16_t dibColorCount(const uint8_t* header, size_t size) {
  if (!header || size < 4) return 0;
  uint32_t bpp;
  if (readU32(header) == coreHeaderSize) {
    if (size < 12) return 0;
    bpp = readU16(header + 10);
  } else {
    if (size < 36) return 0;
    const uint32_t used = readU32(header + 32);
    if (used != 0) return uint16_t(used & 0xFFFF);
    bpp = readU16(header + 14);
  }
  switch (bpp) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

DibError readDibInfo(const uint8_t* data, size_t size, DibInfo* info) {
  Layout layout;
  const DibError error = parseLayout(data, size, &layout);
  if (error == DibError::none) *info = layout.info;
  return error;
}

DibError decodeDib(const uint8_t* data, size_t size, DibImage* image) {
  image->width = 0;
  image->height = 0;
  image->pixels = nullptr;
  Layout layout;
  const DibError error = parseLayout(data, size, &layout);
  if (error != DibError::none) return error;

  // At most 16384 x 16384 x 3 bytes, which fits a 32-bit size_t.
  const size_t bytes = size_t(layout.width) * layout.rows * 3;
  const bool runLength = layout.info.compression == compressionRle8 || layout.info.compression == compressionRle4;
  uint8_t* pixels = static_cast<uint8_t*>(runLength ? std::calloc(bytes, 1) : std::malloc(bytes));
  if (!pixels) return DibError::outOfMemory;
  const bool decoded = runLength ? decodeRunLength(layout, pixels) : decodeRows(layout, pixels);
  if (!decoded) {
    std::free(pixels);
    return DibError::conversionError;
  }
  image->width = int32_t(layout.width);
  image->height = int32_t(layout.rows);
  image->pixels = pixels;
  return DibError::none;
}

void freeDibPixels(DibImage* image) {
  if (!image) return;
  std::free(image->pixels);
  image->pixels = nullptr;
}

const char* dibErrorText(DibError error) {
  switch (error) {
    case DibError::outOfMemory: return "Out of memory.";
    case DibError::unknownFormat: return "Unknown DIB file format.";
    case DibError::conversionError: return "Image file conversion error.";
    case DibError::none:
    case DibError::openFailed: break;
  }
  return "";
}

char* dibOpenErrorText(const char* path) {
  static const char format[] = "Failed to open DIB file %s.\n";
  if (!path) path = "";
  // Like every text the program formats, at most 255 bytes: a long path loses its end.
  const size_t length = std::min<size_t>(std::strlen(path) + sizeof format, 256);
  char* text = static_cast<char*>(std::malloc(length));
  if (text) std::snprintf(text, length, format, path);
  return text;
}
