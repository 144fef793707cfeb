// Guards the marker reader against misread ID3v2 chapters and lyrics (encodings, sizes, versions, unsynchronisation),
// misread WAVE cues and formats, and any read past the end of a lying or truncated file.
#include "music/markers.h"

#include <gtest/gtest.h>

#include "music_files.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace music_files;

struct Read {
  bool ok;
  MusicFileInfo info;
  std::string error;
  std::vector<std::string> names;
  std::vector<uint64_t> samples;
};
// Reads from an exact-size heap copy, so the sanitizer build catches any read past the end.
Read read(const Bytes& bytes) {
  std::vector<uint8_t> copy(bytes.begin(), bytes.end());
  Read r;
  r.ok = readMusicFile(copy.data(), copy.size(), &r.info, &r.error);
  for (const Marker& m : r.info.markers) {
    r.names.push_back(m.name);
    r.samples.push_back(m.sample);
  }
  return r;
}
using Names = std::vector<std::string>;
using Samples = std::vector<uint64_t>;

TEST(MarkersId3, ChapterTitlesInEveryEncodingBecomeCodePage1252) {
  struct {
    const char* what;
    Bytes text;
    Bytes name;
  } cases[] = {
      {"ISO-8859-1, second string dropped", Bytes("\0Caf\xE9\x80\0x", 8), "Caf\xE9\x80"},
      {"UTF-16 little-endian BOM",
       Bytes("\x01\xFF\xFE"
             "C\0\xE9\0\xAC\x20\0\0",
             11),
       "C\xE9\x80"},
      {"UTF-16 big-endian BOM", Bytes("\x01\xFE\xFF\0C\x01\x52\0\0", 9), "C\x8C"},
      {"UTF-16BE: Cyrillic and a surrogate pair", Bytes("\x02\0O\x04\x10\xD8\x3D\xDE\x00", 9), "O??"},
      {"UTF-8: BOM, 2/3/4-byte, cut short", Bytes("\x03\xEF\xBB\xBFS\xC3\xB8\xE2\x80\x9C\xF0\x9F\x98\x80\xC3", 15),
       "S\xF8\x93??"},
      {"UTF-8 overlong NUL",
       Bytes("\x03"
             "a\xC0\x80",
             4),
       "a??"},
      {"encoding byte only", Bytes("\x03", 1), ""},
  };
  for (int version : {3, 4}) {
    for (const auto& c : cases) {
      Read r = read(tag(version, chap("ch0", 0, tit2(c.text, version), version)) + kMpeg1);
      ASSERT_TRUE(r.ok) << r.error;
      EXPECT_EQ(Names{c.name}, r.names) << c.what << ", v2." << version;
    }
  }
}

TEST(MarkersId3, ChaptersOrderedBySampleWithElementIdWhenUntitled) {
  Bytes toc = frame("CTOC",
                    Bytes("toc\0\x03\x02"
                          "b\0a\0",
                          10),
                    3);
  Bytes tags = tag(3, toc + titled("a", 5, "Five", 3) + chap("untitled", 1, frame("TIT3", Bytes("\0x", 2), 3), 3) +
                          titled("b", 5, "Tie", 3) + titled("c", 0, "Zero", 3) + titled("d", 3, "Three", 3));
  Read r = read(tags + kMpeg1);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ((Names{"Zero", "untitled", "Three", "Five", "Tie"}), r.names);
  EXPECT_EQ((Samples{0, 44, 132, 221, 221}), r.samples);  // round(ms * 44.1)
  EXPECT_EQ(MusicContainer::mp3, r.info.container);
  EXPECT_EQ(MarkerSource::id3Chapters, r.info.markerSource);
  EXPECT_EQ(3u, r.info.id3Version);
  EXPECT_EQ(44100u, r.info.sampleRate);
  EXPECT_EQ(2u, r.info.channels);
  EXPECT_EQ(tags.size(), r.info.audioOffset);
  EXPECT_EQ(kMpeg1.size(), r.info.audioSize);
}

