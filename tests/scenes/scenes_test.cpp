// Guards the five scenes against a wrong step, start value or threshold, a wrong colour or place on screen, a text, picture or quit at the wrong count, the wrong scene for a count, the wrong state left for the next frame, and a step-only run or reset that parts from the drawn frames.
#include <cmath>

#include "app/main_loop.h"
#include "gfx/overlay.h"
#include "gfx/text.h"
#include "music/sync.h"
#include "platform/shell.h"
#include "scene_driver.h"
#include "scene_fixture.h"
#include "scenes/scenes.h"
#include "scenes/timing.h"

// The clock of the scenes' rate gate, moved by hand: the platform's own is left out of the link.
static uint64_t clockNow = 0;
uint64_t clockMilliseconds() { return clockNow; }

// The tunnel sets no viewport of its own: frames drawn into a 64x48 corner step it on at a sliver of the cost.
static void drawSmall(int count, int frames, void (*draw)() = nullptr) {
  glViewport(0, 0, 64, 48);
  draw ? (drawFrames(count, 0), draw()) : drawFrames(count, frames);
  glViewport(0, 0, frameWidth, frameHeight);
}

static void fillRenderTexture(int slot, uint8_t level) {
  const std::vector<uint8_t> flat(512 * 512 * 3, level);
  glBindTexture(GL_TEXTURE_2D, textures[slot]);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 512, 512, 0, GL_RGB, GL_UNSIGNED_BYTE, flat.data());
}

TEST_F(SceneTest, TunnelStepsEveryFrameAndSwaysOncePerSyncPoint) {
  drawSmall(1, 100);
  EXPECT_NEAR(tunnelEyeZ, 675, 0.01);        // 680 - 0.05 x 100 frames
  EXPECT_NEAR(tunnelInnerAngle, 103, 0.01);  // 90 + 0.13 x 100
  EXPECT_NEAR(tunnelOuterAngle, -8, 0.01);   // 45 - 0.53 x 100
  EXPECT_NEAR(tunnelFadeLevel, 0.9, 1e-4);   // 1 - 0.001 x 100
  EXPECT_EQ(tunnelLookTarget, 0.0f) << "no sway before the first sync point";
  drawSmall(2, 2);
  EXPECT_NEAR(tunnelLookTarget, 5.2928, 1e-3);  // the second sway frame: sin 0.3 x (18 - 0.09)
  drawSmall(4, 597);  // sync points 2 to 4 queue three sways of 200 frames, back to back
  EXPECT_EQ(tunnelSwaysDone, 3);
  EXPECT_NEAR(tunnelSwayAmplitude, 0.09, 1e-3);  // 18 - 0.09 x 199
  const float phase = tunnelSwayPhase;
  drawSmall(5, 1, TunnelScene);  // frame 700, as the count reaches 5 mid-frame
  EXPECT_EQ(tunnelSwayPhase, phase) << "a sway still pending at 5 plays no further";
  drawSmall(4, 1);
  EXPECT_EQ(tunnelSwaysDone, 4);
  EXPECT_NEAR(tunnelSwayPhase, 180, 0.05);  // 0.3 x 600 sway frames, never reset
  const float still = tunnelLookTarget;
  drawSmall(4, 299);
  EXPECT_EQ(tunnelLookTarget, still) << "kept between sways, not set back to 0";
  EXPECT_GT(tunnelFadeLevel, 0.0f) << "1,000 frames leave a sliver of the fade";
  drawSmall(4, 1);
  EXPECT_EQ(tunnelFadeLevel, 0.0f) << "1 - 0.001 x 1,001 is held at 0";
}

// The tunnel from one fixed state at `count`, drawn twice so that light 0 stands where that frame leaves it.
static Picture tunnelAt(int count) {
  drawFrames(count, 0);
  for (int pass = 0; pass < 2; ++pass)
    tunnelEyeZ = 660, tunnelInnerAngle = tunnelOuterAngle = tunnelFadeLevel = 0, tunnelSwaysDone = 4, TunnelScene();
  return grabFrame();
}

