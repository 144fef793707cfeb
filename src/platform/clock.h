// The program's one clock.
#pragma once
#include <cstdint>

// Milliseconds since some fixed point: monotonic, 64 bits, never wraps.
uint64_t clockMilliseconds();
