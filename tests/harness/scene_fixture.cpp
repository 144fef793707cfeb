// Scene tests' start-up in the test track's folder and their frame driver.
#include "scene_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "gl_harness.h"
#include "scene_driver.h"

void openSceneContext() {
  static bool open = false;
  if (open) return;
  std::filesystem::current_path(std::filesystem::path(VOSTREL_BUILD) / "testdata");
  ASSERT_TRUE(sceneDriverOpen("Vostrel test"));
  ASSERT_FALSE(sceneDriverMarkerNames().empty());
  open = true;
}

void drawFrames(int count, int frames, bool feedbackDue) {
  sceneDriverSetCount(count);
  sceneDriverDraw(frames, feedbackDue);
}

std::string saveTestFrame(const std::string& suffix) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return saveFrame(std::string(info->test_suite_name()) + "." + info->name() + suffix);
}