TEST_F(SceneTest, TunnelFadesInFromBlackUnderItsCreditAndLaysTheWireGridFromThree) {
  drawFrames(1, 1);
  EXPECT_EQ(findBox(grabFrame(), notBlack).pixels, 0) << "the first frame is black all over";
  drawFrames(2, 1);  // under the fade at 0.999 only black: 0.7 x the credit picture as the overlay lays it
  const Picture shown = grabFrame();
  glDisable(GL_BLEND), drawImageOverlay(13, 1.0f);
  const Picture credit = grabFrame();
  for (size_t i = 0; i < shown.rgb.size(); ++i) ASSERT_NEAR(shown.rgb[i], 0.7 * credit.rgb[i], 1.0) << "byte " << i;
  textures[14] = textures[15] = textures[13];  // one picture for every credit: only the grid tells 2 to 4 apart
  const Picture two = tunnelAt(2), three = tunnelAt(3);
  EXPECT_FALSE(two == three) << "no grid at 3";
  EXPECT_TRUE(three == tunnelAt(4)) << "the grid at 3 and at 4 alike";
}

TEST_F(SceneTest, TitleSwingsItsZoomThenCollapsesToATwoPixelLineAndA24PixelSegment) {
  drawFrames(5, 1);  // zoom 0 on the first frame: one texel column stretched across every row
  EXPECT_EQ(grabFrame().at(0, 384), grabFrame().at(1023, 384));
  drawFrames(5, 1);  // then 1.5 - sin 0: three copies across, s = 0 on the centre line, 90 % over black
  const Picture level1 = grabTexture(textures[3], 1), second = grabFrame();  // 1.5 texels a pixel: level 1 is nearest
  for (int x : {128, 256, 384, 640})  // s = -1.5 + 3 (x + 0.5) / 1024 across the lettering's upper half, t = 0.53
    expectPixel(second, x, 360, times(0.9, bilinear(level1, -1.5 + 3 * (x + 0.5) / 1024, 1 - 360.5 / 768)), 2);
  drawFrames(5, 19);
  EXPECT_NEAR(titleTexZoom, 0.5907, 1e-4);  // 1.5 - sin(0.1 x 20) after 21 frames
  drawFrames(6, 10);  // the 10th frame at 6 drew at inset 9 x 10: rows 90 to 768 - 90 - 1
  EXPECT_EQ(findBox(grabFrame(), notBlack).edges(), (std::array<int, 4>{0, 90, 1023, 677}));
  drawFrames(6, 29);
  EXPECT_EQ(findBox(grabFrame(), notBlack).edges(), (std::array<int, 4>{0, 380, 1023, 387})) << "8 rows at inset 380";
  EXPECT_EQ(titleInsetX, 10.0f) << "the height held at 383 from the 39th frame, the width starts to shrink";
  drawFrames(6, 61);  // from the 89th frame inset 10 x (88 - 38) = 500 a side: 24 by 2 pixels, white at 0.9
  EXPECT_EQ(findBox(grabFrame(), notBlack).edges(), (std::array<int, 4>{500, 383, 523, 384}));
  expectPixel(grabFrame(), 512, 383, {230, 230, 230}, 1);  // 0.9 x 255 = 229.5
}

