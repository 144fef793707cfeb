// Window, display mode, GL context, messages and buffer swap: what a platform's shell supplies.
#pragma once

enum class ShellMessage {
  none,     // no message was waiting
  handled,  // one message was taken and handled
  resized,  // the (windowed) client area changed size; the new size is in *width, *height
  key,      // a key other than Escape went down: shellKeyTaken says which
  quit,     // the quit request was taken; its exit code is in *exitCode
};

// Keys as shellKeyTaken reports them: a character key as its character on the keyboard's layout (letters in
// lower case, '.', '[', ' '), the keys without one from 256 on.
namespace shellKey {
constexpr int left = 256, right = 257, up = 258, down = 259, pageUp = 260, pageDown = 261, home = 262, end = 263;
}

enum class ShellContextResult {
  ready,           // a double-buffered RGBA context with depth is current
  noPixelFormat,   // the driver offers no matching pixel format
  formatRejected,  // a format was found but could not be set on the window
  noContext,       // the context could not be made or made current
};

// Registers the window class, switches the display to width x height when full screen (and checks that the
// switch took), hides the cursor and shows the window. A mode that cannot be had shows its message and posts
// a quit with code 1. False, after one line saying why, when there is no window at all.
bool shellCreateWindow(const char* title, int width, int height, bool fullScreen);
// Width and height of the window's client area in pixels.
void shellClientSize(int* width, int* height);
// Gives the window a double-buffered RGBA pixel format with depth and makes a GL context current on it.
ShellContextResult shellCreateContext();
// Takes and handles at most one waiting message, and says what it was.
ShellMessage shellTakeMessage(int* exitCode, int* width, int* height);
// The key of the last ShellMessage::key (see shellKey); 0 for a key with neither a character nor a name here.
int shellKeyTaken();
// The address of an OpenGL function beyond 1.1 that the driver offers, or null; for tools that draw with more.
void* shellGLFunction(const char* name);
// Posts a quit request that the main loop takes after the messages already waiting.
void shellPostQuit(int exitCode);
// Shows the back buffer.
void shellSwapBuffers();
// Gives back the display mode and shows the cursor, and nothing more; safe to call more than once.
void shellRestoreDesktop();
// Releases the GL context, gives the desktop back and closes the window.
void shellShutdown();
