// The title: the title image tiled with a swinging zoom, then collapsed to a line and a short segment.
#include "scenes/scenes.h"

#include <cmath>

#include "platform/gl.h"
#include "gfx/overlay.h"
#include "gfx/resources.h"
#include "music/sync.h"

float titleTexZoom = 0.0f;
float titleZoomPhase = 0.0f;
float titleInsetY = 0.0f;
float titleInsetX = 0.0f;

void TitleScene() {
  glViewport(0, 0, 1024, 768);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_LIGHTING);
  beginOverlay2D(0, 0, 1024, 768);
  // Lit white saturates under the ambient terms: the texture shows at full brightness, alpha 0.9.
  glColor4f(1.0f, 1.0f, 1.0f, 0.9f);
  glBindTexture(GL_TEXTURE_2D, textures[3]);
  const double zoom = titleTexZoom;
  glBegin(GL_TRIANGLE_STRIP);
  glTexCoord2d(zoom, 1.0);
  glVertex2f(1024.0f - titleInsetX, titleInsetY);
  glTexCoord2d(-zoom, 1.0);
  glVertex2f(titleInsetX, titleInsetY);
  glTexCoord2d(zoom, 0.0);
  glVertex2f(1024.0f - titleInsetX, 768.0f - titleInsetY);
  glTexCoord2d(-zoom, 0.0);
  glVertex2f(titleInsetX, 768.0f - titleInsetY);
  glEnd();
  endOverlay2D();

  if (syncCount.load() <= 5) {
    titleTexZoom = static_cast<float>(1.5 - std::sin(static_cast<double>(titleZoomPhase)));
    titleZoomPhase += 0.1f;
  } else {
    // Height first, to a 2-pixel line; then width, to a 24-pixel segment, untextured from then on.
    titleInsetY += 10.0f;
    if (titleInsetY > 383.0f) {
      titleInsetY = 383.0f;
      titleInsetX += 10.0f;
      glDisable(GL_TEXTURE_2D);
      if (titleInsetX > 500.0f) titleInsetX = 500.0f;
    }
  }
  glColor3f(1.0f, 1.0f, 0.0f);
}
