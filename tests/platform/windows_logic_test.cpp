// Guards the Windows files' plain arithmetic on every build: an ACM lead or padding missing the Info frame, the
// encoder's numbers or the decoder's 529 samples; a format change missed; a part PCM frame read as nothing for
// ever; the wave position's wrap and mask; the millisecond clock across its 32-bit wrap; code page 1252.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "platform/code_page.h"
#include "platform/mp3_frames.h"
#include "platform/wrap_counts.h"

using Bytes = std::vector<uint8_t>;

// MPEG-1 44.1 kHz 128 kbit/s stereo, no CRC: 417 bytes, side info 32. MPEG-2 22.05 kHz 64 kbit/s mono with
// CRC: 208 bytes, side info 9.
static Bytes stereoFrame() { Bytes f(417, 0); f[0] = 0xFF, f[1] = 0xFB, f[2] = 0x90; return f; }
static Bytes monoFrame() { Bytes f(208, 0); f[0] = 0xFF, f[1] = 0xF2, f[2] = 0x80, f[3] = 0xC0; return f; }

static void lame(Bytes& frame, size_t at, uint8_t a, uint8_t b, uint8_t c) {
  std::copy_n("LAME3.100", 9, frame.begin() + long(at));
  frame[at + 21] = a, frame[at + 22] = b, frame[at + 23] = c;
}

TEST(AcmTrim, LeadIsInfoFrameEncoderDelayAnd529PaddingLoses529) {
  struct Case { const char* what; Bytes frame; uint32_t lead, padding; } cases[] = {
      {"plain audio frame", stereoFrame(), 529, 0}, {"Info without LAME", stereoFrame(), 1152 + 529, 0},
      {"Info, LAME 576/1000", stereoFrame(), 1152 + 576 + 529, 1000 - 529}, {"Xing mono", monoFrame(), 576 + 600 + 529, 1200 - 529}};
  Bytes* info = &cases[1].frame;
  std::copy_n("Info\0\0\0\x0F", 8, info->begin() + 36);  // frame count, bytes, seek table, quality: LAME at 156
  cases[2].frame = *info;
  lame(cases[2].frame, 156, 0x24, 0x03, 0xE8);  // delay 0x240, padding 0x3E8
  std::copy_n("Xing\0\0\0\0", 8, cases[3].frame.begin() + 15);  // after the CRC and 9 bytes of side info
  lame(cases[3].frame, 23, 0x25, 0x84, 0xB0);  // delay 0x258, padding 0x4B0
  for (const Case& c : cases) {
    Mp3Frame h;
    uint32_t lead = 0, padding = 0;
    ASSERT_TRUE(mp3ReadFrame(c.frame.data(), &h)) << c.what;
    mp3CodecTrim(c.frame.data(), h, &lead, &padding);
    EXPECT_TRUE(lead == c.lead && padding == c.padding) << c.what << ": " << lead << ", " << padding;
  }
}

TEST(AcmFormat, AChangeOfRateOrChannelsIsFoundAtItsFirstFramePastTagsBetween) {
  const Bytes stereo = stereoFrame(), mono = monoFrame();
  const Bytes tag = {'T', 'A', 'G', 0xFF, 0xFB, 0x90, 0};  // junk with a sync word the next header does not confirm
  Bytes stream;
  for (int i = 0; i < 3; ++i) stream.insert(stream.end(), stereo.begin(), stereo.end());
  stream.insert(stream.end(), tag.begin(), tag.end());
  Bytes joined = stream, same = stream, mono44 = stereo, channelsOnly = stream;
  mono44[3] = 0xC0;  // the same rate in mono: 417 bytes too
  for (int i = 0; i < 2; ++i) joined.insert(joined.end(), mono.begin(), mono.end());
  for (int i = 0; i < 2; ++i) channelsOnly.insert(channelsOnly.end(), mono44.begin(), mono44.end());
  for (int i = 0; i < 2; ++i) same.insert(same.end(), stereo.begin(), stereo.end());
  Mp3Frame first;
  ASSERT_TRUE(mp3ReadFrame(stream.data(), &first));
  Mp3Frame changed;
  for (const auto& [changes, rate, channels] : {std::tuple(&joined, 22050, 1), std::tuple(&channelsOnly, 44100, 1)}) {
    EXPECT_EQ(mp3FormatHoldsUntil(changes->data(), changes->size(), 0, first, true, &changed), 3 * 417u);
    EXPECT_TRUE(changed.rate == rate && changed.channels == channels) << changed.rate << " " << changed.channels;
  }
  EXPECT_TRUE(mp3FormatHoldsUntil(same.data(), same.size(), 417, first, true, &changed) == same.size() && !changed.rate);
  // A frame not wholly there yet, or a header past junk not yet confirmed by the next, is judged later.
  EXPECT_EQ(mp3FormatHoldsUntil(joined.data(), 3 * 417 - 2, 0, first, false, &changed), 2 * 417u);
  EXPECT_TRUE(mp3FormatHoldsUntil(joined.data(), 3 * 417 + 7 + 300, 417, first, false, &changed) == 3 * 417u &&
              !changed.rate);
}

