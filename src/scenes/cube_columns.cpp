// Placeholder for the scene: clears the frame to a colour of its own until the scene is drawn for real.
#include "scenes/scenes.h"

#include "app/gl.h"

void CubeColumnsScene() {
  glClearColor(0.3f,0.3f,0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
