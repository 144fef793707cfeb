// The wave position and the millisecond clock carried past their 32-bit wraps.
#include "platform/wrap_counts.h"

namespace {

constexpr uint32_t frameBytes = 2 * sizeof(int16_t);

// A count up to this far behind the last value is a caller that read the count before another caller
// moved the clock on (4.6 hours of delay at most); any other difference is time gone forward, up to
// 49.5 days between two calls.
constexpr uint32_t behindLimit = 0x01000000u;

}  // namespace

uint32_t waveUnplayed(uint64_t pulled, uint32_t position, WavePositionUnit unit, uint32_t queued) {
  const bool bytes = unit == WavePositionUnit::bytes;
  const uint32_t played = bytes ? position / frameBytes : position;
  const uint32_t mask = bytes ? 0xFFFFFFFFu / frameBytes : 0xFFFFFFFFu;
  const uint32_t unplayed = (static_cast<uint32_t>(pulled) - played) & mask;
  return unplayed <= queued ? unplayed : 0;
}

uint64_t extendMilliseconds(std::atomic<uint64_t>* last, uint32_t ticks) {
  uint64_t seen = last->load(std::memory_order_acquire);
  for (;;) {
    uint64_t next;
    if (seen == 0) {
      // The first value starts one wrap in, so that it is never the 0 that means "not started".
      next = (uint64_t{1} << 32) | ticks;
    } else {
      const uint32_t ahead = ticks - static_cast<uint32_t>(seen);
      if (ahead == 0 || ahead > 0u - behindLimit) return seen;  // no later than what was handed out
      next = seen + ahead;
    }
    if (last->compare_exchange_weak(seen, next, std::memory_order_acq_rel)) return next;
  }
}
