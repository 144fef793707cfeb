// gap-scan: the dropouts in a recording of the demo's sound, as runs of digital silence inside the music,
// and how long the sound lasted. Used by bench/dropouts and the PulseAudio output's test.
// Usage: gap-scan RECORDING.raw MUSIC_FRAMES   (16-bit stereo at 44100 Hz)
// The music has no silent sample before its last second, so any run of zeros of 2 ms or more between the
// recording's first sound and the music's last second is a buffer the output was not fed in time.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: gap-scan RECORDING.raw MUSIC_FRAMES\n");
    return 2;
  }
  std::FILE* in = std::fopen(argv[1], "rb");
  if (!in) {
    std::perror(argv[1]);
    return 1;
  }
  std::vector<int16_t> samples;
  int16_t buffer[8192];
  for (size_t n; (n = std::fread(buffer, sizeof buffer[0], 8192, in)) > 0;) samples.insert(samples.end(), buffer, buffer + n);
  std::fclose(in);
  const uint64_t frames = samples.size() / 2, music = std::strtoull(argv[2], nullptr, 10);
  auto silent = [&](uint64_t f) { return samples[f * 2] == 0 && samples[f * 2 + 1] == 0; };
  uint64_t first = 0;
  while (first < frames && silent(first)) ++first;
  if (first == frames) {
    std::printf("no sound recorded\n");
    return 1;
  }
  uint64_t last = frames - 1;
  while (silent(last)) --last;
  const uint64_t end = std::min<uint64_t>(first + (music > 44100 ? music - 44100 : music), frames);
  int gaps = 0;
  double total = 0, longest = 0;
  for (uint64_t f = first; f < end;) {
    if (!silent(f)) {
      ++f;
      continue;
    }
    uint64_t run = f;
    while (run < end && silent(run)) ++run;
    const double ms = (run - f) * 1000.0 / 44100.0;
    if (ms >= 2.0) {
      ++gaps;
      total += ms;
      longest = ms > longest ? ms : longest;
      std::printf("gap at %.3f s of the music: %.1f ms\n", (f - first) / 44100.0, ms);
    }
    f = run;
  }
  std::printf("gaps of 2 ms or more: %d, %.1f ms in all, longest %.1f ms\n", gaps, total, longest);
  std::printf("sound from %.3f s to %.3f s of the recording: %.3f s (music %.3f s)\n", first / 44100.0,
              (last + 1) / 44100.0, (last + 1 - first) / 44100.0, music / 44100.0);
  return gaps == 0 ? 0 : 3;
}
