// Guards the main loop against a frame drawn before waiting messages, a frame after the quit, a wrong exit code,
// a dispatch threshold off by one, and a count read once instead of afresh for each scene test.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "platform/shell.h"
#include "scenes/timing.h"
#include "fake_shell.h"
#include "music/music.h"
#include "music/sound.h"
#include "music/sync.h"
#include "scenes/scenes.h"

namespace {
std::function<void()> duringScene;  // lets a test move the count while a scene draws
void drew(const char* name) {
  fake.log.push_back(name);
  if (duringScene) duringScene();
}
}  // namespace

void TunnelScene() { drew("tunnel"); }
void TitleScene() { drew("title"); }
void LineFeedbackScene() { drew("lines"); }
void CubeColumnsScene() { drew("cubes"); }
void BlueFeedbackScene() { drew("blue"); }
// The step path links against these in place of the real scenes' (stepScenes is tested with them, in GL).
void TunnelStep() {}
bool TitleStep() { return false; }
void LineFeedbackStep() {}
void CubeColumnsStep() {}
void BlueFeedbackStep() {}
void TunnelReset() {}
void TitleReset() {}
void LineFeedbackReset() {}
void CubeColumnsReset() {}
void BlueFeedbackReset() {}
bool startMusic() {
  fake.log.push_back("music");
  return fake.musicStarts;
}
void stopMusic() { fake.log.push_back("stop"); }
void pumpMusic() { fake.log.push_back("pump"); }
SyncLateness musicSyncLateness() { return {}; }

namespace {

using Log = std::vector<std::string>;

class Loop : public ::testing::Test {
 protected:
  void SetUp() override {
    resetFake();
    resetGates();
    duringScene = nullptr;
    syncCount = 1;
  }
  Log scenesFor(int count) {
    syncCount = count;
    fake.log.clear();
    drawScenes();
    return fake.log;
  }
};

TEST_F(Loop, EachCountDrawsItsScene) {
  const struct {
    int count;
    const char* scene;
  } table[] = {{1, "tunnel"}, {4, "tunnel"}, {5, "title"},  {6, "title"}, {7, "lines"},  {39, "lines"},
               {40, "cubes"}, {61, "cubes"}, {62, "blue"},  {63, "blue"}, {64, "lines"}, {85, "lines"},
               {200, "lines"}};
  for (const auto& row : table) EXPECT_EQ(scenesFor(row.count), Log{row.scene}) << row.count;
}

TEST_F(Loop, ACountThatRisesMidFrameIsSeenByTheLaterTests) {
  duringScene = [] {
    if (syncCount == 4) syncCount = 5;
  };
  EXPECT_EQ(scenesFor(4), (Log{"tunnel", "title"}));
  duringScene = [] {
    if (syncCount == 39) syncCount = 40;
  };
  EXPECT_EQ(scenesFor(39), (Log{"lines", "cubes"}));
  duringScene = [] {
    if (syncCount == 63) syncCount = 64;
  };
  EXPECT_EQ(scenesFor(63), (Log{"blue", "lines"}));
}

TEST_F(Loop, WaitingMessagesGoFirstAndNothingIsDrawnAfterTheQuit) {
  fake.clock = 1000;
  fake.messages = {-1, -1, 0, -1};
  EXPECT_EQ(runMainLoop(), 0);
  EXPECT_EQ(fake.log, (Log{"music", "message", "message", "quit", "stop", "shutdown"}));
  EXPECT_EQ(fake.messages.size(), 1u);  // the message behind the quit is never taken
}

TEST_F(Loop, QuitPostedByAFrameEndsTheLoopWithItsCode) {
  fake.clock = 1000;
  duringScene = [] {
    fake.clock += 10;  // the next frame is due at once
    if (fake.swaps == 2) shellPostQuit(7);
  };
  EXPECT_EQ(runMainLoop(), 7);
  EXPECT_EQ(fake.log, (Log{"music", "tunnel", "swap", "tunnel", "swap", "tunnel", "swap", "quit", "stop",
                           "shutdown"}));
}

TEST_F(Loop, FramesFollowTheTenMillisecondCadence) {
  fake.clock = 1000;
  fake.idlePollsBeforeQuit = 5000;  // the clock stands still: one frame, however long the loop polls
  EXPECT_EQ(runMainLoop(), 0);
  EXPECT_EQ(fake.swaps, 1);

  resetFake();
  resetGates();
  fake.clock = 1000;
  fake.ticksPerPoll = 1;
  fake.idlePollsBeforeQuit = 1000;  // a second of one-millisecond polls
  EXPECT_EQ(runMainLoop(), 0);
  EXPECT_EQ(fake.swaps, 100);
}

// A display that calls once per shown frame: 60 Hz frames draw the 10 ms steps due, 100 a second, each step
// finding the rate gate open as at a steady 100 frames a second; a stall drops its backlog.
TEST_F(Loop, AnimationFramesDrawTheStepsDueAndShowTheLast) {
  int gateOpen = 0;
  duringScene = [&] { gateOpen += rateGate(100); };
  fake.clock = 1000;
  ASSERT_TRUE(mainLoopStart());
  // Frames at 1000, 1016, 1033, 1050: steps at 1000 | 1010 | 1020, 1030 | 1040, 1050.
  const struct {
    uint64_t at;
    int steps;
  } table[] = {{1000, 1}, {1016, 1}, {1033, 2}, {1050, 2}, {1050, 0}, {2050, mainLoopStepsPerFrame}, {2055, 0}, {2060, 1}};
  int swaps = 0, drawn = 0;
  for (const auto& row : table) {
    fake.clock = row.at;
    fake.log.clear();
    ASSERT_TRUE(mainLoopFrame());
    const int steps = static_cast<int>(std::count(fake.log.begin(), fake.log.end(), "tunnel"));
    EXPECT_EQ(steps, row.steps) << row.at;
    swaps += row.steps > 0;
    drawn += steps;
    EXPECT_EQ(fake.swaps, swaps) << row.at;  // one swap after the last step, none without a step
    EXPECT_EQ(fake.log.front(), "pump") << row.at;
  }
  EXPECT_EQ(gateOpen, drawn);

  // Steps that take 12 ms each to draw: one a frame, the rest dropped.
  duringScene = [] { fake.clock += 12; };
  fake.log.clear();
  fake.clock = 2100;
  ASSERT_TRUE(mainLoopFrame());
  EXPECT_EQ(std::count(fake.log.begin(), fake.log.end(), "tunnel"), 1);
  fake.log.clear();
  fake.clock = 2150;  // the backlog was dropped: the next step was due 10 ms after the last frame began
  ASSERT_TRUE(mainLoopFrame());
  EXPECT_EQ(std::count(fake.log.begin(), fake.log.end(), "tunnel"), 1);

  // A quit posted by the first step is taken before the second is drawn.
  fake.log.clear();
  fake.clock = 2190;
  duringScene = [] { shellPostQuit(3); };
  EXPECT_FALSE(mainLoopFrame());
  EXPECT_EQ(fake.log, (Log{"pump", "tunnel", "quit"}));
  EXPECT_EQ(mainLoopEnd(), 3);
}

TEST_F(Loop, FailedMusicStartReturnsOneWithoutLoopOrShutdown) {
  fake.musicStarts = false;
  fake.messages = {0};
  EXPECT_EQ(runMainLoop(), 1);
  EXPECT_EQ(fake.log, Log{"music"});
}

}  // namespace
