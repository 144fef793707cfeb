// The run's three phases: window, resources, main loop.
#include "app/app.h"

#include "app/main_loop.h"
#include "gfx/resources.h"
#include "platform/shell.h"

int appMain() {
  if (!shellCreateWindow("Vostrel", windowWidth, windowHeight, fullScreen)) return 1;
  initResources();
  return runMainLoop();
}
