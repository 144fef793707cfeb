// The scene driver: the real start-up and dispatch on an offscreen window.
#include "scene_driver.h"

#include <algorithm>
#include <cstdlib>

#include "app/main_loop.h"
#include "gfx/render_state.h"
#include "gfx/resources.h"
#include "music/markers.h"
#include "music/sync.h"
#include "platform/file_map.h"
#include "platform/gl.h"
#include "platform/shell.h"
#include "scenes/timing.h"

namespace {

std::vector<std::string> names;

void dropMessages() {
  int code = 0, width = 0, height = 0;
  while (shellTakeMessage(&code, &width, &height) != ShellMessage::none) {
  }
}

}  // namespace

bool sceneDriverOpen(const char* title) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  // Ctrl-C and SIGTERM end a tool like any command-line program: SDL would turn them into a quit request,
  // which the driver drops. A tool with handlers of its own sets this first.
  setenv("SDL_NO_SIGNAL_HANDLERS", "1", 0);
  if (!shellCreateWindow(title, 1024, 768, false)) return false;
  initResources();
  if (!glReady) return false;
  dropMessages();
  names.clear();
  MappedFile file;
  MusicFileInfo info;
  std::string error;
  if (mapFile("demo.mp3", &file) && readMusicFile(file.data, file.size, &info, &error))
    for (const Marker& marker : info.markers) names.push_back(marker.name);
  unmapFile(&file);
  return true;
}

const std::vector<std::string>& sceneDriverMarkerNames() { return names; }

void sceneDriverSetCount(int32_t count) {
  // Marker n (from 1) takes the count from n to n + 1.
  const bool named = count >= 2 && static_cast<size_t>(count - 2) < names.size();
  setSyncPoint(count, named ? names[static_cast<size_t>(count - 2)].c_str() : "");
}

void sceneDriverDraw(int frames, bool feedbackDue) {
  for (int i = 0; i < frames; ++i) {
    resetGates();
    if (!feedbackDue) rateGate(100);  // granted just now: the scene's own call in this tick is refused
    drawScenes();
    dropMessages();
  }
}

std::vector<uint8_t> sceneDriverReadFrame() {
  constexpr int width = 1024, height = 768;
  std::vector<uint8_t> bottomUp(static_cast<size_t>(width) * height * 3), rows(bottomUp.size());
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
  glPopClientAttrib();
  const size_t row = static_cast<size_t>(width) * 3;
  for (int y = 0; y < height; ++y)
    std::copy_n(&bottomUp[(height - 1 - y) * row], row, &rows[y * row]);
  return rows;
}

void sceneDriverClose() {
  shellShutdown();
  glReady = false;
}
