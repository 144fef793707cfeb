// Decodes an MP3 through this platform's decoder (libmpg123, or ACM in the Windows build) with its lead and
// padding cut, as raw 16-bit frames; natively it also measures the lag between two such decodings.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/mp3_decoder.h"

namespace {

std::vector<int16_t> readRaw(const char* path) {
  std::vector<int16_t> samples;
  if (FILE* f = std::fopen(path, "rb")) {
    int16_t buffer[4096];
    for (size_t n; (n = std::fread(buffer, 2, 4096, f)) > 0;) samples.insert(samples.end(), buffer, buffer + n);
    std::fclose(f);
  }
  return samples;
}

// The lag of b against a, in frames within +-limit, where the first channel of a 4-second stretch from the
// middle agrees best (normalised correlation), and that correlation.
int bestLag(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int channels, int limit, double* best) {
  const long frames = long(std::min(a.size(), b.size()) / channels), span = 4 * 44100, from = frames / 2 - span / 2;
  int lag = 0;
  *best = -2;
  for (int l = -limit; l <= limit; ++l) {
    double ab = 0, aa = 0, bb = 0;
    for (long i = from; i < from + span; ++i) {
      const double x = a[size_t(i * channels)], y = b[size_t((i + l) * channels)];
      ab += x * y, aa += x * x, bb += y * y;
    }
    const double r = ab / std::sqrt(aa * bb + 1e-9);
    if (r > *best) *best = r, lag = l;
  }
  return lag;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--compare") == 0) {  // --compare A.raw B.raw CHANNELS
    const std::vector<int16_t> a = readRaw(argv[2]), b = readRaw(argv[3]);
    const int channels = std::atoi(argv[4]);
    double r = 0;
    const int lag = a.size() > 44100u * 8 * channels && b.size() > 44100u * 8 * channels
                        ? bestLag(a, b, channels, 2000, &r) : 99999;
    std::printf("frames %zu %zu lag %d correlation %.4f\n", a.size() / channels, b.size() / channels, lag, r);
    return 0;
  }
  if (argc != 3) return std::fprintf(stderr, "usage: decode-track IN.mp3 OUT.raw | --compare A B CHANNELS\n"), 2;
  FILE* in = std::fopen(argv[1], "rb");
  FILE* out = std::fopen(argv[2], "wb");
  Mp3Decoder* decoder = mp3Open();
  if (!in || !out || !decoder) return std::fprintf(stderr, "decode-track: cannot open\n"), 1;
  std::vector<int16_t> pcm;
  static int16_t block[4096 * 2];
  static uint8_t bytes[16384];
  for (;;) {
    uint32_t frames = 0;
    const Mp3Result result = mp3Read(decoder, block, 4096, &frames);
    if (result == Mp3Result::needMore) {
      const size_t n = std::fread(bytes, 1, sizeof bytes, in);
      mp3Feed(decoder, n > 0 ? bytes : nullptr, n);
      continue;
    }
    if (result != Mp3Result::frames) {
      if (result == Mp3Result::failed) return std::fprintf(stderr, "decode-track: the MP3 cannot be decoded\n"), 1;
      break;
    }
    int rate = 0, channels = 0;
    if (mp3Format(decoder, &rate, &channels)) pcm.insert(pcm.end(), block, block + frames * channels);
  }
  int rate = 0, channels = 0;
  uint32_t lead = 0, padding = 0;
  mp3Format(decoder, &rate, &channels);
  mp3Trim(decoder, &lead, &padding);
  const size_t total = pcm.size() / channels, keep = total > lead + padding ? total - lead - padding : 0;
  std::fwrite(pcm.data() + size_t(lead) * channels, 2, keep * channels, out);
  std::printf("rate %d channels %d frames %zu lead %u padding %u\n", rate, channels, keep, lead, padding);
  std::fclose(out);
  std::fclose(in);
  mp3Close(decoder);
  return 0;
}
