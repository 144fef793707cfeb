// The heard position of the music from the output's pulls, and the sync points called out by it.
#include "music/playhead.h"

#include "music/markers.h"

void pullLogRecord(PullLog* log, uint64_t musicStart, uint32_t music, uint32_t frames) {
  const uint64_t n = log->pulls.load(std::memory_order_relaxed);
  PullLog::Entry& entry = log->entries[n % PullLog::size];
  // A reader that sees any field written below also sees that entry n is being rewritten.
  log->begun.store(n + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  const uint64_t outputStart = log->outputFrames.load(std::memory_order_relaxed);
  entry.outputStart.store(outputStart, std::memory_order_relaxed);
  entry.musicStart.store(musicStart, std::memory_order_relaxed);
  entry.music.store(music, std::memory_order_relaxed);
  log->outputFrames.store(outputStart + frames, std::memory_order_release);
  log->pulls.store(n + 1, std::memory_order_release);
}

uint64_t pullLogMusicAt(const PullLog* log, uint64_t heard) {
  for (;;) {
    const uint64_t pulls = log->pulls.load(std::memory_order_acquire);
    if (pulls == 0) return 0;
    const uint64_t oldest = pulls > PullLog::size ? pulls - PullLog::size : 0;
    uint64_t i = pulls - 1;
    uint64_t outputStart = 0, musicStart = 0;
    uint32_t music = 0;
    for (;;) {
      const PullLog::Entry& entry = log->entries[i % PullLog::size];
      outputStart = entry.outputStart.load(std::memory_order_relaxed);
      musicStart = entry.musicStart.load(std::memory_order_relaxed);
      music = entry.music.load(std::memory_order_relaxed);
      if (outputStart <= heard || i == oldest) break;
      --i;
    }
    std::atomic_thread_fence(std::memory_order_acquire);
    // Entry i is rewritten by pull i + size: read again if that has begun meanwhile.
    if (log->begun.load(std::memory_order_relaxed) > i + PullLog::size) continue;
    const uint64_t into = heard > outputStart ? heard - outputStart : 0;
    return musicStart + (into < music ? into : music);
  }
}

uint64_t callHeardMarkers(MarkerCursor* cursor, const Marker* markers, uint64_t count, uint64_t position,
                          uint64_t endFrame, uint64_t endSlack, bool endKnown, MarkerEvent event, void* user) {
  const bool endHeard = endKnown && position >= endFrame;
  const uint64_t reach = endHeard ? endFrame + endSlack : position;
  while (cursor->next < count && markers[cursor->next].sample <= reach) {
    event(markers[cursor->next].name.c_str(), user);
    ++cursor->next;
  }
  if (endHeard && !cursor->endCalled) {
    cursor->endCalled = true;
    event(nullptr, user);
  }
  if (cursor->endCalled) return UINT64_MAX;
  uint64_t target = UINT64_MAX;
  if (cursor->next < count) target = markers[cursor->next].sample;
  if (endKnown && endFrame < target) target = endFrame;
  return target == UINT64_MAX ? UINT64_MAX : target - position;
}
