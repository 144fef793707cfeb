// The two feedback scenes on a real context: texts and greetings by count, trails, the end, the interlude, state left.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gl.h"
#include "platform/shell.h"
#include "gfx/dib_load.h"
#include "gfx/overlay.h"
#include "gfx/resources.h"
#include "gfx/text.h"
#include "app/main_loop.h"
#include "gl_harness.h"
#include "music/sync.h"
#include "scene_driver.h"
#include "scene_fixture.h"
#include "scenes/scenes.h"

namespace {

constexpr int frameWidth = 1024;
constexpr int frameHeight = 768;
constexpr int copySize = 512;

using Pixels = std::vector<uint8_t>;

struct Colour {
  double r, g, b;
};

// Level 0 of a slot's texture, RGB, first row the bottom row. The binding is left as it was.
Pixels slotTexels(int slot, int* width = nullptr, int* height = nullptr) {
  GLint bound = 0, w = 0, h = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glBindTexture(GL_TEXTURE_2D, textures[slot]);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
  Pixels texels(static_cast<size_t>(w) * h * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glBindTexture(GL_TEXTURE_2D, bound);
  if (width) *width = w;
  if (height) *height = h;
  return texels;
}

// Makes a render texture one flat grey level, as a 512x512 RGB copy would leave it.
void fillRenderTexture(int slot, uint8_t level) {
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  const Pixels flat(copySize * copySize * 3, level);
  glBindTexture(GL_TEXTURE_2D, textures[slot]);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, copySize, copySize, 0, GL_RGB, GL_UNSIGNED_BYTE, flat.data());
  glBindTexture(GL_TEXTURE_2D, bound);
}

// The line scene as the program starts it (angles 0, slot 0 black, the base state's black clear colour),
// or as it runs once its trails have faded out (slot 0 and the clear colour white). Two runs from the same
// start draw the same frames, so what a count adds shows as their difference.
void restartLineScene(bool white) {
  lineAngleX = lineAngleY = lineAngleZ = 0.0f;
  fillRenderTexture(0, white ? 255 : 0);
  const float c = white ? 1.0f : 0.0f;
  glClearColor(c, c, c, 1.0f);
}

// Window pixels where a text printed with the caption font at canvas (x, 300) puts ink; rows from the bottom.
struct Ink {
  std::vector<uint8_t> at;  // frameWidth x frameHeight
  bool operator()(int x, int rowFromBottom) const { return at[static_cast<size_t>(rowFromBottom) * frameWidth + x]; }
  long pixels(int right, int top) const {  // ink left of column right and below row top
    long n = 0;
    for (int y = 0; y < top; ++y)
      for (int x = 0; x < right; ++x) n += (*this)(x, y);
    return n;
  }
};

Ink printedInk(int x, const std::string& text) {
  glViewport(0, 0, frameWidth, frameHeight);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glColor3f(0.0f, 0.0f, 0.0f);
  printText(0, x, 300, "%s", text.c_str());
  Pixels bottomUp(frameWidth * frameHeight * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, frameWidth, frameHeight, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  Ink ink;
  ink.at.resize(frameWidth * frameHeight);
  for (size_t i = 0; i < ink.at.size(); ++i) ink.at[i] = bottomUp[i * 3] < 128;
  return ink;
}

// Texels of a copy taken while a black text was drawn on every pass, starting from white: grey below white.
// The segments are blue, and the background stays white.
bool textTexel(const Pixels& copy, int x, int y) {
  const uint8_t* p = &copy[(static_cast<size_t>(y) * copySize + x) * 3];
  return p[0] == p[1] && p[1] == p[2] && p[2] < 255;
}

// How many texels of the copy disagree with the ink inside the copied corner; 0 when the copy holds
// exactly that text.
long textMismatches(const Pixels& copy, const Ink& ink) {
  long n = 0;
  for (int y = 0; y < copySize; ++y)
    for (int x = 0; x < copySize; ++x) n += textTexel(copy, x, y) != ink(x, y);
  return n;
}

// A texture stretched over the whole window as the full-window quads map it (t = 1 at the top),
// sampled bilinearly with wrap-around as GL_LINEAR magnification does.
Colour stretchedSample(const Pixels& tex, int w, int h, int x, int y) {
  const double u = (x + 0.5) * w / frameWidth - 0.5;
  const double v = (frameHeight - 1 - y + 0.5) * h / frameHeight - 0.5;
  const int u0 = static_cast<int>(std::floor(u)), v0 = static_cast<int>(std::floor(v));
  const double fu = u - u0, fv = v - v0;
  auto texel = [&](int i, int j, int c) {
    i = (i % w + w) % w;
    j = (j % h + h) % h;
    return static_cast<double>(tex[(static_cast<size_t>(j) * w + i) * 3 + c]);
  };
  double out[3];
  for (int c = 0; c < 3; ++c)
    out[c] = (1 - fv) * ((1 - fu) * texel(u0, v0, c) + fu * texel(u0 + 1, v0, c)) +
             fv * ((1 - fu) * texel(u0, v0 + 1, c) + fu * texel(u0 + 1, v0 + 1, c));
  return {out[0], out[1], out[2]};
}

const uint8_t* pixel(const Pixels& frame, int x, int y) {
  return &frame[(static_cast<size_t>(y) * frameWidth + x) * 3];
}

// The window against slot 0's copy stretched over it at 99 % over the white clear, as the visible pass
// draws it: pixels off by more than 3, and how many of those are not the blue segments drawn on top.
struct Comparison {
  long off = 0, unexplained = 0;
};
Comparison againstStretchedCopy(const Pixels& frame, const Pixels& copy) {
  Comparison result;
  for (int y = 0; y < frameHeight; ++y)
    for (int x = 0; x < frameWidth; ++x) {
      const Colour t = stretchedSample(copy, copySize, copySize, x, y);
      const uint8_t* p = pixel(frame, x, y);
      const double want[3] = {0.99 * t.r + 2.55, 0.99 * t.g + 2.55, 0.99 * t.b + 2.55};
      bool off = false;
      for (int c = 0; c < 3; ++c) off = off || std::abs(p[c] - want[c]) > 3.0;
      if (!off) continue;
      ++result.off;
      const bool segment = p[0] < 40 && p[2] > 200;
      if (!segment) ++result.unexplained;
    }
  return result;
}

// Largest difference of a component between the window and slot's picture stretched over it, opaque.
double offFromPicture(const Pixels& frame, int slot) {
  int w = 0, h = 0;
  const Pixels tex = slotTexels(slot, &w, &h);
  double worst = 0;
  for (int y = 0; y < frameHeight; ++y)
    for (int x = 0; x < frameWidth; ++x) {
      const Colour t = stretchedSample(tex, w, h, x, y);
      const uint8_t* p = pixel(frame, x, y);
      worst = std::max({worst, std::abs(p[0] - t.r), std::abs(p[1] - t.g), std::abs(p[2] - t.b)});
    }
  return worst;
}

Colour meanOf(const uint8_t* rgb, size_t count) {
  double sum[3] = {};
  for (size_t i = 0; i < count; ++i)
    for (int c = 0; c < 3; ++c) sum[c] += rgb[i * 3 + c];
  return {sum[0] / count, sum[1] / count, sum[2] / count};
}

// The commonest colour of a picture: the background, whatever the segments and their trails cover.
// Every seventh pixel is plenty to find it.
std::array<int, 3> backgroundOf(const Pixels& rgb) {
  std::unordered_map<uint32_t, int> counts;
  for (size_t i = 0; i < rgb.size(); i += 3 * 7) ++counts[rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]];
  const auto best =
      std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  return {static_cast<int>(best->first >> 16), static_cast<int>(best->first >> 8 & 255),
          static_cast<int>(best->first & 255)};
}

// The fraction of the remaining distance closed per pass, on average over `passes` passes.
double ratePerPass(double startDistance, double distance, int passes) {
  return 1.0 - std::pow(distance / startDistance, 1.0 / passes);
}

// Every waiting message taken; the exit codes of the quit requests among them.
std::vector<int> takeQuits() {
  std::vector<int> quits;
  int code = -1, width = 0, height = 0;
  for (ShellMessage m; (m = shellTakeMessage(&code, &width, &height)) != ShellMessage::none; code = -1)
    if (m == ShellMessage::quit) quits.push_back(code);
  return quits;
}

// 4x4 matrices, row-major here; GL returns them column by column.
using Matrix = std::array<double, 16>;

Matrix multiply(const Matrix& a, const Matrix& b) {
  Matrix m{};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      for (int k = 0; k < 4; ++k) m[r * 4 + c] += a[r * 4 + k] * b[k * 4 + c];
  return m;
}

Matrix rotation(float degrees, int axis) {
  const double a = degrees * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
  Matrix m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const int i = (axis + 1) % 3, j = (axis + 2) % 3;
  m[i * 4 + i] = c, m[i * 4 + j] = -s, m[j * 4 + i] = s, m[j * 4 + j] = c;
  return m;
}

// The camera at (0, 0, 10) looking at the origin, turned by the three angles about x, then y, then z.
Matrix cameraTurnedBy(float x, float y, float z) {
  const Matrix lookAt{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, -10, 0, 0, 0, 1};
  return multiply(multiply(multiply(lookAt, rotation(x, 0)), rotation(y, 1)), rotation(z, 2));
}

// The 45-degree perspective of the base state at 1024x768, from 0.5 to 150.
Matrix perspective() {
  const double f = 1.0 / std::tan(22.5 * M_PI / 180.0), n = 0.5, far = 150.0;
  return {f * 768 / 1024, 0, 0, 0, 0, f, 0, 0, 0, 0, (far + n) / (n - far), 2 * far * n / (n - far), 0, 0, -1, 0};
}

// Window position (x from the left, y from the bottom) of a point seen by camera in a width x height viewport.
std::array<double, 2> project(const Matrix& camera, std::array<double, 3> p, int width, int height) {
  const Matrix m = multiply(perspective(), camera);
  double clip[4];
  for (int r = 0; r < 4; ++r) clip[r] = m[r * 4] * p[0] + m[r * 4 + 1] * p[1] + m[r * 4 + 2] * p[2] + m[r * 4 + 3];
  return {(clip[0] / clip[3] + 1) / 2 * width, (clip[1] / clip[3] + 1) / 2 * height};
}

class FeedbackScenes : public ::testing::Test {
 protected:
  void SetUp() override {
    openSceneContext();
    takeQuits();
  }
  void TearDown() override {
    if (HasFailure()) ADD_FAILURE() << "last frame kept in " << saveTestFrame();
  }
};

// What each count adds to the plain scene (drawn at 7 from the same start): its text, taken into the
// copy on every pass, and its greeting image over the whole window.
TEST_F(FeedbackScenes, TextsAndGreetingsByCount) {
  enum Text { none, caption, closing1, closing2 };
  struct Row {
    int count;
    Text text;
    int greetingSlot;  // -1 for none
  };
  const Row rows[] = {
      {11, none, -1}, {12, caption, -1}, {39, caption, -1},  {64, none, -1},     {65, none, -1}, {66, none, 6},
      {67, none, 7},  {68, none, 8},     {69, none, 9},      {70, none, 10},     {71, none, 11}, {72, none, 12},
      {73, none, 16}, {74, none, -1},    {75, closing1, -1}, {76, closing2, -1}, {77, none, -1}, {84, none, -1},
  };
  const char* greetingFiles[17] = {};
  greetingFiles[6] = "talvo", greetingFiles[7] = "pirsek", greetingFiles[8] = "mondal", greetingFiles[9] = "quesh";
  greetingFiles[10] = "vabrin", greetingFiles[11] = "lorrit", greetingFiles[12] = "senyx", greetingFiles[16] = "druvel";
  constexpr int passes = 10;

  restartLineScene(true);
  drawFrames(7, passes);
  const Pixels plainCopy = slotTexels(0);
  const Pixels plainFrame = readFrame();
  const Comparison plain = againstStretchedCopy(plainFrame, plainCopy);
  EXPECT_GT(plain.off, 300) << "the blue segments are drawn over the copy";
  EXPECT_EQ(plain.unexplained, 0) << "the window is slot 0 stretched at 99 % over white";

  const Ink closing1Ink = printedInk(30, "Se you all next year!");
  const Ink slashedOInk = printedInk(30, "Yorv er t\xF8" "ff!");  // code page 1252
  const long oInsteadOfSlashed = [&] {
    const Ink o = printedInk(30, "Yorv er toff!");
    long n = 0;
    for (size_t i = 0; i < o.at.size(); ++i) n += o.at[i] != slashedOInk.at[i];
    return n;
  }();
  ASSERT_GT(oInsteadOfSlashed, 20) << "the slash of 0xF8 must show against an o";

  for (const Row& row : rows) {
    SCOPED_TRACE("count " + std::to_string(row.count));
    const bool failedBefore = HasFailure();
    restartLineScene(true);
    drawFrames(row.count, passes);
    const Pixels copy = slotTexels(0);
    const Pixels frame = readFrame();
    if (row.text == none) {
      EXPECT_TRUE(copy == plainCopy) << "a text reached the copy";
    } else {
      const Ink expected = row.text == caption    ? printedInk(100, syncName())
                           : row.text == closing1 ? closing1Ink
                                                  : slashedOInk;
      ASSERT_GT(expected.pixels(copySize, copySize), 500);
      EXPECT_EQ(textMismatches(copy, expected), 0) << "the copy holds exactly the text";
    }
    if (row.greetingSlot < 0) {
      // Nothing but the copy stretched and the segments: a text shows only as the copy holds it.
      EXPECT_EQ(frame == plainFrame, row.text == none) << "the frame against the plain scene's";
      EXPECT_EQ(againstStretchedCopy(frame, copy).unexplained, 0) << "the window is not slot 0's copy stretched";
    } else {
      // Drawn last with blending off: the picture alone, whatever its alpha.
      EXPECT_LE(offFromPicture(frame, row.greetingSlot), 3.0) << "not slot " << row.greetingSlot << " opaque";
      // To the byte the picture alone over any background: nothing of the scene may lie under it.
      glClearColor(0.3f, 0.6f, 0.9f, 1.0f);
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      glDisable(GL_BLEND);
      drawImageOverlay(row.greetingSlot, 1.0f);
      EXPECT_TRUE(readFrame() == frame) << "the frame is not the picture drawn alone";
      const std::string path = std::string("Data/greets/") + greetingFiles[row.greetingSlot] + ".bmp";
      DibImage* image = loadDibImage(path.c_str());
      ASSERT_NE(image, nullptr) << path;
      const Colour want = meanOf(image->pixels, static_cast<size_t>(image->width) * image->height);
      freeDibImage(image);
      const Colour got = meanOf(frame.data(), frameWidth * frameHeight);
      EXPECT_NEAR(got.r, want.r, 4.0) << path;
      EXPECT_NEAR(got.g, want.g, 4.0) << path;
      EXPECT_NEAR(got.b, want.b, 4.0) << path;
      EXPECT_TRUE(copy == plainCopy) << "the greeting reached the copy";
    }
    if (HasFailure() && !failedBefore) saveTestFrame("-" + std::to_string(row.count));
  }
}

// A caption longer than half the window: the copied corner holds its left part only, and the window shows
// that part stretched twice as wide and half as high again, so it runs off the right edge.
TEST_F(FeedbackScenes, CaptionIsCutAtColumn512AndStretchedOverTheWindow) {
  drawFrames(30, 0);
  const std::string name = "captions overrunning half";
  const Ink ink = printedInk(100, name);
  ASSERT_GT(ink.pixels(frameWidth, copySize) - ink.pixels(copySize, copySize), 500) << "ink right of column 512";
  int crossing = 0;
  for (int y = 0; y < copySize; ++y) crossing += ink(copySize - 1, y) && ink(copySize, y);
  ASSERT_GT(crossing, 5) << "a glyph across the cut";

  restartLineScene(true);
  setSyncPoint(31, name.c_str());
  sceneDriverDraw(30);
  const Pixels copy = slotTexels(0);
  const Pixels frame = readFrame();
  EXPECT_EQ(textMismatches(copy, ink), 0);
  int inLastColumn = 0;
  for (int y = 0; y < copySize; ++y) inLastColumn += textTexel(copy, copySize - 1, y);
  EXPECT_GT(inLastColumn, 5) << "the caption runs to the copy's right edge";

  const Comparison c = againstStretchedCopy(frame, copy);
  EXPECT_EQ(c.unexplained, 0) << "the window is the copy stretched, with no text drawn where it was printed";
  // The text rows of the window: canvas rows about 320-385 land at about 96-193.
  int darkAtRightEdge = 0, darkWherePrinted = 0;
  for (int y = 0; y < frameHeight; ++y) {
    const uint8_t* p = pixel(frame, frameWidth - 2, y);
    darkAtRightEdge += p[0] == p[2] && p[2] < 200;
    for (int x = 0; x < frameWidth; ++x)
      if (ink(x, frameHeight - 1 - y)) darkWherePrinted += pixel(frame, x, y)[2] < 200;
  }
  EXPECT_GT(darkAtRightEdge, 5);
  EXPECT_LT(darkWherePrinted, ink.pixels(frameWidth, frameHeight) / 10) << "the caption shows where it was printed";
}

// Mean grey of the copy's caption texels that no segment crossed, against the white around them.
double captionContrast(const Pixels& copy, const Ink& ink) {
  double sum = 0;
  long n = 0;
  for (int y = 0; y < copySize; ++y)
    for (int x = 0; x < copySize; ++x) {
      if (!ink(x, y)) continue;
      const uint8_t* p = &copy[(static_cast<size_t>(y) * copySize + x) * 3];
      if (p[0] != p[2]) continue;
      sum += 255 - p[0];
      ++n;
    }
  return n ? sum / n : 0;
}

// Each pass takes in 1 % of the caption: about a hundred passes to build up, as long again to fade.
TEST_F(FeedbackScenes, CaptionBuildsUpAndFadesAboutOnePercentAPass) {
  drawFrames(12, 0);
  const Ink ink = printedInk(100, syncName());
  restartLineScene(true);
  double contrast = 0;
  int total = 0;
  for (const int passes : {1, 9, 40, 50}) {
    drawFrames(12, passes);
    total += passes;
    contrast = captionContrast(slotTexels(0), ink);
    const double rate = ratePerPass(255, 255 - contrast, total);
    EXPECT_GE(rate, 0.008) << "after " << total << " passes the caption is " << contrast << " below white";
    EXPECT_LE(rate, 0.014) << "after " << total << " passes the caption is " << contrast << " below white";
  }
  EXPECT_GT(contrast, 0.55 * 255) << "about two thirds in after a hundred passes";
  const double peak = contrast;
  // Gone from the script from 64 on: the copy keeps it and lets it go at the same rate.
  total = 0;
  for (const int passes : {1, 9, 40}) {
    drawFrames(64, passes);
    total += passes;
    contrast = captionContrast(slotTexels(0), ink);
    const double rate = ratePerPass(peak, contrast, total);
    EXPECT_GE(rate, 0.007) << "after " << total << " passes without it the caption is " << contrast << " below white";
    EXPECT_LE(rate, 0.014) << "after " << total << " passes without it the caption is " << contrast << " below white";
  }
}

// From the black render texture and the base state's black clear, the window is 255 (1 - 0.99^n) grey
// after n passes, and the copy one pass behind it. Eight-bit blending takes 0.99 as 252/255 and rounds
// every step, so the grey runs up to a fifth ahead of the formula (172 for 162 after 100 passes) and
// stops short of white, near 213, where a step would be less than half a level.
TEST_F(FeedbackScenes, BackgroundLightensTowardWhiteOnePercentAPass) {
  restartLineScene(false);
  int previousWindow = 0;
  for (int n = 1; n <= 100; ++n) {
    drawFrames(7, 1);
    const std::array<int, 3> window = backgroundOf(readFrame());
    const std::array<int, 3> copy = backgroundOf(slotTexels(0));
    EXPECT_TRUE(window[0] == window[1] && window[1] == window[2]) << "grey after " << n;
    EXPECT_EQ(copy[0], previousWindow) << "the copy of pass " << n << " is the window of the pass before";
    const double ideal = 255.0 * (1.0 - std::pow(0.99, n));
    if (n == 1 || n == 2 || n == 5 || n == 10 || n == 20 || n == 50 || n == 100) {
      EXPECT_NEAR(window[0], ideal, 1.0 + 0.2 * ideal) << "after " << n << " passes";
      const double rate = ratePerPass(255, 255 - window[0], n);
      EXPECT_GE(rate, 0.009) << "after " << n << " passes at " << window[0];
      EXPECT_LE(rate, 0.0135) << "after " << n << " passes at " << window[0];
    }
    previousWindow = window[0];
  }
}

// Without the gate's leave the copy is skipped: slot 0 keeps its picture, but the frame is drawn from it,
// the angles move on, and the caption printed into the frame stays under the visible pass's 99 % layer.
TEST_F(FeedbackScenes, ClosedGateKeepsTheCopyButDrawsAndTurns) {
  restartLineScene(true);
  drawFrames(7, 20);
  const Pixels copy = slotTexels(0);
  const float x = lineAngleX, y = lineAngleY, z = lineAngleZ;
  glClearColor(1.0f, 0.0f, 1.0f, 1.0f);  // magenta left anywhere would show in the comparison below
  glClear(GL_COLOR_BUFFER_BIT);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  drawFrames(7, 1, false);
  EXPECT_TRUE(slotTexels(0) == copy) << "slot 0 was copied into";
  EXPECT_EQ(lineAngleX, x + 0.3f);
  EXPECT_EQ(lineAngleY, y + 0.2f);
  EXPECT_EQ(lineAngleZ, z + 1.0f);
  const Pixels closed = readFrame();
  const Comparison c = againstStretchedCopy(closed, copy);
  EXPECT_EQ(c.unexplained, 0) << "the window is the kept copy stretched";
  EXPECT_GT(c.off, 300) << "the segments of the visible pass";

  // The same frames again, with the caption's count on the closed frame: the text printed into the
  // frame stays there under the 99 % layer, 3 levels dark, and keeps the segments off its pixels.
  drawFrames(12, 0);
  const Ink ink = printedInk(100, syncName());
  restartLineScene(true);
  drawFrames(7, 20);
  drawFrames(12, 1, false);
  EXPECT_TRUE(slotTexels(0) == copy);
  const Pixels withText = readFrame();
  long differing = 0, outside = 0, faint = 0, inked = 0;
  for (int py = 0; py < frameHeight; ++py)
    for (int px = 0; px < frameWidth; ++px) {
      const uint8_t *a = pixel(closed, px, py), *b = pixel(withText, px, py);
      const bool differs = std::memcmp(a, b, 3) != 0;
      const bool printed = ink(px, frameHeight - 1 - py);
      inked += printed;
      differing += differs;
      outside += differs && !printed;
      const bool segment = a[0] < 40 && a[2] > 200;
      if (printed && !segment) faint += a[0] - b[0] >= 2 && a[0] - b[0] <= 4 && a[2] - b[2] >= 2 && a[2] - b[2] <= 4;
    }
  EXPECT_EQ(outside, 0) << "the text changed pixels it does not ink";
  EXPECT_GT(faint, inked * 9 / 10) << "of " << inked << " ink pixels, " << differing << " differ";
}

// The driver shows the caption of the marker that raised the count, whichever way the count moves, and
// leaves no quit request behind (thousands of frames at 85 once overflowed the queue).
TEST_F(FeedbackScenes, TheSceneDriverSetsTheCaptionOfTheCountAndDropsQuits) {
  const std::vector<std::string>& names = sceneDriverMarkerNames();
  ASSERT_GE(names.size(), 84u);
  sceneDriverSetCount(40);
  EXPECT_STREQ(syncName(), names[38].substr(0, 25).c_str());
  sceneDriverSetCount(12);  // marker 11 raised the count to 12
  EXPECT_STREQ(syncName(), names[10].substr(0, 25).c_str());
  sceneDriverSetCount(1);
  EXPECT_STREQ(syncName(), "");
  sceneDriverSetCount(200);
  EXPECT_STREQ(syncName(), "");
  sceneDriverSetCount(85);
  sceneDriverDraw(3);
  EXPECT_TRUE(takeQuits().empty());
}

// Frames drawn through the dispatch itself: the scene driver drops the quit requests.
void drawDispatched(int count, int frames) {
  setSyncPoint(count, "");
  for (int i = 0; i < frames; ++i) drawScenes();
}

TEST_F(FeedbackScenes, EveryFrameDrawnAt85PostsAQuitWithCode0) {
  drawDispatched(84, 1);
  EXPECT_TRUE(takeQuits().empty());
  drawDispatched(85, 1);
  EXPECT_EQ(takeQuits(), std::vector<int>{0});
  drawDispatched(85, 3);
  EXPECT_EQ(takeQuits(), (std::vector<int>{0, 0, 0}));
  drawDispatched(86, 2);
  EXPECT_TRUE(takeQuits().empty());
}

TEST_F(FeedbackScenes, CountJumpingOver85InOneFramePostsNoQuit) {
  drawFrames(84, 1);
  drawFrames(86, 5);
  EXPECT_TRUE(takeQuits().empty());
  drawFrames(100, 1);
  EXPECT_TRUE(takeQuits().empty());
}

// Black pixels of a picture (r and g 0) against segments given in window coordinates (y from the bottom):
// how many lie more than 1.5 pixels from every segment, and how many of the points along the segments
// have no black pixel next to them.
struct LineFit {
  int stray = 0, missing = 0;
};
LineFit fitLines(const Pixels& picture, int width, int height, bool topDown,
                 const std::vector<std::array<double, 4>>& lines) {
  const auto black = [&](int x, int y) {
    if (x < 0 || x >= width || y < 0 || y >= height) return false;
    const uint8_t* p = &picture[(static_cast<size_t>(topDown ? height - 1 - y : y) * width + x) * 3];
    return p[0] == 0 && p[1] == 0;
  };
  const auto distance = [](const std::array<double, 4>& l, double x, double y) {
    const double dx = l[2] - l[0], dy = l[3] - l[1];
    const double t = std::clamp(((x - l[0]) * dx + (y - l[1]) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - l[0] - t * dx, y - l[1] - t * dy);
  };
  LineFit fit;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      if (!black(x, y)) continue;
      double nearest = 1e9;
      for (const auto& l : lines) nearest = std::min(nearest, distance(l, x + 0.5, y + 0.5));
      fit.stray += nearest > 1.5;
    }
  for (const auto& l : lines)
    for (int i = 1; i < 20; ++i) {
      const double x = l[0] + i / 20.0 * (l[2] - l[0]), y = l[1] + i / 20.0 * (l[3] - l[1]);
      bool found = false;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) found = found || black(static_cast<int>(x) + dx, static_cast<int>(y) + dy);
      fit.missing += !found;
    }
  return fit;
}

