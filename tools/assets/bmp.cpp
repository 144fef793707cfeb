// Bitmap file layout, median-cut palettes and the RLE8 run coder.
#include "bmp.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace bmp {

namespace {

uint32_t pack(const Rgb& c) { return (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b; }
Rgb unpack(uint32_t v) { return Rgb{static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; }

struct Entry {
  uint32_t colour;
  uint64_t count;
};

int channel(uint32_t colour, int c) { return static_cast<int>((colour >> (16 - 8 * c)) & 0xFF); }

// One box of median cut: a range of the entry list.
struct Box {
  size_t begin, end;
  int widest = 0, span = 0;
  void measure(const std::vector<Entry>& e) {
    span = -1;
    for (int c = 0; c < 3; ++c) {
      int lo = 255, hi = 0;
      for (size_t i = begin; i < end; ++i) {
        lo = std::min(lo, channel(e[i].colour, c));
        hi = std::max(hi, channel(e[i].colour, c));
      }
      if (hi - lo > span) {
        span = hi - lo;
        widest = c;
      }
    }
  }
};

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

}  // namespace

Indexed quantize(const Picture& picture) {
  std::map<uint32_t, uint64_t> histogram;
  for (const Rgb& p : picture.pixels) ++histogram[pack(p)];
  std::vector<Entry> entries;
  for (auto [colour, count] : histogram) entries.push_back({colour, count});

  std::vector<uint32_t> palette;
  if (entries.size() <= 256) {
    for (const Entry& e : entries) palette.push_back(e.colour);
  } else {
    std::vector<Box> boxes{{0, entries.size()}};
    boxes[0].measure(entries);
    while (boxes.size() < 256) {
      // Split the box with the widest channel range (the first one on ties) at its pixel-weighted median.
      size_t pick = 0;
      for (size_t b = 1; b < boxes.size(); ++b)
        if (boxes[b].span > boxes[pick].span) pick = b;
      Box box = boxes[pick];
      if (box.span == 0) break;
      const int c = box.widest;
      std::sort(entries.begin() + static_cast<std::ptrdiff_t>(box.begin), entries.begin() + static_cast<std::ptrdiff_t>(box.end),
                [c](const Entry& a, const Entry& b) {
                  const int ca = channel(a.colour, c), cb = channel(b.colour, c);
                  return ca != cb ? ca < cb : a.colour < b.colour;
                });
      uint64_t total = 0;
      for (size_t i = box.begin; i < box.end; ++i) total += entries[i].count;
      uint64_t acc = 0;
      size_t cut = box.begin;
      while (cut < box.end - 1 && (acc + entries[cut].count) * 2 <= total) acc += entries[cut++].count;
      if (cut == box.begin) cut = box.begin + 1;
      Box lower{box.begin, cut}, upper{cut, box.end};
      lower.measure(entries);
      upper.measure(entries);
      boxes[pick] = lower;
      boxes.insert(boxes.begin() + static_cast<std::ptrdiff_t>(pick) + 1, upper);
    }
    for (const Box& box : boxes) {
      uint64_t sum[3] = {0, 0, 0}, total = 0;
      for (size_t i = box.begin; i < box.end; ++i) {
        for (int c = 0; c < 3; ++c) sum[c] += static_cast<uint64_t>(channel(entries[i].colour, c)) * entries[i].count;
        total += entries[i].count;
      }
      uint32_t colour = 0;
      for (int c = 0; c < 3; ++c) colour = (colour << 8) | static_cast<uint32_t>((sum[c] + total / 2) / total);
      palette.push_back(colour);
    }
  }

  // Nearest palette entry per distinct colour (the lowest index on ties).
  std::map<uint32_t, uint8_t> lookup;
  for (auto [colour, count] : histogram) {
    size_t best = 0;
    int bestDistance = 1 << 30;
    for (size_t i = 0; i < palette.size(); ++i) {
      int d = 0;
      for (int c = 0; c < 3; ++c) {
        const int diff = channel(colour, c) - channel(palette[i], c);
        d += diff * diff;
      }
      if (d < bestDistance) {
        bestDistance = d;
        best = i;
      }
    }
    lookup[colour] = static_cast<uint8_t>(best);
  }
  Indexed out{picture.width, picture.height, {}, {}};
  for (uint32_t colour : palette) out.palette.push_back(unpack(colour));
  out.indices.reserve(picture.pixels.size());
  for (const Rgb& p : picture.pixels) out.indices.push_back(lookup[pack(p)]);
  return out;
}

Picture expand(const Indexed& indexed) {
  Picture p{indexed.width, indexed.height, {}};
  p.pixels.reserve(indexed.indices.size());
  for (uint8_t i : indexed.indices) p.pixels.push_back(indexed.palette[i]);
  return p;
}

std::vector<uint8_t> rle8(const Indexed& indexed) {
  std::vector<uint8_t> out;
  const int w = indexed.width;
  for (int y = indexed.height - 1; y >= 0; --y) {
    const uint8_t* row = indexed.indices.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
    int i = 0;
    while (i < w) {
      int run = 1;
      while (i + run < w && run < 255 && row[i + run] == row[i]) ++run;
      if (run >= 2) {
        out.push_back(static_cast<uint8_t>(run));
        out.push_back(row[i]);
        i += run;
        continue;
      }
      // Literal stretch up to the next run of three, at most 255 long; absolute mode needs three or more.
      int j = i;
      while (j < w && j - i < 255 && !(j + 2 < w && row[j] == row[j + 1] && row[j] == row[j + 2])) ++j;
      const int length = j - i;
      if (length >= 3) {
        out.push_back(0);
        out.push_back(static_cast<uint8_t>(length));
        out.insert(out.end(), row + i, row + j);
        if (length % 2) out.push_back(0);  // keep the stream 16-bit aligned
      } else {
        for (int k = i; k < j; ++k) {
          out.push_back(1);
          out.push_back(row[k]);
        }
      }
      i = j;
    }
    out.push_back(0);
    out.push_back(y == 0 ? 1 : 0);  // end of line, and end of bitmap after the top row
  }
  return out;
}

std::vector<uint8_t> encode(const Picture& picture, Encoding encoding, Picture* stored) {
  if (picture.width <= 0 || picture.height <= 0 || picture.width % 4 != 0)
    throw std::invalid_argument("bitmap width must be a positive multiple of 4");
  const bool core = encoding == Encoding::core8 || encoding == Encoding::core24;
  const bool direct = encoding == Encoding::rgb24 || encoding == Encoding::core24;
  if (core && (picture.width > 0xFFFF || picture.height > 0xFFFF)) throw std::invalid_argument("too large for a core header");

  std::vector<uint8_t> table, data;
  uint32_t colours = 0;
  if (direct) {
    for (int y = picture.height - 1; y >= 0; --y) {
      for (int x = 0; x < picture.width; ++x) {
        const Rgb& p = picture.at(x, y);
        data.insert(data.end(), {p.b, p.g, p.r});
      }
      while (data.size() % 4) data.push_back(0);
    }
    if (stored) *stored = picture;
  } else {
    const Indexed indexed = quantize(picture);
    colours = static_cast<uint32_t>(indexed.palette.size());
    const size_t entries = core ? 256 : indexed.palette.size();  // a core header has no count: the table is full
    for (size_t i = 0; i < entries; ++i) {
      const Rgb c = i < indexed.palette.size() ? indexed.palette[i] : Rgb{0, 0, 0};
      table.insert(table.end(), {c.b, c.g, c.r});
      if (!core) table.push_back(0);
    }
    if (encoding == Encoding::rle8) {
      data = rle8(indexed);
    } else {
      for (int y = picture.height - 1; y >= 0; --y) {
        const auto row = indexed.indices.begin() + static_cast<std::ptrdiff_t>(y) * picture.width;
        data.insert(data.end(), row, row + picture.width);  // widths are multiples of 4: rows need no padding
      }
    }
    if (stored) *stored = expand(indexed);
  }

  const uint32_t headerSize = core ? 12 : 40;
  const uint32_t offset = 14 + headerSize + static_cast<uint32_t>(table.size());
  std::vector<uint8_t> out = {'B', 'M'};
  put32(out, offset + static_cast<uint32_t>(data.size()));
  put32(out, 0);  // reserved
  put32(out, offset);
  put32(out, headerSize);
  const uint32_t bits = direct ? 24 : 8;
  if (core) {
    put16(out, static_cast<uint32_t>(picture.width));
    put16(out, static_cast<uint32_t>(picture.height));
    put16(out, 1);
    put16(out, bits);
  } else {
    put32(out, static_cast<uint32_t>(picture.width));
    put32(out, static_cast<uint32_t>(picture.height));
    put16(out, 1);
    put16(out, bits);
    put32(out, encoding == Encoding::rle8 ? 1 : 0);
    put32(out, static_cast<uint32_t>(data.size()));
    put32(out, 2835);  // 72 dots per inch
    put32(out, 2835);
    put32(out, colours == 256 ? 0 : colours);
    put32(out, 0);
  }
  out.insert(out.end(), table.begin(), table.end());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

}  // namespace bmp
