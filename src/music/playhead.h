// Where the listener is in the music, and calling the sync points out as that position passes them.
#pragma once
#include <atomic>
#include <cstdint>

// What the output took at each pull: music frames first, then silence when none was ready. Written by
// the output's thread at each pull, read by any thread; no locks.
struct PullLog {
  static constexpr uint32_t size = 256;  // pulls remembered: far more than any output leaves unplayed
  struct Entry {
    std::atomic<uint64_t> outputStart{0};  // output frames pulled before this pull
    std::atomic<uint64_t> musicStart{0};   // music frames pulled before this pull
    std::atomic<uint32_t> music{0};        // music frames in this pull; the rest of it was silence
  };
  Entry entries[size];
  std::atomic<uint64_t> begun{0};      // pulls whose entry has started being written
  std::atomic<uint64_t> pulls{0};      // pulls whose entry is complete
  std::atomic<uint64_t> outputFrames{0};  // output frames pulled in all
};

// Records a pull of `frames` output frames of which the first `music` were music.
void pullLogRecord(PullLog* log, uint64_t musicStart, uint32_t music, uint32_t frames);

// The music frame heard when the output has played `heard` of the frames pulled: silence the output
// was given does not count. Zero before the first pull.
uint64_t pullLogMusicAt(const PullLog* log, uint64_t heard);

struct Marker;

// The sound core's own cursor through the markers: which it has called out, apart from the script's count
// (syncCount), which only the stream's callback raises.
struct MarkerCursor {
  uint64_t next = 0;     // index of the next marker to call
  bool endCalled = false;
};

// What the cursor calls: a marker's name, or null for the end of the audio.
using MarkerEvent = void (*)(const char* name, void* user);

// Calls every marker whose first frame the position has reached, in order. Once the position has reached
// endFrame (when the length is known, endKnown), the markers up to endSlack frames past it are called too, in
// order (a script's last marker may sit on the last sample, or a little past it in a file's padding), and then
// the end, once; markers further on are never called. Returns the frames until the next event, or UINT64_MAX
// if none remains.
uint64_t callHeardMarkers(MarkerCursor* cursor, const Marker* markers, uint64_t count, uint64_t position,
                          uint64_t endFrame, uint64_t endSlack, bool endKnown, MarkerEvent event, void* user);
