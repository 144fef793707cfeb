// Process entry in a browser: the page calls main once its fonts are ready, the resources are made while the
// browser is still decoding the music, and the music starts when that is done; the loop then runs once per
// animation frame, as a browser's page cannot block.
#include <emscripten.h>

#include "app/app.h"
#include "app/main_loop.h"
#include "music/sync.h"
#include "platform/failure.h"

namespace {

// Whether the page has finished decoding the music, or given up on it (the program then says why).
EM_JS(int, musicSettled, (), { return Module['vostrelMusicPending'] ? 0 : 1; });

void animationFrame() {
  if (!mainLoopFrame()) endRun(mainLoopEnd());
}

void waitForMusic() {
  if (!musicSettled()) return;
  emscripten_cancel_main_loop();
  if (!mainLoopStart()) endRun(1);
  emscripten_set_main_loop(animationFrame, 0, 1);
}

}  // namespace

// The script's count, for a page or a script driving the browser to follow the run.
extern "C" EMSCRIPTEN_KEEPALIVE int vostrelSyncCount() { return syncCount.load(); }

int main() {
  if (!appStart()) endRun(1);
  emscripten_set_main_loop(waitForMusic, 0, 1);
}
