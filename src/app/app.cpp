// The run's three phases: window, resources, main loop.
#include "app/app.h"

#include "app/main_loop.h"
#include "gfx/resources.h"
#include "platform/shell.h"

bool appStart() {
  if (!shellCreateWindow("Vostrel", windowWidth, windowHeight, fullScreen)) return false;
  initResources();
  return true;
}

int appMain() { return appStart() ? runMainLoop() : 1; }
