// How a failure reaches the user, and the one way a run ends early.
#pragma once

enum class FailureStyle {
  box,   // a modal box captioned "Error" with the text (on standard error when nothing can show one)
  line,  // one line on standard error: "vostrel: " and the text
};

// Tells the user about a failure.
void showFailure(FailureStyle style, const char* text);
// While a listener is set, every failure goes to it instead, boxes and lines alike, on whatever thread it
// happens: for a tool that shows failures itself and goes on. Null gives them back to the user.
using FailureListener = void (*)(const char* text);
void listenToFailures(FailureListener listener);
// Ends the run at once with the exit code, after giving the display mode and the cursor back, and nothing
// more, on every platform: the window, the GL context and the rest of the shell go with the process (an
// early exit never tears the shell down; a run that ends normally has shut it down before). Safe from any
// thread. The only place the program exits other than by returning from its entry.
[[noreturn]] void endRun(int exitCode);
