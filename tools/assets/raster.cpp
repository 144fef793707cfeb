// Canvas operations and glyph rendering; everything runs in a fixed order so results are byte-identical.
#include "raster.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <stdexcept>

namespace raster {

Colour mix(const Colour& a, const Colour& b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
Colour scale(const Colour& a, float s) { return {a.r * s, a.g * s, a.b * s}; }

namespace {

// One box pass along rows (horizontal) or columns.
void boxPass(const Mask& in, Mask& out, int radius, bool horizontal, bool wrap) {
  const int w = in.width, h = in.height;
  const int len = horizontal ? w : h, lines = horizontal ? h : w;
  const float norm = 1.0f / static_cast<float>(2 * radius + 1);
  for (int line = 0; line < lines; ++line) {
    auto get = [&](int i) {
      if (wrap) i = ((i % len) + len) % len;
      else i = std::clamp(i, 0, len - 1);
      return horizontal ? in.at(i, line) : in.at(line, i);
    };
    double sum = 0.0;
    for (int i = -radius; i <= radius; ++i) sum += get(i);
    for (int i = 0; i < len; ++i) {
      (horizontal ? out.at(i, line) : out.at(line, i)) = static_cast<float>(sum) * norm;
      sum += get(i + radius + 1) - get(i - radius);
    }
  }
}

}  // namespace

Mask blur(const Mask& m, int radius, bool wrapX) {
  Mask a = m, b(m.width, m.height);
  for (int pass = 0; pass < 3; ++pass) {
    boxPass(a, b, radius, true, wrapX);
    boxPass(b, a, radius, false, false);
  }
  return a;
}

Mask dilate(const Mask& m, int radius) {
  Mask out(m.width, m.height);
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x) {
      float best = 0.0f;
      for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
          if (dx * dx + dy * dy > radius * radius) continue;
          const int sx = x + dx, sy = y + dy;
          if (sx < 0 || sy < 0 || sx >= m.width || sy >= m.height) continue;
          best = std::max(best, m.at(sx, sy));
        }
      out.at(x, y) = best;
    }
  return out;
}

void Canvas::verticalGradient(const Colour& top, const Colour& bottom) {
  for (int y = 0; y < height; ++y) {
    const Colour c = mix(top, bottom, static_cast<float>(y) / static_cast<float>(std::max(1, height - 1)));
    for (int x = 0; x < width; ++x) at(x, y) = c;
  }
}

void Canvas::paint(const Mask& m, const Colour& c, float opacity) {
  for (size_t i = 0; i < px.size(); ++i) {
    const float a = std::clamp(m.v[i], 0.0f, 1.0f) * opacity;
    if (a > 0.0f) px[i] = mix(px[i], c, a);
  }
}

void Canvas::glow(const Mask& m, const Colour& c, float strength) {
  for (size_t i = 0; i < px.size(); ++i) {
    const float a = m.v[i] * strength;
    px[i] = {px[i].r + c.r * a, px[i].g + c.g * a, px[i].b + c.b * a};
  }
}

void Canvas::paintGradient(const Mask& m, const Colour& top, const Colour& bottom, int y0, int y1) {
  for (int y = 0; y < height; ++y) {
    const float t = std::clamp(static_cast<float>(y - y0) / static_cast<float>(std::max(1, y1 - y0)), 0.0f, 1.0f);
    const Colour c = mix(top, bottom, t);
    for (int x = 0; x < width; ++x) {
      const float a = std::clamp(m.at(x, y), 0.0f, 1.0f);
      if (a > 0.0f) at(x, y) = mix(at(x, y), c, a);
    }
  }
}

bmp::Picture Canvas::picture() const {
  bmp::Picture p{width, height, {}};
  p.pixels.reserve(px.size());
  auto byte = [](float v) { return static_cast<uint8_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f); };
  for (const Colour& c : px) p.pixels.push_back({byte(c.r), byte(c.g), byte(c.b)});
  return p;
}

