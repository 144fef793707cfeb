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
// What drawScenes does to the scenes' animation state, with no GL call: stepped once per 10 ms from the
// start, with the count each step would have seen, the state is that of a run at 100 frames a second. The
// feedback textures, the rate gate and the quit at the end are left as they are.
void stepScenes();
// Every scene's animation state back to its value at program start, to step forward again from there.
void resetScenes();
