// The program's clock on Win32: timeGetTime at 1 ms resolution, carried on past its 49.7-day wrap into 64 bits.
#include "platform/clock.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>

namespace {

// The last value handed out. Every caller moves it on by how far the 32-bit count has gone since, so the
// wraps are counted without a thread of our own (GetTickCount64 came only with Vista). Zero means not
// started yet; the first value starts one wrap in, so it is never zero.
std::atomic<uint64_t> lastMilliseconds{0};

// A count up to this far behind the last value is a caller that read the count before another caller
// moved the clock on (4.6 hours of delay at most); any other difference is time gone forward, up to
// 49.5 days between two calls.
constexpr uint32_t behindLimit = 0x01000000u;

}  // namespace

uint64_t clockMilliseconds() {
  // GetTickCount moves in steps of the scheduler tick (10-16 ms), too coarse for a 10 ms frame gate;
  // timeGetTime counts single milliseconds once the timer period is 1 ms, asked for once and kept until
  // the process ends.
  static const bool fineTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
  (void)fineTimer;
  const uint32_t ticks = timeGetTime();
  uint64_t last = lastMilliseconds.load(std::memory_order_acquire);
  for (;;) {
    uint64_t next;
    if (last == 0) {
      next = (uint64_t{1} << 32) | ticks;
    } else {
      const uint32_t ahead = ticks - static_cast<uint32_t>(last);
      if (ahead == 0 || ahead > 0u - behindLimit) return last;  // no later than what was handed out
      next = last + ahead;
    }
    if (lastMilliseconds.compare_exchange_weak(last, next, std::memory_order_acq_rel)) return next;
  }
}
