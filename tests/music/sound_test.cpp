// Guards the sound layer as the program runs it (SDL's dummy and disk outputs, libmpg123) against a lost or
// repeated count, rate conversion that moves markers, files accepted that cannot be played, a gapless
// decode that shifts the music, and an output position that steps at each pull or runs on through a stall.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mp3.h"
#include "music_files.h"
#include "music/markers.h"
#include "music/music.h"
#include "music/sound.h"
#include "music/sync.h"
#include "platform/pull_clock.h"

namespace {

namespace fs = std::filesystem;

struct Call {
  std::string name;  // "(end)" for the end
  unsigned long long position;
};

std::mutex callsLock;
std::vector<Call> calls;

void record(SoundStream* stream, const char* name, void*) {
  const unsigned long long position = soundPosition(stream);
  std::lock_guard<std::mutex> lock(callsLock);
  calls.push_back({name ? name : "(end)", position});
}

fs::path scratch() {
  const fs::path dir = fs::path(VOSTREL_TEST_TMP) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
  fs::create_directories(dir);
  return dir;
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Plays a file to its end on the current output and returns what was called out.
std::vector<Call> playToEnd(const fs::path& file, std::chrono::seconds limit) {
  calls.clear();
  EXPECT_TRUE(soundInit(44100));
  soundSetBufferSize(1000);
  SoundStream* stream = soundOpenFile(file.c_str());
  EXPECT_NE(stream, nullptr);
  if (!stream) {
    soundClose();
    return {};
  }
  soundSetEndCallback(stream, record, nullptr);
  soundSetSyncCallback(stream, record, nullptr);
  soundPlay(stream);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(callsLock);
      if (!calls.empty() && calls.back().name == "(end)") break;
    }
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // nothing may follow the end
  soundCloseStream(stream);
  soundClose();
  std::lock_guard<std::mutex> lock(callsLock);
  return calls;
}

TEST(SoundPlayback, OtherRatesAndMonoArePlayedAtTheOutputRate) {
  // 22050 Hz mono: a marker at file sample 11025 is half a second in, output frame 22050.
  const fs::path file = scratch() / "mono.wav";
  writeFile(file, music_files::toneWave(22050, 1, 22050, {{11025, "half a second"}}));
  const std::vector<Call> got = playToEnd(file, std::chrono::seconds(10));
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].name, "half a second");
  EXPECT_GE(got[0].position, 22050u);
  EXPECT_EQ(got[1].name, "(end)");
}

TEST(SoundPlayback, FilesThatCannotBePlayedAreRefusedWithAReason) {
  ASSERT_TRUE(soundInit(44100));
  const fs::path dir = scratch();
  writeFile(dir / "empty.mp3", "");
  writeFile(dir / "noise.mp3", std::string(5000, '\x5A'));
  // Markers and no audio: a tag with chapters and nothing after it.
  const std::vector<uint8_t> tag = mp3::id3Tag({}, {{0, 1000, "alone"}});
  writeFile(dir / "tag-only.mp3", std::string(tag.begin(), tag.end()));
  std::string wave = music_files::toneWave(44100, 2, 100, {{10, "x"}});
  writeFile(dir / "truncated.wav", wave.substr(0, 30));
  for (const char* name : {"missing.mp3", "empty.mp3", "noise.mp3", "tag-only.mp3", "truncated.wav"}) {
    EXPECT_EQ(soundOpenFile((dir / name).c_str()), nullptr) << name;
  }
  soundClose();
}

