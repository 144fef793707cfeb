// Ties the music, the markers and the images together and writes them under the output folder.
#include "generate.h"

#include <fstream>
#include <stdexcept>

#include "images.h"
#include "song.h"
#include "timeline.h"

namespace generate {

namespace {

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

std::vector<mp3::Chapter> chapters(bool testTrack) {
  std::vector<mp3::Chapter> out;
  for (size_t i = 0; i < timeline::markers.size(); ++i) {
    const int n = static_cast<int>(i) + 1;
    const uint32_t start = static_cast<uint32_t>(testTrack ? timeline::testTrackMarkerMs(n) : timeline::markers[i].beat * timeline::msPerBeat);
    out.push_back({start, 0, timeline::markers[i].name});
  }
  const uint32_t end = static_cast<uint32_t>(testTrack ? timeline::testTrackMs : timeline::songBeats * timeline::msPerBeat);
  for (size_t i = 0; i < out.size(); ++i) out[i].endMs = i + 1 < out.size() ? out[i + 1].startMs : end;
  return out;
}

std::vector<uint8_t> soundtrack(bool testTrack) {
  const song::Stereo music = testTrack ? song::renderTestTrack() : song::renderFull();
  std::vector<uint8_t> file = mp3::id3Tag({{"TIT2", testTrack ? "Vostrel (test track)" : "Vostrel"}, {"TPE1", "Mira Solenn"}}, chapters(testTrack));
  const std::vector<uint8_t> audio = mp3::encode(music.l, music.r);
  file.insert(file.end(), audio.begin(), audio.end());
  return file;
}

void writeAll(const std::filesystem::path& out, bool testTrack) {
  for (const images::Asset& a : images::makeAll()) writeFile(out / a.path, bmp::encode(a.picture, a.encoding));
  writeFile(out / "demo.mp3", soundtrack(testTrack));
}

}  // namespace generate
