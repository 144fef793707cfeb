// Drawing for the image designs: a float RGB canvas, coverage masks, blurs and FreeType lettering.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "bmp.h"

namespace raster {

struct Colour {
  float r = 0, g = 0, b = 0;
};
Colour mix(const Colour& a, const Colour& b, float t);
Colour scale(const Colour& a, float s);

// A coverage or intensity field, 0..1 (values above 1 allowed for glows before clamping).
struct Mask {
  int width = 0, height = 0;
  std::vector<float> v;
  Mask() = default;
  Mask(int w, int h) : width(w), height(h), v(static_cast<size_t>(w) * static_cast<size_t>(h), 0.0f) {}
  float& at(int x, int y) { return v[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
  float at(int x, int y) const { return v[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

// Three passes of a box blur of the given radius (close to a Gaussian); wrapX makes the left and right edges meet.
Mask blur(const Mask& m, int radius, bool wrapX = false);
// Grows coverage by taking the maximum over a disc of the given radius.
Mask dilate(const Mask& m, int radius);

class Canvas {
 public:
  Canvas(int w, int h) : width(w), height(h), px(static_cast<size_t>(w) * static_cast<size_t>(h)) {}
  int width, height;
  std::vector<Colour> px;
  Colour& at(int x, int y) { return px[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }

  void verticalGradient(const Colour& top, const Colour& bottom);
  void paint(const Mask& m, const Colour& c, float opacity = 1.0f);   // covers with c where m is set
  void glow(const Mask& m, const Colour& c, float strength = 1.0f);   // adds light
  // Fills where the mask is set, with a colour that runs from `top` at row y0 to `bottom` at row y1.
  void paintGradient(const Mask& m, const Colour& top, const Colour& bottom, int y0, int y1);
  bmp::Picture picture() const;  // clamped and rounded to 8 bits
};

// A FreeType face found through fontconfig (for example "DejaVu Sans:bold").
class Font {
 public:
  explicit Font(const std::string& pattern);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  const std::string& file() const { return file_; }

  // Width in pixels of the text at this pixel size and horizontal stretch.
  double measure(const std::string& text, int pixelSize, double stretch = 1.0);
  // Adds the text's coverage to m with its left end at x and its baseline at y.
  void draw(Mask& m, const std::string& text, double x, double baseline, int pixelSize, double stretch = 1.0);
  // Largest pixel size (up to maxSize) at which the text fits in the width.
  int fit(const std::string& text, double width, int maxSize, double stretch = 1.0);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string file_;
};

// Frees fontconfig's cached configuration once no Font is left (it is loaded again when needed).
void releaseFontLookup();

}  // namespace raster
