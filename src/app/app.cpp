// The run's three phases: window, resources, main loop.
#include "app/app.h"

#include <cstdio>

#include "app/main_loop.h"
#include "app/shell.h"
#include "gfx/resources.h"

void reportFailure(const char* what) { std::fprintf(stderr, "vostrel: %s\n", what); }

int appMain() {
  if (!shellCreateWindow("Vostrel", windowWidth, windowHeight, fullScreen)) return 1;
  initResources();
  return runMainLoop();
}
