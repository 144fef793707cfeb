// Frames of the tunnel, title and cube-columns scenes on the real start-up, and of the timeline's scene boundaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/gl.h"
#include "gfx/render_state.h"
#include "scenes/timing.h"
#include "gfx/cube.h"
#include "gfx/overlay.h"
#include "gfx/resources.h"
#include "gfx/text.h"
#include "gl_harness.h"
#include "music/sync.h"
#include "scene_fixture.h"
#include "scenes/scenes.h"

namespace {

constexpr int frameWidth = 1024;
constexpr int frameHeight = 768;

using Frame = std::vector<uint8_t>;

Rgb at(const Frame& frame, int x, int y) {
  const uint8_t* p = &frame[(static_cast<size_t>(y) * frameWidth + x) * 3];
  return {p[0], p[1], p[2]};
}

bool isBlack(Rgb c) { return c.r == 0 && c.g == 0 && c.b == 0; }
bool isWhite(Rgb c) { return c.r == 255 && c.g == 255 && c.b == 255; }

// Largest difference of one component anywhere in the two frames.
int largestDifference(const Frame& a, const Frame& b) {
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

// How many pixels have a component that differs by more than `by`.
long pixelsDiffering(const Frame& a, const Frame& b, int by = 0) {
  long n = 0;
  for (size_t i = 0; i < a.size(); i += 3)
    n += std::abs(a[i] - b[i]) > by || std::abs(a[i + 1] - b[i + 1]) > by || std::abs(a[i + 2] - b[i + 2]) > by;
  return n;
}

double meanDifference(const Frame& a, const Frame& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += std::abs(a[i] - b[i]);
  return sum / static_cast<double>(a.size());
}

double meanLevel(const Frame& frame) {
  double sum = 0;
  for (uint8_t v : frame) sum += v;
  return sum / static_cast<double>(frame.size());
}

// Largest distance of `got` from weight * `over` + `under`, component by component.
int worstBlendMismatch(const Frame& got, double weight, const Frame& over, const Frame& under) {
  double worst = 0;
  for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::abs(got[i] - (weight * over[i] + under[i])));
  return static_cast<int>(std::ceil(worst));
}

// The box around the pixels that are not black, and how many there are.
struct Box {
  int left = frameWidth, top = frameHeight, right = -1, bottom = -1;
  long pixels = 0;
};

Box nonBlackBox(const Frame& frame) {
  Box box;
  for (int y = 0; y < frameHeight; ++y)
    for (int x = 0; x < frameWidth; ++x)
      if (!isBlack(at(frame, x, y))) {
        box.left = std::min(box.left, x), box.right = std::max(box.right, x);
        box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
        ++box.pixels;
      }
  return box;
}

// Rows in [top, bottom] whose pixels are not all the same colour, give or take `slack`.
int rowsThatVary(const Frame& frame, int top, int bottom, int slack = 0) {
  int n = 0;
  for (int y = top; y <= bottom; ++y)
    for (int x = 1; x < frameWidth; ++x)
      if (rgbDistance(at(frame, x, y), at(frame, 0, y)) > slack) {
        ++n;
        break;
      }
  return n;
}

std::array<float, 4> currentColour() {
  std::array<float, 4> c{};
  glGetFloatv(GL_CURRENT_COLOR, c.data());
  return c;
}

void expectColour(std::array<float, 4> want) {
  const std::array<float, 4> got = currentColour();
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(got[i], want[i]) << "current colour [" << i << "]";
}

void expectBlending(GLenum src, GLenum dst) {
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  GLint s = 0, d = 0;
  glGetIntegerv(GL_BLEND_SRC, &s);
  glGetIntegerv(GL_BLEND_DST, &d);
  EXPECT_EQ(s, static_cast<GLint>(src));
  EXPECT_EQ(d, static_cast<GLint>(dst));
}

std::array<float, 16> modelView() {
  std::array<float, 16> m{};
  glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
  return m;
}

// The model-view matrix of a camera at (0, 0, eyeZ) looking down -z with y up: a translation by -eyeZ.
void expectModelViewAlongZ(float eyeZ) {
  const std::array<float, 16> m = modelView();
  for (int i = 0; i < 16; ++i) {
    const float want = i == 14 ? -eyeZ : (i % 5 == 0 ? 1.0f : 0.0f);
    EXPECT_NEAR(m[i], want, 1e-5f) << "model-view [" << i << "]";
  }
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
}

GLint boundTexture() {
  GLint name = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
  return name;
}

// Sets the count without drawing (forwards through the test track's markers, so the caption is real).
void setCount(int count) { drawFrames(count, 0); }

// Steps the scenes by `frames` frames drawn into a 64x48 corner of the window. The tunnel sets no
// viewport of its own, so these frames move it on exactly as full ones do, at a sliver of the cost.
void drawSmallFrames(int count, int frames) {
  glViewport(0, 0, 64, 48);
  drawFrames(count, frames);
  glViewport(0, 0, frameWidth, frameHeight);
}

// Draws one frame through the dispatch and reads it back.
Frame frameAt(int count) {
  drawFrames(count, 1);
  return readFrame();
}

// Scene state lives for the whole process, as in a run; every case starts from program start.
class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int casesInThisProcess = 0;
    ASSERT_EQ(++casesInThisProcess, 1) << "each case needs a fresh process (ctest runs them so); use --gtest_filter";
    openSceneContext();
  }
  void TearDown() override {
    if (HasFailure()) std::printf("last frame kept in %s\n", saveTestFrame().c_str());
  }
};

// ---------------------------------------------------------------------------------------------
// Tunnel

struct TunnelState {
  float eyeZ, lookTarget, swayPhase, swayAmplitude;
  int32_t swaysDone;
  float innerAngle, outerAngle, fadeLevel;
};

TunnelState tunnelState() {
  return {tunnelEyeZ,      tunnelLookTarget, tunnelSwayPhase,  tunnelSwayAmplitude,
          tunnelSwaysDone, tunnelInnerAngle, tunnelOuterAngle, tunnelFadeLevel};
}