TEST_F(SceneTest, LineFeedbackTakesOnePercentAPassAndTurnsEveryFrame) {
  glClearColor(1, 1, 1, 1);  // from the black render texture over white:
  drawFrames(7, 1);
  EXPECT_EQ(grabTexture(textures[0]).at(0, 0), (Rgb{3, 3, 3}));  // 0.01 x 255 = 2.55 in the copy
  EXPECT_EQ(grabFrame().at(0, 0), (Rgb{6, 6, 6}));               // and 0.99 x 3 + 0.01 x 255 = 5.5 on screen
  fillRenderTexture(0, 255), lineAngleX = lineAngleY = lineAngleZ = 0;
  drawFrames(7, 1);
  // Segment 0's midpoint (0.25, 1.5, -1) lies 11 in front of the eye: x = 512 (1 + 1.810660 x 0.25 / 11) = 533,
  // y = 384 (1 - 2.414214 x 1.5 / 11) = 257.6 from the top; blue (0, 0.2, 1) times the copy's white texel.
  EXPECT_GT(findBox(grabFrame().crop(530, 254, 7, 7), [](Rgb c) { return c == Rgb{0, 51, 255}; }).pixels, 0);
  const Picture copy = grabTexture(textures[0]);
  drawFrames(7, 1, false);
  EXPECT_TRUE(grabTexture(textures[0]) == copy) << "a closed rate gate skips the copy";
  resetGates(), clockNow = 1000, rateGate(100), clockNow = 1015, LineFeedbackScene();  // 15 ms on: open at 100 a second
  EXPECT_FALSE(grabTexture(textures[0]) == copy) << "the copy is taken up to 100 times a second";
  drawFrames(7, 97);
  EXPECT_NEAR(lineAngleX, 30, 1e-3);  // 0.3 x 100 frames, the closed gate's among them
  EXPECT_NEAR(lineAngleY, 20, 1e-3);  // 0.2 x 100
  EXPECT_NEAR(lineAngleZ, 100, 1e-3);
}

// Each count's text, taken into the copy at 1 % from white (grey 252 where the segments are blue), and its
// greeting over the whole frame, opaque. A caption is the name of the marker that raised the count.
TEST_F(SceneTest, LineFeedbackShowsEachTextAndGreetingAtItsCount) {
  const std::vector<std::string>& names = sceneDriverMarkerNames();
  const struct {
    int count;
    std::string text;
    int x = 0, slot = 0;
    float alpha = 0;
  } rows[] = {{11, ""}, {12, names[10], 100}, {39, names[37], 100}, {64, ""}, {65, ""}, {66, "", 0, 6, 1.0f},
              {67, "", 0, 7, 0.9f}, {68, "", 0, 8, 0.8f}, {69, "", 0, 9, 0.7f}, {70, "", 0, 10, 0.6f},
              {71, "", 0, 11, 0.5f}, {72, "", 0, 12, 0.4f}, {73, "", 0, 16, 0.4f}, {74, ""},
              {75, "Se you all next year!", 30}, {76, "Yorv er t\xF8" "ff!", 30}, {77, ""}};
  drawFrames(7, 1);  // as in a run, a frame before leaves blending off: black text drawn additively would not show
  for (const auto& row : rows) {
    SCOPED_TRACE("count " + std::to_string(row.count));
    fillRenderTexture(0, 255), glClearColor(1, 1, 1, 1);
    drawFrames(row.count, 1);
    const Picture frame = grabFrame(), copy = grabTexture(textures[0]);
    expectGlState({row.slot ? is(GL_CURRENT_COLOR, {1, 1, 1, row.alpha}) : is(GL_CURRENT_COLOR, {0, 0, 0, 1})});
    if (row.slot) glDisable(GL_BLEND), drawImageOverlay(row.slot, 1.0f);  // opaque, it covers all the frame
    EXPECT_TRUE(!row.slot || grabFrame() == frame) << "not picture " << row.slot << " alone";
    for (GLenum what : {GL_LIGHTING, GL_TEXTURE_2D, GL_BLEND, GL_DEPTH_TEST}) glDisable(what);
    glClear(GL_COLOR_BUFFER_BIT), glColor3f(0, 0, 0);
    printText(0, row.x, 300, "%s", row.text.c_str());  // where it puts ink in the lower-left 512x512
    const Picture ink = grabFrame().crop(0, 256, 512, 512);
    auto takenIn = [](Rgb c) { return c.r == c.g && c.g == c.b && c.r < 255; };
    long mismatches = 0;
    for (int y = 0; y < 512; ++y)
      for (int x = 0; x < 512; ++x) mismatches += takenIn(copy.at(x, y)) != dark(ink.at(x, 511 - y));
    EXPECT_EQ(findBox(ink, dark).pixels > 500, !row.text.empty());
    EXPECT_EQ(mismatches, 0) << "the copy does not hold exactly \"" << row.text << "\"";
  }
}

