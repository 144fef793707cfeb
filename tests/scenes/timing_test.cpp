// The frame limiter and the rate gate on a clock the test moves by hand.
#include <gtest/gtest.h>

#include <cstdint>

#include "scenes/timing.h"
#include "fake_shell.h"

namespace {

class Gates : public ::testing::Test {
 protected:
  void SetUp() override {
    resetFake();
    resetGates();
  }
};

TEST_F(Gates, FirstPassIsGrantedWhateverTheClockSays) {
  for (uint64_t start : {uint64_t{0}, uint64_t{5}, uint64_t{0xFFFFFFFFull}}) {
    resetGates();
    fake.clock = start;
    EXPECT_TRUE(frameDue(0.01f)) << start;
    EXPECT_TRUE(rateGate(100)) << start;
  }
}

TEST_F(Gates, GrantOnlyWhenMoreThanTheIntervalHasPassed) {
  fake.clock = 1000;
  ASSERT_TRUE(frameDue(0.01f));
  fake.clock = 1009;
  EXPECT_FALSE(frameDue(0.01f));
  // Ten ticks of 0.001f seconds are a hair more than 0.01f: the loop's cadence is 10 ms.
  fake.clock = 1010;
  EXPECT_TRUE(frameDue(0.01f));
  // 0.001f is exact in single precision, so one tick is exactly that interval: not granted.
  fake.clock = 2000;
  ASSERT_TRUE(frameDue(0.001f));
  fake.clock = 2001;
  EXPECT_FALSE(frameDue(0.001f));
  fake.clock = 2002;
  EXPECT_TRUE(frameDue(0.001f));
}

TEST_F(Gates, AtMostOneGrantPerTick) {
  fake.clock = 50'000;
  int frames = 0, passes = 0;
  for (int i = 0; i < 1000; ++i) {
    frames += frameDue(0.0f);
    passes += rateGate(1000);
  }
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(passes, 1);
}

TEST_F(Gates, RateGateIsIndependentOfTheFrameLimiter) {
  fake.clock = 100;
  ASSERT_TRUE(frameDue(0.01f));
  ASSERT_TRUE(rateGate(10));
  fake.clock = 150;
  EXPECT_TRUE(frameDue(0.01f));
  EXPECT_FALSE(rateGate(10));  // 50 ms is not more than 1/10 s
  fake.clock = 201;
  EXPECT_TRUE(rateGate(10));
}

// Counts grants over a stretch of the clock advancing one tick per step.
int grantsOver(uint64_t from, uint64_t ticks, int n) {
  int grants = 0;
  for (uint64_t t = 0; t < ticks; ++t) {
    fake.clock = from + t;
    grants += rateGate(n);
  }
  return grants;
}

TEST_F(Gates, KeepWorkingAcrossTheThirtyTwoBitWrapAndDaysOfUpTime) {
  const uint64_t wrap = uint64_t{1} << 32;
  const uint64_t fortyDays = 40ull * 24 * 3600 * 1000;
  const uint64_t twoYears = 2ull * 365 * 24 * 3600 * 1000;
  for (uint64_t start : {wrap - 500, fortyDays, twoYears}) {
    resetGates();
    // 1000 ticks at a 10 ms gate: a grant every 10 ticks, exactly as at start-up.
    EXPECT_EQ(grantsOver(start, 1000, 100), 100) << start;
    EXPECT_EQ(grantsOver(start + 1000, 1000, 100), 100) << start;
  }
}

TEST_F(Gates, NonPositiveRateIsNeverGranted) {
  fake.clock = 10;
  EXPECT_FALSE(rateGate(0));
  EXPECT_FALSE(rateGate(-5));
}

}  // namespace