// The program's own start: the count walks through the whole test track, one step per marker.
TEST(SoundPlayback, StartMusicWalksTheCountThroughTheTestTrack) {
  const fs::path track = fs::path(VOSTREL_BUILD) / "testdata";
  ASSERT_TRUE(fs::exists(track / "demo.mp3")) << "the test track is made by the build";
  fs::current_path(track);
  ASSERT_EQ(syncCount.load(), 1);
  std::vector<std::string> markers;  // the names the music holds, cut as captions are
  {
    std::ifstream in("demo.mp3", std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    MusicFileInfo info;
    std::string error;
    ASSERT_TRUE(readMusicFile(bytes.data(), bytes.size(), &info, &error)) << error;
    for (const Marker& m : info.markers) markers.push_back(m.name.substr(0, 25));
  }
  ASSERT_EQ(markers.size(), 84u);
  ASSERT_TRUE(startMusic());
  // Each caption read belongs to the count read just before it, or to the next if a marker came between.
  int32_t seen = 1;
  int wrong = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (seen < 85 && std::chrono::steady_clock::now() < deadline) {
    const int32_t count = syncCount.load();
    const std::string name = syncName();
    if (count != seen && count >= 2) {
      seen = count;
      const bool next = count <= 84 && name == markers[static_cast<size_t>(count - 1)];
      if (name != markers[static_cast<size_t>(count - 2)] && !next) ++wrong;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));  // the end event changes nothing
  stopMusic();
  EXPECT_EQ(syncCount.load(), 85);
  EXPECT_EQ(wrong, 0) << "captions that belong to no marker near the count";
}

// Gapless: a click at a known sample of a LAME-encoded file, stereo or mono, comes out at exactly that sample.
TEST(SoundPlayback, Mp3DecodesGaplessToTheEncodersSamplesInStereoAndMono) {
  constexpr size_t frames = 44100, click = 30011;
  std::vector<float> left(frames, 0.0f), right(frames, 0.0f);
  for (size_t i = 0; i < 2000; ++i) left[i] = right[i] = 0.5f * std::cos(i * 0.07f);  // audible from sample 0
  left[click] = right[click] = 0.9f;
  for (const bool mono : {false, true}) {
    SCOPED_TRACE(mono ? "mono" : "stereo");
    const std::vector<uint8_t> encoded = mp3::encode(left, mono ? std::vector<float>() : right);
    const fs::path dir = scratch();
    writeFile(dir / "click.mp3", std::string(encoded.begin(), encoded.end()));

    // The disk output writes every frame it is handed, silence before playback included.
    const fs::path raw = dir / "out.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    playToEnd(dir / "click.mp3", std::chrono::seconds(20));
    setenv("SDL_AUDIODRIVER", "dummy", 1);

    std::ifstream in(raw, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int16_t* samples = reinterpret_cast<const int16_t*>(bytes.data());
    const size_t count = bytes.size() / 4;
    size_t start = 0;
    while (start < count && samples[start * 2] == 0) ++start;  // the music's first sample
    ASSERT_LT(start + frames, count);
    size_t loudest = start + 5000;
    for (size_t i = start + 5000; i < start + frames; ++i)
      if (std::abs(samples[i * 2]) > std::abs(samples[loudest * 2])) loudest = i;
    EXPECT_EQ(loudest - start, click);
  }
}

}  // namespace

// SDL's dummy driver takes 4096 frames (92.88 ms at 44.1 kHz) every whole 92 ms. Once the clock has learned
// that, half way between two pulls half the buffer is unplayed: 2048 frames. Counted at the nominal rate it
// would be 4096 - 0.046 s x 44100 = 2067, and 39 frames would still be unplayed when the next pull comes.
TEST(SoundPlayback, TheOutputPositionLearnsTheDevicesRateAndRunsOnSmoothlyThroughPulls) {
  constexpr int64_t ms = 1'000'000;
  PullClock clock;
  int64_t now = 0;
  for (int i = 0; i < 300; ++i, now += 92 * ms) pullClockPull(&clock, 4096, now, 44100);
  now -= 92 * ms;  // the last pull
  const auto unplayed = [&](int64_t at) { return pullClockUnplayed(clock.frames, clock.startNs, clock.endNs, at); };
  EXPECT_NEAR(unplayed(now + 46 * ms), 2048, 3);
  EXPECT_LE(unplayed(now + 92 * ms - 1), 3u) << "the buffer has played out when the next pull comes";
  EXPECT_GE(unplayed(now), 4093u);

  // A stall: the next pull comes 300 ms late. Meanwhile nothing more is counted than the buffer held, and
  // the late pull starts the clock again at its own time, at the rate learned: 2048 unplayed 46 ms on.
  EXPECT_EQ(unplayed(now + 200 * ms), 0u);
  now += 392 * ms;
  pullClockPull(&clock, 4096, now, 44100);
  EXPECT_EQ(unplayed(now), 4096u);
  EXPECT_NEAR(unplayed(now + 46 * ms), 2048, 3);

  // A pull 10 ms early, 82 ms on: 445 frames of the buffer before are left (10 ms at 4096 frames in 92 ms).
  // They still count as unplayed beside the new buffer, give or take the loop's correction.
  now += 82 * ms;
  EXPECT_NEAR(unplayed(now), 445, 2);
  pullClockPull(&clock, 4096, now, 44100);
  EXPECT_NEAR(unplayed(now), 4096 + 445, 30);

  // A pull 10 ms late: the position has waited at the buffer's end and goes on from the pull, not 10 ms
  // ahead of it; about half the buffer is unplayed 46 ms on (the learned length grows a little).
  EXPECT_EQ(unplayed(now + 100 * ms), 0u);
  now = static_cast<int64_t>(clock.endNs) + 10 * ms;
  pullClockPull(&clock, 4096, now, 44100);
  EXPECT_EQ(unplayed(now), 4096u);
  EXPECT_NEAR(unplayed(now + 46 * ms), 2048, 25);

  // A first pull knows only the nominal rate: 44.1 frames a millisecond, so 10 ms on 4096 - 441 = 3655.
  PullClock fresh;
  pullClockPull(&fresh, 4096, 5 * ms, 44100);
  EXPECT_NEAR(pullClockUnplayed(fresh.frames, fresh.startNs, fresh.endNs, 15 * ms), 3655, 1);
}