TEST(AcmPcm, APartFrameWaitsForItsRestAndIsDroppedOnlyAtTheEnd) {
  PcmBytes pcm;
  const uint8_t first[] = {1, 2, 3, 4, 5, 6}, rest[] = {7, 8, 9, 10};
  uint8_t out[16] = {};
  pcmAppend(&pcm, first, 6);
  ASSERT_EQ(pcmNext(pcm, 4, false), PcmNext::read);
  EXPECT_EQ(pcmTake(&pcm, out, 8, 4), 1u);
  EXPECT_EQ(pcmNext(pcm, 4, false), PcmNext::convert) << "two bytes are no frame to hand out";
  EXPECT_EQ(pcmNext(pcm, 4, true), PcmNext::done);
  pcmAppend(&pcm, rest, 4);
  EXPECT_EQ(pcmTake(&pcm, out + 4, 8, 4), 1u);
  EXPECT_EQ(Bytes(out, out + 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(WavePosition, UnplayedIsTakenAcrossTheDevicesOwnWrap) {
  constexpr auto samples = WavePositionUnit::samples, bytes = WavePositionUnit::bytes;
  EXPECT_EQ(waveUnplayed(5000, 3000, samples, 6144), 2000u);
  EXPECT_EQ(waveUnplayed(5000, 12000, bytes, 6144), 2000u);
  EXPECT_EQ(waveUnplayed(0x100000100ull, 0xFFFFFF00u, samples, 6144), 0x200u) << "samples wrap at 2^32";
  EXPECT_EQ(waveUnplayed(0x40000100ull, 0, bytes, 6144), 0x100u) << "bytes wrap at 2^32, frames at 2^30";
  EXPECT_EQ(waveUnplayed(5000, 5100, samples, 6144), 0u) << "played more than it got";
  EXPECT_EQ(waveUnplayed(10000, 1000, samples, 6144), 0u) << "more unplayed than was ever queued";
}

TEST(MillisecondClock, A32BitCountRunsOnPastItsWrapAndNeverBack) {
  std::atomic<uint64_t> last{0};
  const std::pair<uint32_t, uint64_t> steps[] = {
      {0xFFFFFF00u, 0x1FFFFFF00ull}, {0xFFFFFFFFu, 0x1FFFFFFFFull}, {0x10u, 0x200000010ull},
      {0xFFFFFFF0u, 0x200000010ull},  // a caller that read the count just before the wrap
      {0x10u, 0x200000010ull}, {0xCDFE6010u, 0x2CDFE6010ull}};  // then 40 days between two calls
  for (const auto& [ticks, expected] : steps) EXPECT_EQ(extendMilliseconds(&last, ticks), expected) << ticks;
}

TEST(CodePage1252, HighBytesAndTheFiveUndefinedOnes) {
  const std::pair<uint8_t, uint32_t> bytes[] = {{0x41, 0x41},     {0x80, 0x20AC}, {0x81, 0x81}, {0x8C, 0x152},
                                                {0x99, 0x2122}, {0x9F, 0x178},  {0xA0, 0xA0}, {0xF8, 0xF8}};
  for (const auto& [byte, unicode] : bytes) EXPECT_EQ(cp1252ToUnicode(byte), unicode) << int(byte);
}