struct Font::Impl {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  int size = 0;
  double stretch = 0.0;
  void select(int pixelSize, double s) {
    if (pixelSize == size && s == stretch) return;
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize));
    FT_Matrix matrix{static_cast<FT_Fixed>(s * 65536.0 + 0.5), 0, 0, 0x10000};
    FT_Set_Transform(face, &matrix, nullptr);
    size = pixelSize;
    stretch = s;
  }
};

Font::Font(const std::string& pattern) : impl_(std::make_unique<Impl>()) {
  FcPattern* query = FcNameParse(reinterpret_cast<const FcChar8*>(pattern.c_str()));
  if (!query) throw std::runtime_error("bad font pattern " + pattern);
  FcConfigSubstitute(nullptr, query, FcMatchPattern);
  FcDefaultSubstitute(query);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, query, &result);
  FcPatternDestroy(query);
  FcChar8* file = nullptr;
  if (!match || FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) {
    if (match) FcPatternDestroy(match);
    throw std::runtime_error("no font file for " + pattern);
  }
  file_ = reinterpret_cast<const char*>(file);
  FcPatternDestroy(match);
  if (FT_Init_FreeType(&impl_->library) || FT_New_Face(impl_->library, file_.c_str(), 0, &impl_->face))
    throw std::runtime_error("FreeType cannot open " + file_);
}

Font::~Font() {
  if (impl_->face) FT_Done_Face(impl_->face);
  if (impl_->library) FT_Done_FreeType(impl_->library);
}

void releaseFontLookup() { FcFini(); }

namespace {

// Walks the text's glyphs with kerning from pen, calling glyphAt(slot, pen) for each loaded glyph;
// returns the pen after the last one.
template <typename GlyphAt>
double walkGlyphs(FT_Face face, const std::string& text, double pen, double stretch, FT_Int32 loadFlags,
                  GlyphAt glyphAt) {
  FT_UInt previous = 0;
  for (unsigned char ch : text) {
    const FT_UInt glyph = FT_Get_Char_Index(face, ch);
    if (previous && glyph && FT_HAS_KERNING(face)) {
      FT_Vector kern{};
      FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &kern);
      pen += static_cast<double>(kern.x) / 64.0 * stretch;
    }
    if (FT_Load_Glyph(face, glyph, loadFlags)) continue;
    glyphAt(face->glyph, pen);
    pen += static_cast<double>(face->glyph->advance.x) / 64.0;
    previous = glyph;
  }
  return pen;
}

}  // namespace

double Font::measure(const std::string& text, int pixelSize, double stretch) {
  impl_->select(pixelSize, stretch);
  return walkGlyphs(impl_->face, text, 0.0, stretch, FT_LOAD_DEFAULT, [](FT_GlyphSlot, double) {});
}

void Font::draw(Mask& m, const std::string& text, double x, double baseline, int pixelSize, double stretch) {
  impl_->select(pixelSize, stretch);
  walkGlyphs(impl_->face, text, x, stretch, FT_LOAD_RENDER, [&](FT_GlyphSlot slot, double pen) {
    const FT_Bitmap& bm = slot->bitmap;
    const int left = static_cast<int>(pen + 0.5) + slot->bitmap_left, top = static_cast<int>(baseline + 0.5) - slot->bitmap_top;
    for (unsigned row = 0; row < bm.rows; ++row)
      for (unsigned col = 0; col < bm.width; ++col) {
        const int px = left + static_cast<int>(col), py = top + static_cast<int>(row);
        if (px < 0 || py < 0 || px >= m.width || py >= m.height) continue;
        const float cover = static_cast<float>(bm.buffer[static_cast<int>(row) * bm.pitch + static_cast<int>(col)]) / 255.0f;
        m.at(px, py) = std::min(1.0f, m.at(px, py) + cover);
      }
  });
}

int Font::fit(const std::string& text, double width, int maxSize, double stretch) {
  int size = maxSize;
  while (size > 8 && measure(text, size, stretch) > width) --size;
  return size;
}

}  // namespace raster
