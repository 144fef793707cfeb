// Windows bitmap writers for the encodings the demo's loader reads: 24-bit, 8-bit palette, RLE8, and 12-byte core headers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace bmp {

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

// A picture as people read it: rows from the top.
struct Picture {
  int width = 0, height = 0;
  std::vector<Rgb> pixels;
  Rgb& at(int x, int y) { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
  const Rgb& at(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

enum class Encoding {
  rgb24,        // 14-byte file header, 40-byte info header, 24 bits per pixel
  pal8,         // 40-byte info header, 8-bit indices, colours-used set to the palette size (0 when it is 256)
  rle8,         // 40-byte info header, run-length encoded 8-bit indices
  core8,        // 12-byte core header, 8-bit indices, 256 three-byte palette entries
  core24,       // 12-byte core header, 24 bits per pixel
};

// A palette of at most 256 colours and one index per pixel (rows from the top).
struct Indexed {
  int width = 0, height = 0;
  std::vector<Rgb> palette;
  std::vector<uint8_t> indices;
};

// Reduces a picture to at most 256 colours: exactly when it has that few, else by median cut; no dithering.
Indexed quantize(const Picture& picture);

// The pixels an indexed picture stands for.
Picture expand(const Indexed& indexed);

// The file bytes. For the palette encodings the picture is quantized first; *stored (if given) receives
// the exact pixels every correct decoder must return.
std::vector<uint8_t> encode(const Picture& picture, Encoding encoding, Picture* stored = nullptr);

// Run-length encoding of 8-bit rows (bottom row first), with end-of-line and end-of-bitmap codes.
std::vector<uint8_t> rle8(const Indexed& indexed);

}  // namespace bmp
