// The one way tools, tests and benchmarks draw the real scenes offscreen: start-up, a chosen moment of
// the script, frames through the real dispatch, and the picture read back.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Opens an offscreen 1024x768 window and runs the real start-up in the current folder (which holds Data/),
// and reads the marker names of its demo.mp3 when there is one. False, after saying why, on failure.
bool sceneDriverOpen(const char* title);
// The names of demo.mp3's markers, in order; empty without the file.
const std::vector<std::string>& sceneDriverMarkerNames();
// Puts the script at count, with the caption of the marker that raised the count to it (marker count - 1,
// or none for count 1 and for counts past the markers), as the music would have left it.
void sceneDriverSetCount(int32_t count);
// Draws frames through the scene dispatch. With feedbackDue each frame finds the rate gate open, as at a
// steady 100 frames a second; without, the gate has just granted and refuses the scene's own call.
// Quit requests the scenes post are taken and dropped.
void sceneDriverDraw(int frames, bool feedbackDue = true);
// The window's pixels as RGB rows, top row first.
std::vector<uint8_t> sceneDriverReadFrame();
void sceneDriverClose();