TEST(MarkersId3, Version24ReadsSynchsafeAndFfmpegPlainSizes) {
  Bytes name(300, 'N');  // long enough for the two readings of every size to differ; "NNNN" is a frame ID
  for (bool chapPlain : {false, true}) {
    for (bool titlePlain : {false, true}) {
      Bytes frames;
      for (const char* element : {"ch0", "ch1"})
        frames += chap(element, 0, tit2(Bytes(1, '\3') + name + '\0', 4, titlePlain), 4, chapPlain);
      Read r = read(tag(4, frames + Bytes(20, '\0')) + kMpeg1);
      ASSERT_TRUE(r.ok) << r.error;
      EXPECT_EQ((Names{name, name}), r.names) << "plain CHAP " << chapPlain << ", plain TIT2 " << titlePlain;
    }
  }
}

TEST(MarkersId3, SyncedLyricsInMillisecondsOrFramesWhenThereAreNoChapters) {
  Bytes ms = sylt(0, 2, Bytes("one\0", 4) + be32(1000) + Bytes("two\0", 4) + be32(500) + "cut");
  Bytes frames = sylt(1, 1, Bytes("\xFF\xFEx\0\0\0", 6) + be32(2));
  struct {
    const char* what;
    Bytes file;
    Names names;
    Samples samples;
  } cases[] = {
      {"milliseconds", tag(3, ms) + kMpeg1, {"two", "one"}, {22050, 44100}},
      {"MPEG-1 frames", tag(3, frames) + kMpeg1, {"x"}, {2 * 1152}},
      {"MPEG-2 frames", tag(3, frames) + kMpeg2, {"x"}, {2 * 576}},
      {"chapters win", tag(3, ms + titled("c", 0, "Chap", 3)) + kMpeg1, {"Chap"}, {0}},
      {"unknown timestamp format", tag(3, sylt(0, 3, Bytes("one\0", 4) + be32(1))) + kMpeg1, {}, {}},
  };
  for (const auto& c : cases) {
    Read r = read(c.file);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(c.names, r.names) << c.what;
    EXPECT_EQ(c.samples, r.samples) << c.what;
  }
}

TEST(MarkersId3, TagLayoutsAreReadAndSkippedUpToTheAudio) {
  Bytes frames3 = titled("a", 0, "y\xFF", 3), frames4 = titled("a", 0, "y\xFF", 4);
  Bytes unsyncBody = Bytes("\0\0\0\0", 4) + unsync(chapBody("a", 0, tit2(Bytes("\0y\xFF", 3), 4)));
  struct {
    const char* what;
    Bytes tags;
    Names names;
  } cases[] = {
      {"v2.3 unsynchronised tag", tag(3, unsync(frames3), 0x80), {"y\xFF"}},
      {"v2.3 extended header", tag(3, be32(6) + Bytes(6, '\0') + frames3, 0x40), {"y\xFF"}},
      {"v2.4 extended header", tag(4, safe32(6) + Bytes("\x01\0", 2) + frames4, 0x40), {"y\xFF"}},
      {"v2.4 footer", tag(4, frames4, 0x10) + "3DI" + Bytes(7, '\0'), {"y\xFF"}},
      {"v2.4 frame unsync + length indicator", tag(4, frame("CHAP", unsyncBody, 4, false, 0x0003)), {"y\xFF"}},
      {"repeated tags and padding", tag(3, frames3) + Bytes(7, '\0') + tag(4, titled("b", 0, "No", 4)), {"y\xFF"}},
      {"markers from the first tag that has some", tag(3, "") + tag(4, frames4), {"y\xFF"}},
      {"v2.2 tag skipped", tag(2, Bytes("TT2\0\0\x03\0ab", 10)), {}},
  };
  for (const auto& c : cases) {
    Read r = read(c.tags + kMpeg1);
    ASSERT_TRUE(r.ok) << c.what << ": " << r.error;
    EXPECT_EQ(c.names, r.names) << c.what;
    EXPECT_EQ(c.tags.size(), r.info.audioOffset) << c.what;
    EXPECT_EQ(kMpeg1.size(), r.info.audioSize) << c.what;
  }
}

