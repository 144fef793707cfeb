// Where the listener is in the music: frames handed to the output, less what it still holds, advanced by the clock.
#pragma once
#include <atomic>
#include <cstdint>

// Written by the output's thread at each buffer it hands over, read by the sync thread; no locks.
struct Playhead {
  std::atomic<uint32_t> sequence{0};  // odd while an update is being written
  std::atomic<uint64_t> musicBefore{0};  // music frames handed over before the latest buffer
  std::atomic<uint64_t> musicInBuffer{0};  // music frames at the start of the latest buffer (the rest silence)
  std::atomic<int64_t> handedAtNs{0};  // clock time of the latest handover, nanoseconds
  std::atomic<bool> started{false};
};

// The output takes a buffer holding `music` frames of the music (then silence) at time nowNs.
// The buffer handed before it has been played out by now, so the new one starts being heard.
void playheadHandOver(Playhead* playhead, uint32_t music, int64_t nowNs);

// The music frame being heard at nowNs: the latest buffer's start advanced by the elapsed time, never
// past the frames handed over. Zero before the first handover.
uint64_t playheadPosition(const Playhead* playhead, int64_t nowNs, uint32_t rate);

struct Marker;

// How far the sync points have been called out.
struct SyncCursor {
  uint64_t next = 0;     // index of the next marker to call
  bool endCalled = false;
};

// What the cursor calls: a marker's name, or null for the end of the audio.
using SyncEvent = void (*)(const char* name, void* user);

// Calls every marker whose first frame the position has reached, in order, then the end once the
// position has reached endFrame (when the length is known, endKnown). Markers at or past endFrame are
// never heard and never called. Returns the frames until the next event, or UINT64_MAX if none remains.
uint64_t syncCatchUp(SyncCursor* cursor, const Marker* markers, uint64_t count, uint64_t position,
                     uint64_t endFrame, bool endKnown, SyncEvent event, void* user);
