// vostrel-inspect markers FILE: the audio payload and the sync markers the demo will read from a music file.
#include <mpg123.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "inspect.h"
#include "music/markers.h"

namespace {

bool readWholeFile(const char* path, std::vector<uint8_t>* bytes, std::string* error) {
  FILE* f = std::fopen(path, "rb");
  if (!f) {
    *error = std::strerror(errno);
    return false;
  }
  uint8_t buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes->insert(bytes->end(), buffer, buffer + got);
  bool failed = std::ferror(f) != 0;
  int savedErrno = errno;
  std::fclose(f);
  if (failed) *error = std::strerror(savedErrno);
  return !failed;
}

// Decodes an MP3 payload the way the player does (gapless: encoder delay and padding trimmed) and counts its
// sample frames at the rate of its first frame, as the player converts a part joined at another rate; -1 with a
// reason when the decoder gives up.
long long countMp3Samples(const uint8_t* data, size_t size, uint32_t firstRate, std::string* error) {
  mpg123_init();  // needed by libmpg123 before 1.27, harmless after
  int err = MPG123_OK;
  mpg123_handle* mh = mpg123_new(nullptr, &err);
  if (!mh) {
    *error = mpg123_plain_strerror(err);
    return -1;
  }
  mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
  if (mpg123_open_feed(mh) != MPG123_OK) {
    *error = mpg123_strerror(mh);
    mpg123_delete(mh);
    return -1;
  }
  long long frames = 0, partFrames = 0;  // at the first rate; of the part in the current format
  long partRate = firstRate;
  size_t frameBytes = 0, fed = 0;
  static unsigned char out[1 << 16];
  for (;;) {
    size_t done = 0;
    int r = mpg123_read(mh, out, sizeof out, &done);
    if (frameBytes) partFrames += (long long)(done / frameBytes);  // what came with a new format is of the old
    if (r == MPG123_NEW_FORMAT) {
      frames += partFrames * firstRate / partRate;
      partFrames = 0;
      int channels, encoding;
      mpg123_getformat(mh, &partRate, &channels, &encoding);
      frameBytes = size_t(channels) * size_t(mpg123_encsize(encoding));
    }
    if (r == MPG123_DONE) break;
    if (r == MPG123_NEED_MORE) {
      if (fed == size) break;
      size_t chunk = std::min<size_t>(size - fed, 1 << 16);
      mpg123_feed(mh, data + fed, chunk);
      fed += chunk;
    } else if (r != MPG123_OK && r != MPG123_NEW_FORMAT) {
      *error = mpg123_strerror(mh);
      mpg123_delete(mh);
      return -1;
    }
  }
  mpg123_delete(mh);
  frames += partFrames * firstRate / partRate;
  if (frames == 0) {
    *error = "the decoder found no audio";
    return -1;
  }
  return frames;
}

std::string formatTime(unsigned long long sample, uint32_t rate) {
  unsigned long long ms = (sample * 1000 + rate / 2) / rate;
  char text[48];
  std::snprintf(text, sizeof text, "%llu:%02llu.%03llu", ms / 60000, ms / 1000 % 60, ms % 1000);
  return text;
}

// A code page 1252 name as UTF-8 for the terminal; control and undefined bytes shown as \xNN.
std::string printableName(const std::string& name) {
  std::string out;
  for (unsigned char b : name) {
    uint32_t c = cp1252ToUnicode(b);
    char escape[8];
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
      std::snprintf(escape, sizeof escape, "\\x%02X", b);
      out += escape;
    } else if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | c >> 6);
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xE0 | c >> 12);
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

const char* sourceText(MarkerSource source) {
  switch (source) {
    case MarkerSource::id3Chapters: return "ID3v2 CHAP frames";
    case MarkerSource::id3SyncedLyrics: return "ID3v2 SYLT frame";
    case MarkerSource::waveCues: return "WAVE cue list";
    case MarkerSource::none: break;
  }
  return "none found";
}

}  // namespace

int inspectMarkers(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: vostrel-inspect markers FILE\n");
    return 2;
  }
  const char* path = argv[0];
  std::vector<uint8_t> bytes;
  std::string error;
  if (!readWholeFile(path, &bytes, &error)) {
    std::fprintf(stderr, "vostrel-inspect: cannot read %s: %s\n", path, error.c_str());
    return 1;
  }
  MusicFileInfo info;
  if (!readMusicFile(bytes.data(), bytes.size(), &info, &error)) {
    std::fprintf(stderr, "vostrel-inspect: %s: %s\n", path, error.c_str());
    return 1;
  }

  long long samples;
  if (info.codec == MusicCodec::mp3) {
    samples = countMp3Samples(bytes.data() + info.audioOffset, size_t(info.audioSize), info.sampleRate, &error);
    if (samples < 0) {
      std::fprintf(stderr, "vostrel-inspect: %s: cannot decode the MPEG audio: %s\n", path, error.c_str());
      return 1;
    }
  } else {
    samples = (long long)(info.audioSize / (2u * info.channels));
  }

  std::printf("file:         %s\n", path);
  if (info.container == MusicContainer::wave) {
    std::printf("container:    RIFF/WAVE\n");
  } else if (info.id3Version) {
    std::printf("container:    MP3 with an ID3v2.%u tag\n", unsigned(info.id3Version));
  } else {
    std::printf("container:    MP3 without an ID3v2 tag\n");
  }
  std::printf("codec:        %s\n", info.codec == MusicCodec::pcm16 ? "PCM, 16-bit" : "MPEG-1/2/2.5 Layer III");
  std::printf("sample rate:  %u Hz\n", unsigned(info.sampleRate));
  std::printf("channels:     %u\n", unsigned(info.channels));
  std::printf("audio bytes:  %llu from offset %llu\n", (unsigned long long)info.audioSize,
              (unsigned long long)info.audioOffset);
  std::printf("duration:     %s (%lld samples)\n", formatTime((unsigned long long)samples, info.sampleRate).c_str(),
              samples);
  if (info.cut) std::printf("cut short:    the audio stops before its file says it ends; the music stops there\n");
  std::printf("markers:      %zu (%s)\n", info.markers.size(), sourceText(info.markerSource));
  // The player calls a marker on or just past the last sample (within the padding and one coded frame) when
  // the end is heard; one further on, or past the end of a cut file, never.
  const unsigned long long end = (unsigned long long)samples;
  const unsigned long long reach = info.cut ? end : end + info.padding + info.frameSamples;
  for (size_t i = 0; i < info.markers.size(); ++i) {
    const Marker& m = info.markers[i];
    std::printf("%5zu  %s  %10llu  %s%s\n", i + 1, formatTime(m.sample, info.sampleRate).c_str(),
                (unsigned long long)m.sample, printableName(m.name).c_str(),
                m.sample > reach  ? "   [past the end of the audio: never called]"
                : m.sample >= end ? "   [just past the end of the audio: called when the end is heard]"
                                  : "");
  }
  return 0;
}
