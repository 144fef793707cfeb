// Guards the sound core against sync points called out before they are heard (a device buffer early, or
// blind to silence the output played), against lost or repeated music after a stall, against the decoder's
// lead and padding leaking into the music, and against a script whose last sync points sit at the end (they
// fire) or far past it (they never do), and against music that fails to decode passing for its whole; and
// seeking and pausing against a position or a sync point off by a frame or a marker, a pause that plays on,
// and music after a seek that is not, sample for sample, what a play from the start has there.
// A fake output and a fake decoder (or libmpg123) drive it; "heard" is the fake output's own count of frames played.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lame_mono.h"
#include "mp3.h"
#include "music_files.h"
#include "music/resample.h"
#include "music/sound.h"
#include "platform/audio_out.h"
#include "platform/mp3_decoder.h"

namespace {

// Music frame i holds (i % 30000) + 1 on the left and its negative on the right: never silence.
int16_t musicValue(uint64_t i) { return static_cast<int16_t>(i % 30000 + 1); }
constexpr int16_t leadValue = 0x7FFF, paddingValue = 0x7FFE;

struct FakeOutput {
  AudioPull pull = nullptr;
  void* user = nullptr;
  std::atomic<uint64_t> taken{0}, played{0};
  std::vector<int16_t> left;  // every left sample pulled, in order
} output;

struct FakeDecoder {
  uint32_t lead = 0, padding = 0;
  uint64_t music = 0;  // music frames between lead and padding
  std::mutex lock;
  std::condition_variable more;
  uint64_t allowed = 0;  // raw frames the decoder may produce by now: a slow decoder waits
  uint64_t produced = 0;
  uint64_t failAt = UINT64_MAX;  // raw frames after which the data cannot be decoded
  bool real = false;             // libmpg123 decodes instead
} decoder;

}  // namespace

Mp3Decoder* realMp3Open();
bool realMp3Feed(Mp3Decoder*, const uint8_t*, size_t);
Mp3Result realMp3Read(Mp3Decoder*, int16_t*, uint32_t, uint32_t*);
bool realMp3Format(Mp3Decoder*, int*, int*);
void realMp3Trim(Mp3Decoder*, uint32_t*, uint32_t*);
void realMp3Close(Mp3Decoder*);

// The fake output: the test pulls and plays by hand.
bool audioOutOpen(int, int* actualRate) {
  *actualRate = 44100;
  return true;
}
void audioOutStart(AudioPull pull, void* user) {
  output.pull = pull;
  output.user = user;
}
uint32_t audioOutUnplayed() { return static_cast<uint32_t>(output.taken.load() - output.played.load()); }
// Stopping drops what the output had not played.
void audioOutStop() {
  output.pull = nullptr;
  output.played = output.taken.load();
}
void audioOutClose() {}

// The fake decoder: raw frame r is lead, music r - lead, or padding, produced only as far as allowed.
Mp3Decoder* mp3Open() { return decoder.real ? realMp3Open() : reinterpret_cast<Mp3Decoder*>(&decoder); }
bool mp3Feed(Mp3Decoder* d, const uint8_t* bytes, size_t size) {
  return decoder.real ? realMp3Feed(d, bytes, size) : true;
}
Mp3Result mp3Read(Mp3Decoder* d, int16_t* out, uint32_t maxFrames, uint32_t* frames) {
  if (decoder.real) return realMp3Read(d, out, maxFrames, frames);
  std::unique_lock<std::mutex> hold(decoder.lock);
  if (decoder.produced >= decoder.failAt) return Mp3Result::failed;
  const uint64_t total = std::min(decoder.lead + decoder.music + decoder.padding, decoder.failAt);
  decoder.more.wait(hold, [total] { return decoder.produced < decoder.allowed || decoder.produced == total; });
  *frames = 0;
  while (*frames < maxFrames && decoder.produced < decoder.allowed && decoder.produced < total) {
    const uint64_t r = decoder.produced++;
    const int16_t value = r < decoder.lead                   ? leadValue
                          : r < decoder.lead + decoder.music ? musicValue(r - decoder.lead)
                                                             : paddingValue;
    out[*frames * 2] = value;
    out[*frames * 2 + 1] = static_cast<int16_t>(-value);
    ++*frames;
  }
  return *frames > 0 ? Mp3Result::frames : Mp3Result::done;
}
bool mp3Format(Mp3Decoder* d, int* rate, int* channels) {
  if (decoder.real) return realMp3Format(d, rate, channels);
  *rate = 44100;
  *channels = 2;
  return true;
}
void mp3Trim(Mp3Decoder* d, uint32_t* lead, uint32_t* padding) {
  if (decoder.real) return realMp3Trim(d, lead, padding);
  *lead = decoder.lead;
  *padding = decoder.padding;
}
void mp3Close(Mp3Decoder* d) {
  if (decoder.real) realMp3Close(d);
}

