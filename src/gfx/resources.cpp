// Start-up of every drawing resource, in the order each step needs the ones before it.
#include "gfx/resources.h"

#include "app/render_state.h"
#include "app/shell.h"

int clientWidth = 0;
int clientHeight = 0;

void initResources() {
  shellClientSize(&clientWidth, &clientHeight);
  if (!initGL(clientWidth, clientHeight)) return;  // the quit is posted; nothing may touch GL
}
