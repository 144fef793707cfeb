// Start-up of every drawing resource, in the order each step needs the ones before it.
#include "gfx/resources.h"

#include <cstdlib>
#include <cstring>

#include "gfx/cube.h"
#include "gfx/dib_load.h"
#include "gfx/render_state.h"
#include "gfx/text.h"
#include "platform/failure.h"
#include "platform/gl.h"
#include "platform/shell.h"

uint32_t textures[textureSlots] = {};
int clientWidth = 0;
int clientHeight = 0;

// In loading order: the eighth greeting comes before the three credits.
const ImageSlot imageSlots[imageCount] = {
    {1, "Data/neonblue.bmp"},       {2, "Data/neonlilla.bmp"},     {3, "Data/tessary.bmp"},
    {4, "Data/black.bmp"},          {6, "Data/greets/talvo.bmp"},  {7, "Data/greets/pirsek.bmp"},
    {8, "Data/greets/mondal.bmp"},  {9, "Data/greets/quesh.bmp"},  {10, "Data/greets/vabrin.bmp"},
    {11, "Data/greets/lorrit.bmp"}, {12, "Data/greets/senyx.bmp"}, {16, "Data/greets/druvel.bmp"},
    {13, "Data/code.bmp"},          {14, "Data/music.bmp"},        {15, "Data/present.bmp"},
};

void loadTexture(uint32_t* table, const char* path, int slot) {
  if (!path) return;
  DibImage* image = loadDibImage(path);
  // The loader has said why; a demo without its pictures cannot run.
  if (!image) endRun(1);
  uploadTexture(table, *image, slot);
  freeDibImage(image);
}

void uploadTexture(uint32_t* table, const DibImage& image, int slot) {
  glGenTextures(1, &table[slot]);
  glBindTexture(GL_TEXTURE_2D, table[slot]);
  // GLU scales a side that is not a power of two, and its scaling reads up to a row past the picture's
  // end: it is given a copy with the top row once more, so that it reads the picture's own colours.
  const size_t rowBytes = static_cast<size_t>(image.width) * 3;
  const size_t bytes = rowBytes * static_cast<size_t>(image.height);
  uint8_t* pixels = static_cast<uint8_t*>(std::malloc(bytes + rowBytes));
  if (!pixels) {
    showFailure(FailureStyle::box, "Out of memory.");
    endRun(1);
  }
  std::memcpy(pixels, image.pixels, bytes);
  std::memcpy(pixels + bytes, pixels + bytes - rowBytes, rowBytes);
  // The loader packs its rows tightly: a width that is not a multiple of 4 leaves rows unaligned.
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  gluBuild2DMipmaps(GL_TEXTURE_2D, 3, image.width, image.height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
  glPopClientAttrib();
  std::free(pixels);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

// Makes table[slot] a black size x size texture with the given components, one level.
static void createRenderTexture(uint32_t* table, int size, int components, unsigned format, int slot) {
  // Four bytes a component, matching the unsigned-int upload.
  void* zeros = std::calloc(static_cast<size_t>(size) * size * components, 4);
  if (!zeros) {
    showFailure(FailureStyle::box, "Out of memory.");
    endRun(1);
  }
  glGenTextures(1, &table[slot]);
  glBindTexture(GL_TEXTURE_2D, table[slot]);
  glTexImage2D(GL_TEXTURE_2D, 0, components, size, size, 0, format, GL_UNSIGNED_INT, zeros);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  std::free(zeros);
}

void initResources() {
  shellClientSize(&clientWidth, &clientHeight);
  if (!initGL(clientWidth, clientHeight)) return;  // the quit is posted; nothing may touch GL
  fontLists[0] = createFont("Arial Black", 50);
  fontLists[1] = createFont("Arial", 12);
  buildCubeList();
  createRenderTexture(textures, 512, 3, GL_RGB, 0);
  createRenderTexture(textures, 512, 3, GL_RGB, 5);
  for (const ImageSlot& image : imageSlots) loadTexture(textures, image.path, image.slot);
}
