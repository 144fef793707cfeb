// The one loop of the program: messages first, then at most one frame per 10 ms.
#pragma once

// Starts the music and runs until the quit request; returns the exit code (1 when the music cannot start).
int runMainLoop();
// Draws the scene(s) the current sync count selects; each test reads the count afresh.
void drawScenes();
