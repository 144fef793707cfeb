// Sync markers and the audio payload found in a music file (MP3 with ID3v2 chapters, or RIFF/WAVE with cues).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/code_page.h"  // cp1252ToUnicode: names are code page 1252 bytes

enum class MusicContainer { unknown, mp3, wave };
enum class MusicCodec { unknown, pcm16, mp3 };
// Where the markers came from: ID3v2 CHAP frames, ID3v2 SYLT (only read when there is no CHAP), or a WAVE cue list.
enum class MarkerSource { none, id3Chapters, id3SyncedLyrics, waveCues };

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
  MarkerSource markerSource = MarkerSource::none;
  uint8_t id3Version = 0;    // major version (2, 3, 4) of the first ID3v2 tag of an MP3, 0 when it has none
  // How far past the decoded end a marker may sit and still be the end: the encoder's padding (from an MP3's
  // LAME tag, 0 when unknown) and the samples of one coded frame (1152 or 576 for MPEG, 1 for PCM).
  uint32_t padding = 0;
  uint32_t frameSamples = 0;
  // The audio stops before its container says it ends: a WAVE data chunk or an MP3 frame cut short, or fewer
  // MP3 frames than its Info tag counts. The music then ends early, not at the script's end.
  bool cut = false;
};

// Reads container, payload and markers from a file held in memory. False, with a reason, when no audio payload is
// found or a WAVE format is one the player cannot play (1 or 2 channels, 8000 to 192000 Hz, 16-bit PCM frames of
// 2 bytes a channel); *info is then left empty.
//
// Names are whole (any length), cut at their first NUL, in code page 1252: ID3v2 text in UTF-16 or UTF-8 is converted
// and characters the code page lacks become '?'; ISO-8859-1 text and WAVE labels are taken byte for byte. A chapter
// without a title is named by its element ID, a cue without a label by its cue ID in decimal ("cue 7").
bool readMusicFile(const uint8_t* data, size_t size, MusicFileInfo* info, std::string* error);
