// The program's clock on Win32: timeGetTime at 1 ms resolution, carried on past its 49.7-day wrap into 64 bits.
#include "platform/clock.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>

#include "platform/fine_timer_win32.h"
#include "platform/wrap_counts.h"

namespace {

// The last value handed out; the wraps are counted by the callers themselves (GetTickCount64 came only with Vista).
std::atomic<uint64_t> lastMilliseconds{0};
std::atomic<bool> fineTimer{false};

}  // namespace

void useFineTimer() {
  if (!fineTimer.exchange(true)) timeBeginPeriod(1);
}

uint64_t clockMilliseconds() {
  // GetTickCount moves in steps of the scheduler tick, too coarse for a 10 ms frame gate.
  useFineTimer();
  return extendMilliseconds(&lastMilliseconds, timeGetTime());
}
