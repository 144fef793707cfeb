// The one loop of the program: messages first, then at most one frame per 10 ms.
#pragma once

// Starts the music and runs until the quit request; returns the exit code (1 when the music cannot start).
int runMainLoop();

// The same loop for a display that calls the program once per frame it shows (a browser's animation
// frames), whose caller cannot block, in three parts. Starts the music; false when it cannot.
bool mainLoopStart();
// Takes the waiting messages, then draws each 10 ms step due by now (at most mainLoopStepsPerFrame, the
// rest dropped as a slow machine drops frames), each at its own time and after the messages before it,
// and shows the last. False once the quit request is taken.
bool mainLoopFrame();
// Stops the music and shuts the shell down; returns the quit's exit code.
int mainLoopEnd();
constexpr int mainLoopStepsPerFrame = 4;

// Draws the scene(s) the current sync count selects; each test reads the count afresh.
void drawScenes();