TEST_F(SceneTest, CubesTurnHalfADegreeAFrameOverTheirCaption) {
  glClearColor(1, 1, 1, 1);  // as the line scene leaves it
  cubeAngle = -0.5f;         // drawn at 0: every cube square to the axes
  drawFrames(60, 1);
  EXPECT_EQ(cubeAngle, 0.0f);
  // The top left cube's front face centre (-3, -4, 1), 19 in front of the eye: x = 512 (1 - 1.810660 x 3 / 19)
  // = 365.6, y = 384 (1 + 2.414214 x 4 / 19) = 579.2 from the top. Its front and back faces lie there over white
  // at 0.4, both on the picture's dark ground (12), lit to full: 0.4 x 12 + 0.6 (0.4 x 12 + 0.6 x 255) = 99.5.
  expectPixel(grabFrame(), 365, 579, {99, 99, 99}, 2);
  for (int count : {40, 49, 50}) {  // the caption at 40 to 49, black at (100, 200): from column 99, on row 270
    cubeAngle = 0;                  // the cubes hang low, clear of it
    drawFrames(count, 1);
    const Box ink = findBox(grabFrame().crop(0, 0, frameWidth, 400), dark);
    EXPECT_EQ(ink.pixels > 0, count < 50) << count;
    EXPECT_TRUE(count == 50 || (std::abs(ink.left - 103) <= 4 && std::abs(ink.bottom - 277) <= 7)) << ink.edges()[0];
  }
  drawFrames(61, 99);
  EXPECT_EQ(cubeAngle, 50.0f);  // 0.5 + 0.5 x 99
  // Under a projection that clips nothing, 2 columns x 10 cubes x 6 quads come back as 240 triangles (as Mesa splits
  // them), each a token, a count and 3 corners of 2 numbers: 240 x 8 = 1920.
  std::vector<GLfloat> feedback(1 << 16);
  glFeedbackBuffer(GLsizei(feedback.size()), GL_2D, feedback.data());
  glMatrixMode(GL_PROJECTION), glPushMatrix(), glLoadIdentity(), glOrtho(-1e3, 1e3, -1e3, 1e3, -1e3, 1e3);
  glMatrixMode(GL_MODELVIEW), glRenderMode(GL_FEEDBACK), drawFrames(61, 1);
  EXPECT_EQ(glRenderMode(GL_RENDER), 1920);
  glMatrixMode(GL_PROJECTION), glPopMatrix(), glMatrixMode(GL_MODELVIEW);
}

TEST_F(SceneTest, BlueCopiesEveryFrameAndTurnsThreeTwoAndOneDegrees) {
  glClearColor(1, 1, 1, 1);  // as the cube frames leave it
  drawFrames(62, 1, false);  // the rate gate says no: copied all the same
  EXPECT_EQ(grabTexture(textures[5]).at(0, 0), (Rgb{3, 3, 3}));  // 0.01 x 255 over the black start
  EXPECT_EQ(grabFrame().at(0, 0), (Rgb{3, 5, 6}));               // 0.99 x 3 + 0.01 x (0, 204, 255)
  drawFrames(63, 99);
  EXPECT_EQ((std::array{blueAngleX, blueAngleY, blueAngleZ}), (std::array{300.0f, 200.0f, 100.0f}));  // 3, 2, 1 x 100
}

