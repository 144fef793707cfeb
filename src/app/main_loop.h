// The one loop of the program: messages first, then at most one frame per 10 ms.
#pragma once

// Starts the music and runs until the quit request; returns the exit code (1 when the music cannot start).
int runMainLoop();

// The same loop for a display that calls the program once per frame it shows (a browser's animation
// frames), whose caller cannot block, in three parts. Starts the music; false when it cannot.
bool mainLoopStart();
// Takes the waiting messages, then draws each 10 ms step due by now, each at its own time and after the
// messages before it, and shows the last. At most mainLoopStepsPerFrame steps, and no more once drawing
// has taken a step's time: the rest are dropped, as a slow machine drops frames. False once the quit
// request is taken.
bool mainLoopFrame();
// Stops the music and shuts the shell down; returns the quit's exit code.
int mainLoopEnd();
constexpr int mainLoopStepsPerFrame = 4;

// Draws the scene(s) the current sync count selects; each test reads the count afresh.
void drawScenes();
