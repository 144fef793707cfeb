// Scene tests' start-up in the test track's folder and their frame driver.
#include "scene_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "app/main_loop.h"
#include "app/render_state.h"
#include "app/shell.h"
#include "app/timing.h"
#include "gfx/file_map.h"
#include "gfx/resources.h"
#include "gl_harness.h"
#include "music/markers.h"
#include "music/sync.h"

namespace {
std::vector<std::string> names;
}

void openSceneContext() {
  static bool open = false;
  if (open) return;
  std::filesystem::current_path(std::filesystem::path(VOSTREL_BUILD) / "testdata");
  ASSERT_TRUE(shellCreateWindow("Vostrel test", 1024, 768, false));
  initResources();
  ASSERT_TRUE(glReady);
  int code = 0;
  while (shellHandleMessage(&code) != ShellMessage::none) {
  }
  MappedFile file;
  MusicFileInfo info;
  std::string error;
  ASSERT_TRUE(mapFile("demo.mp3", &file));
  ASSERT_TRUE(readMusicFile(file.data, file.size, &info, &error)) << error;
  for (const Marker& marker : info.markers) names.push_back(marker.name);
  unmapFile(&file);
  open = true;
}

void drawFrames(int count, int frames, bool feedbackDue) {
  while (syncCount.load() < count && static_cast<size_t>(syncCount.load()) <= names.size())
    onSyncPoint(names[syncCount.load() - 1].c_str());
  syncCount = count;
  for (int i = 0; i < frames; ++i) {
    resetGates();
    if (!feedbackDue) rateGate(100);  // granted just now: the scene's own call in this tick is refused
    drawScenes();
  }
}

std::string saveTestFrame(const std::string& suffix) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return saveFrame(std::string(info->test_suite_name()) + "." + info->name() + suffix);
}
