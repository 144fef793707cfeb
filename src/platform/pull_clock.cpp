// The smoothed playing position of an output known only by its pulls.
#include "platform/pull_clock.h"

#include <cmath>

namespace {

// The loop's bandwidth: it follows the device's rate within a few seconds and lets pull jitter through at a
// fraction. Coefficients of a critically damped second-order loop.
constexpr double bandwidthHz = 0.5;
constexpr double pi = 3.14159265358979323846;

void restart(PullClock* clock, uint32_t frames, double nowNs, double periodNs) {
  clock->frames = frames;
  clock->periodNs = periodNs;
  clock->startNs = nowNs;
  clock->endNs = nowNs + periodNs;
}

}  // namespace

void pullClockPull(PullClock* clock, uint32_t frames, int64_t nowNs, int rate) {
  const double now = static_cast<double>(nowNs);
  const double nominalNs = static_cast<double>(frames) * 1e9 / rate;
  if (clock->frames != frames || clock->periodNs <= 0.0) {
    restart(clock, frames, now, nominalNs);
    return;
  }
  const double error = now - clock->endNs;  // positive: pulled later than expected
  if (std::fabs(error) > clock->periodNs / 2) {
    restart(clock, frames, now, clock->periodNs);
    return;
  }
  const double omega = 2.0 * pi * bandwidthHz * clock->periodNs * 1e-9;
  clock->periodNs += omega * omega * error;
  // The learned rate stays within a fifth of the nominal one, whatever the pulls do.
  clock->periodNs = std::fmin(std::fmax(clock->periodNs, nominalNs * 0.8), nominalNs * 1.25);
  if (error > 0) {
    // Late: the position has waited at the end of the buffer before, and goes on from here, never leaping
    // ahead over what the device may not have played.
    restart(clock, frames, now, clock->periodNs);
  } else {
    // Early or on time: the buffer before still plays until the smoothed end, where this one takes over.
    clock->startNs = clock->endNs;
    clock->endNs += std::sqrt(2.0) * omega * error + clock->periodNs;
  }
}

uint32_t pullClockUnplayed(uint32_t frames, double startNs, double endNs, int64_t nowNs) {
  const double now = static_cast<double>(nowNs);
  if (frames == 0 || now >= endNs) return 0;
  const double perNs = frames / (endNs - startNs);
  // Before its start the pull before it still plays: what remains of that is unplayed too.
  if (now <= startNs) return frames + static_cast<uint32_t>((startNs - now) * perNs);
  return frames - static_cast<uint32_t>((now - startNs) * perNs);
}
