// Decoding speed of the bitmap decoder in MB/s of file bytes: a large 24-bit picture and a large RLE8 one.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "gfx/dib.h"

namespace {

constexpr int32_t side = 2048;

void put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// A file header and a 40-byte info header for a side x side picture, colour table to follow.
std::vector<uint8_t> headers(uint16_t bpp, uint32_t compression, uint32_t colors, uint32_t imageSize) {
  std::vector<uint8_t> b = {'B', 'M'};
  put32(b, 0), put32(b, 0), put32(b, 14 + 40 + 4 * colors);
  put32(b, 40), put32(b, side), put32(b, side);
  b.push_back(1), b.push_back(0), b.push_back(uint8_t(bpp)), b.push_back(0);
  put32(b, compression), put32(b, imageSize), put32(b, 0), put32(b, 0), put32(b, colors), put32(b, 0);
  for (uint32_t i = 0; i < colors; ++i) put32(b, i * 0x010203u);
  return b;
}

std::vector<uint8_t> trueColourFile() {
  std::vector<uint8_t> b = headers(24, 0, 0, 0);
  uint32_t seed = 1;
  for (size_t i = 0; i < size_t(side) * side * 3; ++i) {
    seed = seed * 1664525u + 1013904223u;
    b.push_back(uint8_t(seed >> 24));
  }
  return b;
}

// Rows of short encoded runs broken by absolute runs, as a paint program writes a detailed picture.
std::vector<uint8_t> runLengthFile() {
  std::vector<uint8_t> stream;
  for (int32_t y = 0; y < side; ++y) {
    for (int32_t x = 0; x < side;) {
      if ((x / 16) % 2 == 0) {
        stream.insert(stream.end(), {8, uint8_t(x + y)});
        x += 8;
      } else {
        stream.insert(stream.end(), {0, 8});
        for (int i = 0; i < 8; ++i) stream.push_back(uint8_t(x * 7 + y + i));
        x += 8;
      }
    }
    stream.insert(stream.end(), {0, 0});
  }
  stream.insert(stream.end(), {0, 1});
  std::vector<uint8_t> b = headers(8, 1, 256, uint32_t(stream.size()));
  b.insert(b.end(), stream.begin(), stream.end());
  return b;
}

void decodeFile(benchmark::State& state, const std::vector<uint8_t>& file) {
  for (auto _ : state) {
    DibImage image;
    if (decodeDib(file.data(), file.size(), &image) != DibError::none) {
      state.SkipWithError("decode failed");
      break;
    }
    benchmark::DoNotOptimize(image.pixels);
    freeDibPixels(&image);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
  state.counters["output_MB/s"] = benchmark::Counter(double(side) * side * 3 * double(state.iterations()) / 1e6,
                                                    benchmark::Counter::kIsRate);
}

void BM_Decode24Bit(benchmark::State& state) {
  static const std::vector<uint8_t> file = trueColourFile();
  decodeFile(state, file);
}

void BM_DecodeRle8(benchmark::State& state) {
  static const std::vector<uint8_t> file = runLengthFile();
  decodeFile(state, file);
}

}  // namespace

BENCHMARK(BM_Decode24Bit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRle8)->Unit(benchmark::kMillisecond);
