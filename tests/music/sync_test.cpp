// Guards the count and caption handoff against a lost or doubled count, a caption cut at the wrong byte, a
// remnant of a longer name, and a reader on the main thread seeing a name not yet passed.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "music/sync.h"

namespace {

TEST(Sync, CountsAndCaptions) {
  // One process, one timeline: the start values first.
  ASSERT_EQ(syncCount.load(), 1);
  EXPECT_STREQ(syncName(), "");

  onSyncPoint("Twenty-six bytes of caption");  // 27 bytes: the first 25 are kept
  EXPECT_EQ(syncCount.load(), 2);
  EXPECT_STREQ(syncName(), "Twenty-six bytes of capti");
  onSyncPoint("short");  // no remnant of the longer name
  EXPECT_EQ(syncCount.load(), 3);
  EXPECT_STREQ(syncName(), "short");
  onSyncPoint("");
  EXPECT_STREQ(syncName(), "");
  onSyncPoint("Yorv er t\xF8""ff!");  // single-byte text passes unchanged
  EXPECT_STREQ(syncName(), "Yorv er t\xF8""ff!");
  EXPECT_EQ(syncCount.load(), 5);

  // Ten thousand close together: none merged or lost.
  for (int i = 0; i < 10000; ++i) onSyncPoint("x");
  EXPECT_EQ(syncCount.load(), 10005);
}

// The reader sees only names of sync points already counted, never a torn or future one.
TEST(Sync, ReaderOnAnotherThreadSeesOnlyPassedNames) {
  const int32_t first = syncCount.load();
  constexpr int total = 200000;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    char name[32];
    for (int i = 1; i <= total; ++i) {
      std::snprintf(name, sizeof name, "%d", first + i);  // each name is the count it makes
      onSyncPoint(name);
    }
    done = true;
  });
  int checks = 0, bad = 0;
  while (!done || checks == 0) {
    const int32_t before = syncCount.load();
    const std::string name = syncName();
    const int32_t after = syncCount.load();
    const long shown = std::strtol(name.c_str(), nullptr, 10);
    if (before > first && (shown < before || shown > after)) ++bad;
    ++checks;
  }
  writer.join();
  EXPECT_EQ(bad, 0) << "of " << checks << " reads";
  EXPECT_EQ(syncCount.load(), first + total);
  EXPECT_EQ(std::string(syncName()), std::to_string(first + total));
}

}  // namespace
