// Guards the sound layer as the program runs it (SDL's dummy and disk outputs, libmpg123) against a lost or
// repeated count, rate conversion that moves markers, files accepted that cannot be played, a gapless
// decode that shifts the music, a music file cut short passing for the script's end, a change of format
// in the middle of an MP3, an output position that steps at each pull or runs on through a stall, and a position
// that runs ahead of a seek or a pause on a running output.
#include <gtest/gtest.h>

#include <SDL.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lame_mono.h"
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
std::vector<Call> playToEnd(const fs::path& file, std::chrono::seconds limit, int bufferMs = 1000) {
  calls.clear();
  EXPECT_TRUE(soundInit(44100));
  soundSetBufferSize(bufferMs);
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

// Plays a file of up to 3 s to its end on SDL's disk output, which writes every frame it is handed (the silence
// before playback included), and returns the left channel. The disk takes frames faster than real time, so the
// whole file is decoded before playback: the decoder could not keep up.
std::vector<int16_t> playToDisk(const fs::path& file, std::vector<Call>* called = nullptr) {
  const fs::path raw = file.parent_path() / "out.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "0", 1);
  const std::vector<Call> got = playToEnd(file, std::chrono::seconds(20), 4000);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (called) *called = got;
  std::ifstream in(raw, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> left(bytes.size() / 4);
  for (size_t i = 0; i < left.size(); ++i) std::memcpy(&left[i], &bytes[i * 4], 2);
  return left;
}

// The loudest sample of [from, to).
size_t loudest(const std::vector<int16_t>& samples, size_t from, size_t to) {
  size_t at = from;
  for (size_t i = from; i < std::min(to, samples.size()); ++i)
    if (std::abs(samples[i]) > std::abs(samples[at])) at = i;
  return at;
}

std::string bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// `frames` samples of a quiet tone loud from its first sample, with a click at `click`.
std::vector<float> clicked(size_t frames, size_t click) {
  std::vector<float> v(frames);
  for (size_t i = 0; i < frames; ++i) v[i] = 0.2f * std::cos(static_cast<float>(i) * 0.07f);
  v[click] = 0.95f;
  return v;
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
  // At 1 Hz one block of 4096 frames would become 180 million output frames (0.7 GB) before playing.
  writeFile(dir / "1hz.wav", music_files::toneWave(1, 2, 8192, {}));
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  ::testing::internal::CaptureStderr();
  for (const char* name : {"missing.mp3", "empty.mp3", "noise.mp3", "tag-only.mp3", "truncated.wav", "1hz.wav"}) {
    EXPECT_EQ(soundOpenFile((dir / name).c_str()), nullptr) << name;
  }
  const std::string said = ::testing::internal::GetCapturedStderr();
  getrusage(RUSAGE_SELF, &after);
  soundClose();
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 50 * 1024) << "kB more at the peak";
  EXPECT_NE(said.find("1hz.wav\": the WAVE sample rate is 1 Hz; 8000 to 192000 Hz can be played\n"), std::string::npos) << said;
}

// The music's end is the script's end only when the whole file was heard. Whole: the markers on its last sample
// and just past it (in its padding) fire, one far past never does. Cut short: only what was heard fires, and
// one line says where the music stopped and what it never reached.
TEST(SoundPlayback, TheEndOfTheMusicFiresOnlyWhatTheWholeFileReaches) {
  // 44145 samples: the last, 44144, is at 1001 ms. 1024 ms is 1014 samples past the end, within one MPEG frame.
  const std::string audio = bytes(mp3::encode(clicked(44145, 100), clicked(44145, 100)));
  const std::string tag =
      bytes(mp3::id3Tag({}, {{500, 501, "m500"}, {1001, 1002, "m1001"}, {1024, 1025, "m1024"}, {1500, 1501, "m1500"}}));
  const fs::path dir = scratch();
  writeFile(dir / "whole.mp3", tag + audio);
  ::testing::internal::CaptureStderr();
  std::vector<Call> got = playToEnd(dir / "whole.mp3", std::chrono::seconds(10));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[1].name, "m1001");
  EXPECT_EQ(got[2].name, "m1024");
  EXPECT_EQ(got[3].name, "(end)");
  EXPECT_EQ(got[3].position, 44145u);

  // Cut in the middle of a frame about 0.6 s in (192 kbit/s: 24000 bytes a second).
  writeFile(dir / "cut.mp3", tag + audio.substr(0, 14500));
  ::testing::internal::CaptureStderr();
  got = playToEnd(dir / "cut.mp3", std::chrono::seconds(10));
  const std::string said = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(got.size(), 2u) << "markers past where the music stopped were called";
  EXPECT_EQ(got[0].name + got[1].name, "m500(end)");
  const unsigned long long ms = got[1].position * 1000 / 44100;
  ASSERT_GT(ms, 500u);
  ASSERT_LT(ms, 1000u);
  EXPECT_EQ(said, "vostrel: \"" + (dir / "cut.mp3").string() + "\": the music stopped at 0:00." + std::to_string(ms) +
                      ", where the file is cut off; 3 sync points never reached\n");
}