void setTunnelState(const TunnelState& s) {
  tunnelEyeZ = s.eyeZ, tunnelLookTarget = s.lookTarget, tunnelSwayPhase = s.swayPhase;
  tunnelSwayAmplitude = s.swayAmplitude, tunnelSwaysDone = s.swaysDone;
  tunnelInnerAngle = s.innerAngle, tunnelOuterAngle = s.outerAngle, tunnelFadeLevel = s.fadeLevel;
}

constexpr int creditSlots[3] = {13, 14, 15};

// One tunnel frame from `state` at `count`. With blackCredits the three credit pictures are swapped
// for the render texture of slot 0, still black as start-up made it, so a credit laid at 0.7 leaves
// exactly 0.3 of the tunnel under it. Light 0 is placed under each frame's camera for the next one,
// so the frame is drawn twice from the same state and the second one kept.
Frame tunnelFrame(const TunnelState& state, int count, bool blackCredits) {
  setCount(count);
  uint32_t kept[3];
  for (int i = 0; i < 3; ++i) {
    kept[i] = textures[creditSlots[i]];
    if (blackCredits) textures[creditSlots[i]] = textures[0];
  }
  for (int pass = 0; pass < 2; ++pass) {
    setTunnelState(state);
    TunnelScene();
  }
  for (int i = 0; i < 3; ++i) textures[creditSlots[i]] = kept[i];
  return readFrame();
}

// A picture as the overlay lays it over the window, drawn opaque and untinted.
Frame opaquePicture(int slot) {
  glDisable(GL_BLEND);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glEnable(GL_TEXTURE_2D);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  drawImageOverlay(slot, 1.0f);
  Frame picture = readFrame();
  glEnable(GL_LIGHTING);  // as the base state has it; the tunnel never switches it
  glEnable(GL_BLEND);
  return picture;
}

class TunnelFrames : public SceneTest {};

