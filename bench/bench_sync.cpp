// Sync accuracy of the sound layer in real time: how late each marker's callback comes after its estimated play time.
//
// Plays an MP3 with a few hundred chapter markers on SDL's dummy output (or the output SDL_AUDIODRIVER names) and,
// in each sync callback, takes lateness = soundPosition() - the marker's frame. The dummy output takes a 4096-frame
// buffer every whole 92 ms rather than every 92.88 ms, so it plays about 1 % fast (printed as the output's speed);
// the output's position learns that rate from the pulls rather than stepping ahead 0.9 ms at each handover.
// Prints, per run and over all runs, the median, 90th and 99th
// percentiles and the worst, against one period of 512 frames; checks that every marker was called exactly once,
// in order, then the end once; and gives the process's CPU time as a share of the play time.
//
// With --monitor SINK (a PulseAudio sink the output plays into, for example a null sink), the sink's monitor is
// recorded beside the run and each read is stamped with the clock and the recording's own latency: that gives
// when each frame was really played. The truth lateness of a marker is then the time of its callback less the
// time its frame was played, and a negative one is a marker called out before it was heard.
//
// With --trace, each callback also reads how long the sync thread has waited on a run queue (its schedstat), and the
// markers later than one period are listed with the wait since the callback before: a lateness that matches it comes
// from the thread not being given a core in time, not from the layer's timing.
//
// With --first MS as well, each marker of the first MS milliseconds is listed with how long after its frame was played
// it was called, and the run fails if one came earlier than the recording's uncertainty allows (the spread of its
// clock, and an offset that makes the markers after the first second early as well): the start, when the output has
// queued sound that the server has not begun to play.
//
// With --stop-after S as well, the stream is closed S seconds in, and the time until the sink played its last
// sound is printed: the sound's share of the time from Escape to silence.
//
//   bench_sync [--runs N] [--trace] [--monitor SINK [--first MS] [--stop-after S]] [file]     (default: a generated 30 s track with 300 markers, some close together)
#include <pulse/error.h>
#include <pulse/simple.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "mp3.h"
#include "music/markers.h"
#include "sink_monitor.h"
#include "threads.h"
#include "music/sound.h"

namespace {

namespace fs = std::filesystem;

constexpr int rate = 44100;
constexpr int devicePeriod = 512;
constexpr double msPerFrame = 1000.0 / rate;

// A 30 s track: a chord with a little noise, and 300 chapters. Gaps cycle through close pairs (same millisecond,
// 1, 3, 7 and 12 ms apart: within or about one device period) and wider ones with jitter, so that markers fall at
// every phase of the output's buffers.
std::vector<uint8_t> syncTrack(size_t* markerCount) {
  constexpr size_t frames = 30 * rate;
  std::vector<float> left(frames), right(frames);
  uint32_t seed = 12345;
  for (size_t i = 0; i < frames; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const float t = float(i) / rate;
    const float noise = 0.02f * (float(seed >> 8) / float(1u << 24) - 0.5f);
    const float chord = 0.15f * std::sin(6.2831853f * 220.0f * t) + 0.1f * std::sin(6.2831853f * 277.2f * t) +
                        0.08f * std::sin(6.2831853f * 329.6f * t);
    left[i] = chord + noise;
    right[i] = 0.9f * chord - noise;
  }
  constexpr uint32_t gaps[] = {0, 1, 3, 7, 12, 25, 150, 200, 250, 300};
  std::vector<mp3::Chapter> chapters;
  uint32_t at = 0;
  for (int i = 0; i < 300; ++i) {
    seed = seed * 1664525u + 1013904223u;
    if (i > 0) {
      const uint32_t gap = gaps[i % 10];
      at += gap >= 150 ? gap - 20 + (seed >> 16) % 41 : gap;
    }
    char name[8];
    std::snprintf(name, sizeof name, "s%03d", i);
    chapters.push_back({at, at, name});
  }
  for (size_t i = 0; i + 1 < chapters.size(); ++i) chapters[i].endMs = chapters[i + 1].startMs;
  chapters.back().endMs = 30000;
  *markerCount = chapters.size();
  std::vector<uint8_t> file = mp3::id3Tag({{"TIT2", "sync accuracy"}}, chapters);
  const std::vector<uint8_t> audio = mp3::encode(left, right);
  file.insert(file.end(), audio.begin(), audio.end());
  return file;
}

struct Heard {
  char name[64];
  unsigned long long position;
  double calledAt;              // steady clock, seconds
  unsigned long long queuedNs;  // with --trace: the sync thread's total wait on a run queue so far
};

bool trace = false;

std::string monitorSink;
double stopAfterSeconds = 0;  // --stop-after: the stream is closed then, and the time to silence measured
double firstMs = 0;           // --first: the markers of this opening stretch are checked one by one

constexpr size_t maxHeard = 8192;
Heard heard[maxHeard];  // written only by the sync thread, read after the stream is closed
std::atomic<size_t> heardCount{0};
std::atomic<int> endCount{0};
std::atomic<unsigned long long> endPosition{0};
std::atomic<std::chrono::steady_clock::time_point> endTime{};
std::atomic<int> syncThreadId{0};

void onSync(SoundStream* stream, const char* name, void*) {
  const unsigned long long position = soundPosition(stream);
  syncThreadId.store(gettid(), std::memory_order_relaxed);
  const size_t i = heardCount.fetch_add(1, std::memory_order_relaxed);
  if (i < maxHeard) {
    std::snprintf(heard[i].name, sizeof heard[i].name, "%s", name);
    heard[i].position = position;
    heard[i].calledAt = steadySeconds();
    heard[i].queuedNs = 0;
    if (trace) {
      // /proc read with stdio, no allocation: only to explain late calls.
      if (FILE* f = std::fopen("/proc/thread-self/schedstat", "r")) {
        unsigned long long ran = 0;
        if (std::fscanf(f, "%llu %llu", &ran, &heard[i].queuedNs) != 2) heard[i].queuedNs = 0;
        std::fclose(f);
      }
    }
  }
}

void onEnd(SoundStream* stream, const char*, void*) {
  endPosition.store(soundPosition(stream));
  endTime.store(std::chrono::steady_clock::now());
  endCount.fetch_add(1, std::memory_order_release);
}

double clockSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}


