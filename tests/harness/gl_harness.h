// The GL tests' one harness: a real context, frames and textures read back, boxes, GL state against a table.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

#include "gfx/resources.h"
#include "platform/gl.h"

constexpr int frameWidth = 1024, frameHeight = 768;

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, Rgb c) { return out << c.r << ", " << c.g << ", " << c.b; }
int rgbDistance(Rgb a, Rgb b);  // the largest difference of one component

// An RGB picture: a frame (row 0 the top of the window) or a texture level (row 0 at t = 0).
struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  Rgb at(int x, int y) const;
  Picture crop(int left, int top, int width, int height) const;
  bool operator==(const Picture&) const = default;
};

// Opens the 1024x768 window and makes the context with the base render state, once per process.
void openTestContext();
// From now on a failing test leaves the window's last picture as a PNG under the scratch folder.
void keepFramesOfFailures();
Picture grabFrame();
Picture grabTexture(GLuint name, int level = 0);  // the binding is left as it was
// What GL_LINEAR reads from a level at (s, t), with repeat wrapping, and that colour times k.
std::array<double, 3> bilinear(const Picture& level, double s, double t);
inline Rgb times(double k, const std::array<double, 3>& c) {
  return {int(k * c[0] + .5), int(k * c[1] + .5), int(k * c[2] + .5)};
}
// One pixel against a colour worked out by hand, within `slack` levels.
void expectPixel(const Picture& picture, int x, int y, Rgb want, int slack = 0);

// The bounding box of the pixels `match` accepts; empty (right < left) when there are none.
struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  long pixels = 0;
  std::array<int, 4> edges() const { return {left, top, right, bottom}; }
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
};
Box findBox(const Picture& picture, const std::function<bool(Rgb)>& match);
inline bool notBlack(Rgb c) { return c.r || c.g || c.b; }
inline bool dark(Rgb c) { return c.r < 128; }

// A switch (on, off), what glGet returns (is: its first want.size() numbers) or a light's parameter, as it should be.
struct GlValue {
  enum Kind { capability, value, light } kind;
  GLenum name, lightParameter;
  std::vector<double> want;
};
inline GlValue on(GLenum capability) { return {GlValue::capability, capability, 0, {1}}; }
inline GlValue off(GLenum capability) { return {GlValue::capability, capability, 0, {0}}; }
inline GlValue is(GLenum name, std::vector<double> want) { return {GlValue::value, name, 0, want}; }
inline GlValue lightIs(GLenum light, GLenum what, std::vector<double> w) { return {GlValue::light, light, what, w}; }
void expectGlState(const std::vector<GlValue>& want);  // and no GL error pending

// The base projection at 1024x768 as glGet gives it: f = 1 / tan 22.5 deg = 2.414214, x scale f / (4/3) =
// 1.810660, z (150 + 0.5) / (0.5 - 150) = -1.006689, w -1, and 2 x 150 x 0.5 / (0.5 - 150) = -1.003344.
inline const std::vector<double> basePerspective = {1.810660, 0, 0, 0, 0, 2.414214, 0, 0,
                                                    0, 0, -1.006689, -1, 0, 0, -1.003344, 0};
inline const std::vector<double> identityMatrix = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
// The look-at of a camera at (0, 0, z) towards the origin: a translation by -z.
inline std::vector<double> cameraAt(double z) { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -z, 1}; }
