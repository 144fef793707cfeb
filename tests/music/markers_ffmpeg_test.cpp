// The marker reader against ffmpeg as a peer: MP3 chapters written by ffmpeg, read back by ffprobe and by us.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "music/markers.h"

namespace {

namespace fs = std::filesystem;
using Chapters = std::vector<std::pair<long long, std::string>>;  // start in ms, title in UTF-8

bool haveFfmpeg() { return std::system("ffmpeg -version >/dev/null 2>&1 && ffprobe -version >/dev/null 2>&1") == 0; }

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void appendUtf8(uint32_t c, std::string* out) {  // code page 1252 reaches no further than U+FFFF
  if (c < 0x80) {
    *out += char(c);
  } else if (c < 0x800) {
    *out += {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
  } else {
    *out += {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
  }
}

// The chapters of ffprobe's JSON: each one's "start" (in the 1/1000 time base) and "title" tag. ffprobe writes
// non-ASCII text as raw UTF-8; the only escapes our titles can need are \" and \\.
Chapters parseFfprobe(const std::string& json) {
  const std::string timeBase = "\"time_base\": \"1/1000\"", start = "\"start\": ", title = "\"title\": \"";
  Chapters out;
  for (size_t at = json.find("\"time_base\""); at != std::string::npos; at = json.find("\"time_base\"", at + 1)) {
    EXPECT_EQ(0, json.compare(at, timeBase.size(), timeBase));
    size_t next = json.find("\"time_base\"", at + 1), from = json.find(title, at);
    std::string text;
    for (size_t i = from + title.size(); from < next && json[i] != '"'; ++i)
      text += json[i] == '\\' ? json[++i] : json[i];
    out.push_back({std::stoll(json.substr(json.find(start, at) + start.size())), text});
  }
  return out;
}

// Our reading of the same file, times back in ms and names from code page 1252 to UTF-8.
Chapters readOurs(const fs::path& path) {
  std::string bytes = slurp(path);
  MusicFileInfo info;
  std::string error;
  EXPECT_TRUE(readMusicFile(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &info, &error)) << error;
  EXPECT_EQ(MarkerSource::id3Chapters, info.markerSource);
  Chapters out;
  for (const Marker& m : info.markers) {
    std::string name;
    for (unsigned char b : m.name) appendUtf8(cp1252ToUnicode(b), &name);
    out.push_back({(long long)((m.sample * 1000 + info.sampleRate / 2) / info.sampleRate), name});
  }
  return out;
}

struct TempDir {
  fs::path path;
  TempDir() {
    std::string pattern = std::string(VOSTREL_TEST_TMP) + "/markers-XXXXXX";
    path = mkdtemp(pattern.data()) ? pattern : "";
  }
  ~TempDir() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
};

// Writes an MP3 with these chapters through an FFMETADATA file; an empty title writes no title.
fs::path writeMp3(const fs::path& dir, const Chapters& chapters, int id3Version) {
  fs::path meta = dir / "chapters.txt", mp3 = dir / ("v" + std::to_string(id3Version) + ".mp3");
  std::ofstream out(meta);
  out << ";FFMETADATA1\n";
  for (size_t i = 0; i < chapters.size(); ++i) {
    out << "[CHAPTER]\nTIMEBASE=1/1000\nSTART=" << chapters[i].first << "\nEND=" << chapters[i].first + 50 << "\n";
    if (!chapters[i].second.empty()) out << "title=" << chapters[i].second << "\n";
  }
  out.close();
  std::string command = "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=9 -i '" + meta.string() +
                        "' -map 0:a -map_chapters 1 -c:a libmp3lame -b:a 64k -id3v2_version " +
                        std::to_string(id3Version) + " '" + mp3.string() + "'";
  EXPECT_EQ(0, std::system(command.c_str())) << command;
  return mp3;
}

TEST(MarkersFfmpeg, EightyFourChaptersReadAsFfprobeReadsThem) {
  if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg or ffprobe is not installed";
  TempDir dir;
  ASSERT_FALSE(dir.path.empty());
  Chapters written;
  for (int i = 0; i < 84; ++i) {
    std::string title = "Marker " + std::to_string(i + 1);
    if (i == 11) title = "Caf\xC3\xA9 au lait";  // é
    if (i == 12)
      title =
          "K\xC3\xB8"
          "benhavn \xC3\x98resund";  // ø Ø
    if (i == 40) title = "A caption longer than twenty-five bytes, whole";
    if (i == 50) title = "";  // no title: the element ID names it
    written.push_back({i * 100 + i % 7, title});
  }
  for (int version : {3, 4}) {
    fs::path mp3 = writeMp3(dir.path, written, version);
    std::string json = dir.path / "probe.json";
    ASSERT_EQ(
        0, std::system(("ffprobe -v error -show_chapters -of json '" + mp3.string() + "' > '" + json + "'").c_str()));
    Chapters probed = parseFfprobe(slurp(json));
    ASSERT_EQ(84u, probed.size()) << "v2." << version;
    EXPECT_EQ(probed, readOurs(mp3)) << "v2." << version;
    EXPECT_EQ(written[11], probed[11]);
    EXPECT_EQ("ch50", probed[50].second);
  }
}

// ffmpeg writes plain sizes in v2.4 CHAP frames; once a chapter passes 127 bytes ffprobe itself loses it, so the
// titles given to ffmpeg are the reference here.
TEST(MarkersFfmpeg, Version24ChaptersWithLongTitles) {
  if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg or ffprobe is not installed";
  TempDir dir;
  ASSERT_FALSE(dir.path.empty());
  Chapters written = {
      {0, "short"}, {1000, std::string(150, 'L')}, {2000, std::string(300, 'M') + "\xC3\xA9"}, {3000, "end"}};
  EXPECT_EQ(written, readOurs(writeMp3(dir.path, written, 4)));
}

}  // namespace