double percentile(std::vector<double> sorted, double p) {
  if (sorted.empty()) return 0;
  const double at = p * double(sorted.size() - 1);
  const size_t lo = size_t(at);
  const size_t hi = std::min(lo + 1, sorted.size() - 1);
  return sorted[lo] + (sorted[hi] - sorted[lo]) * (at - double(lo));
}

void printStats(const char* label, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  const double period = devicePeriod * msPerFrame;
  const size_t over = size_t(std::count_if(ms.begin(), ms.end(), [&](double v) { return v > period; }));
  std::printf("%s lateness ms: n=%zu min=%.3f median=%.3f p90=%.3f p99=%.3f worst=%.3f  (one period %.3f ms; "
              "over it: %zu)  targets median<=2 worst<=period: %s\n",
              label, ms.size(), ms.empty() ? 0.0 : ms.front(), percentile(ms, 0.5), percentile(ms, 0.9),
              percentile(ms, 0.99), ms.empty() ? 0.0 : ms.back(), period, over,
              !ms.empty() && percentile(ms, 0.5) <= 2.0 && ms.back() <= period ? "met" : "MISSED");
}

// Against what the sink played: the spread both ways, as a marker may come early.
void printTruth(const char* label, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%s played-time lateness ms (negative: called before heard): n=%zu min=%.3f p1=%.3f median=%.3f "
              "p99=%.3f max=%.3f; within 20 ms either way: %zu\n",
              label, ms.size(), ms.front(), percentile(ms, 0.01), percentile(ms, 0.5), percentile(ms, 0.99),
              ms.back(), size_t(std::count_if(ms.begin(), ms.end(), [](double v) { return std::abs(v) <= 20.0; })));
}

struct RunResult {
  bool ok = false;
  std::vector<double> lateMs;
  std::vector<double> truthMs;  // with --monitor
};

