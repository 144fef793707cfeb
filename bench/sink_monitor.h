// A PulseAudio sink's monitor recorded beside a benchmark, with the moment each recorded frame was played.
#pragma once
#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

inline double steadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Records a PulseAudio sink's monitor on its own thread. Frame i of the recording was played at
// firstPlayed + i / rate: each read gives an estimate (the clock, less the recording's latency, less the frames
// before the last one read), and the median is kept. The first reads, while the sink starts, can be off by
// hundreds of milliseconds; the middle 80 % of the later reads agree within a few, printed as the measurement's spread.
struct Monitor {
  static constexpr uint32_t rate = 44100;
  pa_simple* pulse = nullptr;
  std::thread thread;
  std::atomic<bool> stop{false};
  std::vector<int16_t> frames;
  double firstPlayed = 0;
  double spreadMs = 0;  // between the 10th and 90th percentiles of the estimates
  double rangeMs = 0;   // between the lowest and the highest: the uncertainty of a single frame's time
  std::vector<double> estimates;

  bool start(const std::string& sink) {
    const pa_sample_spec spec{PA_SAMPLE_S16NE, rate, 2};
    pa_buffer_attr attributes{};
    attributes.maxlength = UINT32_MAX;
    attributes.fragsize = 441 * 4;  // 10 ms
    int error = 0;
    pulse = pa_simple_new(nullptr, "vostrel bench", PA_STREAM_RECORD, (sink + ".monitor").c_str(), "monitor", &spec,
                          nullptr, &attributes, &error);
    if (!pulse) {
      std::fprintf(stderr, "cannot record %s.monitor: %s\n", sink.c_str(), pa_strerror(error));
      return false;
    }
    thread = std::thread([this] {
      int16_t chunk[441 * 2];
      int error = 0;
      while (!stop.load() && pa_simple_read(pulse, chunk, sizeof chunk, &error) >= 0) {
        const double now = steadySeconds();
        const pa_usec_t latency = pa_simple_get_latency(pulse, &error);
        frames.insert(frames.end(), chunk, chunk + 441 * 2);
        estimates.push_back(now - double(latency) * 1e-6 - double(frames.size() / 2 - 1) / rate);
      }
    });
    return true;
  }
  void finish() {
    stop.store(true);
    thread.join();
    pa_simple_free(pulse);
    if (estimates.empty()) return;
    // A sink that is slow to start hands the recording its first second or so in a burst, with latencies that
    // do not account for it: only the later half of the reads, once the sink runs steadily, is trusted.
    estimates.erase(estimates.begin(), estimates.begin() + static_cast<std::ptrdiff_t>(estimates.size() / 2));
    std::sort(estimates.begin(), estimates.end());
    firstPlayed = estimates[estimates.size() / 2];
    spreadMs = (estimates[estimates.size() * 9 / 10] - estimates[estimates.size() / 10]) * 1e3;
    rangeMs = (estimates.back() - estimates.front()) * 1e3;
  }
  // The recording's frame where the music starts: the first one that is not silent.
  size_t musicStart() const {
    for (size_t i = 0; i < frames.size(); i += 2)
      if (frames[i] != 0 || frames[i + 1] != 0) return i / 2;
    return SIZE_MAX;
  }
};