// After a cube-columns frame (white clear colour), the interlude's first frame lays the black slot 5 over
// white at 99 % with every angle 0, then each frame closes 1 % of the distance to sky blue.
TEST_F(FeedbackScenes, BlueStartsAtAngle0OverTheLastClearAndTurnsSkyBlueOnePercentAFrame) {
  drawFrames(40, 1);
  drawFrames(62, 1);
  EXPECT_EQ(blueAngleX, 3.0f);
  EXPECT_EQ(blueAngleY, 2.0f);
  EXPECT_EQ(blueAngleZ, 1.0f);
  const Pixels copy = slotTexels(5);
  const Pixels frame = readFrame();
  const std::array<int, 3> copyBackground = backgroundOf(copy), background = backgroundOf(frame);
  EXPECT_EQ(copyBackground, (std::array<int, 3>{3, 3, 3})) << "1 % of the white clear, not of sky blue";
  EXPECT_EQ(background, (std::array<int, 3>{3, 5, 6})) << "the copy at 99 % over sky blue";

  // Where the segments lie with every angle 0, in the copy (512x512 viewport) and the window: black
  // (the blue one too, tinted by the nearly black texel it is modulated with), and nothing black elsewhere.
  const Matrix camera = cameraTurnedBy(0, 0, 0);
  const std::array<double, 3> ends[][2] = {
      {{1, 0, 0}, {4, 4, 0}}, {{1, -1, -1}, {-1, 1, 1}}, {{2, -2, -2}, {-2, 2, 2}}};
  for (const bool window : {false, true}) {
    SCOPED_TRACE(window ? "window" : "copy");
    const int width = window ? frameWidth : copySize, height = window ? frameHeight : copySize;
    std::vector<std::array<double, 4>> lines;
    for (const auto& e : ends) {
      const auto a = project(camera, e[0], width, height), b = project(camera, e[1], width, height);
      lines.push_back({a[0], a[1], b[0], b[1]});
    }
    const LineFit fit = fitLines(window ? frame : copy, width, height, window, lines);
    EXPECT_EQ(fit.stray, 0) << "black pixels away from the segments";
    EXPECT_EQ(fit.missing, 0) << "points of the segments with nothing drawn";
  }

  const double sky[3] = {0, 204, 255};
  double first[3];
  for (int c = 0; c < 3; ++c) first[c] = sky[c] - background[c];
  std::array<int, 3> previous = background;
  for (int n = 2; n <= 80; ++n) {
    drawFrames(n < 60 ? 62 : 63, 1, n % 2 == 0);  // copied on every frame, whatever the rate gate says
    const std::array<int, 3> now = backgroundOf(readFrame());
    EXPECT_EQ(backgroundOf(slotTexels(5)), previous) << "the copy of frame " << n << " is the window before it";
    previous = now;
    if (n % 20 != 0) continue;
    // Eight-bit rounding slows the last steps: a step below half a level is lost.
    for (int c = 1; c < 3; ++c) {
      const double rate = ratePerPass(first[c], sky[c] - now[c], n - 1);
      EXPECT_GE(rate, 0.007) << "frame " << n << " component " << c << " at " << now[c];
      EXPECT_LE(rate, 0.0135) << "frame " << n << " component " << c << " at " << now[c];
    }
    EXPECT_LE(now[0], 3);
  }
}