TEST_F(TunnelFrames, FadesInFromBlackOverAThousandFramesAndStillDrawsTheFadeAtZero) {
  const Frame first = frameAt(1);
  EXPECT_EQ(nonBlackBox(first).pixels, 0) << "the first frame is black all over";

  // The picture brightens as the black thins out: 0.75, 0.5 and 0.25 of it left on frames 251, 501, 751.
  double previous = meanLevel(first);
  for (int frame = 251; frame <= 751; frame += 250) {
    drawSmallFrames(1, 249);
    const double level = meanLevel(frameAt(1));
    EXPECT_GT(level, previous + 1.0) << "frame " << frame;
    previous = level;
  }

  // Frames 752 to 1,000, then the 1,001st: a sliver of black still laid over the tunnel.
  drawSmallFrames(1, 249);
  drawFrames(1, 1);
  EXPECT_GT(currentColour()[3], 0.0f) << "frame 1,001 still fades";
  expectColour({0, 0, 0, currentColour()[3]});

  // The 1,002nd frame and the ones after it draw the fade at 0: the tunnel in full, and the fade's
  // black at alpha 0 is the last colour given.
  for (int frame = 1002; frame <= 1004; ++frame) {
    SCOPED_TRACE("frame " + std::to_string(frame));
    drawFrames(1, 1);
    expectColour({0, 0, 0, 0});
    expectBlending(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  }
  EXPECT_GT(meanLevel(readFrame()), previous + 1.0);
}

TEST_F(TunnelFrames, EachSyncPointSwaysTheCameraFor200FramesThenLeavesItStill) {
  drawSmallFrames(1, 30);
  EXPECT_EQ(tunnelLookTarget, 0.0f) << "no sway before the first sync point";

  setCount(2);
  int signChanges = 0;
  float largest = 0, previous = 0;
  for (int frame = 1; frame <= 199; ++frame) {
    drawSmallFrames(2, 1);
    const float amplitude = 18.0f - 0.09f * frame;  // the envelope after this frame's step
    ASSERT_LE(std::abs(tunnelLookTarget), amplitude + 0.09f + 1e-3f) << "frame " << frame;
    if (frame > 1 && (tunnelLookTarget < 0) != (previous < 0)) ++signChanges;
    largest = std::max(largest, std::abs(tunnelLookTarget));
    previous = tunnelLookTarget;
  }
  EXPECT_GT(largest, 15.0f) << "the first swings reach towards 18";
  // To and fro with a period of 2 pi / 0.3, about 21 frames: some 19 crossings in 200 frames.
  EXPECT_GE(signChanges, 18);
  EXPECT_LE(signChanges, 19);
  EXPECT_EQ(tunnelSwaysDone, 1) << "still swaying after 199 frames";

  drawSmallFrames(2, 1);
  EXPECT_EQ(tunnelSwaysDone, 2) << "the sway ends on its 200th frame";
  EXPECT_EQ(tunnelSwayAmplitude, 18.0f) << "ready for the next one";
  const float still = tunnelLookTarget;
  EXPECT_LT(std::abs(still), 0.09f);

  const float phase = tunnelSwayPhase;
  drawSmallFrames(2, 150);
  EXPECT_EQ(tunnelLookTarget, still) << "kept, not set back to 0";
  EXPECT_EQ(tunnelSwayPhase, phase);
  EXPECT_EQ(tunnelSwaysDone, 2);
}

TEST_F(TunnelFrames, SyncPointsLessThan200FramesApartQueueBackToBackSways) {
  drawSmallFrames(2, 50);
  drawSmallFrames(3, 50);
  drawSmallFrames(4, 50);
  EXPECT_EQ(tunnelSwaysDone, 1) << "the first sway plays on through the later sync points";
  EXPECT_NEAR(tunnelSwayAmplitude, 18.0f - 150 * 0.09f, 1e-3f);

  // Sway 2 starts on frame 201 and sway 3 on frame 401, each again at 18, the phase running on.
  const struct {
    int endsAfter;
    int32_t swaysDone;
  } sways[] = {{200, 2}, {400, 3}, {600, 4}};
  int drawn = 150;
  for (const auto& sway : sways) {
    SCOPED_TRACE("sway ending after frame " + std::to_string(sway.endsAfter));
    drawSmallFrames(4, sway.endsAfter - 1 - drawn);
    EXPECT_EQ(tunnelSwaysDone, sway.swaysDone - 1);
    drawSmallFrames(4, 1);
    drawn = sway.endsAfter;
    EXPECT_EQ(tunnelSwaysDone, sway.swaysDone);
    EXPECT_LT(std::abs(tunnelLookTarget), 0.09f) << "the sway has died away";
    if (sway.swaysDone == 4) break;
    const double phase = tunnelSwayPhase;
    EXPECT_GT(phase, 0.3 * sway.endsAfter - 0.01) << "the phase is never reset";
    drawSmallFrames(4, 1);
    ++drawn;
    EXPECT_NEAR(tunnelLookTarget, std::sin(phase) * 18.0, 1e-3) << "the next sway starts at once, at 18";
    EXPECT_NEAR(tunnelSwayAmplitude, 18.0f - 0.09f, 1e-4f);
  }
  const float still = tunnelLookTarget;
  drawSmallFrames(4, 30);
  EXPECT_EQ(tunnelSwaysDone, 4) << "three sync points, three sways";
  EXPECT_EQ(tunnelLookTarget, still);
}

TEST_F(TunnelFrames, ASwayStillPendingWhenTheCountReachesFiveNeverPlays) {
  drawSmallFrames(2, 20);
  drawSmallFrames(4, 5);
  ASSERT_EQ(tunnelSwaysDone, 1);
  const TunnelState before = tunnelState();

  // The sync point to 5 lands just before the tunnel's sway step: the frame draws, the sway stays put.
  setCount(5);
  TunnelScene();
  EXPECT_EQ(tunnelLookTarget, before.lookTarget);
  EXPECT_EQ(tunnelSwayPhase, before.swayPhase);
  EXPECT_EQ(tunnelSwayAmplitude, before.swayAmplitude);
  EXPECT_EQ(tunnelSwaysDone, before.swaysDone);
  EXPECT_NE(tunnelEyeZ, before.eyeZ) << "the rest of the frame ran";

  drawFrames(5, 10);
  drawFrames(6, 10);
  EXPECT_EQ(tunnelSwaysDone, before.swaysDone);
  EXPECT_EQ(tunnelLookTarget, before.lookTarget);
}

// Seen from the window centre, the one-degree sectors in which two frames differ farther out than `radius`.
std::bitset<360> sectorsOfDifference(const Frame& a, const Frame& b, double radius) {
  std::bitset<360> sector;
  for (int y = 0; y < frameHeight; ++y)
    for (int x = 0; x < frameWidth; ++x) {
      const double dx = x + 0.5 - frameWidth / 2, dy = frameHeight / 2 - (y + 0.5);
      if (std::hypot(dx, dy) <= radius || rgbDistance(at(a, x, y), at(b, x, y)) == 0) continue;
      const double degrees = std::atan2(dy, dx) * 180.0 / M_PI;
      sector[(static_cast<int>(std::floor(degrees)) + 360) % 360] = true;
    }
  return sector;
}

// How many separate runs of neighbouring sectors are set, round the circle.
int runsOf(const std::bitset<360>& sector) {
  int runs = 0;
  for (int i = 0; i < 360; ++i) runs += sector[i] && !sector[(i + 359) % 360];
  return runs == 0 && sector[0] ? 1 : runs;
}

// Same tunnel state, credits blacked out: counts 3 and 4 lay the inner cone's wire grid over it, 2 does
// not. Its 30 lines along the cone run out from the vanishing point in the window centre.
TEST_F(TunnelFrames, TheWireGridShowsFromCountThree) {
  drawSmallFrames(1, 10);
  TunnelState state = tunnelState();
  state.fadeLevel = 0;
  const Frame atTwo = tunnelFrame(state, 2, true);
  const Frame atThree = tunnelFrame(state, 3, true);
  const Frame atFour = tunnelFrame(state, 4, true);
  EXPECT_EQ(largestDifference(atThree, atFour), 0) << "the grid at 3 and at 4";
  const std::bitset<360> lines = sectorsOfDifference(atTwo, atThree, 150);
  EXPECT_EQ(runsOf(lines), 30) << "30 lines of the grid, nothing else";
  EXPECT_GT(meanLevel(atThree), meanLevel(atTwo)) << "the grid adds light";

  // The grid turns with the inner tube: half a slice further on, it lies between the old lines.
  TunnelState turned = state;
  turned.innerAngle += 6;
  const Frame turnedTwo = tunnelFrame(turned, 2, true), turnedThree = tunnelFrame(turned, 3, true);
  const std::bitset<360> turnedLines = sectorsOfDifference(turnedTwo, turnedThree, 150);
  EXPECT_EQ(runsOf(turnedLines), 30);
  EXPECT_EQ(runsOf(lines | turnedLines), 60) << "each turned line between two of the first";
}

// Each credit lies at 0.7 over the tunnel while the count equals its value, and only then. The
// tunnel under it is the same picture as the frame without credits, at 0.3.
TEST_F(TunnelFrames, EachCreditShowsOnlyAtItsCountBlendedAtSevenTenthsOverTheTunnel) {
  drawFrames(1, 10);
  TunnelState state = tunnelState();
  state.fadeLevel = 0;

  const struct {
    int count, slot;  // slot -1: no credit
  } cases[] = {{1, -1}, {2, 13}, {3, 14}, {4, 15}, {5, -1}};
  Frame bare[6];  // the tunnel alone (credits blacked out) at each count
  for (const auto& c : cases) {
    SCOPED_TRACE("count " + std::to_string(c.count));
    const Frame shown = tunnelFrame(state, c.count, false);
    const std::array<float, 4> colour = currentColour();
    bare[c.count] = tunnelFrame(state, c.count, true);
    if (c.slot < 0) {
      EXPECT_EQ(largestDifference(shown, bare[c.count]), 0) << "no credit";
      continue;
    }
    const std::array<float, 4> white{1, 1, 1, 0.7f};
    EXPECT_EQ(colour, white) << "the credit was the last thing drawn";
    EXPECT_LE(worstBlendMismatch(shown, 0.7, opaquePicture(c.slot), bare[c.count]), 2)
        << "0.7 of picture " << c.slot << " over what lies under it, and no other credit";
  }
  // Under the credit lies the tunnel as it is drawn without one, kept at 0.3.
  std::vector<uint8_t> none(bare[1].size(), 0);
  EXPECT_LE(worstBlendMismatch(bare[2], 0.3, bare[1], none), 2) << "count 2 over the count-1 tunnel";
  EXPECT_LE(worstBlendMismatch(bare[3], 0.3, bare[5], none), 2) << "count 3 over the gridded tunnel";
  EXPECT_LE(worstBlendMismatch(bare[4], 0.3, bare[5], none), 2) << "count 4 over the gridded tunnel";
  EXPECT_GT(meanLevel(bare[2]), 5.0) << "the tunnel shows through";
}

// ---------------------------------------------------------------------------------------------
// Title

// One level of a texture as the GL holds it, rows from t = 0 upwards.
struct TextureLevel {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

TextureLevel readTextureLevel(unsigned name, int level) {
  TextureLevel out;
  glBindTexture(GL_TEXTURE_2D, name);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &out.width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &out.height);
  out.rgb.resize(static_cast<size_t>(out.width) * out.height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, level, GL_RGB, GL_UNSIGNED_BYTE, out.rgb.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  return out;
}

// The colour a linear filter reads from one level at (s, t), repeat wrapping.
std::array<double, 3> sampleLinear(const TextureLevel& level, double s, double t) {
  const double u = s * level.width - 0.5, v = t * level.height - 0.5;
  const double fu = std::floor(u), fv = std::floor(v);
  const double a = u - fu, b = v - fv;
  auto wrap = [](long i, int n) { return static_cast<int>(((i % n) + n) % n); };
  const int i0 = wrap(static_cast<long>(fu), level.width), i1 = wrap(static_cast<long>(fu) + 1, level.width);
  const int j0 = wrap(static_cast<long>(fv), level.height), j1 = wrap(static_cast<long>(fv) + 1, level.height);
  std::array<double, 3> out{};
  for (int c = 0; c < 3; ++c) {
    auto texel = [&](int i, int j) { return level.rgb[(static_cast<size_t>(j) * level.width + i) * 3 + c]; };
    out[c] = (1 - a) * (1 - b) * texel(i0, j0) + a * (1 - b) * texel(i1, j0) + (1 - a) * b * texel(i0, j1) +
             a * b * texel(i1, j1);
  }
  return out;
}

// The title image's mipmap levels, read once.
const std::vector<TextureLevel>& titleLevels() {
  static std::vector<TextureLevel> levels;
  if (levels.empty())
    for (int level = 0; level < 4; ++level) levels.push_back(readTextureLevel(textures[3], level));
  return levels;
}

// How far frame row y strays from the title strip over the whole window at `zoom`, read from one level:
// the image at 90 % over black, s from -zoom at the left edge to +zoom at the right, t from 1 at the top
// to 0 at the bottom. The mean of the three components' distances, over every `step`th pixel.
double rowMismatch(const Frame& frame, int y, double zoom, const TextureLevel& level, int step) {
  double sum = 0;
  int n = 0;
  const double t = 1 - (y + 0.5) / frameHeight;
  for (int x = 0; x < frameWidth; x += step, ++n) {
    const std::array<double, 3> c = sampleLinear(level, -zoom + 2 * zoom * (x + 0.5) / frameWidth, t);
    const Rgb p = at(frame, x, y);
    sum += std::abs(p.r - 0.9 * c[0]) + std::abs(p.g - 0.9 * c[1]) + std::abs(p.b - 0.9 * c[2]);
  }
  return sum / (3.0 * n);
}

// Rows across the title's waves and lettering, where the image changes along its width.
constexpr int zoomRows[] = {150, 200, 380, 400, 560, 600};

// The mismatch of a full-window strip at `zoom`, from whichever mipmap level the filter took.
double stripMismatch(const Frame& frame, double zoom, int step, int rows) {
  double best = 1e9;
  for (const TextureLevel& level : titleLevels()) {
    double sum = 0;
    for (int r = 0; r < rows; ++r) sum += rowMismatch(frame, zoomRows[r], zoom, level, step);
    best = std::min(best, sum / rows);
  }
  return best;
}

// The zoom that best explains a frame showing the strip over the whole window, and how well it does.
struct ZoomFit {
  double zoom, mismatch;
};

ZoomFit fitZoom(const Frame& frame, double low = 0.3, double high = 2.7) {
  ZoomFit coarse{0, 1e9};
  for (double z = low; z <= high; z += 0.002) {
    const double m = stripMismatch(frame, z, 4, 2);
    if (m < coarse.mismatch) coarse = {z, m};
  }
  ZoomFit fine{coarse.zoom, 1e9};
  for (double z = coarse.zoom - 0.003; z <= coarse.zoom + 0.003; z += 0.0002) {
    const double m = stripMismatch(frame, z, 1, 6);
    if (m < fine.mismatch) fine = {z, m};
  }
  return fine;
}

class TitleFrames : public SceneTest {
 protected:
  // A few tunnel frames first, so the title finds the state the tunnel leaves.
  void SetUp() override {
    SceneTest::SetUp();
    drawSmallFrames(4, 3);
  }
};

TEST_F(TitleFrames, TheFirstFrameStretchesOneTexelColumnAcrossTheWindow) {
  glDisable(GL_LIGHTING);
  glLoadIdentity();
  glTranslatef(1, 2, 3);
  std::array<float, 16> projection{};
  glGetFloatv(GL_PROJECTION_MATRIX, projection.data());

  const Frame first = frameAt(5);
  EXPECT_EQ(rowsThatVary(first, 0, frameHeight - 1), 0) << "every row one colour across the width";
  // That colour is 90 % of the image's column at s = 0, the whole image upright down the window.
  double worst = 0;
  for (int y = 0; y < frameHeight; ++y) {
    const std::array<double, 3> c = sampleLinear(titleLevels()[0], 0, 1 - (y + 0.5) / frameHeight);
    const Rgb p = at(first, 0, y);
    worst = std::max({worst, std::abs(p.r - 0.9 * c[0]), std::abs(p.g - 0.9 * c[1]), std::abs(p.b - 0.9 * c[2])});
  }
  EXPECT_LE(worst, 2.0);
  int bands = 0;
  for (int y = 1; y < frameHeight; ++y) bands += rgbDistance(at(first, 0, y), at(first, 0, y - 1)) != 0;
  EXPECT_GT(bands, 100) << "the column's colours change down the window";

  // What the frame leaves: lighting on, opaque yellow, the projection back and identity under it.
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  expectColour({1, 1, 0, 1});
  expectModelViewAlongZ(0);
  std::array<float, 16> after{};
  glGetFloatv(GL_PROJECTION_MATRIX, after.data());
  EXPECT_EQ(after, projection);
}

// The image tiled 2 x zoom times across the window, its s = 0 edge on the centre line: measured from
// the pixels on every frame against the title texture itself.
TEST_F(TitleFrames, TheZoomSwingsBetweenHalfAndTwoAndAHalfWithAPeriodOf63Frames) {
  frameAt(5);
  std::vector<double> zooms(2, 0.0);  // by frame number at count 5, from frame 2
  for (int frame = 2; frame <= 115; ++frame) {
    const ZoomFit fit =
        frame == 2 ? fitZoom(frameAt(5)) : fitZoom(frameAt(5), zooms.back() - 0.12, zooms.back() + 0.12);
    ASSERT_LT(fit.mismatch, 1.0) << "frame " << frame << " is the tiled image at zoom " << fit.zoom;
    zooms.push_back(fit.zoom);
  }
  EXPECT_NEAR(zooms[2], 1.5, 0.001) << "three copies on the second frame";
  const auto widest = std::max_element(zooms.begin() + 2, zooms.end());
  const auto narrowest = std::min_element(zooms.begin() + 2, zooms.end());
  EXPECT_NEAR(*widest, 2.5, 0.002);
  EXPECT_NEAR(*narrowest, 0.5, 0.002);
  EXPECT_LT(narrowest, widest) << "from 1.5 it narrows first";
  // Successive peaks and troughs 2 pi / 0.1 frames apart.
  ASSERT_LT(std::max(widest, narrowest) + 30, zooms.end());
  const auto secondWidest = std::max_element(widest + 30, zooms.end());
  const auto secondNarrowest = std::min_element(narrowest + 30, zooms.end());
  EXPECT_NEAR(secondWidest - widest, 62.8, 1.0);
  EXPECT_NEAR(secondNarrowest - narrowest, 62.8, 1.0);
  EXPECT_NEAR(*secondNarrowest, 0.5, 0.002);
}

// Where the strip lies on frame `frame` at count 6, and whether it is still textured: the height shrinks
// by 20 pixels a frame to 2 (after 39 frames), then the width by 20 a frame to 24.
struct StripAt {
  Box box;
  bool textured;
};

StripAt stripOnFrameAtSix(int frame) {
  StripAt strip;
  const int insetY = std::min(10 * (frame - 1), 383);
  const int insetX = frame <= 39 ? 0 : std::min(10 * (frame - 39), 500);
  strip.box.left = insetX, strip.box.right = frameWidth - 1 - insetX;
  strip.box.top = insetY, strip.box.bottom = frameHeight - 1 - insetY;
  strip.textured = frame <= 39;
  return strip;
}

// Checks one frame at count 6 against where the strip should be: nothing outside its box, and inside
// either the image (more than one colour) or the plain line at 90 % white.
void expectStrip(const Frame& frame, int n, bool columnStretched) {
  SCOPED_TRACE("frame " + std::to_string(n) + " at count 6");
  const StripAt want = stripOnFrameAtSix(n);
  const Box got = nonBlackBox(frame);
  EXPECT_EQ(got.left, want.box.left);
  EXPECT_EQ(got.right, want.box.right);
  EXPECT_EQ(got.top, want.box.top);
  EXPECT_EQ(got.bottom, want.box.bottom);
  const long area = static_cast<long>(want.box.right - want.box.left + 1) * (want.box.bottom - want.box.top + 1);
  EXPECT_EQ(got.pixels, area) << "the strip is solid";
  long plain = 0;
  for (int y = want.box.top; y <= want.box.bottom; ++y)
    for (int x = want.box.left; x <= want.box.right; ++x) {
      const Rgb p = at(frame, x, y);
      plain += p.r == p.g && p.g == p.b && std::abs(p.r - 229.5) <= 1;
    }
  if (want.textured) {
    EXPECT_LT(plain, area / 2) << "still the image";
    // The strip's two triangles may round t a step apart along their shared edge.
    if (columnStretched)
      EXPECT_EQ(rowsThatVary(frame, want.box.top, want.box.bottom, 1), 0);
    else
      EXPECT_GT(rowsThatVary(frame, want.box.top, want.box.bottom), 0);
  } else {
    EXPECT_EQ(plain, area) << "a plain line, white at 0.9";
  }
}

TEST_F(TitleFrames, AtSixTheStripSqueezesToATwoPixelLineThenShrinksToA24PixelSegment) {
  drawFrames(5, 21);
  double zoom = 0;
  for (int n = 1; n <= 100; ++n) {
    const Frame frame = frameAt(6);
    expectStrip(frame, n, false);
    if (n == 1) {
      // The swing's step after the 21st frame at 5 (phase 2.0) is the zoom the collapse keeps.
      zoom = fitZoom(frame, 0.3, 1.0).zoom;
      EXPECT_NEAR(zoom, 1.5 - std::sin(2.0), 0.001);
    }
    EXPECT_NEAR(titleTexZoom, zoom, 0.001) << "the zoom stays where it was";
    // Texturing goes off once the height has reached its end, after the 39th frame's strip is drawn.
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), n < 39 ? GL_TRUE : GL_FALSE) << "after frame " << n;
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    expectColour({1, 1, 0, 1});
    if (HasFailure()) break;
  }
}

