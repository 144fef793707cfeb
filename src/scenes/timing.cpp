// The frame limiter and the rate gate, both measured on the platform's millisecond clock.
#include "scenes/timing.h"

#include <cstdint>

#include "platform/clock.h"

namespace {

// One clock tick in seconds, as the single-precision constant 0.001 gives it.
constexpr double secondsPerTick = static_cast<double>(0.001f);

// Stored as whole ticks of a 64-bit clock: no rounding as up-time grows, no wrap.
struct Gate {
  bool granted = false;
  uint64_t last = 0;
};

Gate frameGate;
Gate effectGate;
bool timeHeld = false;
uint64_t heldTime = 0;

bool pass(Gate& gate, double limitSeconds) {
  const uint64_t now = timeHeld ? heldTime : clockMilliseconds();
  // The first call is always granted, whatever the clock's origin.
  if (gate.granted) {
    if (now < gate.last) return false;  // a clock that stepped back grants nothing until it catches up
    if (static_cast<double>(now - gate.last) * secondsPerTick <= limitSeconds) return false;
  }
  gate.granted = true;
  gate.last = now;
  return true;
}

}  // namespace

bool frameDue(float interval) { return pass(frameGate, static_cast<double>(interval)); }

bool rateGate(int n) {
  if (n <= 0) return false;
  return pass(effectGate, 1.0f / static_cast<double>(n));
}

void holdGateTime(uint64_t milliseconds) {
  timeHeld = true;
  heldTime = milliseconds;
}

void releaseGateTime() { timeHeld = false; }

void resetGates() {
  frameGate = Gate{};
  effectGate = Gate{};
  timeHeld = false;
}
