// The sound output on Linux: the PulseAudio server where one answers, as it says exactly what has been heard;
// otherwise SDL's audio. Setting SDL_AUDIODRIVER to another driver than pulseaudio asks for SDL's.
#include <cstdlib>
#include <cstring>

#include "platform/audio_outputs.h"

namespace {

const AudioOutput* chosen = &sdlAudioOutput;

bool pulseWanted() {
  const char* driver = std::getenv("SDL_AUDIODRIVER");
  return driver == nullptr || *driver == '\0' || std::strcmp(driver, "pulseaudio") == 0;
}

}  // namespace

bool audioOutOpen(int rate, int* actualRate) {
  chosen = pulseWanted() && pulseAudioOutput.open(rate, actualRate) ? &pulseAudioOutput : &sdlAudioOutput;
  return chosen == &pulseAudioOutput || chosen->open(rate, actualRate);
}

void audioOutStart(AudioPull pull, void* user) { chosen->start(pull, user); }
uint32_t audioOutUnplayed() { return chosen->unplayed(); }
void audioOutStop() { chosen->stop(); }
void audioOutClose() { chosen->close(); }