TEST_F(TitleFrames, WithNoFrameAtFiveTheCollapseShowsTheStretchedColumn) {
  for (int n = 1; n <= 45; ++n) {
    expectStrip(frameAt(6), n, true);
    if (HasFailure()) break;
  }
}

// ---------------------------------------------------------------------------------------------
// Cube columns

// One column drawn by hand from the documented chain: cube i under T(x, 0, 0) and, for j = 0 to i,
// T(0, -4, j) then a turn by `angle` about (0.5, 0.5, 0.5).
void columnByHand(float x, float angle) {
  glPushMatrix();
  glTranslatef(x, 0, 0);
  for (int i = 0; i < 10; ++i) {
    glTranslatef(0, -4, static_cast<float>(i));
    glRotatef(angle, 0.5f, 0.5f, 0.5f);
    glCallList(cubeList);
  }
  glPopMatrix();
}

enum class Columns { leftThenRight, rightThenLeft, leftOnly, rightOnly };

// The cube picture drawn by hand over white, in the render state the scene's own frame has just left:
// the camera at (0, 0, 20), light 0 given under it, colour (c, c, 1, 0.4), depth test off. With a
// caption it is printed first, black at (100, 200), as the scene's text.
Frame cubesByHand(float angle, float c, Columns columns, const char* caption = nullptr) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  gluLookAt(0, 0, 20, 0, 0, 0, 0, 1, 0);
  if (caption) {
    glColor4f(0, 0, 0, 1);
    printText(0, 100, 200, "%s", caption);
  }
  glDisable(GL_DEPTH_TEST);
  glLightfv(GL_LIGHT0, GL_POSITION, light0Position);
  glColor4f(c, c, 1, 0.4f);
  if (columns != Columns::rightOnly && columns != Columns::rightThenLeft) columnByHand(-3, angle);
  if (columns != Columns::leftOnly) columnByHand(3, -angle);
  if (columns == Columns::rightThenLeft) columnByHand(-3, angle);
  glEnable(GL_DEPTH_TEST);
  return readFrame();
}

