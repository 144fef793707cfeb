// The browser build's frames for the page test: the one scene driver draws chosen moments of the script
// on the browser's platform, as vostrel-capture does on the desktop, and hands each frame to the page.
#include <emscripten.h>

#include <cstdio>
#include <vector>

#include "platform/failure.h"
#include "scene_driver.h"

// The moments to draw, "COUNT:FRAMES,COUNT:FRAMES...", from the page's address (?capture=...).
EM_JS(int, captureList, (char* out, int size), {
  var found = /[?&]capture=([0-9:,]+)/.exec(location.search);
  stringToUTF8(found ? found[1] : "", out, size);
  return found ? 1 : 0;
});

// Keeps a frame (RGB rows, top row first) in Module.vostrelFrames under its count.
EM_JS(void, keepFrame, (int count, const uint8_t* rows, int size), {
  Module['vostrelFrames'] = Module['vostrelFrames'] || {};
  Module['vostrelFrames'][count] = HEAPU8.slice(rows, rows + size);
});

int main() {
  char list[512];
  if (!captureList(list, sizeof list) || !sceneDriverOpen("Vostrel capture")) endRun(1);
  for (const char* at = list; *at;) {
    int count = 0, frames = 0, used = 0;
    if (std::sscanf(at, "%d:%d%n", &count, &frames, &used) != 2 || count < 1 || frames < 1) endRun(2);
    at += used + (at[used] == ',');
    sceneDriverSetCount(count);
    sceneDriverDraw(frames);
    const std::vector<uint8_t> frame = sceneDriverReadFrame();
    keepFrame(count, frame.data(), static_cast<int>(frame.size()));
  }
  sceneDriverClose();
  endRun(0);  // the page learns the end from the exit code, as from the program's
}
