// Seeking and pausing in the sound core: what soundSeek and a pause and resume cost on the real output, and, with
// --monitor, whether the heard position after each is the music a PulseAudio sink really plays then.
//
// Plays a music file (by default the default track beside the build, demo.mp3) on the output the program would
// use, seeks to targets spread over its whole length and to some at random, and times each call; then pauses
// and resumes at a few places and times those. Prints the median and the worst, and checks that the heard
// position is the target at once after each seek and holds while paused.
//
// With --monitor SINK (a sink the output plays into, for example a PulseAudio null sink), the sink's monitor is
// recorded beside the run, each read stamped with the clock and the recording's latency, and the heard position
// is sampled after each seek and each resume. Afterwards each sample's stretch of the recording is found in the
// file's own decoding: the music frame really played at that moment. Their difference, the position's error,
// is printed by its median and its worst, against the recording's own uncertainty.
//
// --targets N seeks to N + 1 places spread over the length and N at random (20 by default).
//
//   bench_seek [--targets N] [--monitor SINK] [file]
#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "music/sound.h"
#include "sink_monitor.h"
#include "platform/mp3_decoder.h"

namespace {

constexpr int rate = 44100;

double milliseconds(double from) { return (steadySeconds() - from) * 1e3; }

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The file's music as the platform's decoder gives it, lead and padding cut: the left channel.
std::vector<int16_t> decodeLeft(const char* path) {
  std::vector<int16_t> all;
  FILE* in = std::fopen(path, "rb");
  Mp3Decoder* decoder = mp3Open();
  if (!in || !decoder) return all;
  static int16_t block[4096 * 2];
  static uint8_t bytes[16384];
  int channels = 2, fileRate = 0;
  for (;;) {
    uint32_t frames = 0;
    const Mp3Result result = mp3Read(decoder, block, 4096, &frames);
    if (result == Mp3Result::needMore) {
      const size_t n = std::fread(bytes, 1, sizeof bytes, in);
      mp3Feed(decoder, n > 0 ? bytes : nullptr, n);
      continue;
    }
    if (result != Mp3Result::frames) break;
    if (mp3Format(decoder, &fileRate, &channels))
      for (uint32_t i = 0; i < frames; ++i) all.push_back(block[i * channels]);
  }
  uint32_t lead = 0, padding = 0;
  mp3Trim(decoder, &lead, &padding);
  mp3Close(decoder);
  std::fclose(in);
  if (fileRate != rate) return {};
  all.erase(all.begin(), all.begin() + std::min<size_t>(lead, all.size()));
  all.resize(all.size() > padding ? all.size() - padding : 0);
  return all;
}

// Where the recording's 2048 frames from `at` lie in the music, searched within 200 ms of `near`: the offset of
// the best normalised correlation, or -1 when the recording holds silence there or nothing fits.
int64_t locate(const std::vector<int16_t>& recorded, size_t at, const std::vector<int16_t>& music, int64_t near) {
  constexpr int64_t span = 2048, reach = rate / 5;
  if ((at + span) * 2 > recorded.size()) return -1;
  double self = 0;
  for (int64_t i = 0; i < span; ++i) self += double(recorded[(at + i) * 2]) * recorded[(at + i) * 2];
  if (self < span * 100.0) return -1;
  double best = 0.9;
  int64_t found = -1;
  for (int64_t m = std::max<int64_t>(near - reach, 0); m <= near + reach && m + span <= int64_t(music.size()); ++m) {
    double ab = 0, bb = 0;
    for (int64_t i = 0; i < span; ++i) {
      ab += double(recorded[(at + i) * 2]) * music[size_t(m + i)];
      bb += double(music[size_t(m + i)]) * music[size_t(m + i)];
    }
    const double r = ab / std::sqrt(self * bb + 1e-9);
    if (r > best) best = r, found = m;
  }
  return found;
}

struct Sample {
  int kind;                     // 0: playing on, 1: after a seek, 2: after a resume
  double at;                    // steady clock, seconds
  unsigned long long position;  // soundPosition then
};

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  std::string file = std::string(VOSTREL_BUILD) + "/demo.mp3", sink;
  int spread = 20;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--monitor") == 0 && i + 1 < argc) sink = argv[++i];
    else if (std::strcmp(argv[i], "--targets") == 0 && i + 1 < argc) spread = std::max(1, std::atoi(argv[++i]));
    else file = argv[i];
  }
  Monitor monitor;
  if (!sink.empty() && !monitor.start(sink)) return 1;
  if (!soundInit(rate)) return 1;
  soundSetBufferSize(1000);  // as the program sets it
  SoundStream* stream = soundOpenFile(file.c_str());
  if (!stream) return 1;
  std::vector<Sample> samples;
  soundPlay(stream);
  sleepMs(300);
  const unsigned long long length = soundLength(stream);

  // Targets over the whole length, then some at random, each followed by a little playing.
  std::vector<unsigned long long> targets;
  for (int k = 0; k <= spread; ++k) targets.push_back(length * k / spread);
  std::mt19937_64 random(7);
  for (int k = 0; k < spread; ++k) targets.push_back(random() % length);
  std::vector<double> seekMs, atOnceMs;
  int before = 0;
  double worstMs = 0;
  unsigned long long worstAt = 0;
  for (const unsigned long long target : targets) {
    const double start = steadySeconds();
    soundSeek(stream, target);
    seekMs.push_back(milliseconds(start));
    // Where the output already plays, the position may have moved on a little by now; it is never before.
    const double off = (double(soundPosition(stream)) - double(target)) * 1e3 / rate;
    before += off < 0;
    atOnceMs.push_back(off);
    if (seekMs.back() > worstMs) worstMs = seekMs.back(), worstAt = target;
    for (int i = 0; i < (sink.empty() ? 2 : 8); ++i, sleepMs(50)) samples.push_back({1, steadySeconds(), soundPosition(stream)});
  }

  // Pauses of 300 ms here and there: the position holds, and goes on from there.
  std::vector<double> pauseMs, resumeMs;
  int moved = 0;
  for (int k = 1; k <= 5; ++k) {
    soundSeek(stream, length * k / 6);
    sleepMs(400);
    double start = steadySeconds();
    soundPause(stream, true);
    pauseMs.push_back(milliseconds(start));
    const unsigned long long held = soundPosition(stream);
    sleepMs(300);
    moved += soundPosition(stream) != held;
    start = steadySeconds();
    soundPause(stream, false);
    resumeMs.push_back(milliseconds(start));
    for (int i = 0; i < 8; ++i, sleepMs(50)) samples.push_back({2, steadySeconds(), soundPosition(stream)});
  }
  // A stretch played on, a second after the last seek: the position's error apart from seeking.
  soundSeek(stream, length / 2);
  sleepMs(1000);
  for (int i = 0; i < 30; ++i, sleepMs(100)) samples.push_back({0, steadySeconds(), soundPosition(stream)});
  soundCloseStream(stream);
  soundClose();

  std::printf("%s: %.1f s; soundSeek to %zu targets: median %.1f ms, worst %.1f ms (to %.1f s); the position "
              "right after it: %+.1f to %+.1f ms from the target (%d before it)\n",
              file.c_str(), double(length) / rate, targets.size(), percentile(seekMs, 0.5), worstMs,
              double(worstAt) / rate, percentile(atOnceMs, 0), percentile(atOnceMs, 1), before);
  std::printf("pause: median %.1f ms, worst %.1f ms; resume: median %.1f ms, worst %.1f ms; position moved while "
              "paused: %d of %zu\n",
              percentile(pauseMs, 0.5), percentile(pauseMs, 1), percentile(resumeMs, 0.5), percentile(resumeMs, 1),
              moved, pauseMs.size());
  if (sink.empty()) return before || moved ? 1 : 0;

  monitor.finish();
  const std::vector<int16_t> music = decodeLeft(file.c_str());
  if (music.empty()) return std::fprintf(stderr, "cannot decode %s at %d Hz for the comparison\n", file.c_str(), rate), 1;
  std::printf("the heard position against the sink's monitor (the recording's own uncertainty %.1f ms):\n",
              monitor.rangeMs);
  // Playing on: 1 to 4 s after a seek. After a seek or a resume: in the 400 ms after it.
  const char* kinds[] = {"playing on", "after a seek", "after a resume"};
  for (int kind = 0; kind < 3; ++kind) {
    std::vector<double> errorMs, size;
    int unfound = 0;
    for (const Sample& s : samples) {
      if (s.kind != kind) continue;
      const double into = (s.at - monitor.firstPlayed) * rate;
      const int64_t found = into < 0 ? -1 : locate(monitor.frames, size_t(into), music, int64_t(s.position));
      if (found < 0) {
        ++unfound;
        continue;
      }
      errorMs.push_back((double(s.position) - double(found)) * 1e3 / rate);
      size.push_back(std::fabs(errorMs.back()));
    }
    std::printf("  %s: %zu samples (%d silent or not found), error median %+.1f ms, middle 80 %% %+.1f to %+.1f ms, "
                "worst %.1f ms\n", kinds[kind], errorMs.size(), unfound, percentile(errorMs, 0.5),
                percentile(errorMs, 0.1), percentile(errorMs, 0.9), percentile(size, 1));
  }
  return before || moved ? 1 : 0;
}
