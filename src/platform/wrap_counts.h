// Counts that the Windows APIs keep in 32 bits, carried past their wrap: the wave output's position and the
// millisecond clock. Plain arithmetic, so that every build runs its tests.
#pragma once
#include <atomic>
#include <cstdint>

// How a wave output reports how far it has played.
enum class WavePositionUnit {
  samples,  // frames, in a count that wraps at 2^32
  bytes,    // bytes of 16-bit stereo frames, in a count that wraps at 2^32 bytes (2^30 frames)
};

// Of `pulled` frames handed to a wave output, how many it has not played when it reports `position` in
// `unit`. The difference is taken modulo the position's own wrap, so it is exact as long as fewer than 2^30
// frames are queued. More than `queued` frames unplayed is a device that says it played more than it got:
// it has played all, and 0 is returned.
uint32_t waveUnplayed(uint64_t pulled, uint32_t position, WavePositionUnit unit, uint32_t queued);

// A 32-bit millisecond count (timeGetTime, which wraps every 49.7 days) as 64 bits that never wrap.
// *last is the latest value handed out, 0 before the first; every thread that reads the clock shares it, and
// each moves it on by how far the count has gone since, so no thread of our own has to watch for the wrap.
// A count a little behind *last (a caller that read it before another moved the clock on) gives *last.
uint64_t extendMilliseconds(std::atomic<uint64_t>* last, uint32_t ticks);
