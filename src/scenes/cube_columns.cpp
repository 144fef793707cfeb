// The middle section: two chained columns of ten translucent textured cubes curling over white.
#include "scenes/scenes.h"

#include "platform/gl.h"
#include "gfx/render_state.h"
#include "gfx/cube.h"
#include "gfx/resources.h"
#include "gfx/text.h"
#include "music/sync.h"

namespace {

constexpr float angleStart = 0.0f;  // shared by the definition and CubeColumnsReset

}  // namespace

float cubeAngle = angleStart;

void CubeColumnsStep() { cubeAngle += 0.5f; }

void CubeColumnsReset() { cubeAngle = angleStart; }

namespace {

// Each cube is placed and turned relative to the one before it: no push or pop inside the chain.
void drawColumn(float x, float angle) {
  glPushMatrix();
  glTranslatef(x, 0.0f, 0.0f);
  for (int i = 0; i < 10; ++i) {
    glTranslatef(0.0f, -4.0f, static_cast<float>(i));
    glRotatef(angle, 0.5f, 0.5f, 0.5f);
    glCallList(cubeList);
  }
  glPopMatrix();
}

}  // namespace

void CubeColumnsScene() {
  glViewport(0, 0, 1024, 768);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  gluLookAt(0.0, 0.0, 20.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  // The caption goes into the frame first; the cubes are drawn over it.
  const int32_t textCount = syncCount.load();
  if (textCount > 11 && textCount < 50) {
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    printText(0, 100, 200, "%s", syncName());
  }
  glDisable(GL_FOG);
  glEnable(GL_LIGHTING);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_TEXTURE_2D);
  // After the look-at: the light is fixed in the scene's world.
  glLightfv(GL_LIGHT0, GL_AMBIENT, light0Ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, light0Diffuse);
  glLightfv(GL_LIGHT0, GL_POSITION, light0Position);
  glBindTexture(GL_TEXTURE_2D, textures[4]);
  CubeColumnsStep();  // before the cubes: the first frame draws at 0.5

  // A faint blue tint that deepens with each sync point from 36 to 59.
  const int32_t count = syncCount.load();
  const float c = (count < 36 || count >= 60) ? 1.0f : static_cast<float>(1.0 - count / 200.0);
  glColor4f(c, c, 1.0f, 0.4f);
  drawColumn(-3.0f, cubeAngle);
  drawColumn(3.0f, -cubeAngle);
  glEnable(GL_DEPTH_TEST);
}
