// Guards the frame limiter and the rate gate against granting at exactly the interval, twice in a tick, to each other's clock, at a non-positive rate, or wrongly across a 32-bit wrap or a clock that steps back.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>

#include "fake_shell.h"
#include "platform/wrap_counts.h"
#include "scenes/timing.h"

class Gates : public ::testing::Test {
 protected:
  void SetUp() override { resetFake(), resetGates(); }
  static bool frameAt(uint64_t ms, float interval = 0.01f) { return fake.clock = ms, frameDue(interval); }
  static bool passAt(uint64_t ms, int rate = 100) { return fake.clock = ms, rateGate(rate); }
};

TEST_F(Gates, TheFirstCallIsGrantedWhateverTheClockSays) {
  for (uint64_t start : {uint64_t{0}, uint64_t{5}, uint64_t{0xFFFFFFFF}})
    EXPECT_TRUE((resetGates(), frameAt(start)) && passAt(start)) << start;
}

// More than the interval: ten ticks of 0.001f seconds are a hair more than 0.01f, one tick exactly 0.001f.
TEST_F(Gates, OnlyMoreThanTheIntervalGrantsAgain) {
  ASSERT_TRUE(frameAt(1000));
  EXPECT_FALSE(frameAt(1009));
  EXPECT_TRUE(frameAt(1010));
  EXPECT_FALSE(frameAt(1011, 0.001f));
  EXPECT_TRUE(frameAt(1012, 0.001f));
  resetGates();
  ASSERT_TRUE(frameAt(100) && passAt(100, 10));
  EXPECT_TRUE(frameAt(150)) << "each gate keeps its own time";
  EXPECT_FALSE(passAt(150, 10));  // 50 ms is not more than 1/10 s
  EXPECT_TRUE(passAt(201, 10));
  EXPECT_FALSE((resetGates(), passAt(300, 0))) << "not even as the first call";
  EXPECT_FALSE((resetGates(), passAt(400, -5)));
}

TEST_F(Gates, AtMostOneGrantPerTickAndNoneWhileTheClockIsBehind) {
  int frames = 0, passes = 0;
  for (int i = 0; i < 1000; ++i) frames += frameAt(50'000, 0.0f), passes += passAt(50'000, 1000);
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(passes, 1);
  EXPECT_FALSE(passAt(40'000, 1000)) << "a clock stepped back grants nothing until it catches up";
  EXPECT_TRUE(passAt(50'002, 1000));
}

// 1000 ticks at a 10 ms gate give 100 grants, at start-up as after days or years of up-time, and on a 32-bit
// millisecond count (Windows' timeGetTime) carried into 64 bits as it wraps.
TEST_F(Gates, GrantsKeepTheirPaceAcrossTheThirtyTwoBitWrapAndYearsOfUpTime) {
  const uint64_t day = 24 * 3600 * 1000, starts[] = {0, 40 * day, 2 * 365 * day};
  for (uint64_t start : starts) {
    resetGates();
    int grants = 0;
    for (uint64_t t = 0; t < 2000; ++t) grants += passAt(start + t);
    EXPECT_EQ(grants, 200) << start;
  }
  resetGates();
  std::atomic<uint64_t> last{0};
  int grants = 0;
  for (uint32_t t = 0; t < 2000; ++t) grants += passAt(extendMilliseconds(&last, 0xFFFFFFFFu - 499 + t));
  EXPECT_EQ(grants, 200) << "through the wrap of the 32-bit count";
}
