// Windows bitmap (DIB) files turned into packed bottom-up RGB pictures.
#pragma once
#include <cstddef>
#include <cstdint>

// A loaded picture: width x height pixels, R, G, B bytes, rows packed, first row the bottom row.
// height is always positive here: top-down files are flipped while decoding.
struct DibImage {
  int32_t width;
  int32_t height;
  uint8_t* pixels;
};

enum class DibError {
  none,
  openFailed,        // "Failed to open DIB file %s.\n"
  outOfMemory,       // "Out of memory."
  unknownFormat,     // "Unknown DIB file format."
  conversionError,   // "Image file conversion error."
};

// What the headers of a bitmap file say, for tools that describe a file.
struct DibInfo {
  bool fileHeader;        // the file starts with the 14-byte "BM" header
  uint32_t headerSize;    // 12 or 40
  int32_t width;
  int32_t height;         // negative for top-down rows
  uint16_t bitsPerPixel;
  uint32_t compression;   // 0 RGB, 1 RLE8, 2 RLE4, 3 bit fields
  uint32_t colors;        // colour-table entries
};

// Number of colour-table entries for the info header at header (size bytes readable from there).
uint16_t dibColorCount(const uint8_t* header, size_t size);

// Reads the headers of a bitmap held in memory; anything but none leaves *info unspecified.
DibError readDibInfo(const uint8_t* data, size_t size, DibInfo* info);

// Decodes a bitmap held in memory. On success *image owns a malloc'd pixel buffer (free with freeDibPixels);
// on failure *image is zeroed. Nothing outside data[0, size) is ever read.
DibError decodeDib(const uint8_t* data, size_t size, DibImage* image);
void freeDibPixels(DibImage* image);

// The user-facing text of an error other than openFailed (whose text names the file); "" for none and openFailed.
const char* dibErrorText(DibError error);
// The open-failure text naming path, "Failed to open DIB file <path>.\n", cut at 255 bytes, in a malloc'd
// string; null when out of memory.
char* dibOpenErrorText(const char* path);
