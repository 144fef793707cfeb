// A real GL context on the headless video driver, and frames read back as pixels for the GL tests.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct Rgb {
  int r, g, b;
};

// Opens the 1024x768 window and makes the context with the base render state, once per process.
void openTestContext();
// The window's pixels, RGB, rows from the top of the window down.
std::vector<uint8_t> readFrame();
// One pixel of the last frame read or drawn, x from the left and y from the top of the window.
Rgb pixelAt(int x, int y);
// Writes the current frame as a PNG under the tests' scratch folder and returns its path.
std::string saveFrame(const std::string& name);
// Largest absolute difference of one component.
int rgbDistance(Rgb a, Rgb b);
