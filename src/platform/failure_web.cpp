// Failures in a browser: the page shows the text in its box titled "Error", and the run ends there.
#include "platform/failure.h"

#include <emscripten.h>

#include <cstdio>

#include "platform/shell.h"

// The page's own procedure (index.html) shows the text; without it, the browser's console has it.
EM_JS(void, pageFailure, (int box, const char* text), {
  var message = UTF8ToString(text);
  if (Module['vostrelFailure']) Module['vostrelFailure'](box != 0, message);
  else console.error(message);
});

// No tool runs in the browser: failures always reach the page.
void listenToFailures(FailureListener) {}

void showFailure(FailureStyle style, const char* text) {
  if (style == FailureStyle::line) std::fprintf(stderr, "vostrel: %s\n", text);
  pageFailure(style == FailureStyle::box, text);
}

void endRun(int exitCode) {
  shellRestoreDesktop();
  // Hands the code to the page (Module.onExit) and unwinds out of whatever frame called it.
  emscripten_force_exit(exitCode);
  __builtin_unreachable();
}
