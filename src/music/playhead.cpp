// The heard position of the music, estimated from buffer handovers and the clock.
#include "music/playhead.h"

#include "music/markers.h"

void playheadHandOver(Playhead* playhead, uint32_t music, int64_t nowNs) {
  const uint32_t seq = playhead->sequence.load(std::memory_order_relaxed);
  playhead->sequence.store(seq + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  const uint64_t before = playhead->musicBefore.load(std::memory_order_relaxed) +
                          playhead->musicInBuffer.load(std::memory_order_relaxed);
  playhead->musicBefore.store(before, std::memory_order_relaxed);
  playhead->musicInBuffer.store(music, std::memory_order_relaxed);
  playhead->handedAtNs.store(nowNs, std::memory_order_relaxed);
  playhead->started.store(true, std::memory_order_relaxed);
  playhead->sequence.store(seq + 2, std::memory_order_release);
}

uint64_t playheadPosition(const Playhead* playhead, int64_t nowNs, uint32_t rate) {
  uint64_t before, inBuffer;
  int64_t handedAt;
  bool started;
  for (;;) {
    const uint32_t seq = playhead->sequence.load(std::memory_order_acquire);
    before = playhead->musicBefore.load(std::memory_order_relaxed);
    inBuffer = playhead->musicInBuffer.load(std::memory_order_relaxed);
    handedAt = playhead->handedAtNs.load(std::memory_order_relaxed);
    started = playhead->started.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if ((seq & 1) == 0 && playhead->sequence.load(std::memory_order_relaxed) == seq) break;
  }
  if (!started) return 0;
  const int64_t elapsedNs = nowNs > handedAt ? nowNs - handedAt : 0;
  const uint64_t elapsedFrames = static_cast<uint64_t>(elapsedNs) * rate / 1'000'000'000ull;
  return before + (elapsedFrames < inBuffer ? elapsedFrames : inBuffer);
}

uint64_t syncCatchUp(SyncCursor* cursor, const Marker* markers, uint64_t count, uint64_t position,
                     uint64_t endFrame, bool endKnown, SyncEvent event, void* user) {
  while (cursor->next < count && markers[cursor->next].sample <= position &&
         (!endKnown || markers[cursor->next].sample < endFrame)) {
    event(markers[cursor->next].name.c_str(), user);
    ++cursor->next;
  }
  if (endKnown && !cursor->endCalled && position >= endFrame) {
    cursor->endCalled = true;
    event(nullptr, user);
  }
  if (cursor->endCalled) return UINT64_MAX;
  uint64_t target = UINT64_MAX;
  if (cursor->next < count && (!endKnown || markers[cursor->next].sample < endFrame)) target = markers[cursor->next].sample;
  else if (endKnown) target = endFrame;
  return target == UINT64_MAX ? UINT64_MAX : target - position;
}
