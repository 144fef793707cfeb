// The preview's places in the script, against positions worked out by hand: markers at 1 s, 2 s, 2 s and 5 s
// (frames 44100, 88200, 88200, 220500 at 44.1 kHz), named a, b, c, d.
#include <gtest/gtest.h>

#include "preview_script.h"
#include "preview_view.h"

namespace {

const std::vector<Marker> script = {{44100, "a"}, {88200, "b"}, {88200, "c"}, {220500, "d"}};

TEST(PreviewScript, APlaceCountsTheMarkersOnItsOwnFrameAsHeard) {
  // Count 2 is raised by marker 1 (a, at 1 s): the place is 1 s, count 2, caption a, one call already counted.
  ScriptPlace place = placeOfCount(script, 2);
  EXPECT_EQ(place.frame, 44100u);
  EXPECT_EQ(place.count, 2);
  EXPECT_EQ(place.caption, "a");
  EXPECT_EQ(place.onFrame, 1);
  // b and c share 2 s: count 3 and count 4 are the same place, with both of them heard.
  for (int32_t count : {3, 4}) {
    place = placeOfCount(script, count);
    EXPECT_EQ(place.frame, 88200u);
    EXPECT_EQ(place.count, 4);
    EXPECT_EQ(place.caption, "c");
    EXPECT_EQ(place.onFrame, 2);
  }
  place = placeOfCount(script, 1);
  EXPECT_EQ(place.frame, 0u);
  EXPECT_EQ(place.count, 1);
  EXPECT_EQ(place.caption, "");
  EXPECT_EQ(place.onFrame, 0);
  place = placeOfCount(script, 99);  // past the markers: the last one's place
  EXPECT_EQ(place.frame, 220500u);
  EXPECT_EQ(place.count, 5);
  EXPECT_EQ(place.caption, "d");
  EXPECT_EQ(placeOfCount({}, 5).frame, 0u);

  // Between markers, and one frame before one.
  place = placeAtFrame(script, 132300);  // 3 s
  EXPECT_EQ(place.count, 4);
  EXPECT_EQ(place.caption, "c");
  EXPECT_EQ(place.onFrame, 0);
  EXPECT_EQ(placeAtFrame(script, 44099).count, 1);
  // The next marker after count 2 (a called) is b, index 1; after count 5 none is left.
  EXPECT_EQ(nextMarker(script, 2), 1u);
  EXPECT_EQ(nextMarker(script, 5), 4u);
}

TEST(PreviewScript, StartAtTakesACountOrATimeAndRefusesTheRest) {
  struct Case {
    const char* text;
    bool ok, byCount;
    int32_t count;
    uint64_t ms;
  };
  const Case cases[] = {
      {"66", true, true, 66, 0},         {"1:23.456", true, false, 0, 83456}, {"0:05.5", true, false, 0, 5500},
      {"83.04", true, false, 0, 83040},  {"2:00", true, false, 0, 120000},    {"0", false, false, 0, 0},
      {"1:5.000", false, false, 0, 0},   {"1:60.000", false, false, 0, 0},    {"1:23.4567", false, false, 0, 0},
      {"abc", false, false, 0, 0},       {"", false, false, 0, 0},            {"1:23.", false, false, 0, 0},
      {"-3", false, false, 0, 0},
  };
  for (const Case& c : cases) {
    StartAt at;
    std::string error;
    ASSERT_EQ(parseStartAt(c.text, &at, &error), c.ok) << c.text;
    if (!c.ok) {
      EXPECT_NE(error.find(c.text), std::string::npos) << error;
      continue;
    }
    EXPECT_EQ(at.byCount, c.byCount) << c.text;
    EXPECT_EQ(c.byCount ? static_cast<uint64_t>(at.count) : at.milliseconds, c.byCount ? c.count : c.ms) << c.text;
  }
  EXPECT_EQ(clockText(83456), "1:23.456");
  EXPECT_EQ(clockText(600005), "10:00.005");
}

TEST(PreviewView, ThePictureFillsTheWindowAtFourToThreeBetweenBlackBars) {
  auto expectRect = [](int w, int h, ViewRect want) {
    const ViewRect got = fitPicture(w, h);
    EXPECT_EQ(got.x, want.x) << w << "x" << h;
    EXPECT_EQ(got.y, want.y) << w << "x" << h;
    EXPECT_EQ(got.width, want.width) << w << "x" << h;
    EXPECT_EQ(got.height, want.height) << w << "x" << h;
  };
  expectRect(1024, 768, {0, 0, 1024, 768});
  expectRect(1600, 768, {288, 0, 1024, 768});  // 1024 of picture, 288 of bar each side
  expectRect(800, 900, {0, 150, 800, 600});    // 600 high, 150 of bar above and below
}

}  // namespace
