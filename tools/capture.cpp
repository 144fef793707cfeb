// vostrel-capture: draws the real scenes offscreen at chosen sync counts and writes the frames as PNGs.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/gl.h"
#include "app/main_loop.h"
#include "app/render_state.h"
#include "app/shell.h"
#include "app/timing.h"
#include "gfx/file_map.h"
#include "gfx/resources.h"
#include "music/markers.h"
#include "music/sync.h"
#include "png.h"

namespace {

std::vector<uint8_t> readWindow(int width, int height) {
  std::vector<uint8_t> bottomUp(static_cast<size_t>(width) * height * 3), rows(bottomUp.size());
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  const size_t row = static_cast<size_t>(width) * 3;
  for (int y = 0; y < height; ++y)
    std::copy_n(&bottomUp[(height - 1 - y) * row], row, &rows[y * row]);
  return rows;
}

// The names of demo.mp3's markers, so the captions read as in a run; empty without the file.
std::vector<std::string> markerNames() {
  std::vector<std::string> names;
  MappedFile file;
  MusicFileInfo info;
  std::string error;
  if (mapFile("demo.mp3", &file) && readMusicFile(file.data, file.size, &info, &error))
    for (const Marker& marker : info.markers) names.push_back(marker.name);
  unmapFile(&file);
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: vostrel-capture OUTDIR COUNT:FRAMES...\n"
                 "  Run from a folder holding Data/. For each COUNT:FRAMES the sync count is set to COUNT,\n"
                 "  FRAMES frames are drawn (each with its feedback pass) and the last is written as\n"
                 "  OUTDIR/count-COUNT.png. Scene state carries on from one argument to the next, as in a run;\n"
                 "  captions are the names of demo.mp3's markers when it is there.\n");
    return 2;
  }
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  if (!shellCreateWindow("Vostrel capture", 1024, 768, false)) return 1;
  initResources();
  if (!glReady) return 1;
  int exitCode = 0;
  while (shellHandleMessage(&exitCode) != ShellMessage::none) {
  }
  const std::vector<std::string> names = markerNames();
  for (int i = 2; i < argc; ++i) {
    int count = 0, frames = 0;
    if (std::sscanf(argv[i], "%d:%d", &count, &frames) != 2 || frames < 1) {
      std::fprintf(stderr, "vostrel-capture: bad argument %s\n", argv[i]);
      return 2;
    }
    // Forward through the markers as the music would pass them; anything else is set directly.
    while (syncCount.load() < count && static_cast<size_t>(syncCount.load()) <= names.size())
      onSyncPoint(names[syncCount.load() - 1].c_str());
    syncCount = count;
    for (int f = 0; f < frames; ++f) {
      resetGates();  // every frame gets its feedback pass, as at a steady 100 frames a second
      drawScenes();
    }
    const std::string path = std::string(argv[1]) + "/count-" + std::to_string(count) + ".png";
    if (!writePng(path, 1024, 768, readWindow(1024, 768))) {
      std::fprintf(stderr, "vostrel-capture: cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("%s\n", path.c_str());
  }
  shellShutdown();
  return 0;
}
