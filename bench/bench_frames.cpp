// Frame cost of each scene at 1024x768 on the software renderer (the frame budget is 10 ms).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/gl.h"
#include "scene_driver.h"
#include "scenes/timing.h"
#include "gfx/resources.h"
#include "music/sync.h"
#include "scenes/scenes.h"

namespace {

bool startUp() {
  static bool ready = false;
  if (ready) return true;
  std::filesystem::current_path(std::filesystem::path(VOSTREL_BUILD) / "testdata");
  if (!sceneDriverOpen("Vostrel bench")) return false;
  onSyncPoint("a caption of some length");  // the caption text the line scene prints
  ready = true;
  return ready;
}

// The tunnel's camera creeps forward and its fade runs down every frame: left to run, thousands of
// benchmark frames would fly the camera out of the tubes. Each frame is drawn from the state the demo
// has `tunnelFrame` frames into the opening instead.
int tunnelFrame = 0;
void pinTunnel() {
  tunnelEyeZ = 680.0f - 0.05f * static_cast<float>(tunnelFrame);
  tunnelFadeLevel = tunnelFrame < 1000 ? 1.0f - 0.001f * static_cast<float>(tunnelFrame) : 0.0f;
}

// One frame of `scene` at `count`; glFinish makes the software renderer's work part of the time.
void frame(benchmark::State& state, void (*scene)(), int count, bool feedbackPass, int atTunnelFrame = 0) {
  if (!startUp()) {
    state.SkipWithError("no GL context");
    return;
  }
  syncCount = count;
  tunnelFrame = atTunnelFrame;
  for (int i = 0; i < 3; ++i) scene();  // warm up caches and the driver
  glFinish();
  for (auto _ : state) {
    pinTunnel();
    resetGates();
    if (!feedbackPass) rateGate(100);
    scene();
    glFinish();
  }
}

}  // namespace

#define FRAME_AT(name, scene, count, feedback, tunnelFrame)                                      \
  static void name(benchmark::State& state) { frame(state, scene, count, feedback, tunnelFrame); } \
  BENCHMARK(name)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5)->ReportAggregatesOnly(true)
#define FRAME(name, scene, count, feedback) FRAME_AT(name, scene, count, feedback, 0)

// The tunnel at 5 s (fading in), 12 s (first credit), 19 s (wire grid) and 23 s (the third credit).
FRAME_AT(tunnel_fading_in, TunnelScene, 1, true, 500);
FRAME_AT(tunnel_credit_image, TunnelScene, 2, true, 1200);
FRAME_AT(tunnel_wire_grid_and_credit, TunnelScene, 3, true, 1900);
FRAME_AT(tunnel_last_credit, TunnelScene, 4, true, 2300);
FRAME(title_zoom, TitleScene, 5, true);
FRAME(title_collapse, TitleScene, 6, true);
FRAME(lines_with_feedback_pass, LineFeedbackScene, 7, true);
FRAME(lines_without_feedback_pass, LineFeedbackScene, 7, false);
FRAME(lines_with_caption, LineFeedbackScene, 12, true);
FRAME(lines_with_greeting, LineFeedbackScene, 66, true);
FRAME(cube_columns, CubeColumnsScene, 40, true);
FRAME(blue_interlude, BlueFeedbackScene, 62, true);

// Start-up's share that grows with the pictures: the fifteen default images decoded, mipmapped and uploaded.
static void startup_fifteen_images(benchmark::State& state) {
  if (!startUp()) {
    state.SkipWithError("no GL context");
    return;
  }
  static const char* const paths[] = {
      "Data/neonblue.bmp",       "Data/neonlilla.bmp",     "Data/tessary.bmp",       "Data/black.bmp",
      "Data/greets/talvo.bmp",   "Data/greets/pirsek.bmp", "Data/greets/mondal.bmp", "Data/greets/quesh.bmp",
      "Data/greets/vabrin.bmp",  "Data/greets/lorrit.bmp", "Data/greets/senyx.bmp",  "Data/greets/druvel.bmp",
      "Data/code.bmp",           "Data/music.bmp",         "Data/present.bmp"};
  uint32_t scratch[textureSlots] = {};
  for (auto _ : state) {
    for (int i = 0; i < 15; ++i) loadTexture(scratch, paths[i], 1 + i % 16);
    glFinish();
    state.PauseTiming();
    glDeleteTextures(textureSlots, scratch);
    state.ResumeTiming();
  }
}
BENCHMARK(startup_fifteen_images)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
