// Designs of the neon tube textures, the title, the cube face, the three credits and the eight greeting cards.
#include "images.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "detmath.h"
#include "raster.h"

namespace images {

namespace {

using raster::Canvas;
using raster::Colour;
using raster::Font;
using raster::Mask;

// A soft line profile: 1 on the line, falling off with distance d over width w.
float line(double d, double w) {
  const double x = d / w;
  return static_cast<float>(1.0 / (1.0 + x * x));
}
float core(double d, double w) { return d >= w ? 0.0f : static_cast<float>(1.0 - d / w); }

struct Fonts {
  Font bold{"DejaVu Sans:bold"};
  Font book{"DejaVu Sans"};
};

// Blue neon: rings, spokes and a wavy ring around the centre, which the sphere map turns with the tube.
bmp::Picture neonBlue() {
  const int n = 256;
  Canvas c(n, n);
  c.verticalGradient({0.01f, 0.02f, 0.09f}, {0.0f, 0.03f, 0.12f});
  Mask glowMask(n, n), coreMask(n, n);
  std::array<std::pair<double, double>, 6> spokes{};
  for (size_t k = 0; k < spokes.size(); ++k) {
    const double a = detmath::pi * static_cast<double>(k) / 6.0;
    spokes[k] = {detmath::cos(a), detmath::sin(a)};
  }
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const double dx = x - 127.5, dy = y - 127.5, r = std::sqrt(dx * dx + dy * dy);
      float g = 0.0f, k = 0.0f;
      for (double ring : {22.0, 50.0, 78.0, 106.0, 134.0, 162.0}) {
        const double d = std::fabs(r - ring);
        g += 0.55f * line(d, 4.0);
        k += core(d, 1.6);
      }
      for (auto [cx, cy] : spokes) {
        const double d = std::fabs(dx * cy - dy * cx);
        const float fade = static_cast<float>(std::min(1.0, r / 40.0));
        g += 0.3f * line(d, 3.0) * fade;
        k += 0.7f * core(d, 1.1) * fade;
      }
      if (r > 1.0) {  // a ring waving six times around: sin(6 theta) from the sixth power of x + iy
        double re = dx / r, im = dy / r, pr = 1.0, pim = 0.0;
        for (int p = 0; p < 6; ++p) {
          const double t = pr * re - pim * im;
          pim = pr * im + pim * re;
          pr = t;
        }
        const double d = std::fabs(r - (92.0 + 9.0 * pim));
        g += 0.8f * line(d, 5.0);
        k += core(d, 2.0);
      }
      glowMask.at(x, y) = g;
      coreMask.at(x, y) = std::min(1.0f, k);
    }
  c.glow(glowMask, {0.05f, 0.25f, 0.9f}, 0.6f);
  c.glow(raster::blur(coreMask, 3), {0.2f, 0.6f, 1.0f}, 0.8f);
  c.glow(coreMask, {0.75f, 0.9f, 1.0f}, 1.0f);
  return c.picture();
}

// Lilac neon: a diamond lattice of glowing tubes with bright nodes and a slow interference wash.
bmp::Picture neonLilac() {
  const int n = 256;
  Canvas c(n, n);
  Mask glowMask(n, n), coreMask(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const double u = (x + y) / 32.0, v = (x - y + 256) / 32.0;
      const double du = std::fabs(u - std::floor(u + 0.5)) * 32.0 / 1.41421356, dv = std::fabs(v - std::floor(v + 0.5)) * 32.0 / 1.41421356;
      const double node = std::sqrt(du * du + dv * dv);
      float g = line(du, 3.5) + line(dv, 3.5) + 1.2f * line(node, 4.0);
      float k = core(du, 1.4f) + core(dv, 1.4f) + core(node, 3.0);
      const double wash = 0.5 + 0.5 * detmath::sin(x * 0.049 + 1.3 * detmath::sin(y * 0.037));
      g *= static_cast<float>(0.55 + 0.45 * wash);
      glowMask.at(x, y) = g;
      coreMask.at(x, y) = std::min(1.0f, k);
    }
  c.verticalGradient({0.05f, 0.0f, 0.09f}, {0.08f, 0.01f, 0.12f});
  c.glow(glowMask, {0.45f, 0.18f, 0.7f}, 0.45f);
  c.glow(raster::blur(coreMask, 2), {0.7f, 0.4f, 1.0f}, 0.7f);
  c.glow(coreMask, {1.0f, 0.85f, 1.0f}, 0.9f);
  return c.picture();
}

// The title: "VOSTREL" in wide gold lettering over a striped dusk; every element repeats across the width,
// so tiled copies join without a seam.
bmp::Picture title(Fonts& f) {
  const int w = 512, h = 512;
  Canvas c(w, h);
  c.verticalGradient({0.16f, 0.02f, 0.24f}, {0.0f, 0.02f, 0.1f});
  Mask wave(w, h), rule(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double phase = detmath::twoPi * 2.0 * x / w;  // two whole cycles across the tile
      const double yw = 380.0 + 26.0 * detmath::sin(phase);
      wave.at(x, y) = line(std::fabs(y - yw), 2.5);
      const double yw2 = 130.0 - 18.0 * detmath::sin(phase + 1.0);
      wave.at(x, y) += 0.6f * line(std::fabs(y - yw2), 2.0);
      if (y % 6 < 2 && y > 300) rule.at(x, y) = 0.35f * static_cast<float>(y - 300) / 212.0f;
    }
  c.glow(rule, {0.1f, 0.3f, 0.5f}, 1.0f);
  c.glow(wave, {0.1f, 0.7f, 0.9f}, 0.7f);

  const std::string text = "VOSTREL";
  const double stretch = 1.15;
  const int size = f.bold.fit(text, 440.0, 160, stretch);
  const double width = f.bold.measure(text, size, stretch);
  Mask letters(w, h);
  const double baseline = 256.0 + size * 0.36;
  f.bold.draw(letters, text, (w - width) / 2.0, baseline, size, stretch);
  Mask mirror(w, h);  // a faint reflection under the baseline
  for (int y = 0; y < h; ++y) {
    const int sy = static_cast<int>(2.0 * baseline) - y + 6;
    if (sy < 0 || sy >= h || y <= baseline) continue;
    const float fade = std::max(0.0f, 1.0f - static_cast<float>(y - baseline) / 70.0f);
    for (int x = 0; x < w; ++x) mirror.at(x, y) = letters.at(x, sy) * 0.35f * fade;
  }
  c.paint(mirror, {0.9f, 0.4f, 0.6f}, 1.0f);
  c.glow(raster::blur(letters, 10, true), {0.8f, 0.2f, 0.6f}, 1.1f);
  c.paint(raster::dilate(letters, 3), {0.12f, 0.0f, 0.18f}, 1.0f);
  const int capTop = static_cast<int>(baseline - size * 0.73);
  c.paintGradient(letters, {1.0f, 0.93f, 0.55f}, {1.0f, 0.38f, 0.45f}, capTop, static_cast<int>(baseline));
  return c.picture();
}

// The cube face: black glass with a light frame, a faint circuit grid, a ring and a "V"; its 64 greys fit one palette.
bmp::Picture cubeFace(Fonts& f) {
  const int n = 256;
  Canvas c(n, n);
  c.verticalGradient({0.03f, 0.03f, 0.05f}, {0.06f, 0.06f, 0.08f});
  Mask frame(n, n), grid(n, n), ring(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const int edge = std::min(std::min(x, y), std::min(n - 1 - x, n - 1 - y));
      if (edge < 7 && edge != 2) frame.at(x, y) = edge < 2 ? 0.55f : 1.0f;
      if (edge >= 12 && (x % 32 == 16 || y % 32 == 16)) grid.at(x, y) = 1.0f;
      const double r = std::sqrt((x - 127.5) * (x - 127.5) + (y - 127.5) * (y - 127.5));
      ring.at(x, y) = core(std::fabs(r - 84.0), 3.0);
    }
  c.paint(grid, {0.2f, 0.2f, 0.24f});
  c.paint(ring, {0.75f, 0.75f, 0.8f});
  c.paint(frame, {0.88f, 0.88f, 0.92f});
  Mask v(n, n);
  const int size = 120;
  f.bold.draw(v, "V", (n - f.bold.measure("V", size)) / 2.0, 128 + size * 0.36, size);
  c.paint(v, {0.92f, 0.92f, 0.96f});
  for (auto& p : c.px) {  // 64 levels of one cool grey
    const float level = std::round(std::clamp((p.r + p.g + p.b) / 3.0f, 0.0f, 1.0f) * 63.0f) / 63.0f;
    p = {level * 0.97f, level * 0.97f, level};
  }
  return c.picture();
}

// A credit: mostly black, a small label and a large glowing name between two thin rules.
bmp::Picture credit(Fonts& f, const std::string& label, const std::string& name, bool labelFirst) {
  const int w = 1024, h = 768;
  Canvas c(w, h);
  c.verticalGradient({0.015f, 0.02f, 0.06f}, {0.0f, 0.0f, 0.01f});
  Mask rules(w, h);
  for (int x = 140; x < 884; ++x)
    for (int y : {250, 251, 520, 521}) rules.at(x, y) = 1.0f;
  c.paint(rules, {0.2f, 0.45f, 0.7f});
  const int nameSize = f.bold.fit(name, 760.0, 120);
  Mask big(w, h), small(w, h);
  const double nameWidth = f.bold.measure(name, nameSize);
  const int labelSize = 46;
  const double labelWidth = f.book.measure(label, labelSize);
  const double nameBase = labelFirst ? 460.0 : 400.0, labelBase = labelFirst ? 330.0 : 480.0;
  f.bold.draw(big, name, (w - nameWidth) / 2.0, nameBase, nameSize);
  f.book.draw(small, label, (w - labelWidth) / 2.0, labelBase, labelSize);
  c.glow(raster::blur(big, 9), {0.2f, 0.55f, 1.0f}, 0.9f);
  c.paint(small, {0.55f, 0.75f, 1.0f});
  c.paint(big, {1.0f, 1.0f, 1.0f});
  return c.picture();
}

enum class Motif { stripes, rings, checks, waves, burst, dots, bars, zigzag };

struct Card {
  const char* name;
  Motif motif;
  Colour base, accent, ink, glow;
};

// A greeting card: a flat two-colour motif, "greetings to" and the name in the middle with a soft shadow.
bmp::Picture greeting(Fonts& f, const Card& card) {
  const int w = 512, h = 384;
  Canvas c(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double dx = x - 255.5, dy = y - 191.5;
      bool on = false;
      switch (card.motif) {
        case Motif::stripes: on = ((x + y) / 24) % 2 == 0; break;
        case Motif::rings: on = static_cast<int>(std::sqrt(dx * dx + dy * dy) / 22.0) % 2 == 0; break;
        case Motif::checks: on = ((x / 32) + (y / 32)) % 2 == 0; break;
        case Motif::waves: on = static_cast<int>((y + 14.0 * detmath::sin(x * detmath::twoPi / 128.0)) / 20.0) % 2 == 0; break;
        case Motif::burst: {  // sixteen rays: which side of eight lines through the centre
          int side = 0;
          for (int k = 0; k < 8; ++k) {
            const double a = detmath::pi * k / 8.0;
            if (dx * detmath::sin(a) - dy * detmath::cos(a) > 0) ++side;
          }
          on = side % 2 == 0;
          break;
        }
        case Motif::dots: {
          const int cx = (x / 32) * 32 + 16, cy = (y / 32) * 32 + 16;
          on = (x - cx) * (x - cx) + (y - cy) * (y - cy) <= 81;
          break;
        }
        case Motif::bars: on = (x / 16) % 3 == 0; break;
        case Motif::zigzag: {
          const int t = x % 64;
          on = static_cast<int>((y + (t < 32 ? t : 64 - t)) / 24) % 2 == 0;
          break;
        }
      }
      c.at(x, y) = on ? card.accent : card.base;
    }
  // A darker band behind the lettering keeps it legible on every motif.
  Mask band(w, h);
  for (int y = 120; y < 290; ++y)
    for (int x = 0; x < w; ++x) band.at(x, y) = 0.55f;
  c.paint(band, scale(card.base, 0.35f));
  const int size = f.bold.fit(card.name, 440.0, 100);
  const double width = f.bold.measure(card.name, size);
  Mask name(w, h), label(w, h);
  f.bold.draw(name, card.name, (w - width) / 2.0, 250.0, size);
  f.book.draw(label, "greetings to", (w - f.book.measure("greetings to", 26)) / 2.0, 150.0, 26);
  Mask shadow(w, h);
  for (int y = 4; y < h; ++y)
    for (int x = 4; x < w; ++x) shadow.at(x, y) = name.at(x - 4, y - 4);
  c.paint(raster::blur(shadow, 3), {0.0f, 0.0f, 0.0f}, 0.8f);
  c.glow(raster::blur(name, 6), card.glow, 0.6f);
  c.paint(label, card.ink);
  c.paint(name, card.ink);
  return c.picture();
}

std::vector<Asset> draw(Fonts& f) {
  using bmp::Encoding;
  const std::array<Card, 8> cards = {{
      {"talvo", Motif::stripes, {0.55f, 0.12f, 0.05f}, {0.85f, 0.35f, 0.08f}, {1.0f, 0.95f, 0.8f}, {1.0f, 0.7f, 0.2f}},
      {"pirsek", Motif::rings, {0.02f, 0.25f, 0.18f}, {0.05f, 0.42f, 0.3f}, {0.85f, 1.0f, 0.9f}, {0.3f, 1.0f, 0.6f}},
      {"mondal", Motif::checks, {0.25f, 0.08f, 0.4f}, {0.38f, 0.15f, 0.55f}, {1.0f, 0.9f, 1.0f}, {0.8f, 0.4f, 1.0f}},
      {"quesh", Motif::waves, {0.02f, 0.2f, 0.32f}, {0.05f, 0.4f, 0.5f}, {0.9f, 1.0f, 1.0f}, {0.3f, 0.9f, 1.0f}},
      {"vabrin", Motif::burst, {0.5f, 0.05f, 0.08f}, {0.75f, 0.5f, 0.08f}, {1.0f, 1.0f, 0.9f}, {1.0f, 0.6f, 0.2f}},
      {"lorrit", Motif::dots, {0.08f, 0.07f, 0.02f}, {0.85f, 0.75f, 0.1f}, {1.0f, 0.95f, 0.6f}, {1.0f, 0.85f, 0.2f}},
      {"senyx", Motif::bars, {0.03f, 0.08f, 0.3f}, {0.1f, 0.2f, 0.55f}, {0.9f, 0.95f, 1.0f}, {0.4f, 0.6f, 1.0f}},
      {"druvel", Motif::zigzag, {0.35f, 0.03f, 0.25f}, {0.6f, 0.1f, 0.45f}, {1.0f, 0.9f, 0.97f}, {1.0f, 0.4f, 0.8f}},
  }};
  const std::array<Encoding, 8> cardEncodings = {Encoding::rgb24, Encoding::rle8, Encoding::pal8, Encoding::core8,
                                                 Encoding::pal8,  Encoding::rle8, Encoding::rgb24, Encoding::core24};
  std::vector<Asset> out;
  out.push_back({"Data/neonblue.bmp", Encoding::rgb24, neonBlue()});
  out.push_back({"Data/neonlilla.bmp", Encoding::pal8, neonLilac()});
  out.push_back({"Data/tessary.bmp", Encoding::rgb24, title(f)});
  out.push_back({"Data/black.bmp", Encoding::pal8, cubeFace(f)});
  for (size_t i = 0; i < cards.size(); ++i)
    out.push_back({std::string("Data/greets/") + cards[i].name + ".bmp", cardEncodings[i], greeting(f, cards[i])});
  out.push_back({"Data/code.bmp", Encoding::rle8, credit(f, "code", "Tavik Renn", true)});
  out.push_back({"Data/music.bmp", Encoding::rle8, credit(f, "music", "Mira Solenn", true)});
  out.push_back({"Data/present.bmp", Encoding::rle8, credit(f, "presents", "HALVTONE", false)});
  return out;
}

}  // namespace

std::vector<Asset> makeAll() {
  std::vector<Asset> out;
  {
    Fonts f;
    out = draw(f);
  }
  raster::releaseFontLookup();  // leaves no cache behind for leak checkers
  return out;
}

}  // namespace images
