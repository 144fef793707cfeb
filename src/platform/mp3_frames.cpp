// MP3 frame headers and the LAME tag read by hand, for the decoders that need them.
#include "platform/mp3_frames.h"

#include <cstring>

namespace {

// The synthesis filter bank of every layer III decoder delays its output by this many samples.
constexpr uint32_t decoderDelay = 529;

uint32_t bigEndian32(const uint8_t* b) {
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

}  // namespace

bool mp3ReadFrame(const uint8_t* b, Mp3Frame* h) {
  if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return false;
  const int version = (b[1] >> 3) & 3;  // 0: MPEG 2.5, 2: MPEG 2, 3: MPEG 1
  const int layer = (b[1] >> 1) & 3;    // 1: layer III
  const int bitrateIndex = b[2] >> 4;
  const int rateIndex = (b[2] >> 2) & 3;
  if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
  static constexpr int bitrates1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  static constexpr int bitrates2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
  static constexpr int rates1[3] = {44100, 48000, 32000};
  h->mpeg1 = version == 3;
  h->rate = rates1[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
  h->channels = (b[3] >> 6) == 3 ? 1 : 2;
  h->bitrate = (h->mpeg1 ? bitrates1 : bitrates2)[bitrateIndex] * 1000;
  const size_t padding = (b[2] >> 1) & 1;
  h->length = (h->mpeg1 ? 144 : 72) * static_cast<size_t>(h->bitrate) / h->rate + padding;
  h->crc = (b[1] & 1) == 0;
  h->sideInfo = h->mpeg1 ? (h->channels == 1 ? 17 : 32) : (h->channels == 1 ? 9 : 17);
  h->samples = h->mpeg1 ? 1152 : 576;
  return true;
}

bool mp3InfoFrame(const uint8_t* bytes, const Mp3Frame& h) {
  const size_t tag = 4 + (h.crc ? 2 : 0) + h.sideInfo;
  return tag + 8 <= h.length && (std::memcmp(bytes + tag, "Info", 4) == 0 || std::memcmp(bytes + tag, "Xing", 4) == 0);
}

void mp3CodecTrim(const uint8_t* first, const Mp3Frame& h, uint32_t* lead, uint32_t* padding) {
  const size_t tag = 4 + (h.crc ? 2 : 0) + h.sideInfo;
  uint32_t encoderDelay = 0, encoderPadding = 0;
  const bool infoFrame = mp3InfoFrame(first, h);
  if (infoFrame) {
    const uint32_t flags = bigEndian32(first + tag + 4);
    size_t at = tag + 8;
    if (flags & 1) at += 4;    // frame count
    if (flags & 2) at += 4;    // byte count
    if (flags & 4) at += 100;  // seek table
    if (flags & 8) at += 4;    // quality
    // The LAME extension: a 9-byte encoder name, then 12 bytes, then 12 bits of delay and 12 of padding.
    if (at + 24 <= h.length && first[at] >= 0x20 && first[at] < 0x7F) {
      const uint8_t* gap = first + at + 21;
      encoderDelay = (uint32_t{gap[0]} << 4) | (gap[1] >> 4);
      encoderPadding = (uint32_t{gap[1] & 0x0Fu} << 8) | gap[2];
    }
  }
  *lead = (infoFrame ? h.samples : 0) + encoderDelay + decoderDelay;
  // The filter bank's delay pushes its last samples out of the final frame: they come out of the padding.
  *padding = encoderPadding > decoderDelay ? encoderPadding - decoderDelay : 0;
}

size_t mp3FormatHoldsUntil(const uint8_t* bytes, size_t size, size_t at, const Mp3Frame& format, bool ended,
                           Mp3Frame* changed) {
  changed->rate = 0;
  for (size_t p = at; p + 4 <= size; ++p) {
    Mp3Frame h;
    if (!mp3ReadFrame(bytes + p, &h)) continue;
    const size_t end = p + h.length;
    if (end > size) {
      if (!ended) return at;  // not wholly there yet
      continue;
    }
    // A frame where the one before said the next starts is one; a header found past bytes that are no frame
    // counts only when the header after it agrees (or it ends the stream), as sync words occur in tags.
    if (p != at) {
      Mp3Frame next;
      if (end + 4 > size) {
        if (!ended) return at;
        if (end != size) continue;
      } else if (!mp3ReadFrame(bytes + end, &next) || next.rate != h.rate || next.channels != h.channels) {
        continue;
      }
    }
    if (h.rate != format.rate || h.channels != format.channels) {
      *changed = h;
      return at;
    }
    at = end;
    p = end - 1;
  }
  return ended ? size : at;
}

void pcmAppend(PcmBytes* pcm, const uint8_t* bytes, size_t size) {
  pcm->bytes.erase(pcm->bytes.begin(), pcm->bytes.begin() + static_cast<std::ptrdiff_t>(pcm->at));
  pcm->at = 0;
  pcm->bytes.insert(pcm->bytes.end(), bytes, bytes + size);
}

uint32_t pcmTake(PcmBytes* pcm, uint8_t* out, uint32_t maxFrames, size_t frameBytes) {
  size_t count = (pcm->bytes.size() - pcm->at) / frameBytes;
  if (count > maxFrames) count = maxFrames;
  std::memcpy(out, pcm->bytes.data() + pcm->at, count * frameBytes);
  pcm->at += count * frameBytes;
  return static_cast<uint32_t>(count);
}

PcmNext pcmNext(const PcmBytes& pcm, size_t frameBytes, bool flushed) {
  if (pcm.bytes.size() - pcm.at >= frameBytes) return PcmNext::read;
  return flushed ? PcmNext::done : PcmNext::convert;
}
