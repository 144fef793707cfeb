// Sync markers and the audio payload found in a music file (MP3 with ID3v2 chapters, or RIFF/WAVE with cues).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class MusicContainer { unknown, mp3, wave };
enum class MusicCodec { unknown, pcm16, mp3 };

// One named marker: the first sample frame at which it is heard, and its name as bytes in code page 1252.
struct Marker {
  uint64_t sample;
  std::string name;
};

struct MusicFileInfo {
  MusicContainer container = MusicContainer::unknown;
  MusicCodec codec = MusicCodec::unknown;
  uint32_t sampleRate = 0;   // of the audio payload
  uint16_t channels = 0;
  uint64_t audioOffset = 0;  // the bytes a decoder is fed: for MP3 the whole stream from here,
  uint64_t audioSize = 0;    // for WAVE only the data chunk
  std::vector<Marker> markers;  // ordered by sample, equal positions in file order
};

// Reads container, payload and markers from a file held in memory. False, with a reason, when no audio payload is found.
bool readMusicFile(const uint8_t* data, size_t size, MusicFileInfo* info, std::string* error);
