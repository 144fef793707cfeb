// The preview's picture: the scenes drawn at 1024x768 into a frame buffer of their own, shown scaled at 4:3
// with black bars in a window of any size, and the overlay's lines over it at the window's own pixels.
#pragma once
#include <string>
#include <vector>

// Needs the GL context; false, with the reason, when the driver has no frame buffer objects.
bool viewOpen(std::string* error);
// The scenes draw from here on as into a 1024x768 window.
void viewBeginScene();
// Shows the last scene frame in the window, with the lines (white on a dark band, top left) when there are any,
// and swaps.
void viewShow(int windowWidth, int windowHeight, const std::vector<std::string>& lines);
void viewClose();

// Where the 1024x768 picture lies in a window of width x height: as large as fits at 4:3, centred.
struct ViewRect {
  int x, y, width, height;
};
ViewRect fitPicture(int windowWidth, int windowHeight);
