// Guards the cube list against a face mapped in the wrong orientation or wound the wrong way, and against unit normals where half-length ones are wanted.
#include "gfx/cube.h"
#include "gl_harness.h"

// The cube with a 2x2 texture (rows bottom-up: red and green at t = 0, blue and white at t = 1) seen from
// `eye` with `up` up on screen: the quarters round the window centre, lower left, lower right, upper left, upper right.
static std::array<Rgb, 4> seenFrom(std::array<float, 3> eye, std::array<float, 3> up) {
  openTestContext();
  if (!cubeList) buildCubeList();
  const uint8_t texels[] = {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255};  // rows padded to 4 bytes
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glDisable(GL_BLEND), glColor3f(1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  gluLookAt(eye[0], eye[1], eye[2], 0, 0, 0, up[0], up[1], up[2]);
  glCallList(cubeList);
  const Picture frame = grabFrame();
  return {frame.at(482, 414), frame.at(542, 414), frame.at(482, 354), frame.at(542, 354)};
}

constexpr Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, white{255, 255, 255};

TEST(Cube, EachFaceShowsTheWholeTextureInItsOrientation) {
  openTestContext();
  glDisable(GL_LIGHTING);
  glEnable(GL_CULL_FACE);  // only faces wound counter-clockwise from outside are left
  const std::array<Rgb, 4> upright{red, green, blue, white};
  EXPECT_EQ(seenFrom({0, 0, 8}, {0, 1, 0}), upright) << "front";
  EXPECT_EQ(seenFrom({0, 0, -8}, {0, 1, 0}), upright) << "back";
  EXPECT_EQ(seenFrom({0, 8, 0}, {0, 0, -1}), upright) << "top: t grows toward -z";
  EXPECT_EQ(seenFrom({0, -8, 0}, {0, 0, 1}), (std::array<Rgb, 4>{white, blue, green, red})) << "bottom";
  EXPECT_EQ(seenFrom({8, 0, 0}, {0, 1, 0}), upright) << "right";
  EXPECT_EQ(seenFrom({-8, 0, 0}, {0, 1, 0}), upright) << "left";
}

TEST(Cube, AFaceLitAlongItsNormalGetsHalfTheDiffuseLight) {
  openTestContext();
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LIGHT1);
  const float none[4] = {0, 0, 0, 1}, full[4] = {1, 1, 1, 1}, towardViewer[4] = {0, 0, 1, 0};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
  glLightfv(GL_LIGHT0, GL_AMBIENT, none);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, full);
  glLightfv(GL_LIGHT0, GL_POSITION, towardViewer);  // under the identity
  EXPECT_LE(rgbDistance(seenFrom({0, 0, 8}, {0, 1, 0})[0], {128, 128, 128}), 1) << "0.5 x 255";
}
