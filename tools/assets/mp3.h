// MP3 output: LAME encoding with its gapless tag, and an ID3v2.3 tag carrying chapters as ffmpeg writes them.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace mp3 {

struct Chapter {
  uint32_t startMs, endMs;
  std::string title;  // code page 1252 bytes
};

// An ID3v2.3 tag: the given text frames (id, text), then a CTOC "toc" listing ch0..chN-1, then one CHAP per chapter
// with an embedded TIT2.
std::vector<uint8_t> id3Tag(const std::vector<std::pair<std::string, std::string>>& texts, const std::vector<Chapter>& chapters);

// 44.1 kHz stereo samples in [-1, 1] to CBR 192 kbit/s joint-stereo MP3 whose first frame is LAME's Info tag;
// with r empty, mono MP3 of l.
// Throws std::runtime_error if the encoder fails.
std::vector<uint8_t> encode(const std::vector<float>& l, const std::vector<float>& r);

}  // namespace mp3
