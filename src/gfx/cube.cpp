// The cube's faces: normals of length 0.5 given once per face, each face counter-clockwise from outside.
#include "gfx/cube.h"

#include "platform/gl.h"

unsigned cubeList = 0;

namespace {

struct CubeVertex {
  float s, t, x, y, z;
};

struct CubeFace {
  float nx, ny, nz;  // half-length: lighting sees half the diffuse term, as the cubes were lit
  CubeVertex corners[4];
};

constexpr CubeFace cubeFaces[6] = {
    {0.0f, 0.0f, 0.5f, {{0, 0, -1, -1, 1}, {1, 0, 1, -1, 1}, {1, 1, 1, 1, 1}, {0, 1, -1, 1, 1}}},         // front
    {0.0f, 0.0f, -0.5f, {{1, 0, -1, -1, -1}, {1, 1, -1, 1, -1}, {0, 1, 1, 1, -1}, {0, 0, 1, -1, -1}}},   // back
    {0.0f, 0.5f, 0.0f, {{0, 1, -1, 1, -1}, {0, 0, -1, 1, 1}, {1, 0, 1, 1, 1}, {1, 1, 1, 1, -1}}},        // top
    {0.0f, -0.5f, 0.0f, {{1, 1, -1, -1, -1}, {0, 1, 1, -1, -1}, {0, 0, 1, -1, 1}, {1, 0, -1, -1, 1}}},   // bottom
    {0.5f, 0.0f, 0.0f, {{1, 0, 1, -1, -1}, {1, 1, 1, 1, -1}, {0, 1, 1, 1, 1}, {0, 0, 1, -1, 1}}},        // right
    {-0.5f, 0.0f, 0.0f, {{0, 0, -1, -1, -1}, {1, 0, -1, -1, 1}, {1, 1, -1, 1, 1}, {0, 1, -1, 1, -1}}},   // left
};

}  // namespace

void buildCubeList() {
  cubeList = glGenLists(1);
  glNewList(cubeList, GL_COMPILE);
  glBegin(GL_QUADS);
  for (const CubeFace& face : cubeFaces) {
    glNormal3f(face.nx, face.ny, face.nz);
    for (const CubeVertex& v : face.corners) {
      glTexCoord2f(v.s, v.t);
      glVertex3f(v.x, v.y, v.z);
    }
  }
  glEnd();
  glEndList();
}
