// The cube display list: the whole texture once per face in its orientation, and half-length normals.
#include <gtest/gtest.h>

#include "platform/gl.h"
#include "gfx/cube.h"
#include "gl_harness.h"

namespace {

// Quadrant colours of a 2x2 texture: rows bottom-up, so t = 0 is red/green and t = 1 blue/white.
constexpr Rgb sLowTLow{255, 0, 0}, sHighTLow{0, 255, 0}, sLowTHigh{0, 0, 255}, sHighTHigh{255, 255, 255};

class Cube : public ::testing::Test {
 protected:
  void SetUp() override {
    openTestContext();
    static bool built = false;
    if (!built) buildCubeList(), built = true;
    const uint8_t texels[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(1, 1, 1);
  }
  void TearDown() override {
    if (HasFailure()) saveFrame(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  // Looks at the cube from outside along -axis; upX/upY/upZ say which way is up on screen.
  void lookFrom(float x, float y, float z, float upX, float upY, float upZ) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(x, y, z, 0, 0, 0, upX, upY, upZ);
    glCallList(cubeList);
    readFrame();
  }
  // Screen quarters around the centre of the window, where the face is seen.
  void expectQuarters(Rgb lowerLeft, Rgb lowerRight, Rgb upperLeft, Rgb upperRight) {
    EXPECT_EQ(rgbDistance(pixelAt(482, 414), lowerLeft), 0);
    EXPECT_EQ(rgbDistance(pixelAt(542, 414), lowerRight), 0);
    EXPECT_EQ(rgbDistance(pixelAt(482, 354), upperLeft), 0);
    EXPECT_EQ(rgbDistance(pixelAt(542, 354), upperRight), 0);
  }
};

TEST_F(Cube, EachFaceShowsTheWholeTextureInItsOrientation) {
  glEnable(GL_CULL_FACE);  // faces wound counter-clockwise from outside survive back-face culling
  lookFrom(0, 0, 8, 0, 1, 0);  // front: s along +x, t along +y
  expectQuarters(sLowTLow, sHighTLow, sLowTHigh, sHighTHigh);
  lookFrom(0, 0, -8, 0, 1, 0);  // back, seen with +x on the left: s grows toward -x
  expectQuarters(sLowTLow, sHighTLow, sLowTHigh, sHighTHigh);
  lookFrom(0, 8, 0, 0, 0, -1);  // top, -z up on screen: t grows toward -z
  expectQuarters(sLowTLow, sHighTLow, sLowTHigh, sHighTHigh);
  lookFrom(0, -8, 0, 0, 0, 1);  // bottom, +z up on screen
  expectQuarters(sHighTHigh, sLowTHigh, sHighTLow, sLowTLow);
  lookFrom(8, 0, 0, 0, 1, 0);  // right, -z to the right
  expectQuarters(sLowTLow, sHighTLow, sLowTHigh, sHighTHigh);
  lookFrom(-8, 0, 0, 0, 1, 0);  // left, +z to the right
  expectQuarters(sLowTLow, sHighTLow, sLowTHigh, sHighTHigh);
  glDisable(GL_CULL_FACE);
}

TEST_F(Cube, AFaceLitAlongItsNormalGetsHalfTheDiffuseLight) {
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_LIGHTING);
  glDisable(GL_LIGHT1);
  const float none[4] = {0, 0, 0, 1}, white[4] = {1, 1, 1, 1}, towardViewer[4] = {0, 0, 1, 0};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
  glLightfv(GL_LIGHT0, GL_AMBIENT, none);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
  glLoadIdentity();
  glLightfv(GL_LIGHT0, GL_POSITION, towardViewer);
  lookFrom(0, 0, 8, 0, 1, 0);
  EXPECT_LE(rgbDistance(pixelAt(512, 384), {128, 128, 128}), 1);
  // The same light on a quad with a unit normal: full brightness.
  glBegin(GL_QUADS);
  glNormal3f(0, 0, 1);
  glVertex3f(-0.5f, -0.5f, 1.5f), glVertex3f(0.5f, -0.5f, 1.5f), glVertex3f(0.5f, 0.5f, 1.5f), glVertex3f(-0.5f, 0.5f, 1.5f);
  glEnd();
  readFrame();
  EXPECT_EQ(rgbDistance(pixelAt(512, 384), {255, 255, 255}), 0);
}

}  // namespace
