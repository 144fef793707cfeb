// The sound outputs a Linux build carries. audio_out_linux.cpp picks one when the output opens and passes
// every later call to it; each has the meaning of the same call in audio_out.h.
#pragma once
#include "platform/audio_out.h"

struct AudioOutput {
  bool (*open)(int rate, int* actualRate);
  void (*start)(AudioPull pull, void* user);
  uint32_t (*unplayed)();
  void (*stop)();
  void (*close)();
};

// PulseAudio, or PipeWire's server for its clients: the server reports the stream's playing time, so what is
// unplayed is known, not estimated. Its open says nothing when no server answers.
extern const AudioOutput pulseAudioOutput;
// SDL2 audio: whatever driver SDL finds, the dummy one included.
extern const AudioOutput sdlAudioOutput;