// What the player needs to end the music where it really ends: the padding and frame length by which a last
// marker may lie past the decoded end, and whether the audio stops short of what its container says.
TEST(Markers, TheEndOfTheAudio) {
  // An Info frame counting `frames` frames, from LAME 3.100: delay 576 (0x240), padding 1234 (0x4D2).
  const auto infoFrame = [](uint32_t frames) {
    Bytes f = Bytes("\xFF\xFB\x90\x64", 4) + Bytes(32, '\0') + "Info" + be32(1) + be32(frames) + "LAME3.100" +
              Bytes(12, '\0') + "\x24\x04\xD2";
    return f + Bytes(417 - f.size(), '\0');
  };
  struct {
    const char* what;
    Bytes file;
    bool cut;
    uint32_t padding, frameSamples;
  } cases[] = {
      {"MPEG-1 whole", kMpeg1, false, 0, 1152},
      {"ID3v1 tag after the frames", kMpeg1 + "TAG" + Bytes(125, ' '), false, 0, 1152},
      {"last frame cut short", kMpeg1.substr(0, 1000), true, 0, 1152},
      {"Info frame, all 3 frames there", infoFrame(3) + kMpeg1.substr(0, 834), false, 1234, 1152},
      {"Info frame counts 5, 3 there", infoFrame(5) + kMpeg1.substr(0, 834), true, 1234, 1152},
      {"WAVE data claims 100 bytes, 4 there", wave(fmt(1, 1, 8000) + chunk("data", "abcd", 100)), true, 0, 1},
      {"WAVE data of unknown length", wave(fmt(1, 1, 8000) + chunk("data", "abcd", 0xFFFFFFFF)), false, 0, 1},
  };
  for (const auto& c : cases) {
    Read r = read(c.file);
    ASSERT_TRUE(r.ok) << c.what << ": " << r.error;
    EXPECT_EQ(c.cut, r.info.cut) << c.what;
    EXPECT_EQ(c.padding, r.info.padding) << c.what;
    EXPECT_EQ(c.frameSamples, r.info.frameSamples) << c.what;
  }
}

TEST(MarkersWave, CuePositionsLabelsAndPayload) {
  Bytes cues = le32(5) + cuePoint(1, 5, "data", 0, 1000) + cuePoint(2, 700, "data", 0, 0) +
               cuePoint(3, 400, "slnt", 0, 300) + cuePoint(4, 900, "data", 4096, 10) + cuePoint(7, 1000, "data", 0, 0);
  Bytes adtl = "adtl" + chunk("note", le32(4) + "no") + labl(1, "Odd") + labl(2, "Ev") + labl(3, Bytes("x\0junk", 6)) +
               labl(4, "Four") + labl(1, "Second");
  Bytes file = wave(fmt(1, 2, 44100) + chunk("cue ", cues) + kPcm + chunk("LIST", adtl) + chunk("junk", "after"));
  Read r = read(file);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ((Names{"x", "Ev", "Four", "Odd", "cue 7"}), r.names);
  EXPECT_EQ((Samples{400, 700, 900, 1000, 1000}), r.samples);
  EXPECT_EQ(MarkerSource::waveCues, r.info.markerSource);
  EXPECT_EQ(Bytes(16, '\1'), file.substr(r.info.audioOffset, r.info.audioSize));
}