// One frame through the dispatch on each side of every boundary: which scene stepped its animation.
TEST_F(SceneTest, EachCountDrawsTheSceneOfItsRange) {
  const char* scenes[] = {"tunnel", "title", "lines", "cubes", "blue"};
  auto steps = [] { return std::array{tunnelEyeZ, titleZoomPhase + titleInsetY, lineAngleZ, cubeAngle, blueAngleZ}; };
  const int counts[][2] = {{4, 0}, {5, 1}, {6, 1}, {7, 2}, {39, 2}, {40, 3}, {61, 3}, {62, 4}, {63, 4}, {64, 2}};
  for (const auto& [count, scene] : counts) {
    const std::array<float, 5> before = steps();
    drawFrames(count, 1);
    std::string moved;
    for (int i = 0; i < 5; ++i) moved += steps()[i] != before[i] ? scenes[i] : "";
    EXPECT_EQ(moved, scenes[scene]) << "at count " << count;
  }
}

// Every scene's animation state, in the header's order.
static std::array<float, 19> animationState() {
  return {tunnelEyeZ, tunnelLookTarget, tunnelSwayPhase, tunnelSwayAmplitude, float(tunnelSwaysDone), tunnelInnerAngle,
          tunnelOuterAngle, tunnelFadeLevel, titleTexZoom, titleZoomPhase, titleInsetY, titleInsetX,
          lineAngleX, lineAngleY, lineAngleZ, cubeAngle, blueAngleX, blueAngleY, blueAngleZ};
}

// A run from the start drawn, then the same counts stepped after a reset: the same state after every row.
TEST_F(SceneTest, SteppingWithoutDrawingKeepsTheDrawnStateAndResetGoesBackToTheStart) {
  // A sway cut by the next count and two more, the fade run out, the title's collapse to 500, both line runs.
  const int schedule[][2] = {{1, 100}, {2, 150}, {3, 300}, {4, 500}, {5, 20}, {6, 100}, {7, 30},
                             {39, 20}, {40, 30}, {61, 30}, {62, 20}, {63, 10}, {64, 30}};
  std::vector<std::array<float, 19>> drawn, stepped;
  for (const auto& [count, frames] : schedule) drawSmall(count, frames), drawn.push_back(animationState());
  EXPECT_EQ(tunnelSwaysDone, 4);
  EXPECT_EQ(tunnelFadeLevel, 0.0f);
  EXPECT_EQ(titleInsetX, 500.0f);
  EXPECT_EQ(cubeAngle, 30.0f);   // 0.5 x 60
  EXPECT_EQ(blueAngleX, 90.0f);  // 3 x 30
  resetScenes();
  EXPECT_EQ(animationState(), (std::array<float, 19>{680, 0, 0, 18, 1, 90, 45, 1}));  // the rest all 0
  glEnable(GL_TEXTURE_2D);  // the title's collapse turns it off when drawn
  const Picture before = grabFrame();
  for (const auto& [count, frames] : schedule) {
    sceneDriverSetCount(count);
    for (int i = 0; i < frames; ++i) stepScenes();
    stepped.push_back(animationState());
  }
  EXPECT_TRUE(grabFrame() == before) << "nothing drawn";
  expectGlState({on(GL_TEXTURE_2D)});
  for (size_t row = 0; row < drawn.size(); ++row) EXPECT_EQ(stepped[row], drawn[row]) << "count " << schedule[row][0];
}

