// The title: the title image tiled with a swinging zoom, then collapsed to a line and a short segment.
#include "scenes/scenes.h"

#include <cmath>

#include "platform/gl.h"
#include "gfx/overlay.h"
#include "gfx/resources.h"
#include "music/sync.h"

namespace {

// Start values, shared by the definitions and TitleReset: zoom 0 draws one texel column on the first frame.
constexpr float texZoomStart = 0.0f;
constexpr float zoomPhaseStart = 0.0f;
constexpr float insetStart = 0.0f;  // both insets: the whole window

}  // namespace

float titleTexZoom = texZoomStart;
float titleZoomPhase = zoomPhaseStart;
float titleInsetY = insetStart;
float titleInsetX = insetStart;

bool TitleStep() {
  if (syncCount.load() <= 5) {
    titleTexZoom = static_cast<float>(1.5 - std::sin(static_cast<double>(titleZoomPhase)));
    titleZoomPhase += 0.1f;
    return false;
  }
  // Height first, to a 2-pixel line; then width, to a 24-pixel segment.
  titleInsetY += 10.0f;
  if (titleInsetY <= 383.0f) return false;
  titleInsetY = 383.0f;
  titleInsetX += 10.0f;
  if (titleInsetX > 500.0f) titleInsetX = 500.0f;
  return true;
}

void TitleReset() {
  titleTexZoom = texZoomStart;
  titleZoomPhase = zoomPhaseStart;
  titleInsetY = insetStart;
  titleInsetX = insetStart;
}

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

  if (TitleStep()) glDisable(GL_TEXTURE_2D);  // untextured once the width shrinks
  glColor3f(1.0f, 1.0f, 0.0f);
}
