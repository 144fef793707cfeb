// The shell seam: what a platform file must supply for window, GL context, messages, clock and errors.
#pragma once
#include <cstdint>

enum class ShellMessage {
  none,     // no message was waiting
  handled,  // one message was taken and handled
  quit,     // the quit request was taken; its exit code is in *exitCode
};

enum class ShellContextResult {
  ready,           // a double-buffered RGBA context with depth is current
  noPixelFormat,   // the driver offers no matching pixel format
  formatRejected,  // a format was found but could not be set on the window
  noContext,       // the context could not be made or made current
};

// Switches the display to width x height (full screen only), hides the cursor and shows the window; false when no window.
bool shellCreateWindow(const char* title, int width, int height, bool fullScreen);
// Width and height of the window's client area in pixels.
void shellClientSize(int* width, int* height);
// Gives the window a double-buffered RGBA pixel format with depth and makes a GL context current on it.
ShellContextResult shellCreateContext();
// Takes and handles at most one waiting message; reports a taken quit request and its exit code.
ShellMessage shellHandleMessage(int* exitCode);
// Posts a quit request that the main loop takes after the messages already waiting.
void shellPostQuit(int exitCode);
// Shows the back buffer.
void shellSwapBuffers();
// A monotonic millisecond count that never wraps.
uint64_t shellMilliseconds();
// Shows a modal error box captioned "Error" (or writes the text to standard error when nothing can show it).
void shellShowError(const char* text);
// Releases the GL context, restores the display mode and the cursor, and closes the window.
void shellShutdown();