// The caption alone, black on white with nothing to tint or blend it; then the switches the cube
// frame leaves on are put back.
Frame captionAlone(const char* text) {
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glColor3f(0, 0, 0);
  printText(0, 100, 200, "%s", text);
  Frame frame = readFrame();
  glEnable(GL_LIGHTING);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glBindTexture(GL_TEXTURE_2D, textures[4]);
  return frame;
}

// Pixels darker than mid-grey.
Box darkBox(const Frame& frame) {
  Box box;
  for (int y = 0; y < frameHeight; ++y)
    for (int x = 0; x < frameWidth; ++x)
      if (at(frame, x, y).r < 128) {
        box.left = std::min(box.left, x), box.right = std::max(box.right, x);
        box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
        ++box.pixels;
      }
  return box;
}

// Largest difference of one component inside a box.
int largestDifferenceIn(const Frame& a, const Frame& b, const Box& box) {
  int worst = 0;
  for (int y = box.top; y <= box.bottom; ++y)
    for (int x = box.left; x <= box.right; ++x) worst = std::max(worst, rgbDistance(at(a, x, y), at(b, x, y)));
  return worst;
}

class CubeColumnFrames : public SceneTest {
 protected:
  // The line-feedback scene before, as in a run: it leaves the white clear colour the first frame needs.
  void SetUp() override {
    SceneTest::SetUp();
    drawFrames(39, 1);
  }
};