TEST(MarkersWave, FormatsAndDataSizes) {
  Bytes extensible = chunk("fmt ", le16(0xFFFE) + le16(2) + le32(32000) + le32(128000) + le16(4) + le16(16) + le16(22) +
                                       le16(16) + le32(3) + Bytes("\1\0\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 16));
  struct {
    const char* what;
    Bytes file;
    MusicCodec codec;
    uint32_t rate, channels, audioSize;
  } cases[] = {
      {"PCM", wave(fmt(1, 2, 44100) + kPcm), MusicCodec::pcm16, 44100, 2, 16},
      {"MPEG Layer-3 in WAVE", wave(fmt(0x55, 1, 48000, 0) + kPcm), MusicCodec::mp3, 48000, 1, 16},
      {"extensible PCM", wave(extensible + kPcm), MusicCodec::pcm16, 32000, 2, 16},
      {"data larger than the file", wave(fmt(1, 1, 8000) + chunk("data", "abcd", 0xFFFFFFFF)), MusicCodec::pcm16, 8000,
       1, 4},
      {"RIFF size 0", "RIFF" + le32(0) + "WAVE" + fmt(1, 1, 8000) + kPcm, MusicCodec::pcm16, 8000, 1, 16},
      {"the highest rate played", wave(fmt(1, 1, 192000) + kPcm), MusicCodec::pcm16, 192000, 1, 16},
  };
  for (const auto& c : cases) {
    Read r = read(c.file);
    ASSERT_TRUE(r.ok) << c.what << ": " << r.error;
    EXPECT_EQ(c.codec, r.info.codec) << c.what;
    EXPECT_EQ(c.rate, r.info.sampleRate) << c.what;
    EXPECT_EQ(c.channels, r.info.channels) << c.what;
    EXPECT_EQ(c.audioSize, r.info.audioSize) << c.what;
  }
}

TEST(Markers, FilesWithoutPlayableAudioFailWithAReason) {
  Bytes chapters = tag(3, titled("a", 0, "A", 3));
  Bytes cue = chunk("cue ", le32(1) + cuePoint(1, 0, "data", 0, 0));
  struct {
    const char* what;
    Bytes file;
  } cases[] = {
      {"empty", ""},
      {"text", "just some words, no audio"},
      {"chapters and no audio", chapters},
      {"chapters and garbage", chapters + repeat("\xFF\xFF\xFF\x01", 100)},
      {"tag larger than the file",
       Bytes("ID3\3\0\0\x7F\x7F\x7F\x7F", 10) + chapters.substr(10) + kMpeg1.substr(0, 500)},
      {"WAVE cues and no data", wave(fmt(1, 2, 44100) + cue)},
      {"WAVE empty data", wave(fmt(1, 2, 44100) + cue + chunk("data", ""))},
      {"WAVE float", wave(fmt(3, 2, 44100, 32) + kPcm)},
      {"WAVE 8-bit", wave(fmt(1, 1, 8000, 8) + kPcm)},
      {"WAVE no fmt", wave(kPcm)},
      {"WAVE short fmt", wave(chunk("fmt ", "\1\0\2\0") + kPcm)},
      {"WAVE no channels", wave(fmt(1, 0, 44100) + kPcm)},
      // Formats the player cannot take: rates outside 8000 to 192000 Hz, more channels, frames of another size.
      {"WAVE 7999 Hz", wave(fmt(1, 1, 7999) + kPcm)},
      {"WAVE 192001 Hz", wave(fmt(0x55, 2, 192001, 0) + kPcm)},
      {"WAVE 3 channels", wave(fmt(1, 3, 44100) + kPcm)},
      {"WAVE stereo block align 6",
       wave(chunk("fmt ", le16(1) + le16(2) + le32(44100) + le32(264600) + le16(6) + le16(16)) + kPcm)},
  };
  for (const auto& c : cases) {
    Read r = read(c.file);
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_FALSE(r.error.empty()) << c.what;
    EXPECT_TRUE(r.info.markers.empty() && r.info.container == MusicContainer::unknown) << c.what;
  }
}

TEST(Markers, LyingSizesAreCutToWhatIsThere) {
  Bytes huge = be32(0x7FFFFFFF);
  struct {
    const char* what;
    Bytes file;
    Names names;
  } cases[] = {
      {"CHAP larger than its tag",
       tag(3, titled("a", 0, "A", 3) + "CHAP" + huge + Bytes("\0\0b\0", 4)) + kMpeg1,
       {"A"}},
      {"TIT2 larger than its CHAP", tag(3, chap("el", 0, "TIT2" + huge + Bytes("\0\0\0Name", 7), 3)) + kMpeg1, {"el"}},
      {"SYLT text unterminated", tag(3, sylt(3, 2, Bytes("a\0", 2) + be32(0) + "b")) + kMpeg1, {"a"}},
      {"cue count too large",
       wave(fmt(1, 1, 8000) + chunk("cue ", le32(1000000) + cuePoint(9, 1, "data", 0, 0)) + kPcm),
       {"cue 9"}},
      {"labl larger than its LIST",
       wave(fmt(1, 1, 8000) + chunk("cue ", le32(1) + cuePoint(9, 1, "data", 0, 0)) + kPcm +
            chunk("LIST", "adtl" + Bytes("labl", 4) + le32(1000) + le32(9) + "Nam")),
       {"Nam"}},
  };
  for (const auto& c : cases) {
    Read r = read(c.file);
    ASSERT_TRUE(r.ok) << c.what << ": " << r.error;
    EXPECT_EQ(c.names, r.names) << c.what;
  }
}

TEST(Markers, EveryTruncationOfASmallFileReadsSafely) {
  Bytes files[] = {
      tag(4, titled("a", 10, "Alpha", 4) + chap("b", 20, "", 4, true) + sylt(1, 2, "")) + kMpeg1,
      wave(fmt(1, 2, 44100) + chunk("cue ", le32(2) + cuePoint(1, 9, "data", 0, 0) + cuePoint(2, 5, "data", 0, 0)) +
           kPcm + chunk("LIST", "adtl" + labl(1, "One") + labl(2, "Two2"))),
  };
  for (const Bytes& file : files) {
    Read whole = read(file);
    ASSERT_TRUE(whole.ok) << whole.error;
    ASSERT_EQ(2u, whole.names.size());
    for (size_t length = 0; length < file.size(); ++length) {
      Read r = read(file.substr(0, length));
      if (!r.ok) continue;
      EXPECT_LE(r.info.audioOffset + r.info.audioSize, length);
      EXPECT_GT(r.info.audioSize, 0u);
      EXPECT_EQ(whole.info.sampleRate, r.info.sampleRate);
      EXPECT_LE(r.names.size(), whole.names.size()) << "cut at " << length;
    }
  }
}

TEST(Markers, TenThousandMarkersSortedStably) {
  Bytes frames, cues = le32(10000), adtl = "adtl";
  for (uint32_t i = 0; i < 10000; ++i) {  // time runs backwards in groups of four equal positions
    std::string name = "m" + std::to_string(i);
    frames += titled(name.c_str(), (9999 - i) / 4 * 10, name, 4);
    cues += cuePoint(i, (9999 - i) / 4, "data", 0, 0);
    adtl += labl(i, name);
  }
  for (const Bytes& file :
       {tag(4, frames) + kMpeg1, wave(fmt(1, 1, 8000) + chunk("cue ", cues) + kPcm + chunk("LIST", adtl))}) {
    Read r = read(file);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(10000u, r.names.size());
    EXPECT_EQ("m9996", r.names.front());
    EXPECT_EQ("m3", r.names.back());
    for (size_t i = 1; i < r.names.size(); ++i) {
      ASSERT_LE(r.samples[i - 1], r.samples[i]);
      if (r.samples[i - 1] == r.samples[i]) {
        ASSERT_LT(std::stoi(r.names[i - 1].substr(1)), std::stoi(r.names[i].substr(1)));
      }
    }
  }
}

}  // namespace