// What each scene's frame leaves for the next one, read back with glGet.
TEST_F(FeedbackScenes, StateLeftAfterEachFrame) {
  float projection[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  struct Row {
    const char* what;
    int count, frames;
    bool gateOpen;
    bool blue;
    int slot;
    std::array<float, 4> colour;
    bool identity;  // model-view after a greeting, else the camera with this frame's turn
    std::array<float, 2> texCoord;
  };
  const Row rows[] = {
      {"line", 7, 3, true, false, 0, {0, 0, 0, 1}, false, {1, 1}},
      {"line, gate closed", 7, 1, false, false, 0, {0, 0, 0, 1}, false, {1, 1}},
      {"line with caption", 12, 2, true, false, 0, {0, 0, 0, 1}, false, {1, 1}},
      {"line, first greeting", 66, 2, true, false, 6, {1, 1, 1, 1}, true, {0, 0}},
      {"line, greeting at 0.6", 70, 1, true, false, 10, {1, 1, 1, 0.6f}, true, {0, 0}},
      {"line, last greeting", 73, 1, false, false, 16, {1, 1, 1, 0.4f}, true, {0, 0}},
      {"line, closing text", 76, 1, true, false, 0, {0, 0, 0, 1}, false, {1, 1}},
      {"blue", 62, 1, true, true, 5, {1, 1, 0, 1}, false, {1, 1}},
      {"blue, later", 63, 4, true, true, 5, {1, 1, 0, 1}, false, {1, 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    drawFrames(row.count, row.frames - 1, row.gateOpen);
    const float turn[3] = {row.blue ? blueAngleX : lineAngleX, row.blue ? blueAngleY : lineAngleY,
                           row.blue ? blueAngleZ : lineAngleZ};
    drawFrames(row.count, 1, row.gateOpen);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    GLint viewport[4], bound = 0, mode = 0, src = 0, dst = 0, stack[2] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 1024);
    EXPECT_EQ(viewport[3], 768);
    float clear[4], colour[4], texCoord[4], modelView[16], nowProjection[16];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    const float wantClear[4] = {row.blue ? 0.0f : 1.0f, row.blue ? 0.8f : 1.0f, 1.0f, 1.0f};
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(clear[i], wantClear[i]) << "clear colour [" << i << "]";
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, static_cast<GLint>(textures[row.slot]));
    glGetFloatv(GL_CURRENT_COLOR, colour);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(colour[i], row.colour[i]) << "colour [" << i << "]";
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, texCoord);
    EXPECT_FLOAT_EQ(texCoord[0], row.texCoord[0]);
    EXPECT_FLOAT_EQ(texCoord[1], row.texCoord[1]);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    const Matrix want = row.identity ? Matrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}
                                     : cameraTurnedBy(turn[0], turn[1], turn[2]);
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(modelView[c * 4 + r], want[r * 4 + c], 1e-4) << "model-view " << r << "," << c;
    glGetFloatv(GL_PROJECTION_MATRIX, nowProjection);
    EXPECT_EQ(std::memcmp(nowProjection, projection, sizeof projection), 0) << "projection";
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &stack[0]);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &stack[1]);
    EXPECT_EQ(stack[0], 1) << "a push without its pop";
    EXPECT_EQ(stack[1], 1);
  }
  // The angles turned on every frame drawn, and never by another scene's frames.
  EXPECT_FLOAT_EQ(blueAngleX, 5 * 3.0f);
}

}  // namespace
