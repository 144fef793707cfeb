// Guards the base render state against a wrong switch, blend or depth function, fog or light value, or projection, and a zero-height resize against dividing by zero.
#include "gfx/render_state.h"
#include "gl_harness.h"

TEST(BaseState, AfterInitGL) {
  openTestContext();
  expectGlState({
      on(GL_BLEND), is(GL_BLEND_SRC, {GL_SRC_ALPHA}), is(GL_BLEND_DST, {GL_ONE}),  // additive
      on(GL_DEPTH_TEST), is(GL_DEPTH_FUNC, {GL_LEQUAL}), is(GL_DEPTH_CLEAR_VALUE, {1}),
      is(GL_COLOR_CLEAR_VALUE, {0, 0, 0, 1}), on(GL_TEXTURE_2D), is(GL_SHADE_MODEL, {GL_SMOOTH}),
      on(GL_COLOR_MATERIAL), on(GL_LIGHTING), on(GL_LIGHT0), on(GL_LIGHT1), off(GL_LIGHT2),
      // Positions given under the identity read back as given.
      lightIs(GL_LIGHT0, GL_AMBIENT, {0.3, 0.3, 0.3, 0.7}), lightIs(GL_LIGHT0, GL_DIFFUSE, {0.5, 0.7, 0.6, 0.8}),
      lightIs(GL_LIGHT0, GL_POSITION, {1, 2, 0, 1}), lightIs(GL_LIGHT1, GL_AMBIENT, {0.8, 0.8, 0.8, 0.7}),
      lightIs(GL_LIGHT1, GL_DIFFUSE, {0.8, 0.8, 0.8, 0.8}), lightIs(GL_LIGHT1, GL_POSITION, {-1, -2, 0, 1}),
      off(GL_FOG), is(GL_FOG_MODE, {GL_LINEAR}), is(GL_FOG_COLOR, {0, 0.1, 0.5, 1}), is(GL_FOG_DENSITY, {0.35}),
      is(GL_FOG_START, {18}), is(GL_FOG_END, {40}),
      off(GL_TEXTURE_GEN_S), off(GL_TEXTURE_GEN_T),
      is(GL_PERSPECTIVE_CORRECTION_HINT, {GL_NICEST}), is(GL_POINT_SMOOTH_HINT, {GL_NICEST}),
      is(GL_VIEWPORT, {0, 0, 1024, 768}), is(GL_PROJECTION_MATRIX, basePerspective),
      is(GL_MATRIX_MODE, {GL_MODELVIEW}), is(GL_MODELVIEW_MATRIX, identityMatrix),
  });
  GLint modes[2] = {};
  glGetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, &modes[0]), glGetTexGeniv(GL_T, GL_TEXTURE_GEN_MODE, &modes[1]);
  EXPECT_TRUE(modes[0] == GL_SPHERE_MAP && modes[1] == GL_SPHERE_MAP) << "texture coordinates generated as a sphere map";
}

TEST(BaseState, ZeroHeightCountsAsOne) {
  openTestContext();
  resizeViewport(640, 0);
  // Aspect 640 / 1: x scale 2.414214 / 640 = 0.003772; y and z as at 4:3.
  expectGlState({is(GL_VIEWPORT, {0, 0, 640, 1}), is(GL_MATRIX_MODE, {GL_MODELVIEW}),
                 is(GL_PROJECTION_MATRIX, {0.003772, 0, 0, 0, 0, 2.414214, 0, 0, 0, 0, -1.006689, -1})});
}
