// The playing position of a sound output that says nothing of its device's queue, only when it pulls. Each
// pull is taken as the moment the buffer pulled before it has played out; the times of those moments are
// smoothed by a second-order delay-locked loop, which learns the device's real rate from the pulls. So the
// position runs on through a handover instead of stepping ahead at each pull, even on a device whose clock
// is not its nominal rate (SDL's dummy driver plays about 1 % fast). It never leaps: before a late pull it
// waits at the end of the buffer, and after an early one the rest of the buffer before still counts as unplayed.
#pragma once
#include <cstdint>

struct PullClock {
  uint32_t frames = 0;   // frames of the latest pull; 0 before the first
  double startNs = 0.0;  // when the latest pull starts being heard, smoothed
  double endNs = 0.0;    // when it will have been heard, smoothed
  double periodNs = 0.0; // the learned length of one pull
};

// A pull of `frames` frames at time nowNs, on a device whose nominal rate is `rate`. A first pull, a change
// of size, or a pull more than half a period off what the loop expects (a stall, the device starting again)
// starts the loop afresh from this pull.
void pullClockPull(PullClock* clock, uint32_t frames, int64_t nowNs, int rate);

// How many frames pulled are still to be heard at time nowNs: all of the latest pull at its smoothed start
// (and what remains of the pull before, if that is still to come), none once its smoothed end has passed.
uint32_t pullClockUnplayed(uint32_t frames, double startNs, double endNs, int64_t nowNs);
