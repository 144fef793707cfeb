// The main scene: three blue lines turning in front of white, leaving trails through render texture 0,
// with the captions, the greetings, the closing texts and the end of the presentation.
#include "scenes/scenes.h"

#include "platform/gl.h"
#include "platform/shell.h"
#include "scenes/timing.h"
#include "gfx/overlay.h"
#include "gfx/resources.h"
#include "gfx/text.h"
#include "music/sync.h"

namespace {

constexpr float angleStart = 0.0f;  // each angle's, shared by the definitions and LineFeedbackReset

}  // namespace

float lineAngleX = angleStart;
float lineAngleY = angleStart;
float lineAngleZ = angleStart;

void LineFeedbackStep() {
  lineAngleX += 0.3f;
  lineAngleY += 0.2f;
  lineAngleZ += 1.0f;
}

void LineFeedbackReset() { lineAngleX = lineAngleY = lineAngleZ = angleStart; }

namespace {

struct Segment {
  float from[3], to[3];
};

// Segment k runs from (k + 2, -k, -k - 3) to (-1.5 - k, k + 3, k + 1).
constexpr Segment lineSegments[3] = {
    {{2.0f, 0.0f, -3.0f}, {-1.5f, 3.0f, 1.0f}},
    {{3.0f, -1.0f, -4.0f}, {-2.5f, 4.0f, 2.0f}},
    {{4.0f, -2.0f, -5.0f}, {-3.5f, 5.0f, 3.0f}},
};

struct Greeting {
  int count, slot;
  float alpha;
};

constexpr Greeting greetings[8] = {
    {66, 6, 1.0f}, {67, 7, 0.9f}, {68, 8, 0.8f}, {69, 9, 0.7f},
    {70, 10, 0.6f}, {71, 11, 0.5f}, {72, 12, 0.4f}, {73, 16, 0.4f},
};

}  // namespace

// One pass: the feedback layer of slot 0, then the lines.
static void drawLinePass() {
  drawFeedbackLayer(0);
  // Still textured with slot 0 bound and no coordinates of their own: modulated by texel (1, 1).
  for (const Segment& segment : lineSegments) {
    glBegin(GL_LINES);
    glColor3f(0.0f, 0.2f, 1.0f);
    glVertex3fv(segment.from);
    glColor3f(0.0f, 0.2f, 1.0f);
    glVertex3fv(segment.to);
    glEnd();
  }
}

void LineFeedbackScene() {
  glViewport(0, 0, 1024, 768);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);  // the previous scene's colour on the first frame
  glLoadIdentity();
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  gluLookAt(0.0, 0.0, 10.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
  glPushMatrix();

  // Texts are drawn into the frame only to be taken into the feedback texture, one percent a pass.
  const int32_t textCount = syncCount.load();
  if (textCount > 11 && textCount < 60) {
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    printText(0, 100, 300, "%s", syncName());
  }
  if (syncCount.load() == 75) {
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    printText(0, 30, 300, "Se you all next year!");
  }
  if (syncCount.load() == 76) {
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    printText(0, 30, 300, "Yorv er t\xF8" "ff!");  // code page 1252: the glyph of byte 0xF8
  }
  if (syncCount.load() == 85) shellPostQuit(0);

  glPopMatrix();
  glEnable(GL_TEXTURE_2D);
  glRotatef(lineAngleX, 1.0f, 0.0f, 0.0f);
  glRotatef(lineAngleY, 0.0f, 1.0f, 0.0f);
  glRotatef(lineAngleZ, 0.0f, 0.0f, 1.0f);
  glPushMatrix();

  // The feedback pass: drawn small into the corner of the back buffer, then copied into slot 0.
  if (rateGate(100)) {
    glViewport(0, 0, 512, 512);
    drawLinePass();
    glBindTexture(GL_TEXTURE_2D, textures[0]);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, 512, 512, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, 1024, 768);
  }

  LineFeedbackStep();
  glPopMatrix();

  // A greeting covers the whole frame, opaque with blending off: the visible pass, which would lie
  // under it, is drawn only when no greeting is. The pass uses the same matrix here as before the pop.
  glDisable(GL_BLEND);
  bool greeted = false;
  for (const Greeting& greeting : greetings)
    if (syncCount.load() == greeting.count) {
      drawImageOverlay(greeting.slot, greeting.alpha);
      greeted = true;
    }
  if (!greeted) {
    drawLinePass();
    glColor3f(0.0f, 0.0f, 0.0f);
  }
}
