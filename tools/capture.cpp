// vostrel-capture: draws the real scenes offscreen at chosen sync counts and writes the frames as PNGs.
#include <cstdio>
#include <string>

#include "png.h"
#include "scene_driver.h"

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
  for (int i = 2; i < argc; ++i) {
    int count = 0, frames = 0;
    char rest = 0;
    if (std::sscanf(argv[i], "%d:%d%c", &count, &frames, &rest) != 2 || count < 1 || frames < 1) {
      std::fprintf(stderr, "vostrel-capture: bad argument %s (COUNT and FRAMES are 1 or more)\n", argv[i]);
      return 2;
    }
  }
  if (!sceneDriverOpen("Vostrel capture")) return 1;
  for (int i = 2; i < argc; ++i) {
    int count = 0, frames = 0;
    std::sscanf(argv[i], "%d:%d", &count, &frames);
    sceneDriverSetCount(count);
    sceneDriverDraw(frames);
    const std::string path = std::string(argv[1]) + "/count-" + std::to_string(count) + ".png";
    if (!writePng(path, 1024, 768, sceneDriverReadFrame())) {
      std::fprintf(stderr, "vostrel-capture: cannot write %s\n", path.c_str());
      sceneDriverClose();
      return 1;
    }
    std::printf("%s\n", path.c_str());
  }
  sceneDriverClose();
  return 0;
}
