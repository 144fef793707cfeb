// Entry of every GoogleTest program: headless video and audio, whatever the developer's session has.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  unsetenv("DISPLAY");  // message boxes go to standard error instead of waiting for a click
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
