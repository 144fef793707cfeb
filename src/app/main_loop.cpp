// The main loop and the scene dispatch on the sync count.
#include "app/main_loop.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "gfx/render_state.h"
#include "music/music.h"
#include "music/sound.h"
#include "music/sync.h"
#include "platform/clock.h"
#include "platform/shell.h"
#include "scenes/scenes.h"
#include "scenes/timing.h"

namespace {

// One reading of the count per test: a sync point arriving mid-frame is seen by the later tests.
bool countIn(int32_t low, int32_t high) {
  const int32_t count = syncCount.load();
  return count >= low && count <= high;
}

}  // namespace

void drawScenes() {
  if (syncCount.load() < 5) TunnelScene();
  if (countIn(5, 6)) TitleScene();
  if (countIn(7, 39)) LineFeedbackScene();
  if (countIn(40, 61)) CubeColumnsScene();
  if (countIn(62, 63)) BlueFeedbackScene();
  if (syncCount.load() > 63) LineFeedbackScene();
}

// drawScenes' six tests in its order, each reading the count afresh, with each scene's step for its frame.
void stepScenes() {
  if (syncCount.load() < 5) TunnelStep();
  if (countIn(5, 6)) TitleStep();
  if (countIn(7, 39)) LineFeedbackStep();
  if (countIn(40, 61)) CubeColumnsStep();
  if (countIn(62, 63)) BlueFeedbackStep();
  if (syncCount.load() > 63) LineFeedbackStep();
}

void resetScenes() {
  TunnelReset();
  TitleReset();
  LineFeedbackReset();
  CubeColumnsReset();
  BlueFeedbackReset();
}

namespace {

constexpr uint64_t stepMilliseconds = 10;

// VOSTREL_STATS=1 reports the frames drawn, their rate and the longest on standard error at the end.
bool stats = false;
uint64_t startTime = 0;
uint64_t frames = 0;
uint64_t lastSwap = 0, longestFrame = 0;  // from one swap to the next; the first, which warms the renderer up,
                                          // is not counted
int exitCode = 0;
bool stepping = false;  // mainLoopFrame has set its first step's time
uint64_t nextStep = 0;

void countFrame() {
  ++frames;
  if (!stats) return;
  const uint64_t now = clockMilliseconds();
  if (frames > 1 && now - lastSwap > longestFrame) longestFrame = now - lastSwap;
  lastSwap = now;
}

// Takes one waiting message: false once it was the quit; *taken says whether there was one.
bool takeMessage(bool* taken) {
  int width = 0, height = 0;
  const ShellMessage message = shellTakeMessage(&exitCode, &width, &height);
  if (message == ShellMessage::quit) return false;
  if (message == ShellMessage::resized) resizeViewport(width, height);
  *taken = message != ShellMessage::none;
  return true;
}

// One pass of the blocking loop: a message, or a frame when one is due.
bool mainLoopPass() {
  bool taken = false;
  if (!takeMessage(&taken)) return false;
  if (taken || !frameDue(0.01f)) return true;  // every waiting message goes before a frame
  drawScenes();
  shellSwapBuffers();
  countFrame();
  return true;
}

}  // namespace

bool mainLoopStart() {
  if (!startMusic()) return false;
  stats = std::getenv("VOSTREL_STATS") != nullptr;
  startTime = clockMilliseconds();
  frames = 0;
  lastSwap = startTime;
  longestFrame = 0;
  exitCode = 0;
  stepping = false;
  return true;
}

int runMainLoop() {
  if (!mainLoopStart()) return 1;
  while (mainLoopPass()) {
  }
  return mainLoopEnd();
}

bool mainLoopFrame() {
  pumpMusic();
  const uint64_t now = clockMilliseconds();
  if (!stepping) nextStep = now;
  stepping = true;
  int steps = 0;
  for (;;) {
    bool quit = false;
    for (bool taken = true; taken && !quit;) quit = !takeMessage(&taken);
    if (quit) {
      releaseGateTime();
      return false;
    }
    // A machine that takes a step's time to draw one draws one a frame, as it would on the desktop.
    if (nextStep > now || steps == mainLoopStepsPerFrame || clockMilliseconds() - now >= stepMilliseconds) break;
    holdGateTime(nextStep);
    const bool due = frameDue(0.01f);
    nextStep += stepMilliseconds;
    if (!due) continue;
    drawScenes();
    ++steps;
  }
  releaseGateTime();
  if (nextStep <= now) nextStep = now + stepMilliseconds;  // the backlog is dropped, not drawn later
  if (steps > 0) {
    shellSwapBuffers();
    countFrame();
  }
  return true;
}

int mainLoopEnd() {
  if (stats) {
    const double seconds = static_cast<double>(clockMilliseconds() - startTime) / 1000.0;
    std::fprintf(stderr, "vostrel: %llu frames in %.3f s (%.1f per second), last count %d\n",
                 static_cast<unsigned long long>(frames), seconds, seconds > 0 ? frames / seconds : 0.0,
                 static_cast<int>(syncCount.load()));
    std::fprintf(stderr, "vostrel: longest frame %llu ms\n", static_cast<unsigned long long>(longestFrame));
    const SyncLateness late = musicSyncLateness();
    std::fprintf(stderr, "vostrel: %u sync points called out, %.1f ms late on average, %.1f ms in the middle, %.1f ms "
                 "at worst\n", late.called, late.meanMs, late.medianMs, late.worstMs);
  }
  stopMusic();
  shellShutdown();
  glReady = false;
  return exitCode;
}
