// Scene tests: the real start-up in the test track's folder and frames drawn through the one scene driver.
#pragma once
#include "gl_harness.h"

// Puts the script at `count`, its marker's caption shown, and draws frames through the dispatch, the rate gate open.
void drawFrames(int count, int frames, bool feedbackDue = true);

// The real start-up: scenes keep their state as in a run, so each case wants a process of its own (as ctest runs it).
class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override;
};
