// How a failure reaches the user, and the one way a run ends early.
#pragma once

enum class FailureStyle {
  box,   // a modal box captioned "Error" with the text (on standard error when nothing can show one)
  line,  // one line on standard error: "vostrel: " and the text
};

// Tells the user about a failure.
void showFailure(FailureStyle style, const char* text);
// Ends the run at once with the exit code, after giving the display mode and the cursor back (the shell's
// shutdown may have run before).
// The only place the program exits other than by returning from its entry.
[[noreturn]] void endRun(int exitCode);
