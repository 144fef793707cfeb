// Process entry in a browser: the page calls main once its fonts and music are ready; the loop then runs
// once per animation frame, as a browser's page cannot block.
#include <emscripten.h>

#include "app/app.h"
#include "app/main_loop.h"
#include "music/sync.h"
#include "platform/failure.h"

namespace {

void animationFrame() {
  if (!mainLoopFrame()) endRun(mainLoopEnd());
}

}  // namespace

// The script's count, for a page or a script driving the browser to follow the run.
extern "C" EMSCRIPTEN_KEEPALIVE int vostrelSyncCount() { return syncCount.load(); }

int main() {
  if (!appStart()) endRun(1);
  if (!mainLoopStart()) endRun(1);
  emscripten_set_main_loop(animationFrame, 0, 1);
}
