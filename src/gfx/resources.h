// Everything drawn with is made once at start-up: GL context, fonts, cube list and the texture table.
#pragma once
#include <cstdint>

// Texture names by slot: 0 and 5 are the 512x512 render textures, the rest the images.
constexpr int textureSlots = 17;
extern uint32_t textures[textureSlots];

// Width and height of the window's client area, read once at start-up.
extern int clientWidth;
extern int clientHeight;

// Makes the GL context and base state, then every font, list and texture, in a fixed order.
// A picture that cannot be loaded ends the process with exit code 1 after its message.
void initResources();
// Loads a bitmap file into table[slot] as a mipmapped RGB texture; a null path does nothing.
void loadTexture(uint32_t* table, const char* path, int slot);
// Makes a decoded picture table[slot]'s mipmapped RGB texture (a new texture name; the old one is the caller's).
struct DibImage;
void uploadTexture(uint32_t* table, const DibImage& image, int slot);

// The pictures' files and their texture slots, in loading order.
struct ImageSlot {
  int slot;
  const char* path;
};
constexpr int imageCount = 15;
extern const ImageSlot imageSlots[imageCount];
