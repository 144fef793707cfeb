// The opening: two spinning textured tubes seen from inside, a fade-in, camera sways and the credits.
#include "scenes/scenes.h"

#include <cmath>

#include "platform/gl.h"
#include "gfx/render_state.h"
#include "gfx/overlay.h"
#include "gfx/resources.h"
#include "music/sync.h"

namespace {

// Start values, shared by the definitions and TunnelReset.
constexpr float eyeZStart = 680.0f;
constexpr float lookTargetStart = 0.0f;
constexpr float swayPhaseStart = 0.0f;
constexpr float swayAmplitudeStart = 18.0f;  // also each new sway's
constexpr int32_t swaysDoneStart = 1;        // the count's start value: no sway before the first sync point
constexpr float innerAngleStart = 90.0f;
constexpr float outerAngleStart = 45.0f;
constexpr float fadeLevelStart = 1.0f;

}  // namespace

float tunnelEyeZ = eyeZStart;
float tunnelLookTarget = lookTargetStart;
float tunnelSwayPhase = swayPhaseStart;
float tunnelSwayAmplitude = swayAmplitudeStart;
int32_t tunnelSwaysDone = swaysDoneStart;
float tunnelInnerAngle = innerAngleStart;
float tunnelOuterAngle = outerAngleStart;
float tunnelFadeLevel = fadeLevelStart;

namespace {

// One tube on the z axis from 300 to 680, turned by angle. Its quadric is made here and deleted by the
// caller at the end of the frame; a quadric that cannot be made skips the drawing.
GLUquadric* drawTube(int slot, const float colour[4], float angle, double baseRadius, double topRadius,
                     bool wireGrid) {
  glBindTexture(GL_TEXTURE_2D, textures[slot]);
  GLUquadric* quadric = gluNewQuadric();
  if (quadric) {
    gluQuadricOrientation(quadric, GLU_INSIDE);
    gluQuadricNormals(quadric, GLU_SMOOTH);
    gluQuadricTexture(quadric, GL_TRUE);
  }
  glPushMatrix();
  glColor4fv(colour);
  glRotatef(angle, 0.0f, 0.0f, 1.0f);
  glTranslatef(0.0f, 0.0f, 300.0f);
  if (quadric) {
    gluQuadricDrawStyle(quadric, GLU_FILL);
    gluCylinder(quadric, baseRadius, topRadius, 380.0, 30, 30);
    if (wireGrid) {  // the same surface again as lines, untextured, in the same colour
      gluQuadricDrawStyle(quadric, GLU_LINE);
      gluQuadricTexture(quadric, GL_FALSE);
      gluCylinder(quadric, baseRadius, topRadius, 380.0, 30, 30);
    }
  }
  glPopMatrix();
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
    tunnelSwayAmplitude = swayAmplitudeStart;
  }
}

// The camera creeps in and the tubes spin, after this frame's tubes are drawn.
void moveStep() {
  tunnelEyeZ -= 0.05f;
  tunnelInnerAngle += 0.13f;
  tunnelOuterAngle -= 0.53f;
}

// After this frame's fade is laid.
void fadeStep() {
  tunnelFadeLevel -= 0.001f;
  if (tunnelFadeLevel < 0.0f) tunnelFadeLevel = 0.0f;
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

  // The inner cone narrows away from the camera; the outer tube, drawn last, lies over it.
  constexpr float innerColour[4] = {1.0f, 1.0f, 1.0f, 0.5f};
  constexpr float outerColour[4] = {0.7f, 0.7f, 0.7f, 0.6f};
  GLUquadric* innerQuadric = drawTube(1, innerColour, tunnelInnerAngle, 0.1, 1.0, syncCount.load() > 2);
  GLUquadric* outerQuadric = drawTube(2, outerColour, tunnelOuterAngle, 1.2, 1.2, false);

  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  // Under the camera: the light stays at the world point (1, 2, 0) for everything after.
  glLightfv(GL_LIGHT0, GL_AMBIENT, light0Ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, light0Diffuse);
  glLightfv(GL_LIGHT0, GL_POSITION, light0Position);
  if (innerQuadric) gluDeleteQuadric(innerQuadric);
  if (outerQuadric) gluDeleteQuadric(outerQuadric);

  moveStep();
  glEnable(GL_DEPTH_TEST);

  drawFade(tunnelFadeLevel);
  fadeStep();

  // After the fade, so it never dims them; blended at 0.7 with the blending left on.
  if (syncCount.load() == 2) drawImageOverlay(13, 0.7f);
  if (syncCount.load() == 3) drawImageOverlay(14, 0.7f);
  if (syncCount.load() == 4) drawImageOverlay(15, 0.7f);
}

void TunnelStep() { swayStep(); moveStep(); fadeStep(); }

void TunnelReset() {
  tunnelEyeZ = eyeZStart;
  tunnelLookTarget = lookTargetStart;
  tunnelSwayPhase = swayPhaseStart;
  tunnelSwayAmplitude = swayAmplitudeStart;
  tunnelSwaysDone = swaysDoneStart;
  tunnelInnerAngle = innerAngleStart;
  tunnelOuterAngle = outerAngleStart;
  tunnelFadeLevel = fadeLevelStart;
}