RunResult playOnce(const std::string& path, const std::vector<Marker>& markers, int run) {
  RunResult result;
  heardCount.store(0);
  endCount.store(0);
  syncThreadId.store(0);
  Monitor monitor;
  if (!monitorSink.empty() && !monitor.start(monitorSink)) return result;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the recording under way before the music
  const std::set<int> ours = liveThreads();
  if (!soundInit(rate)) {
    return result;
  }
  const std::set<int> afterInit = liveThreads();
  soundSetBufferSize(1000);  // as the program does
  SoundStream* stream = soundOpenFile(path.c_str());
  if (!stream) {
    soundClose();
    return result;
  }
  soundSetSyncCallback(stream, onSync, nullptr);
  soundSetEndCallback(stream, onEnd, nullptr);
  const double cpu0 = clockSeconds(CLOCK_PROCESS_CPUTIME_ID), main0 = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
  const auto wall0 = std::chrono::steady_clock::now();
  const double wallStart = steadySeconds();
  soundPlay(stream);
  const uint64_t lastFrame = markers.empty() ? 0 : markers.back().sample;
  const auto deadline = stopAfterSeconds > 0
                            ? wall0 + std::chrono::milliseconds(int64_t(stopAfterSeconds * 1000))
                            : wall0 + std::chrono::seconds(lastFrame / rate + 600);
  // Threads that end before the stream is closed are last seen up to one poll before they end.
  std::map<int, double> threadCpu;
  auto poll = [&] {
    for (int tid : liveThreads())
      if (!ours.count(tid)) threadCpu[tid] = threadCpuSeconds(tid);
  };
  std::map<int, double> atPlay;
  poll();
  atPlay = threadCpu;
  while (endCount.load(std::memory_order_acquire) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    poll();
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  const double cpu = clockSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
  const double mainCpu = clockSeconds(CLOCK_THREAD_CPUTIME_ID) - main0;
  double outputCpu = 0, decodeCpu = 0, syncCpu = 0;
  for (const auto& [tid, seconds] : threadCpu) {
    const double during = seconds - (atPlay.count(tid) ? atPlay[tid] : 0.0);
    if (afterInit.count(tid)) outputCpu += during;
    else if (tid == syncThreadId.load()) syncCpu += during;
    else decodeCpu += during;
  }
  if (stopAfterSeconds <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));  // nothing may follow the end
  const double stoppedAt = steadySeconds();
  soundCloseStream(stream);
  soundClose();
  if (stopAfterSeconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the silence recorded
  size_t musicStart = SIZE_MAX;
  if (!monitorSink.empty()) {
    monitor.finish();
    musicStart = monitor.musicStart();
    if (musicStart == SIZE_MAX)
      std::printf("run %d: the monitor recorded no sound\n", run);
    else
      std::printf("run %d: music starts at frame %zu of the recording, played at %+.3f s from the start call "
                  "(the recording's clock known to %.1f ms)\n", run,
                  musicStart, monitor.firstPlayed + double(musicStart) / rate - wallStart, monitor.spreadMs);
    if (stopAfterSeconds > 0 && musicStart != SIZE_MAX) {
      size_t last = monitor.frames.size() / 2;
      while (last > 0 && monitor.frames[last * 2 - 2] == 0 && monitor.frames[last * 2 - 1] == 0) --last;
      std::printf("run %d: stopped after %.3f s; the sound went on for %.1f ms after the stop\n", run,
                  stoppedAt - wallStart, (monitor.firstPlayed + double(last) / rate - stoppedAt) * 1000.0);
      return result;
    }
  }

  // Markers at or past the end are never heard; the end position is the length of the music.
  const unsigned long long end = endPosition.load();
  std::vector<const Marker*> expected;
  for (const Marker& m : markers)
    if (m.sample < end) expected.push_back(&m);
  const size_t count = std::min(heardCount.load(), maxHeard);
  size_t wrong = 0;
  for (size_t i = 0; i < count; ++i) {
    if (i >= expected.size() || expected[i]->name != heard[i].name) {
      if (wrong++ < 5)
        std::printf("  call %zu: \"%s\", expected \"%s\"\n", i, heard[i].name,
                    i < expected.size() ? expected[i]->name.c_str() : "(nothing)");
      continue;
    }
    const double late = (double(heard[i].position) - double(expected[i]->sample)) * msPerFrame;
    result.lateMs.push_back(late);
    if (musicStart != SIZE_MAX)
      result.truthMs.push_back(
          (heard[i].calledAt - monitor.firstPlayed - double(musicStart + expected[i]->sample) / rate) * 1000.0);
    if (trace && late > devicePeriod * msPerFrame)
      std::printf("  late: %s at %.3f s, %.3f ms late; the sync thread waited %.3f ms on a run queue since the call "
                  "before\n",
                  heard[i].name, double(expected[i]->sample) / rate, late,
                  i > 0 ? double(heard[i].queuedNs - heard[i - 1].queuedNs) * 1e-6 : 0.0);
  }
  bool firstOk = true;
  if (firstMs > 0 && musicStart != SIZE_MAX) {
    double earliest = 1e9;
    size_t n = 0;
    for (size_t i = 0; i < result.truthMs.size() && double(expected[i]->sample) <= firstMs * rate / 1000; ++i, ++n) {
      std::printf("run %d: %s at %.0f ms was called %+.1f ms after it was played\n", run, heard[i].name,
                  double(expected[i]->sample) * msPerFrame, result.truthMs[i]);
      earliest = std::min(earliest, result.truthMs[i]);
    }
    // The recording's clock can be off by a few milliseconds for a whole run: the markers after the first second,
    // long after the server began to play, measure that. Only an offset that makes them early too is forgiven.
    std::vector<double> steady;
    for (size_t i = n; i < result.truthMs.size(); ++i)
      if (expected[i]->sample > uint64_t(rate)) steady.push_back(result.truthMs[i]);
    std::sort(steady.begin(), steady.end());
    const double offset = std::min(0.0, percentile(steady, 0.5));
    firstOk = n > 0 && !steady.empty() && earliest >= offset - monitor.rangeMs;
    std::printf("run %d: the first %.0f ms: %zu markers, the earliest called %+.1f ms after it was played, against the "
                "recording's uncertainty of %.1f ms and the later markers' %+.1f ms: %s\n",
                run, firstMs, n, n ? earliest : 0.0, monitor.rangeMs, percentile(steady, 0.5),
                firstOk ? "none early" : "EARLY");
  }
  const bool onceInOrder = wrong == 0 && count == expected.size() && endCount.load() == 1;
  const double played = std::chrono::duration<double>(endTime.load() - wall0).count();
  std::printf("run %d: %zu of %zu markers called, %zu out of place, end called %d time(s) at %.3f s of music after "
              "%.3f s (output at %.3fx real time); %s\n",
              run, count, expected.size(), wrong, endCount.load(), double(end) / rate, played,
              double(end) / rate / played, onceInOrder ? "every marker once, in order" : "NOT every marker once in order");
  std::printf("run %d: process CPU %.3f s over %.3f s of play: %.3f %% of one core (output thread %.3f %%, decoding "
              "thread %.3f %%, sync thread %.3f %%, this program's waiting main thread %.3f %%)\n",
              run, cpu, wall, 100.0 * cpu / wall, 100.0 * outputCpu / wall, 100.0 * decodeCpu / wall,
              100.0 * syncCpu / wall, 100.0 * mainCpu / wall);
  char label[32];
  std::snprintf(label, sizeof label, "run %d:", run);
  printStats(label, result.lateMs);
  if (!result.truthMs.empty()) printTruth(label, result.truthMs);
  std::fflush(stdout);
  result.ok = onceInOrder && firstOk;
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    else if (std::strcmp(argv[i], "--trace") == 0) trace = true;
    else if (std::strcmp(argv[i], "--monitor") == 0 && i + 1 < argc) monitorSink = argv[++i];
    else if (std::strcmp(argv[i], "--stop-after") == 0 && i + 1 < argc) stopAfterSeconds = std::atof(argv[++i]);
    else if (std::strcmp(argv[i], "--first") == 0 && i + 1 < argc) firstMs = std::atof(argv[++i]);
    else path = argv[i];
  }
  setenv("SDL_AUDIODRIVER", "dummy", 0);  // another output can be tried by setting it

  fs::path scratch;
  if (path.empty()) {
    scratch = fs::temp_directory_path() / ("vostrel-bench-sync-" + std::to_string(getpid()));
    fs::create_directories(scratch);
    path = (scratch / "sync.mp3").string();
    size_t made = 0;
    const std::vector<uint8_t> track = syncTrack(&made);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(track.data()), std::streamsize(track.size()));
  }
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  MusicFileInfo info;
  std::string why;
  if (!readMusicFile(bytes.data(), bytes.size(), &info, &why)) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), why.c_str());
    return 2;
  }
  if (info.sampleRate != rate) {
    std::fprintf(stderr, "%s: %u Hz; this measurement needs 44100 Hz\n", path.c_str(), info.sampleRate);
    return 2;
  }
  size_t close = 0;
  for (size_t i = 1; i < info.markers.size(); ++i)
    if (info.markers[i].sample - info.markers[i - 1].sample < devicePeriod) ++close;
  std::printf("%s: %zu markers (%zu less than one period after the one before), last at %.3f s; output \"%s\"\n",
              path.c_str(), info.markers.size(), close,
              info.markers.empty() ? 0.0 : double(info.markers.back().sample) / rate, std::getenv("SDL_AUDIODRIVER"));

  std::vector<double> all, truth;
  bool ok = true;
  for (int run = 1; run <= runs; ++run) {
    RunResult r = playOnce(path, info.markers, run);
    ok = ok && r.ok;
    all.insert(all.end(), r.lateMs.begin(), r.lateMs.end());
    truth.insert(truth.end(), r.truthMs.begin(), r.truthMs.end());
  }
  printStats("all runs:", all);
  if (!truth.empty()) printTruth("all runs:", truth);
  if (!scratch.empty()) fs::remove_all(scratch);
  return ok ? 0 : 1;
}
