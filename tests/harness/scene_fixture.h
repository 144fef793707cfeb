// Scene tests: the real start-up in the test track's folder and frames drawn through the one scene driver.
#pragma once
#include "gl_harness.h"

// Puts the script at `count` with its marker's caption and draws `frames` frames through the dispatch. With
// feedbackDue each finds the rate gate open, as at a steady 100 frames a second; without, just granted, closed.
void drawFrames(int count, int frames, bool feedbackDue = true);

// The real start-up, once per process: the scenes keep their state as in a run, so each case needs a process of
// its own (ctest runs them so; by hand, use --gtest_filter).
class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override;
};
