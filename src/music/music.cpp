// The music start and stop sequences around the main loop, and the stream's callback.
#include "music/music.h"

#include <string>

#include "app/app.h"
#include "music/sound.h"
#include "music/sync.h"

namespace {
SoundStream* musicStream = nullptr;
}

bool onStreamEvent(SoundStream*, const char* name, int, void*) {
  if (name) onSyncPoint(name);
  return true;
}

bool startMusic() {
  if (!soundInit(44100, 32)) {
    reportFailure(soundError());
    return false;
  }
  soundSetBufferSize(1000);
  musicStream = soundOpenFile("demo.mp3");
  if (!musicStream) {
    reportFailure(soundError());
    soundClose();
    return false;
  }
  // Both callbacks are in place before the first sample plays.
  soundSetEndCallback(musicStream, onStreamEvent, nullptr);
  soundSetSyncCallback(musicStream, onStreamEvent, nullptr);
  soundPlay(musicStream);
  return true;
}

void stopMusic() {
  soundCloseStream(musicStream);
  musicStream = nullptr;
  soundClose();
}
