// The two gates on the one clock: the frame limiter and a per-effect rate limit.
#pragma once

// True, and the time recorded, when more than interval seconds have passed since the last granted frame.
bool frameDue(float interval);
// True, and the time recorded, when more than 1/n seconds have passed since its last true result.
bool rateGate(int n);
// Forgets both recorded times, so the next call of each gate is granted (tests only).
void resetGates();
