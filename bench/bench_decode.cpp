// CPU cost of decoding the default three-minute MP3, as a share of its play time: libmpg123 alone, then our sound layer.
//
// The layer is run on SDL's disk output writing to /dev/null with no delay, so the whole file goes through it as fast
// as the decoder allows. That output then spins, handing over silence whenever the stream buffer runs dry, so the
// process total says little; the figure that counts is the decoding path alone: the process's CPU time less that of
// the output thread(s), the sync thread and the waiting main thread (the buffer decoded inside soundOpenFile stays in).
//
//   bench_decode [--benchmark_* flags] [file.mp3]     (default: demo.mp3 of the build folder)
#include <benchmark/benchmark.h>

#include <mpg123.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "music/markers.h"
#include "threads.h"
#include "music/sound.h"

namespace {

std::string trackPath = VOSTREL_BUILD "/demo.mp3";

double cpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

std::vector<uint8_t> readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Threads of this process by id.

// --- libmpg123 alone, fed and set up as the layer does it: payload from memory, gapless, 16-bit out ---

struct Payload {
  const uint8_t* data;
  uint64_t size, at;
};

mpg123_ssize_t readPayload(void* handle, void* buffer, size_t size) {
  Payload* p = static_cast<Payload*>(handle);
  const size_t n = static_cast<size_t>(std::min<uint64_t>(p->size - p->at, size));
  std::memcpy(buffer, p->data + p->at, n);
  p->at += n;
  return static_cast<mpg123_ssize_t>(n);
}

off_t seekPayload(void* handle, off_t offset, int whence) {
  Payload* p = static_cast<Payload*>(handle);
  const int64_t base = whence == SEEK_CUR ? int64_t(p->at) : whence == SEEK_END ? int64_t(p->size) : 0;
  const int64_t to = base + offset;
  if (to < 0 || to > int64_t(p->size)) return -1;
  p->at = uint64_t(to);
  return off_t(to);
}

// Decodes the whole payload in 16 KiB reads; returns the frames decoded (0 on failure) and their rate.
uint64_t decodeAll(const uint8_t* data, uint64_t size, long* rate) {
  Payload payload{data, size, 0};
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  if (!h) return 0;
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
  mpg123_format_none(h);
  const long* rates = nullptr;
  size_t rateCount = 0;
  mpg123_rates(&rates, &rateCount);
  for (size_t i = 0; i < rateCount; ++i) mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  uint64_t bytes = 0;
  int channels = 0, encoding = 0;
  if (mpg123_replace_reader_handle(h, readPayload, seekPayload, nullptr) == MPG123_OK &&
      mpg123_open_handle(h, &payload) == MPG123_OK && mpg123_getformat(h, rate, &channels, &encoding) == MPG123_OK) {
    alignas(8) static uint8_t block[16384];
    for (;;) {
      size_t got = 0;
      const int result = mpg123_read(h, block, sizeof block, &got);
      bytes += got;
      benchmark::DoNotOptimize(block[0]);
      if (result == MPG123_DONE || (result != MPG123_OK && result != MPG123_NEW_FORMAT && got == 0)) break;
    }
    mpg123_close(h);
  }
  mpg123_delete(h);
  return channels ? bytes / (2u * unsigned(channels)) : 0;
}

void BM_Mpg123Alone(benchmark::State& state) {
  const std::vector<uint8_t> file = readWhole(trackPath);
  MusicFileInfo info;
  std::string why;
  if (!readMusicFile(file.data(), file.size(), &info, &why)) {
    state.SkipWithError(("cannot read " + trackPath + ": " + why).c_str());
    return;
  }
  double cpu = 0, audio = 0;
  for (auto _ : state) {
    long rate = 0;
    const double t0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const uint64_t frames = decodeAll(file.data() + info.audioOffset, info.audioSize, &rate);
    cpu += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - t0;
    if (frames == 0 || rate == 0) {
      state.SkipWithError("the MP3 cannot be decoded");
      return;
    }
    audio += double(frames) / double(rate);
  }
  state.counters["audio_s"] = audio / double(state.iterations());
  state.counters["cpu_pct_of_rt"] = 100.0 * cpu / audio;
}
BENCHMARK(BM_Mpg123Alone)->Unit(benchmark::kMillisecond)->Iterations(3);

// --- the whole file through the layer, on the disk output ---

std::atomic<bool> ended{false};
std::atomic<unsigned long long> endPosition{0};
std::atomic<double> syncThreadCpu{0};

void onEnd(SoundStream* stream, const char*, void*) {
  endPosition.store(soundPosition(stream));
  syncThreadCpu.store(cpuSeconds(CLOCK_THREAD_CPUTIME_ID));  // the sync thread returns right after this call
  ended.store(true, std::memory_order_release);
}

void onSync(SoundStream*, const char*, void*) {}

void BM_LayerOnDiskOutput(benchmark::State& state) {
  double decode = 0, output = 0, sync = 0, process = 0, audio = 0, wall = 0;
  for (auto _ : state) {
    const std::set<int> before = liveThreads();
    const auto w0 = std::chrono::steady_clock::now();
    const double p0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID), m0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    if (!soundInit(44100)) {
      state.SkipWithError("no sound output or file");
      return;
    }
    soundSetBufferSize(1000);  // as the program does
    const double o0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    SoundStream* stream = soundOpenFile(trackPath.c_str());
    const double o1 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    if (!stream) {
      state.SkipWithError("no sound output or file");
      soundClose();
      return;
    }
    ended.store(false);
    soundSetEndCallback(stream, onEnd, nullptr);
    soundSetSyncCallback(stream, onSync, nullptr);
    soundPlay(stream);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (!ended.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const auto w1 = std::chrono::steady_clock::now();
    soundCloseStream(stream);  // joins the decoding and sync threads
    // What is left beside the main thread belongs to SDL's output.
    double outputCpu = 0;
    for (int tid : liveThreads())
      if (!before.count(tid)) outputCpu += threadCpuSeconds(tid);
    soundClose();
    const double p1 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID), m1 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    if (!ended.load()) {
      state.SkipWithError("the end was never called");
      return;
    }
    const double mainWaiting = (m1 - m0) - (o1 - o0);
    const double syncCpu = syncThreadCpu.load();
    process += p1 - p0;
    output += outputCpu;
    sync += syncCpu;
    decode += (p1 - p0) - outputCpu - syncCpu - mainWaiting;
    audio += double(endPosition.load()) / 44100.0;
    wall += std::chrono::duration<double>(w1 - w0).count();
    state.SetIterationTime(std::chrono::duration<double>(w1 - w0).count());
  }
  state.counters["audio_s"] = audio / double(state.iterations());
  state.counters["x_rt"] = audio / wall;
  state.counters["decode_pct_of_rt"] = 100.0 * decode / audio;
  state.counters["output_pct_of_rt"] = 100.0 * output / audio;
  state.counters["sync_pct_of_rt"] = 100.0 * sync / audio;
  state.counters["process_pct_of_rt"] = 100.0 * process / audio;
}
BENCHMARK(BM_LayerOnDiskOutput)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc > 1) trackPath = argv[1];
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
  setenv("SDL_DISKAUDIODELAY", "0", 1);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
