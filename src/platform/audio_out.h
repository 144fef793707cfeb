// The sound output: 16-bit stereo frames pulled from the portable sound core on the output's own thread.
#pragma once
#include <cstdint>

// Fills frames[0, 2 * count) with count stereo frames. Runs on the output's thread: it must not block.
using AudioPull = void (*)(int16_t* frames, uint32_t count, void* user);

// Opens the output at about rate Hz; *actualRate is the rate it really plays. False, after one line
// saying why, when there is no output.
bool audioOutOpen(int rate, int* actualRate);
// Starts pulling at once.
void audioOutStart(AudioPull pull, void* user);
// Of all frames pulled so far, how many have not been heard yet. A pull's frames count as unplayed from
// before the pull begins, so that no reader takes them as heard while they are being written.
uint32_t audioOutUnplayed();
// Stops pulling: no pull runs after this returns, and the sound stops.
void audioOutStop();
// Closes the output; only after audioOutStop, or when it never started.
void audioOutClose();