TEST_F(CubeColumnFrames, TheFirstFrameTurnsEachCubeByHalfADegree) {
  const Frame first = frameAt(50);
  EXPECT_EQ(cubeAngle, 0.5f);
  EXPECT_LE(largestDifference(first, cubesByHand(0.5f, 0.75f, Columns::leftThenRight)), 1);
  EXPECT_GT(pixelsDiffering(first, cubesByHand(0.0f, 0.75f, Columns::leftThenRight), 8), 1000) << "not at 0";
  EXPECT_GT(pixelsDiffering(first, cubesByHand(1.0f, 0.75f, Columns::leftThenRight), 8), 1000) << "not at 1";
}

// The depth test is off, so submission order decides: where the columns cross, the right one lies
// over the left whichever is nearer.
TEST_F(CubeColumnFrames, TheRightColumnIsBlendedOverTheLeftWhereTheyOverlap) {
  cubeAngle = 49.5f;  // drawn at 50 degrees, where the chains cross in many places
  const Frame shown = frameAt(60);
  const Frame left = cubesByHand(50, 1, Columns::leftOnly), right = cubesByHand(50, 1, Columns::rightOnly);
  const Frame rightOverLeft = cubesByHand(50, 1, Columns::leftThenRight);
  const Frame leftOverRight = cubesByHand(50, 1, Columns::rightThenLeft);
  EXPECT_LE(largestDifference(shown, rightOverLeft), 1);

  long overlap = 0, overlapDiffering = 0, elsewhereDiffering = 0;
  for (int y = 0; y < frameHeight; ++y)
    for (int x = 0; x < frameWidth; ++x) {
      const bool both = !isWhite(at(left, x, y)) && !isWhite(at(right, x, y));
      const bool differs = rgbDistance(at(shown, x, y), at(leftOverRight, x, y)) > 1;
      overlap += both;
      (both ? overlapDiffering : elsewhereDiffering) += differs;
    }
  EXPECT_GT(overlap, 10000) << "the columns cross at this angle";
  EXPECT_GT(overlapDiffering, overlap / 2) << "the order shows where they cross";
  EXPECT_EQ(elsewhereDiffering, 0) << "and nowhere else";
}

