// The run's three phases and the settings fixed at build time.
#pragma once

#ifndef VOSTREL_FULLSCREEN
#define VOSTREL_FULLSCREEN 1
#endif

// Full screen switches the display to 1024x768 and hides the cursor; off only in development builds.
constexpr bool fullScreen = VOSTREL_FULLSCREEN != 0;

constexpr int windowWidth = 1024;
constexpr int windowHeight = 768;

// Window, resources, main loop; returns the process exit code.
int appMain();
// The first two phases alone, for an entry that runs the loop a frame at a time: false when there is no window.
bool appStart();

