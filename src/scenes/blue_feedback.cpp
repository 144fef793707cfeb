// The blue interlude: one blue and three black lines spinning fast over sky blue, trails through slot 5.
#include "scenes/scenes.h"

#include "platform/gl.h"
#include "gfx/overlay.h"
#include "gfx/resources.h"

namespace {

constexpr float angleStart = 0.0f;  // each angle's, shared by the definitions and BlueFeedbackReset

}  // namespace

float blueAngleX = angleStart;
float blueAngleY = angleStart;
float blueAngleZ = angleStart;

void BlueFeedbackStep() {
  blueAngleX += 3.0f;
  blueAngleY += 2.0f;
  blueAngleZ += 1.0f;
}

void BlueFeedbackReset() { blueAngleX = blueAngleY = blueAngleZ = angleStart; }

// One pass of the scene at a viewport size.
static void drawBluePass(int width, int height) {
  glViewport(0, 0, width, height);
  drawFeedbackLayer(5);
  glBegin(GL_LINES);
  glColor3f(0.0f, 0.0f, 1.0f);
  glVertex3f(1.0f, 0.0f, 0.0f);
  glColor3f(0.0f, 0.0f, 1.0f);
  glVertex3f(4.0f, 4.0f, 0.0f);
  glEnd();
  // Black line k from (k, -k, -k) to (-k, k, k); the first has no length.
  for (int k = 0; k < 3; ++k) {
    const float f = static_cast<float>(k);
    glBegin(GL_LINES);
    glColor3f(0.0f, 0.0f, 0.0f);
    glVertex3f(f, -f, -f);
    glColor3f(0.0f, 0.0f, 0.0f);
    glVertex3f(-f, f, f);
    glEnd();
  }
}

void BlueFeedbackScene() {
  glViewport(0, 0, 1024, 768);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  glClearColor(0.0f, 0.8f, 1.0f, 1.0f);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glEnable(GL_TEXTURE_2D);
  gluLookAt(0.0, 0.0, 10.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
  glRotatef(blueAngleX, 1.0f, 0.0f, 0.0f);
  glRotatef(blueAngleY, 0.0f, 1.0f, 0.0f);
  glRotatef(blueAngleZ, 0.0f, 0.0f, 1.0f);

  // Every frame copies: the interlude's trails follow frames drawn, with no rate gate.
  drawBluePass(512, 512);
  glBindTexture(GL_TEXTURE_2D, textures[5]);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, 512, 512, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  drawBluePass(1024, 768);

  BlueFeedbackStep();
  glColor3f(1.0f, 1.0f, 0.0f);
}
