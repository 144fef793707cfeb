// The clock on SDL2: its 64-bit tick count.
#include "platform/clock.h"

#include <SDL.h>

uint64_t clockMilliseconds() { return SDL_GetTicks64(); }
