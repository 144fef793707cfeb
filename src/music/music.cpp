// The music start and stop sequences around the main loop, and the stream's callback.
#include "music/music.h"

#include "music/sound.h"
#include "music/sync.h"

namespace {

SoundStream* musicStream = nullptr;

// The stream's one callback, for sync points and for the end (name null): the end changes nothing.
void onStreamEvent(SoundStream*, const char* name, void*) {
  if (name) onSyncPoint(name);
}

}  // namespace

bool startMusic() {
  if (!soundInit(44100)) return false;
  soundSetBufferSize(1000);
  musicStream = soundOpenFile("demo.mp3");
  if (!musicStream) {
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

void pumpMusic() { soundPump(musicStream); }

SyncLateness musicSyncLateness() {
  return soundSyncLateness(musicStream);
}