// The caption is printed into the frame first; the translucent cubes that pass over it tint it.
TEST_F(CubeColumnFrames, TheCaptionShowsFrom40To49UnderTheCubes) {
  const struct {
    int count;
    bool caption;
  } cases[] = {{40, true}, {49, true}, {50, false}};
  Box captionBox;
  for (const auto& c : cases) {
    SCOPED_TRACE("count " + std::to_string(c.count));
    cubeAngle = 0;  // the cubes hang low, clear of the caption
    setCount(c.count);
    const std::string name = syncName();
    const Frame shown = frameAt(c.count);
    if (c.caption) {
      const Frame alone = captionAlone(name.c_str());
      captionBox = darkBox(alone);
      ASSERT_GT(captionBox.pixels, 500) << "\"" << name << "\" prints";
      captionBox.left -= 4, captionBox.top -= 4, captionBox.right += 4, captionBox.bottom += 4;
      EXPECT_EQ(largestDifferenceIn(shown, alone, captionBox), 0) << "\"" << name << "\" in black at (100, 200)";
    } else {
      EXPECT_EQ(darkBox(shown).top, darkBox(cubesByHand(0.5f, 0.75f, Columns::leftThenRight)).top)
          << "nothing above the cubes";
      const Frame white(shown.size(), 255);
      EXPECT_EQ(largestDifferenceIn(shown, white, captionBox), 0) << "where the caption was";
    }
  }

  cubeAngle = 39.5f;  // drawn at 40 degrees, where the right column passes through the caption
  setCount(45);
  const std::string name = syncName();
  const Frame shown = frameAt(45);
  EXPECT_LE(largestDifference(shown, cubesByHand(40, 0.775f, Columns::leftThenRight, name.c_str())), 1);
  const Frame cubesFirst = [&] {
    cubesByHand(40, 0.775f, Columns::leftThenRight);
    glColor4f(0, 0, 0, 1);
    printText(0, 100, 200, "%s", name.c_str());
    return readFrame();
  }();
  EXPECT_GT(pixelsDiffering(shown, cubesFirst, 8), 500) << "the cubes do not hide under the caption";
}

// c = 1 - count / 200 from 36 to 59, 1 otherwise: the current colour after the frame, and the blue
// cast of the cubes. The ambient terms (1.3 in all) lift red and green to full until c drops below
// 1 / 1.3, so the cast only grows in the pixels from about 47 on; at 60 it is gone.
TEST_F(CubeColumnFrames, TheTintDeepensFrom40To59AndIsGoneAt60) {
  const struct {
    int count;
    float c;
  } cases[] = {{40, 0.8f}, {45, 0.775f}, {49, 0.755f}, {50, 0.75f}, {59, 0.705f}, {60, 1.0f}, {61, 1.0f}};
  std::vector<double> casts;
  for (const auto& c : cases) {
    SCOPED_TRACE("count " + std::to_string(c.count));
    cubeAngle = 0;
    const Frame shown = frameAt(c.count);
    expectColour({c.c, c.c, 1, 0.4f});
    // Blue over red where the cubes hang, below the caption.
    double cast = 0;
    long cubePixels = 0;
    for (int y = 400; y < frameHeight; ++y)
      for (int x = 0; x < frameWidth; ++x) {
        const Rgb p = at(shown, x, y);
        if (isWhite(p)) continue;
        cast += p.b - p.r;
        ++cubePixels;
      }
    ASSERT_GT(cubePixels, 10000);
    casts.push_back(cast / cubePixels);
  }
  for (size_t i = 1; i < 5; ++i) EXPECT_GE(casts[i], casts[i - 1]) << "count " << cases[i].count;
  EXPECT_GT(casts[4], casts[0] + 1.0) << "bluer at 59 than at 40";
  EXPECT_GT(casts[4], casts[3] + 1.0) << "bluer at 59 than at 50";
  EXPECT_EQ(casts[5], casts[0]) << "at 60 as untinted as lighting made 40";
  EXPECT_EQ(casts[6], casts[5]);
}

TEST_F(CubeColumnFrames, AFrameLeavesTheStateItsNextFrameStartsFrom) {
  glEnable(GL_FOG);
  glDisable(GL_LIGHTING);
  glDisable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ZERO);
  glDisable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, textures[3]);
  glViewport(0, 0, 512, 512);
  glClearColor(0, 0, 0, 1);
  drawFrames(40, 1);

  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[0], 0);
  EXPECT_EQ(viewport[1], 0);
  EXPECT_EQ(viewport[2], 1024);
  EXPECT_EQ(viewport[3], 768);
  std::array<float, 4> clear{};
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clear.data());
  EXPECT_EQ(clear, (std::array<float, 4>{1, 1, 1, 1}));
  EXPECT_FALSE(glIsEnabled(GL_FOG));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  expectBlending(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(boundTexture(), static_cast<GLint>(textures[4]));
  expectModelViewAlongZ(20);
  expectColour({0.8f, 0.8f, 1, 0.4f});
  // Light 0 was given under the camera: in eye coordinates it sits 20 further away.
  std::array<float, 4> light{};
  glGetLightfv(GL_LIGHT0, GL_POSITION, light.data());
  EXPECT_EQ(light, (std::array<float, 4>{1, 2, -20, 1}));
}

// ---------------------------------------------------------------------------------------------
// Scene boundaries of the timeline

// Every scene's persistent state, with the two render textures the feedback scenes draw from.
struct AllScenes {
  TunnelState tunnel;
  std::array<float, 4> title;
  std::array<float, 3> line, blue;
  float cube;
  std::vector<uint8_t> renderTexture[2];
};

constexpr int renderSlots[2] = {0, 5};

AllScenes saveScenes() {
  AllScenes all{tunnelState(),
                {titleTexZoom, titleZoomPhase, titleInsetY, titleInsetX},
                {lineAngleX, lineAngleY, lineAngleZ},
                {blueAngleX, blueAngleY, blueAngleZ},
                cubeAngle,
                {}};
  for (int i = 0; i < 2; ++i) all.renderTexture[i] = readTextureLevel(textures[renderSlots[i]], 0).rgb;
  return all;
}

