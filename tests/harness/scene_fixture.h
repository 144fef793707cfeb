// Scene tests: every resource made from the test track's folder, and frames drawn at a chosen count.
#pragma once
#include <string>

// Opens the 1024x768 window and runs the real start-up in the test track's folder, once per process.
void openSceneContext();
// Sets the sync count (walking through the test track's marker names where it can, so captions are
// real) and draws `frames` frames through the scene dispatch. With feedbackDue each frame finds the
// rate gate open, as at a steady 100 frames a second; without, the gate has just granted and says no.
void drawFrames(int count, int frames, bool feedbackDue = true);
// The current frame written as a PNG under the tests' scratch folder, named after the running test.
std::string saveTestFrame(const std::string& suffix = "");
