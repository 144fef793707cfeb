// The two gates on the one clock: the frame limiter and a per-effect rate limit.
#pragma once
#include <cstdint>

// True, and the time recorded, when more than interval seconds have passed since the last granted frame.
bool frameDue(float interval);
// True, and the time recorded, when more than 1/n seconds have passed since its last true result.
bool rateGate(int n);
// Makes both gates read `milliseconds` instead of the clock until releaseGateTime: a loop that draws several
// 10 ms steps at one moment gives each step its own time, as a machine that drew them 10 ms apart would.
void holdGateTime(uint64_t milliseconds);
void releaseGateTime();
// Forgets both recorded times, so the next call of each gate is granted (tests only).
void resetGates();