void restoreScenes(const AllScenes& all) {
  setTunnelState(all.tunnel);
  titleTexZoom = all.title[0], titleZoomPhase = all.title[1], titleInsetY = all.title[2], titleInsetX = all.title[3];
  lineAngleX = all.line[0], lineAngleY = all.line[1], lineAngleZ = all.line[2];
  blueAngleX = all.blue[0], blueAngleY = all.blue[1], blueAngleZ = all.blue[2];
  cubeAngle = all.cube;
  for (int i = 0; i < 2; ++i) {
    glBindTexture(GL_TEXTURE_2D, textures[renderSlots[i]]);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 512, 512, 0, GL_RGB, GL_UNSIGNED_BYTE, all.renderTexture[i].data());
  }
}

// The scenes that have stepped their animation since `before`.
std::set<std::string> scenesMovedOn(const AllScenes& before) {
  std::set<std::string> moved;
  auto add = [&](bool changed, const char* name) {
    if (changed) moved.insert(name);
  };
  add(tunnelEyeZ != before.tunnel.eyeZ, "tunnel");
  add(titleZoomPhase != before.title[1] || titleInsetY != before.title[2] || titleInsetX != before.title[3], "title");
  add(lineAngleZ != before.line[2], "line feedback");
  add(cubeAngle != before.cube, "cube columns");
  add(blueAngleZ != before.blue[2], "blue feedback");
  return moved;
}

class SceneBoundaries : public SceneTest {};

// At each boundary the first frame of the new count, through the dispatch, runs the new scene only and
// shows it. Then the same frame again from the same state, as it comes out when the sync point lands
// between the two scenes' tests of one dispatch: both run, and the picture is the later scene's.
TEST_F(SceneBoundaries, EveryBoundaryFrameShowsTheNewSceneAlsoWhenTheCountRisesMidFrame) {
  Frame lastLineFrame, lastBlueFrame;
  const struct {
    int count;
    const char *earlier, *later;
    void (*drawEarlier)();
    void (*drawLater)();
    std::function<void(const Frame&)> showsLater;
  } boundaries[] = {
      {5, "tunnel", "title", TunnelScene, TitleScene,
       [](const Frame& f) {
         EXPECT_EQ(nonBlackBox(f).pixels, frameWidth * frameHeight) << "the strip over the whole window";
         EXPECT_EQ(rowsThatVary(f, 0, frameHeight - 1), 0) << "its first frame: one texel column stretched";
       }},
      {7, "title", "line feedback", TitleScene, LineFeedbackScene,
       [](const Frame& f) {
         // Its render texture, black from start-up, at 0.99 over the white clear colour: near black,
         // and the title's white segment is gone.
         const Box lit = nonBlackBox(f);
         EXPECT_GT(lit.pixels, frameWidth * frameHeight / 2);
         EXPECT_LE(*std::max_element(f.begin(), f.end()), 4);
       }},
      {40, "line feedback", "cube columns", LineFeedbackScene, CubeColumnsScene,
       [](const Frame& f) {
         for (const auto& [x, y] : {std::pair{0, 0}, {frameWidth - 1, 0}, {0, 120}, {frameWidth - 1, 120}})
           EXPECT_TRUE(isWhite(at(f, x, y))) << "white background at " << x << ", " << y;
         long ink = 0;
         for (int y = 200; y < 300; ++y)
           for (int x = 100; x < 700; ++x) ink += at(f, x, y).r < 64;
         EXPECT_GT(ink, 500) << "the caption";
       }},
      {62, "cube columns", "blue feedback", CubeColumnsScene, BlueFeedbackScene,
       [](const Frame& f) {
         // Its own render texture, black from start-up, over the sky-blue clear colour: dark, tinted blue.
         EXPECT_LE(*std::max_element(f.begin(), f.end()), 8) << "the cubes' white is gone";
         long bluer = 0;
         for (size_t i = 0; i < f.size(); i += 3) bluer += f[i + 2] > f[i];
         EXPECT_GT(bluer, frameWidth * frameHeight / 2);
       }},
      {64, "blue feedback", "line feedback", BlueFeedbackScene, LineFeedbackScene,
       [&](const Frame& f) {
         EXPECT_LT(meanDifference(f, lastLineFrame), 6.0) << "the line scene's picture back where it left it";
         EXPECT_GT(meanDifference(f, lastBlueFrame), 60.0);
       }},
  };

  size_t next = 0;
  for (int count = 1; count <= 64; ++count) {
    if (next < std::size(boundaries) && boundaries[next].count == count) {
      const auto& b = boundaries[next++];
      SCOPED_TRACE(std::string("from ") + b.earlier + " to " + b.later + " at " + std::to_string(count));
      // The render state flows from frame to frame too: the straddling frame starts from the same.
      const AllScenes before = saveScenes();
      glPushAttrib(GL_ALL_ATTRIB_BITS);
      const Frame dispatched = frameAt(count);
      EXPECT_EQ(scenesMovedOn(before), std::set<std::string>{b.later});
      b.showsLater(dispatched);
      const std::string name = syncName();
      const AllScenes after = saveScenes();

      glPopAttrib();
      restoreScenes(before);
      syncCount = count - 1;
      resetGates();
      b.drawEarlier();
      onSyncPoint(name.c_str());
      b.drawLater();
      const Frame straddling = readFrame();
      EXPECT_EQ(scenesMovedOn(before), (std::set<std::string>{b.earlier, b.later})) << "both ran";
      EXPECT_EQ(largestDifference(straddling, dispatched), 0) << "the later scene's frame, as if alone";
      b.showsLater(straddling);
      restoreScenes(after);
    }
    drawFrames(count, count == 6 ? 5 : 2);
    if (count == 39) lastLineFrame = readFrame();
    if (count == 63) lastBlueFrame = readFrame();
  }
  EXPECT_EQ(next, std::size(boundaries));
}

}  // namespace
