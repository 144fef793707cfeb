// The opening: two spinning textured tubes seen from inside, a fade-in, camera sways and the credits.
#include "scenes/scenes.h"

#include <cmath>

#include "app/gl.h"
#include "app/render_state.h"
#include "gfx/overlay.h"
#include "gfx/resources.h"
#include "music/sync.h"

float tunnelEyeZ = 680.0f;
float tunnelLookTarget = 0.0f;
float tunnelSwayPhase = 0.0f;
float tunnelSwayAmplitude = 18.0f;
int32_t tunnelSwaysDone = 1;  // the count's start value: no sway before the first sync point
float tunnelInnerAngle = 90.0f;
float tunnelOuterAngle = 45.0f;
float tunnelFadeLevel = 1.0f;

namespace {

// One tube: made and deleted within the frame. A quadric that cannot be made skips its drawing.
GLUquadric* newTubeQuadric() {
  GLUquadric* quadric = gluNewQuadric();
  if (!quadric) return nullptr;
  gluQuadricOrientation(quadric, GLU_INSIDE);
  gluQuadricNormals(quadric, GLU_SMOOTH);
  gluQuadricTexture(quadric, GL_TRUE);
  return quadric;
}

// The sway runs after the camera is placed, so it shows from the next frame on.
void swayStep() {
  const int32_t count = syncCount.load();
  if (!(tunnelSwaysDone < count && count < 5)) return;
  tunnelLookTarget = static_cast<float>(std::sin(static_cast<double>(tunnelSwayPhase)) * tunnelSwayAmplitude);
  tunnelSwayPhase += 0.3f;
  tunnelSwayAmplitude -= 0.09f;
  if (tunnelSwayAmplitude <= 0.0f) {
    ++tunnelSwaysDone;
    tunnelSwayAmplitude = 18.0f;
  }
}

}  // namespace

void TunnelScene() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  gluLookAt(0.0, 0.0, tunnelEyeZ, tunnelLookTarget, tunnelLookTarget, tunnelLookTarget, 0.0, 1.0, 0.0);
  swayStep();

  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_TEXTURE_GEN_S);
  glEnable(GL_TEXTURE_GEN_T);

  glBindTexture(GL_TEXTURE_2D, textures[1]);
  GLUquadric* innerQuadric = newTubeQuadric();
  glPushMatrix();
  glColor4f(1.0f, 1.0f, 1.0f, 0.5f);
  glRotatef(tunnelInnerAngle, 0.0f, 0.0f, 1.0f);
  glTranslatef(0.0f, 0.0f, 300.0f);
  if (innerQuadric) {
    gluQuadricDrawStyle(innerQuadric, GLU_FILL);
    gluCylinder(innerQuadric, 0.1, 1.0, 380.0, 30, 30);
    if (syncCount.load() > 2) {  // the cone's wire grid over its surface
      gluQuadricDrawStyle(innerQuadric, GLU_LINE);
      gluQuadricTexture(innerQuadric, GL_FALSE);
      gluCylinder(innerQuadric, 0.1, 1.0, 380.0, 30, 30);
    }
  }
  glPopMatrix();

  glBindTexture(GL_TEXTURE_2D, textures[2]);
  GLUquadric* outerQuadric = newTubeQuadric();
  glPushMatrix();
  glColor4f(0.7f, 0.7f, 0.7f, 0.6f);
  glRotatef(tunnelOuterAngle, 0.0f, 0.0f, 1.0f);
  glTranslatef(0.0f, 0.0f, 300.0f);
  if (outerQuadric) {
    gluQuadricDrawStyle(outerQuadric, GLU_FILL);
    gluCylinder(outerQuadric, 1.2, 1.2, 380.0, 30, 30);
  }
  glPopMatrix();

  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  // Under the camera: the light stays at the world point (1, 2, 0) for everything after.
  glLightfv(GL_LIGHT0, GL_AMBIENT, light0Ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, light0Diffuse);
  glLightfv(GL_LIGHT0, GL_POSITION, light0Position);
  if (innerQuadric) gluDeleteQuadric(innerQuadric);
  if (outerQuadric) gluDeleteQuadric(outerQuadric);

  tunnelEyeZ -= 0.05f;
  tunnelInnerAngle += 0.13f;
  tunnelOuterAngle -= 0.53f;
  glEnable(GL_DEPTH_TEST);

  drawFade(tunnelFadeLevel);
  tunnelFadeLevel -= 0.001f;
  if (tunnelFadeLevel < 0.0f) tunnelFadeLevel = 0.0f;

  // After the fade, so it never dims them; blended at 0.7 with the blending left on.
  if (syncCount.load() == 2) drawImageOverlay(13, 0.7f);
  if (syncCount.load() == 3) drawImageOverlay(14, 0.7f);
  if (syncCount.load() == 4) drawImageOverlay(15, 0.7f);
}
