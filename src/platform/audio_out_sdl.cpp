// The sound output on SDL2 audio, where no PulseAudio server answers (or SDL_AUDIODRIVER names another
// driver): SDL's thread pulls each buffer; what is unplayed is estimated from the times of the pulls (see
// pull_clock.h), as SDL says nothing of the device's own queue.
#include "platform/audio_outputs.h"

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/failure.h"
#include "platform/priority_posix.h"
#include "platform/pull_clock.h"

namespace {

constexpr int channels = 2;
// Frames per pull: 93 ms at 44.1 kHz, so that a busy machine can keep the output's thread waiting that long
// without a gap. The sync points do not suffer for it: what is unplayed is counted, so they still come when heard.
constexpr int periodFrames = 4096;

SDL_AudioDeviceID device = 0;
int deviceRate = 44100;
AudioPull pullFrames = nullptr;  // set and cleared with the device locked
void* pullUser = nullptr;

// The pulls' clock, kept by the output's thread; what a reader needs of it is copied below. The sequence is
// odd while the copy is being written.
PullClock pullClock;
std::atomic<uint32_t> sequence{0};
std::atomic<uint32_t> lastFrames{0};
std::atomic<double> lastStartNs{0.0};
std::atomic<double> lastEndNs{0.0};

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void outputCallback(void*, Uint8* bytes, int length) {
  // SDL makes this thread: it is raised on its first pull, as urgent as the sync thread.
  static thread_local bool raised = false;
  if (!raised) {
    raised = true;
    raiseThisThread(true);
  }
  const uint32_t frames = static_cast<uint32_t>(length) / (channels * sizeof(int16_t));
  // The buffer pulled before this one has been played out about now: this one starts being heard. Noted
  // before the pull, so its frames are unplayed before anyone can count them as pulled.
  pullClockPull(&pullClock, frames, nowNs(), deviceRate);
  const uint32_t seq = sequence.load(std::memory_order_relaxed);
  sequence.store(seq + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  lastFrames.store(frames, std::memory_order_relaxed);
  lastStartNs.store(pullClock.startNs, std::memory_order_relaxed);
  lastEndNs.store(pullClock.endNs, std::memory_order_relaxed);
  sequence.store(seq + 2, std::memory_order_release);
  if (pullFrames) {
    pullFrames(reinterpret_cast<int16_t*>(bytes), frames, pullUser);
  } else {
    std::memset(bytes, 0, static_cast<size_t>(length));
  }
}

void failLine(const char* what) {
  char line[512];
  std::snprintf(line, sizeof line, "%s: %s", what, SDL_GetError());
  showFailure(FailureStyle::line, line);
}

bool sdlOpen(int rate, int* actualRate) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    failLine("no sound output");
    return false;
  }
  SDL_AudioSpec want{}, have{};
  want.freq = rate;
  want.format = AUDIO_S16SYS;
  want.channels = channels;
  want.samples = periodFrames;
  want.callback = outputCallback;
  // No changes allowed: SDL converts to whatever the hardware takes, so our frames are always 16-bit stereo.
  device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device == 0) {
    failLine("cannot open the sound output");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  deviceRate = have.freq;
  *actualRate = deviceRate;
  pullClock = PullClock{};
  sequence.store(0);
  lastFrames.store(0);
  return true;
}

void sdlStart(AudioPull pull, void* user) {
  SDL_LockAudioDevice(device);
  pullFrames = pull;
  pullUser = user;
  SDL_UnlockAudioDevice(device);
  SDL_PauseAudioDevice(device, 0);
}

uint32_t sdlUnplayed() {
  uint32_t frames;
  double startNs, endNs;
  for (;;) {
    const uint32_t seq = sequence.load(std::memory_order_acquire);
    frames = lastFrames.load(std::memory_order_relaxed);
    startNs = lastStartNs.load(std::memory_order_relaxed);
    endNs = lastEndNs.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if ((seq & 1) == 0 && sequence.load(std::memory_order_relaxed) == seq) break;
  }
  return pullClockUnplayed(frames, startNs, endNs, nowNs());
}

void sdlStop() {
  if (device == 0) return;
  SDL_LockAudioDevice(device);
  pullFrames = nullptr;
  pullUser = nullptr;
  SDL_UnlockAudioDevice(device);
  SDL_PauseAudioDevice(device, 1);
}

void sdlClose() {
  if (device != 0) SDL_CloseAudioDevice(device);
  device = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace

const AudioOutput sdlAudioOutput{sdlOpen, sdlStart, sdlUnplayed, sdlStop, sdlClose};
