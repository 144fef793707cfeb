// The GL context's base render state: blending, depth, texturing, two lights, fog values, projection.
#include "gfx/render_state.h"

#include "platform/failure.h"
#include "platform/gl.h"
#include "platform/shell.h"

const float light0Ambient[4] = {0.3f, 0.3f, 0.3f, 0.7f};
const float light0Diffuse[4] = {0.5f, 0.7f, 0.6f, 0.8f};
const float light0Position[4] = {1.0f, 2.0f, 0.0f, 1.0f};
const float light1Ambient[4] = {0.8f, 0.8f, 0.8f, 0.7f};
const float light1Diffuse[4] = {0.8f, 0.8f, 0.8f, 0.8f};
const float light1Position[4] = {-1.0f, -2.0f, 0.0f, 1.0f};

bool glReady = false;

namespace {

const float fogColor[4] = {0.0f, 0.1f, 0.5f, 1.0f};

// Without a usable context nothing may touch GL: the run ends through the quit request.
bool makeContext() {
  switch (shellCreateContext()) {
    case ShellContextResult::ready:
      return true;
    case ShellContextResult::noPixelFormat:
      showFailure(FailureStyle::box, "ChoosePixelFormat failed");
      break;
    case ShellContextResult::formatRejected:
      showFailure(FailureStyle::box, "SetPixelFormat failed");
      break;
    case ShellContextResult::noContext:
      showFailure(FailureStyle::line, "cannot make the OpenGL context current");
      break;
  }
  shellPostQuit(1);
  return false;
}

}  // namespace

bool initGL(int width, int height) {
  if (!makeContext()) return false;

  glEnable(GL_COLOR_MATERIAL);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glEnable(GL_TEXTURE_2D);
  glShadeModel(GL_SMOOTH);
  glClearDepth(1.0);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  // Fog stays disabled; its values are set so that a scene enabling it would get the deep blue.
  glFogi(GL_FOG_MODE, GL_LINEAR);
  glFogfv(GL_FOG_COLOR, fogColor);
  glFogf(GL_FOG_DENSITY, 0.35f);
  glHint(GL_FOG_HINT, GL_DONT_CARE);
  glFogf(GL_FOG_START, 18.0f);
  glFogf(GL_FOG_END, 40.0f);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glHint(GL_POINT_SMOOTH_HINT, GL_NICEST);
  // Given under the identity model-view matrix, so both positions are in eye coordinates.
  glLightfv(GL_LIGHT0, GL_AMBIENT, light0Ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, light0Diffuse);
  glLightfv(GL_LIGHT0, GL_POSITION, light0Position);
  glEnable(GL_LIGHT0);
  glLightfv(GL_LIGHT1, GL_AMBIENT, light1Ambient);
  glLightfv(GL_LIGHT1, GL_DIFFUSE, light1Diffuse);
  glLightfv(GL_LIGHT1, GL_POSITION, light1Position);
  glEnable(GL_LIGHT1);
  glEnable(GL_LIGHTING);
  // Only the modes: the tunnel switches generation on around its own drawing.
  glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  glReady = true;
  resizeViewport(width, height);
  return true;
}

void resizeViewport(int width, int height) {
  if (!glReady) return;  // a size message can arrive before the context exists
  if (height == 0) height = 1;
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height), 0.5, 150.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}