TEST_F(SceneTest, EveryFrameDrawnAt85PostsAQuitWithCode0) {
  auto quitsAfter = [](int count, int frames) {  // drawn through the dispatch: the scene driver drops the quits
    std::vector<int> codes;
    int code = -1, width = 0, height = 0;
    setSyncPoint(count, "");
    for (int i = 0; i < frames; ++i) drawScenes();
    for (ShellMessage m; (m = shellTakeMessage(&code, &width, &height)) != ShellMessage::none;)
      if (m == ShellMessage::quit) codes.push_back(code);
    return codes;
  };
  EXPECT_EQ(quitsAfter(84, 1), std::vector<int>{});
  EXPECT_EQ(quitsAfter(85, 1), std::vector<int>{0});
  EXPECT_EQ(quitsAfter(85, 3), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(quitsAfter(86, 2), std::vector<int>{});
  drawFrames(85, 3);
  EXPECT_EQ(quitsAfter(85, 0), std::vector<int>{}) << "the driver leaves none: thousands once overflowed the queue";
}

// Everything a scene or quad could set or leave alone, put where none of them puts it.
static void dirtyState() {
  glViewport(0, 0, 512, 512), glBlendFunc(GL_ONE, GL_ZERO), glBindTexture(GL_TEXTURE_2D, textures[1]);
  for (GLenum what : {GL_BLEND, GL_DEPTH_TEST, GL_LIGHTING, GL_TEXTURE_2D}) glDisable(what);
  for (GLenum what : {GL_FOG, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T}) glEnable(what);
  glClearColor(0.5f, 0.5f, 0.5f, 1), glColor4f(0.1f, 0.2f, 0.3f, 0.4f), glTexCoord2f(0.25f, 0.75f);
  glLoadIdentity(), glTranslatef(0, 0, 3);
}

// What each scene's frame and each quad leaves for whatever is drawn next, from the state above.
TEST_F(SceneTest, EachSceneAndQuadLeavesItsState) {
  const std::vector<double> full = {0, 0, 1024, 768}, white = {1, 1, 1, 1}, dirty = cameraAt(-3);
  const std::vector<double> turned = {0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, -10, 1};  // x, y by 90: x to y, y to z
  const GlValue alphaBlend[] = {is(GL_BLEND_SRC, {GL_SRC_ALPHA}), is(GL_BLEND_DST, {GL_ONE_MINUS_SRC_ALPHA})};
  auto bound = [](int slot) { return is(GL_TEXTURE_BINDING_2D, {double(textures[slot])}); };
  const struct {
    const char* what;
    std::function<void()> draw;
    std::vector<GlValue> want;
  } rows[] = {
      {"tunnel, first frame", [] { drawFrames(1, 1); },  // light 0 given under the camera at 680
       {on(GL_BLEND), alphaBlend[0], alphaBlend[1], on(GL_DEPTH_TEST), off(GL_TEXTURE_GEN_S), off(GL_TEXTURE_GEN_T),
        is(GL_CURRENT_COLOR, {0, 0, 0, 1}), bound(2), is(GL_MODELVIEW_MATRIX, cameraAt(680)),
        lightIs(GL_LIGHT0, GL_POSITION, {1, 2, -680, 1})}},
      {"tunnel, fade at 0 drawn all the same", [] { tunnelFadeLevel = 0, drawFrames(1, 1); },
       {is(GL_CURRENT_COLOR, {0, 0, 0, 0})}},
      {"tunnel with credit 2", [] { drawFrames(3, 1); },
       {on(GL_BLEND), alphaBlend[0], alphaBlend[1], is(GL_CURRENT_COLOR, {1, 1, 1, 0.7}), bound(14),
        is(GL_MODELVIEW_MATRIX, identityMatrix)}},
      {"title", [] { drawFrames(5, 1); },
       {is(GL_VIEWPORT, full), on(GL_LIGHTING), is(GL_CURRENT_COLOR, {1, 1, 0, 1}), bound(3),
        is(GL_MODELVIEW_MATRIX, identityMatrix)}},
      {"title, 38 frames of collapse", [] { glEnable(GL_TEXTURE_2D), drawFrames(6, 38); }, {on(GL_TEXTURE_2D)}},
      {"title, the 39th", [] { glEnable(GL_TEXTURE_2D), drawFrames(6, 1); }, {off(GL_TEXTURE_2D)}},
      {"lines", [] { lineAngleX = lineAngleY = 90, lineAngleZ = 0, drawFrames(7, 1); },
       {is(GL_VIEWPORT, full), is(GL_COLOR_CLEAR_VALUE, white), on(GL_DEPTH_TEST), off(GL_LIGHTING), on(GL_TEXTURE_2D),
        off(GL_BLEND), alphaBlend[0], alphaBlend[1], bound(0), is(GL_CURRENT_COLOR, {0, 0, 0, 1}),
        is(GL_CURRENT_TEXTURE_COORDS, {1, 1}), is(GL_MODELVIEW_MATRIX, turned)}},
      {"cubes at 40", [] { drawFrames(40, 1); },  // c = 1 - 40 / 200; light 0 given under the camera at 20
       {is(GL_VIEWPORT, full), is(GL_COLOR_CLEAR_VALUE, white), off(GL_FOG), on(GL_LIGHTING), on(GL_BLEND), alphaBlend[0],
        alphaBlend[1], on(GL_DEPTH_TEST), on(GL_TEXTURE_2D), bound(4), is(GL_CURRENT_COLOR, {0.8, 0.8, 1, 0.4}),
        is(GL_MODELVIEW_MATRIX, cameraAt(20)), lightIs(GL_LIGHT0, GL_POSITION, {1, 2, -20, 1})}},
      {"cubes at 59", [] { drawFrames(59, 1); }, {is(GL_CURRENT_COLOR, {0.705, 0.705, 1, 0.4})}},  // 1 - 59 / 200
      {"cubes at 60", [] { drawFrames(60, 1); }, {is(GL_CURRENT_COLOR, {1, 1, 1, 0.4})}},
      {"blue, first frame", [] { drawFrames(62, 1); },  // every angle still 0
       {is(GL_VIEWPORT, full), is(GL_COLOR_CLEAR_VALUE, {0, 0.8, 1, 1}), is(GL_MODELVIEW_MATRIX, cameraAt(10)), bound(5),
        off(GL_BLEND), on(GL_DEPTH_TEST), off(GL_LIGHTING), on(GL_TEXTURE_2D), is(GL_CURRENT_COLOR, {1, 1, 0, 1})}},
      {"feedback layer", [] { drawFeedbackLayer(7); },
       {is(GL_MODELVIEW_MATRIX, dirty), on(GL_DEPTH_TEST), off(GL_BLEND), alphaBlend[0], alphaBlend[1], bound(7),
        is(GL_CURRENT_COLOR, {1, 1, 1, 0.99}), is(GL_CURRENT_TEXTURE_COORDS, {1, 1}), off(GL_TEXTURE_2D),
        off(GL_LIGHTING), on(GL_FOG), is(GL_VIEWPORT, {0, 0, 512, 512})}},
      {"fade", [] { glEnable(GL_TEXTURE_2D), drawFade(0.5f); },
       {is(GL_MODELVIEW_MATRIX, dirty), on(GL_DEPTH_TEST), on(GL_BLEND), alphaBlend[0], alphaBlend[1], bound(1),
        is(GL_CURRENT_COLOR, {0, 0, 0, 0.5}), is(GL_CURRENT_TEXTURE_COORDS, {0.25, 0.75}), on(GL_TEXTURE_2D)}},
      {"image", [] { drawImageOverlay(7, 0.5f); },
       {is(GL_MODELVIEW_MATRIX, identityMatrix), off(GL_DEPTH_TEST), off(GL_BLEND), is(GL_BLEND_SRC, {GL_ONE}),
        is(GL_BLEND_DST, {GL_ZERO}), bound(7), is(GL_CURRENT_COLOR, {1, 1, 1, 0.5}),
        is(GL_CURRENT_TEXTURE_COORDS, {0, 0}), off(GL_TEXTURE_2D), on(GL_FOG)}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    dirtyState();
    row.draw();
    expectGlState(row.want);
    expectGlState({is(GL_MATRIX_MODE, {GL_MODELVIEW}), is(GL_MODELVIEW_STACK_DEPTH, {1}),
                   is(GL_PROJECTION_STACK_DEPTH, {1}), is(GL_PROJECTION_MATRIX, basePerspective)});
  }
}