// `cat mono22k.mp3 stereo44k.mp3`: the second part plays at its own rate and channels, so the music lasts
// as long as its parts and the second part's click sounds at the time of the marker put on it.
TEST(SoundPlayback, AJoinedMp3ChangingRateAndChannelsKeepsItsLengthAndMarkerTimes) {
  // Clicks at 0.5 s into each 1 s part: output frames 22050 and, after the first part's 44100, 66150.
  const std::string first = lameMono(22050, 64, clicked(22050, 11025));
  const std::string second = bytes(mp3::encode(clicked(44100, 22050), clicked(44100, 22050)));
  const fs::path dir = scratch();
  writeFile(dir / "joined.mp3", bytes(mp3::id3Tag({}, {{500, 501, "a"}, {1500, 1501, "b"}})) + first + second);
  std::vector<Call> got;
  const std::vector<int16_t> left = playToDisk(dir / "joined.mp3", &got);
  size_t start = 0;
  while (start < left.size() && left[start] == 0) ++start;  // the music's first sample
  ASSERT_LT(start + 92000, left.size());
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(loudest(left, start + 1000, start + 40000) - start, 22050u);
  // The second part is not trimmed (libmpg123 trims by the first Info frame only): its own Info frame and the
  // encoder's and decoder's delays, 1152 + 576 + 529 = 2257 frames, come before its music.
  EXPECT_EQ(loudest(left, start + 45000, start + 92000) - start, 66150u + 2257);
  EXPECT_EQ(got[1].name, "b");
  EXPECT_GE(got[2].position, 88200u);
  EXPECT_LE(got[2].position, 88200u + 2257 + 1152) << "the music's length";
}

// Seeking and pausing with the output's own thread and the core's threads all running (SDL's dummy output): the
// heard position is never before a seek's target, moves on by no more than the time taken, and holds while paused.
TEST(SoundPlayback, SeeksAndPausesOnARunningOutputKeepTheHeardPositionTrue) {
  calls.clear();
  ASSERT_TRUE(soundInit(44100));
  SoundStream* stream = soundOpenFile((fs::path(VOSTREL_BUILD) / "testdata" / "demo.mp3").c_str());
  ASSERT_NE(stream, nullptr);
  soundSetSyncCallback(stream, record, nullptr);
  soundPlay(stream);
  const unsigned long long length = soundLength(stream);
  for (const unsigned long long target : {length / 2, length / 5, 0ull, length - 100}) {
    const auto start = std::chrono::steady_clock::now();
    soundSeek(stream, target);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const unsigned long long heard = soundPosition(stream);
    const double taken = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(heard, target);
    EXPECT_LE(heard, target + static_cast<unsigned long long>(taken * 44100 * 1.1)) << "ahead of the time taken";
  }
  soundSeek(stream, length / 3);
  soundPause(stream, true);
  const unsigned long long held = soundPosition(stream);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(soundPosition(stream), held);
  soundPause(stream, false);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_GE(soundPosition(stream), held);
  soundCloseStream(stream);
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
    const std::vector<int16_t> samples = playToDisk(dir / "click.mp3");
    size_t start = 0;
    while (start < samples.size() && samples[start] == 0) ++start;  // the music's first sample
    ASSERT_LT(start + frames, samples.size());
    EXPECT_EQ(loudest(samples, start + 5000, start + frames) - start, click);
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