namespace {

struct Call {
  std::string name;
  uint64_t played;  // the fake output's count of frames played when the call came
};
std::mutex callsLock;
std::vector<Call> calls;

void record(SoundStream*, const char* name, void*) {
  std::lock_guard<std::mutex> hold(callsLock);
  calls.push_back({name ? name : "(end)", output.played.load()});
}

size_t callCount() {
  std::lock_guard<std::mutex> hold(callsLock);
  return calls.size();
}

void allow(uint64_t frames) {
  {
    std::lock_guard<std::mutex> hold(decoder.lock);
    decoder.allowed = frames;
  }
  decoder.more.notify_all();
}

// Pulls `frames` output frames the way the output's thread would: unplayed before pulled.
void pull(uint32_t frames) {
  std::vector<int16_t> buffer(frames * 2);
  output.taken += frames;
  output.pull(buffer.data(), frames, output.user);
  for (uint32_t i = 0; i < frames; ++i) output.left.push_back(buffer[i * 2]);
}

// Pulls until `music` music frames have come out, however much silence a slow decoder makes the output play.
void pullMusic(uint64_t music) {
  auto counted = [] {
    uint64_t n = 0;
    for (int16_t v : output.left) n += v != 0;
    return n;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (counted() < music && std::chrono::steady_clock::now() < deadline) {
    pull(512);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// The output frame at which music frame m was pulled.
uint64_t outputIndexOf(uint64_t m) {
  uint64_t seen = 0;
  for (size_t i = 0; i < output.left.size(); ++i)
    if (output.left[i] != 0 && seen++ == m) return i;
  return UINT64_MAX;
}

// Plays up to `played` frames. With `want`, waits until the calls reach it (or a while passes); without,
// gives the marker thread a few of its rounds to call out what it wrongly thinks is heard.
void playTo(uint64_t played, size_t want = 0) {
  output.played = played;
  if (want == 0) std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (callCount() < want && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::filesystem::path writeFile(const char* name, const std::string& bytes) {
  const std::filesystem::path path = std::filesystem::path(VOSTREL_TEST_TMP) / name;
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

// Opens a file on the fake output with the callbacks recorded, and plays it.
SoundStream* play(const std::filesystem::path& path, int bufferMs) {
  output.taken = 0, output.played = 0, output.left.clear();
  calls.clear();
  EXPECT_TRUE(soundInit(44100));
  soundSetBufferSize(bufferMs);
  SoundStream* stream = soundOpenFile(path.c_str());
  EXPECT_NE(stream, nullptr);
  if (!stream) return nullptr;
  soundSetSyncCallback(stream, record, nullptr);
  soundSetEndCallback(stream, record, nullptr);
  soundPlay(stream);
  return stream;
}

std::string names() {
  std::lock_guard<std::mutex> hold(callsLock);
  std::string all;
  for (const Call& c : calls) all += c.name + " ";
  return all;
}

class SoundCore : public ::testing::Test {
 protected:
  // An MP3 file whose chapters start at the given milliseconds; its audio goes to the fake decoder.
  SoundStream* open(const std::vector<uint32_t>& startsMs, uint32_t lead, uint32_t padding, uint64_t music,
                    uint64_t failAt = UINT64_MAX) {
    decoder.lead = lead, decoder.padding = padding, decoder.music = music, decoder.produced = 0;
    decoder.failAt = failAt;
    decoder.allowed = 20000;  // more than the stream buffer and one block: opening never waits
    decoder.real = false;
    std::vector<mp3::Chapter> chapters;
    for (size_t i = 0; i < startsMs.size(); ++i)
      chapters.push_back({startsMs[i], startsMs[i] + 1, "m" + std::to_string(startsMs[i])});
    std::vector<uint8_t> file = mp3::id3Tag({}, chapters);
    const std::vector<uint8_t> audio = mp3::encode(std::vector<float>(4410, 0.0f), std::vector<float>(4410, 0.0f));
    file.insert(file.end(), audio.begin(), audio.end());
    // The buffer small, so that the slow decoder starves the output.
    return play(writeFile("sound_core.mp3", std::string(file.begin(), file.end())), 100);
  }
  void close(SoundStream* stream) {
    allow(UINT64_MAX);
    soundCloseStream(stream);
    soundClose();
  }
};

TEST_F(SoundCore, SyncPointsFireWhenHeardAlsoAfterTheOutputStarvedAndTheMusicIsWhole) {
  // 1000 ms is music frame 44100, 500 ms frame 22050; the decoder first makes only 20000 frames.
  SoundStream* stream = open({0, 500, 1000}, 0, 0, 60000);
  ASSERT_NE(stream, nullptr);
  playTo(0, 1);
  ASSERT_EQ(callCount(), 1u) << "the marker at 0 ms is heard with the first frame";

  pull(30000);  // more than the stream buffer holds: the output starves and plays silence
  allow(UINT64_MAX);
  pullMusic(60000);
  const uint64_t at500 = outputIndexOf(22050), at1000 = outputIndexOf(44100);
  const uint64_t starved = static_cast<uint64_t>(std::count(output.left.begin(), output.left.begin() + 30000, 0));
  ASSERT_GT(starved, 10000u) << "the first pull outran the stream buffer";
  ASSERT_GE(at500, 22050u + starved) << "silence played before music frame 22050";

  playTo(22050);  // still in the silence the first pull ended with: heard music has not reached 22050
  EXPECT_EQ(callCount(), 1u) << "silence the output played was counted as music";
  playTo(at500 - 1);
  EXPECT_EQ(callCount(), 1u) << "500 ms called out before it was heard";
  playTo(at500, 2);
  ASSERT_EQ(callCount(), 2u);
  playTo(at1000 - 1);
  EXPECT_EQ(callCount(), 2u) << "1000 ms called out before it was heard";
  playTo(at1000, 3);
  ASSERT_EQ(callCount(), 3u);
  EXPECT_EQ(calls[1].name, "m500");
  EXPECT_GE(calls[1].played, at500);
  EXPECT_EQ(calls[2].name, "m1000");
  EXPECT_GE(calls[2].played, at1000);

  // Nothing lost or repeated: the music frames come out in order, each once.
  uint64_t next = 0;
  for (int16_t v : output.left) {
    if (v == 0) continue;
    ASSERT_EQ(v, musicValue(next)) << "music frame " << next;
    ++next;
  }
  EXPECT_GE(next, 60000u);
  close(stream);
}

TEST_F(SoundCore, LeadAndPaddingAreCutAndOnlySyncPointsAtTheEndFireWithIt) {
  // 49966 music frames behind a lead of 1105 and before a padding of 700. Markers at 1000 ms (frame 44100),
  // 1133 ms (frame 49965, the music's last), 1150 ms (frame 50715: 749 past the end, less than one MPEG frame)
  // and 2000 ms (frame 88200, far past the end: never reached).
  SoundStream* stream = open({1000, 1133, 1150, 2000}, 1105, 700, 49966);
  ASSERT_NE(stream, nullptr);
  allow(UINT64_MAX);
  pullMusic(49966);
  pull(4096);
  uint64_t music = 0;
  for (int16_t v : output.left) {
    ASSERT_NE(v, leadValue) << "the decoder's lead reached the output";
    ASSERT_NE(v, paddingValue) << "the padding reached the output";
    if (v != 0) {
      ASSERT_EQ(v, musicValue(music++));
    }
  }
  ASSERT_EQ(music, 49966u);
  const uint64_t at1000 = outputIndexOf(44100), last = outputIndexOf(49965);

  playTo(at1000, 1);
  ASSERT_EQ(callCount(), 1u);
  playTo(last - 1);
  EXPECT_EQ(callCount(), 1u) << "the marker on the last frame came before it was heard";
  playTo(last, 2);
  ASSERT_EQ(callCount(), 2u);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(callCount(), 2u) << "the end came before the last frame was heard";
  playTo(last + 1, 4);  // the last frame heard: the marker just past the end, then the end
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_EQ(callCount(), 4u) << "the marker far past the end was called";
  EXPECT_EQ(calls[1].name, "m1133");
  EXPECT_EQ(calls[2].name, "m1150");
  EXPECT_EQ(calls[3].name, "(end)");
  EXPECT_GE(calls[3].played, last + 1);
  close(stream);
}

TEST_F(SoundCore, LatenessIsCountedFromEachSyncPointsOwnFrameByTheHeardPosition) {
  // Sync points at music frames 0, 22050, 44100 and 66150, heard 0, 10, 100 and 30 ms (0, 441, 4410 and 1323
  // frames) after their own frame: 35 ms on average, 20 ms in the middle (between 10 and 30), 100 ms at worst.
  SoundStream* stream = open({0, 500, 1000, 1500}, 0, 0, 70000);
  ASSERT_NE(stream, nullptr);
  allow(UINT64_MAX);
  pullMusic(70000);
  const uint64_t late[] = {0, 441, 4410, 1323};
  const uint64_t music[] = {0, 22050, 44100, 66150};
  // Played up to the output frame of music frame m + late: silence a starved decoder put between them is not
  // music heard, so the lateness is counted in music frames.
  for (size_t i = 0; i < 4; ++i) playTo(outputIndexOf(music[i] + late[i]), i + 1);
  ASSERT_EQ(callCount(), 4u);
  const SyncLateness measured = soundSyncLateness(stream);
  EXPECT_EQ(measured.called, 4u);
  EXPECT_NEAR(measured.meanMs, 35.0, 0.01);
  EXPECT_NEAR(measured.medianMs, 20.0, 0.01);
  EXPECT_NEAR(measured.worstMs, 100.0, 0.01);
  close(stream);
}

TEST_F(SoundCore, ADecodeFailureEndsTheMusicWhereItStoppedWithOneLineAndNoBurst) {
  // 30000 frames (680.27 ms) decode, then none: the marker at 500 ms is heard, the one at 1000 ms never.
  ::testing::internal::CaptureStderr();
  SoundStream* stream = open({500, 1000}, 0, 0, 60000, 30000);
  ASSERT_NE(stream, nullptr);
  allow(UINT64_MAX);
  pullMusic(30000);
  playTo(output.taken, 2);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const std::string said = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(callCount(), 2u) << "the marker the music never reached was called";
  EXPECT_EQ(calls[1].name, "(end)");
  EXPECT_NE(said.find(": the music stopped at 0:00.680, where its audio cannot be decoded; 1 sync points never reached\n"),
            std::string::npos) << said;
  close(stream);
}

// A WAVE at the output's rate whose frame i is musicValue(i) (its negative on the right), 100000 frames, with the
// markers a, b, c and d at frames 11025, 22050, 44100 and 66150.
SoundStream* playCounting() {
  const std::string wave =
      music_files::pcmWave(44100, 2, 100000, {{11025, "a"}, {22050, "b"}, {44100, "c"}, {66150, "d"}}, [](uint32_t i) {
        const int16_t v = musicValue(i / 2);
        return i % 2 ? static_cast<int16_t>(-v) : v;
      });
  return play(writeFile("counting.wav", wave), 1000);
}

TEST_F(SoundCore, ASeekIsHeardFromItsFrameAndCallsTheMarkersFromThereWhenHeardNoneTwice) {
  SoundStream* stream = playCounting();
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(soundLength(stream), 100000u);
  ASSERT_EQ(soundMarkers(stream).size(), 4u);
  EXPECT_EQ(soundMarkers(stream)[2].sample, 44100u);
  pull(30000);
  playTo(22050, 2);
  ASSERT_EQ(names(), "a b ");

  // Back to just after a: a is not called again; b is, when it is heard again, and not a frame before.
  soundSeek(stream, 11026);
  EXPECT_EQ(soundPosition(stream), 11026u);
  uint64_t base = output.taken;
  pull(20000);
  EXPECT_EQ(output.left[base], musicValue(11026)) << "the first frame played after the seek";
  playTo(base + 22049 - 11026);
  EXPECT_EQ(soundPosition(stream), 22049u);
  EXPECT_EQ(names(), "a b ") << "a called again, or b before it was heard";
  playTo(base + 22050 - 11026, 3);
  EXPECT_EQ(names(), "a b b ");

  // Onto c's own frame: heard at once, so called at once; d not a frame before its own.
  soundSeek(stream, 44100);
  EXPECT_EQ(soundPosition(stream), 44100u);
  playTo(output.taken, 4);
  EXPECT_EQ(names(), "a b b c ");
  base = output.taken;
  pull(30000);
  EXPECT_EQ(output.left[base], musicValue(44100));
  playTo(base + 66150 - 44100 - 1);
  EXPECT_EQ(names(), "a b b c ") << "d called before it was heard";

  // Far past the end: the seek stops at the end, which is heard at once; d, left behind, is not called.
  soundSeek(stream, 1ull << 40);
  EXPECT_EQ(soundPosition(stream), 100000u);
  playTo(output.taken, 5);
  EXPECT_EQ(names(), "a b b c (end) ");
  close(stream);
}

TEST_F(SoundCore, APauseStopsTheOutputAndHoldsThePositionWithNothingCalledUntilItGoesOn) {
  SoundStream* stream = playCounting();
  ASSERT_NE(stream, nullptr);
  pull(30000);
  playTo(22049, 1);
  soundPause(stream, true);
  EXPECT_EQ(output.pull, nullptr) << "the output still pulls";
  EXPECT_EQ(soundPosition(stream), 22049u);
  soundPause(stream, true);
  output.played = output.taken.load();  // an output left running would have played all it took by now
  playTo(output.played);
  EXPECT_EQ(soundPosition(stream), 22049u) << "the position moved while paused";
  EXPECT_EQ(names(), "a ") << "b called while paused";

  soundPause(stream, false);
  ASSERT_NE(output.pull, nullptr);
  EXPECT_EQ(soundPosition(stream), 22049u);
  const uint64_t base = output.taken;
  pull(4096);
  EXPECT_EQ(output.left[base], musicValue(22049)) << "the first frame played after the pause";
  playTo(base);
  EXPECT_EQ(names(), "a ");
  playTo(base + 1, 2);
  EXPECT_EQ(names(), "a b ");
  playTo(base + 100);
  soundPause(stream, false);  // already playing: nothing changes
  EXPECT_EQ(soundPosition(stream), 22149u);
  close(stream);
}

// Noise over a sweep: no two neighbouring samples alike, so that music a frame off shows.
std::vector<float> noisy(size_t frames, uint32_t seed) {
  std::vector<float> v(frames);
  for (size_t i = 0; i < frames; ++i) {
    seed = seed * 1664525u + 1013904223u;
    v[i] = 0.3f * std::sin(static_cast<float>(i * i) * 1e-5f) + 0.2f * (static_cast<float>(seed >> 8) / (1 << 24) - 0.5f);
  }
  return v;
}

// The output frames after each seek against a play of the whole from the start, on libmpg123 and from PCM:
// MP3 at the output's rate (the first frame's music decoded from the start, the rest entered a few frames
// before), MPEG-2 at half the rate in mono and PCM at 48 kHz through the rate conversion; the end itself too.
TEST_F(SoundCore, AfterASeekTheOutputPlaysWhatAPlayFromTheStartHasThereWithNoLag) {
  struct Case {
    const char* name;
    std::string file;
    uint64_t length;  // output frames, worked out from the samples encoded
    std::vector<uint64_t> targets;
  };
  const std::vector<float> left = noisy(132300, 1), right = noisy(132300, 2), mono = noisy(44100, 3);
  const std::vector<uint8_t> stereo = mp3::encode(left, right);
  const Case cases[] = {
      {"stereo.mp3", std::string(stereo.begin(), stereo.end()), 132300, {0, 500, 5000, 70001, 131600, 132300}},
      {"mono22k.mp3", lameMono(22050, 64, mono), 88200, {0, 333, 20001, 87900}},
      {"48k.wav", music_files::pcmWave(48000, 2, 96000, {}, [&](uint32_t i) { return int16_t(left[i / 2] * 30000); }),
       88200, {1, 12345, 88190}},
  };
  decoder.real = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A buffer longer than the music: it is all decoded at the open, and again at each seek, so one pull takes it.
    SoundStream* stream = play(writeFile(c.name, c.file), 4000);
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(soundLength(stream), c.length);
    pull(static_cast<uint32_t>(c.length));
    const std::vector<int16_t> whole = output.left;
    for (const uint64_t target : c.targets) {
      SCOPED_TRACE(target);
      soundSeek(stream, target);
      EXPECT_EQ(soundPosition(stream), target);
      const uint64_t base = output.taken, frames = std::min<uint64_t>(c.length - target, 8192);
      pull(static_cast<uint32_t>(frames) + 16);  // and silence after the end
      // A decoder started elsewhere may round the odd sample the other way (libmpg123 does, now and then, in
      // MPEG-2); music a frame off differs by far more, nearly everywhere.
      uint64_t wrong = 0, rounded = 0, first = UINT64_MAX;
      for (uint64_t i = 0; i < frames; ++i) {
        const int off = std::abs(output.left[base + i] - whole[target + i]);
        if (off > 1) ++wrong, first = std::min(first, i);
        rounded += off == 1;
      }
      EXPECT_EQ(wrong, 0u) << "from output frame " << first << " after the seek on";
      EXPECT_LE(rounded, frames / 256);
      if (target + frames == c.length) {
        EXPECT_EQ(output.left[base + frames], 0) << "music past the end";
      }
    }
    close(stream);
  }
  decoder.real = false;
}

}  // namespace

// Rate conversion by hand: 22050 Hz mono 0, 100, 200 at 44100 Hz stereo is six frames, the odd ones halfway
// between their neighbours and the last holding the last sample.
TEST(RateConversion, DoublingTheRateInterpolatesAndEndsOnTheLastSample) {
  Resampler resampler;
  resamplerStart(&resampler, 22050, 44100, 1);
  std::vector<int16_t> out;
  const int16_t first[] = {0, 100}, last[] = {200};
  resamplerPush(&resampler, first, 2, false, &out);
  resamplerPush(&resampler, last, 1, true, &out);
  EXPECT_EQ(out, (std::vector<int16_t>{0, 0, 50, 50, 100, 100, 150, 150, 200, 200, 200, 200}));
  // A marker at 22050 Hz frame 11025 is heard at 44100 Hz frame 22050; at 48000 Hz, 44100 Hz frame 7 is
  // 7 x 48000 / 44100 = 7.62 frames in, so it lands on the nearest, frame 8.
  EXPECT_EQ(resampledPosition(11025, 22050, 44100), 22050u);
  EXPECT_EQ(resampledPosition(7, 44100, 48000), 8u);
}
