// The clock in a browser: the page's high-resolution time, which only runs forwards.
#include "platform/clock.h"

#include <emscripten.h>

uint64_t clockMilliseconds() { return static_cast<uint64_t>(emscripten_get_now()); }
