// The render state every scene starts from, read back from a real context.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/gl.h"
#include "gfx/render_state.h"
#include "gl_harness.h"

namespace {

void expectFloats(GLenum which, std::initializer_list<float> want) {
  float got[16] = {};
  glGetFloatv(which, got);
  int i = 0;
  for (float w : want) {
    EXPECT_NEAR(got[i], w, 1e-5f) << "parameter " << std::hex << which << " [" << i << "]";
    ++i;
  }
}

void expectLight(GLenum light, GLenum name, const float* want) {
  float got[4] = {};
  glGetLightfv(light, name, got);
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(got[i], want[i]) << std::hex << light << " " << name << " [" << i << "]";
}

// The 45-degree perspective at the given aspect from 0.5 to 150, as gluPerspective builds it.
void expectProjection(double aspect) {
  const double f = 1.0 / std::tan(22.5 * M_PI / 180.0), n = 0.5, far = 150.0;
  float m[16];
  glGetFloatv(GL_PROJECTION_MATRIX, m);
  const double want[16] = {f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (far + n) / (n - far), -1,
                           0, 0, 2 * far * n / (n - far), 0};
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], want[i], 1e-5) << "projection [" << i << "]";
}

TEST(BaseState, AfterInitGL) {
  openTestContext();
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  GLint src = 0, dst = 0, depthFunc = 0, shade = 0, mode = 0, fogMode = 0, genS = 0, genT = 0;
  glGetIntegerv(GL_BLEND_SRC, &src);
  glGetIntegerv(GL_BLEND_DST, &dst);
  EXPECT_EQ(src, GL_SRC_ALPHA);
  EXPECT_EQ(dst, GL_ONE);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
  EXPECT_EQ(depthFunc, GL_LEQUAL);
  expectFloats(GL_DEPTH_CLEAR_VALUE, {1.0f});
  expectFloats(GL_COLOR_CLEAR_VALUE, {0, 0, 0, 1});
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  glGetIntegerv(GL_SHADE_MODEL, &shade);
  EXPECT_EQ(shade, GL_SMOOTH);
  EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
  EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
  EXPECT_FALSE(glIsEnabled(GL_LIGHT2));

  // Lights were given under the identity, so their positions read back unchanged.
  expectLight(GL_LIGHT0, GL_AMBIENT, light0Ambient);
  expectLight(GL_LIGHT0, GL_DIFFUSE, light0Diffuse);
  expectLight(GL_LIGHT0, GL_POSITION, light0Position);
  expectLight(GL_LIGHT1, GL_AMBIENT, light1Ambient);
  expectLight(GL_LIGHT1, GL_DIFFUSE, light1Diffuse);
  expectLight(GL_LIGHT1, GL_POSITION, light1Position);
  const float light1Expected[4] = {-1, -2, 0, 1};
  expectLight(GL_LIGHT1, GL_POSITION, light1Expected);

  EXPECT_FALSE(glIsEnabled(GL_FOG));
  glGetIntegerv(GL_FOG_MODE, &fogMode);
  EXPECT_EQ(fogMode, GL_LINEAR);
  expectFloats(GL_FOG_COLOR, {0.0f, 0.1f, 0.5f, 1.0f});
  expectFloats(GL_FOG_DENSITY, {0.35f});
  expectFloats(GL_FOG_START, {18.0f});
  expectFloats(GL_FOG_END, {40.0f});

  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
  glGetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, &genS);
  glGetTexGeniv(GL_T, GL_TEXTURE_GEN_MODE, &genT);
  EXPECT_EQ(genS, GL_SPHERE_MAP);
  EXPECT_EQ(genT, GL_SPHERE_MAP);

  GLint hint = 0;
  glGetIntegerv(GL_PERSPECTIVE_CORRECTION_HINT, &hint);
  EXPECT_EQ(hint, GL_NICEST);
  glGetIntegerv(GL_POINT_SMOOTH_HINT, &hint);
  EXPECT_EQ(hint, GL_NICEST);

  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 1024);
  EXPECT_EQ(viewport[3], 768);
  expectProjection(4.0 / 3.0);
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  expectFloats(GL_MODELVIEW_MATRIX, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});

  GLint depthBits = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  EXPECT_GE(depthBits, 16);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(BaseState, ZeroHeightCountsAsOne) {
  openTestContext();
  resizeViewport(640, 0);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 640);
  EXPECT_EQ(viewport[3], 1);
  expectProjection(640.0);
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
}

}  // namespace
