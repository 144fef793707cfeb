// The full-window quads; each leaves a precise set of state behind, which the scenes rely on.
#include "gfx/overlay.h"

#include "platform/gl.h"
#include "gfx/resources.h"

namespace {
constexpr int canvasWidth = 1024;
constexpr int canvasHeight = 768;
// Stretched over the window, a picture up to 1.25 times the window's size each way is drawn from its
// full-size level alone: the nearest mipmap level only becomes the next one at 1.41 times. Saying so
// spares the software rasterizer choosing a level for every pixel, with the same pixels. Returns the
// bound texture's filter to put back after the quad, or 0 when nothing was changed.
GLint sampleFullSizeLevelOnly() {
  GLint filter = 0, width = 0, height = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
  if (filter != GL_LINEAR_MIPMAP_NEAREST) return 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
  if (4 * width > 5 * canvasWidth || 4 * height > 5 * canvasHeight) return 0;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  return filter;
}

}  // namespace

void beginOverlay2D(int left, int top, int right, int bottom) {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  // Bottom and top swapped: y runs down the window, as on the canvas.
  glOrtho(left, right, bottom, top, 0.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void endOverlay2D() {
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
}

void drawFeedbackLayer(int slot) {
  glPushMatrix();
  glDisable(GL_DEPTH_TEST);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);
  glBindTexture(GL_TEXTURE_2D, textures[slot]);
  glColor4f(1.0f, 1.0f, 1.0f, 0.99f);
  beginOverlay2D(0, 0, canvasWidth, canvasHeight);
  // The copy's first row is the frame's bottom row: t = 1 at the top shows it upright.
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 1.0f);
  glVertex2f(0.0f, 0.0f);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(0.0f, canvasHeight);
  glTexCoord2f(1.0f, 0.0f);
  glVertex2f(canvasWidth, canvasHeight);
  glTexCoord2f(1.0f, 1.0f);
  glVertex2f(canvasWidth, 0.0f);
  glEnd();
  endOverlay2D();
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glPopMatrix();
}

void drawFade(float alpha) {
  glPushMatrix();
  glDisable(GL_DEPTH_TEST);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);
  beginOverlay2D(0, 0, canvasWidth, canvasHeight);
  glColor4f(0.0f, 0.0f, 0.0f, alpha);
  // Clear black changes no pixel: once the fade is over, the window-sized quad is not worth drawing.
  // While it is drawn, black stays black whatever texel modulates it, and the pictures have no alpha
  // of their own: texturing is off for the quad alone, saving the rasterizer a window of lookups.
  if (alpha > 0.0f) {
    const GLboolean textured = glIsEnabled(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    glVertex2f(0.0f, 0.0f);
    glVertex2f(0.0f, canvasHeight);
    glVertex2f(canvasWidth, canvasHeight);
    glVertex2f(canvasWidth, 0.0f);
    glEnd();
    if (textured) glEnable(GL_TEXTURE_2D);
  }
  endOverlay2D();
  glEnable(GL_DEPTH_TEST);
  glPopMatrix();
}

void drawImageOverlay(int slot, float alpha) {
  beginOverlay2D(0, 0, canvasWidth, canvasHeight);
  glBindTexture(GL_TEXTURE_2D, textures[slot]);
  const GLint mipmapFilter = sampleFullSizeLevelOnly();
  glColor4f(1.0f, 1.0f, 1.0f, alpha);
  glBegin(GL_QUADS);
  glTexCoord2d(0.0, 1.0);
  glVertex2f(0.0f, 0.0f);
  glTexCoord2d(1.0, 1.0);
  glVertex2f(canvasWidth, 0.0f);
  glTexCoord2d(1.0, 0.0);
  glVertex2f(canvasWidth, canvasHeight);
  glTexCoord2d(0.0, 0.0);
  glVertex2f(0.0f, canvasHeight);
  glEnd();
  if (mipmapFilter) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmapFilter);
  endOverlay2D();
}
