// Music files built byte by byte for the tests: ID3v2 tags with chapters and lyrics, MPEG frames, RIFF/WAVE.
#pragma once
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace music_files {

using Bytes = std::string;

inline Bytes be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
inline Bytes le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
inline Bytes le16(uint32_t v) { return {char(v), char(v >> 8)}; }
inline Bytes safe32(uint32_t v) { return {char(v >> 21 & 0x7F), char(v >> 14 & 0x7F), char(v >> 7 & 0x7F), char(v & 0x7F)}; }
inline Bytes unsync(const Bytes& b) {
  Bytes out;
  for (char c : b) out += c == '\xFF' ? Bytes("\xFF\0", 2) : Bytes(1, c);
  return out;
}

// An ID3v2 frame; in version 4 the size is synchsafe unless plain (as ffmpeg writes CHAP).
inline Bytes frame(const char* id, const Bytes& body, int version, bool plain = false, uint16_t flags = 0) {
  return Bytes(id, 4) + (version == 3 || plain ? be32(body.size()) : safe32(body.size())) +
         le16(flags >> 8 | flags << 8) + body;
}
inline Bytes tit2(const Bytes& text, int version, bool plain = false) { return frame("TIT2", text, version, plain); }
inline Bytes chapBody(const char* element, uint32_t ms, const Bytes& subframes) {
  return Bytes(element) + '\0' + be32(ms) + be32(0xFFFFFFFF) + be32(0xFFFFFFFF) + be32(0xFFFFFFFF) + subframes;
}
inline Bytes chap(const char* element, uint32_t ms, const Bytes& subframes, int version, bool plain = false) {
  return frame("CHAP", chapBody(element, ms, subframes), version, plain);
}
inline Bytes titled(const char* element, uint32_t ms, const Bytes& name, int version) {
  return chap(element, ms, tit2('\0' + name + '\0', version), version);
}
inline Bytes sylt(char enc, char format, const Bytes& entries) {
  return frame("SYLT", Bytes(1, enc) + "eng" + format + '\1' + Bytes(enc == 1 ? 2 : 1, '\0') + entries, 3);
}
inline Bytes tag(int version, const Bytes& frames, uint8_t flags = 0) {
  return Bytes("ID3") + char(version) + '\0' + char(flags) + safe32(frames.size()) + frames;
}
inline Bytes repeat(const Bytes& b, int count) {
  Bytes out;
  while (count-- > 0) out += b;
  return out;
}
// MPEG-1 Layer III, 128 kbit/s, 44100 Hz, joint stereo: 417-byte frames of 1152 samples.
inline const Bytes kMpeg1 = repeat(Bytes("\xFF\xFB\x90\x64", 4) + Bytes(413, '\0'), 3);
// MPEG-2 Layer III, 64 kbit/s, 24000 Hz, mono: 192-byte frames of 576 samples.
inline const Bytes kMpeg2 = repeat(Bytes("\xFF\xF3\x84\xC0", 4) + Bytes(188, '\0'), 3);

inline Bytes chunk(const char* id, const Bytes& body, uint32_t claimed = 0) {
  return Bytes(id, 4) + le32(claimed ? claimed : body.size()) + body + Bytes(body.size() & 1, '\0');
}
inline Bytes wave(const Bytes& chunks) { return "RIFF" + le32(4 + chunks.size()) + "WAVE" + chunks; }
inline Bytes fmt(uint16_t format, uint16_t channels, uint32_t rate, uint16_t bits = 16) {
  return chunk(
      "fmt ", le16(format) + le16(channels) + le32(rate) + le32(rate * channels * 2) + le16(channels * 2) + le16(bits));
}
inline Bytes cuePoint(uint32_t id, uint32_t position, const char* chunkId, uint32_t blockStart, uint32_t offset) {
  return le32(id) + le32(position) + chunkId + le32(0) + le32(blockStart) + le32(offset);
}
inline Bytes labl(uint32_t id, const Bytes& text) { return chunk("labl", le32(id) + text); }
inline const Bytes kPcm = chunk("data", Bytes(16, '\1'));

struct Cue {
  uint32_t sample;
  std::string name;
};

// A 16-bit PCM WAVE of `frames` frames, sample i (interleaved) of `sample`, with a cue and a label per marker.
template <typename Sample>
inline Bytes pcmWave(uint32_t rate, uint16_t channels, uint32_t frames, const std::vector<Cue>& cues, Sample sample) {
  Bytes data, points, labels;
  for (uint32_t i = 0; i < frames * channels; ++i) data += le16(static_cast<uint16_t>(sample(i)));
  for (uint32_t i = 0; i < cues.size(); ++i) {
    points += cuePoint(i + 1, 0, "data", 0, cues[i].sample);
    labels += labl(i + 1, cues[i].name + '\0');
  }
  return wave(fmt(1, channels, rate) + chunk("data", data) + chunk("cue ", le32(cues.size()) + points) +
              chunk("LIST", "adtl" + labels));
}

// A quiet tone.
inline Bytes toneWave(uint32_t rate, uint16_t channels, uint32_t frames, const std::vector<Cue>& cues) {
  return pcmWave(rate, channels, frames, cues, [](uint32_t i) { return int16_t(1000 * std::sin(i * 0.05)); });
}

}  // namespace music_files
