// Scene tests' start-up in the test track's folder, over the scene driver.
#include "scene_fixture.h"

#include <filesystem>

#include "scene_driver.h"

void drawFrames(int count, int frames, bool feedbackDue) {
  sceneDriverSetCount(count);
  sceneDriverDraw(frames, feedbackDue);
}

void SceneTest::SetUp() {
  static int casesInThisProcess = 0;
  ASSERT_EQ(++casesInThisProcess, 1) << "each case needs a fresh process; use --gtest_filter";
  std::filesystem::current_path(std::filesystem::path(VOSTREL_BUILD) / "testdata");
  ASSERT_TRUE(sceneDriverOpen("Vostrel test"));
  ASSERT_FALSE(sceneDriverMarkerNames().empty());
  keepFramesOfFailures();
}
