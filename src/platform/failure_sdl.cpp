// Failures on SDL2: the message box (or standard error without a display), the reason line, the one exit.
#include "platform/failure.h"

#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/shell.h"

namespace {
std::atomic<FailureListener> listener{nullptr};
}  // namespace

void listenToFailures(FailureListener to) { listener.store(to); }

void showFailure(FailureStyle style, const char* text) {
  if (const FailureListener to = listener.load()) return to(text);
  if (style == FailureStyle::line) {
    std::fprintf(stderr, "vostrel: %s\n", text);
    return;
  }
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", text, SDL_GL_GetCurrentWindow()) == 0) return;
  const size_t length = std::strlen(text);
  std::fprintf(stderr, "Error: %s%s", text, length > 0 && text[length - 1] == '\n' ? "" : "\n");
}

void endRun(int exitCode) {
  // Only the desktop (see failure.h): unloading the GL driver here would also leave its allocations without
  // a name for the leak checker.
  shellRestoreDesktop();
  std::exit(exitCode);
}
