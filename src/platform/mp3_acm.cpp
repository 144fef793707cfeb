// MP3 decoding on Win32 through the system's ACM codec, with the gapless lead and padding read from the LAME tag.
#include "platform/mp3_decoder.h"

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <cstring>
#include <new>
#include <vector>

namespace {

// Bytes handed to the codec per conversion: more than the longest MP3 frame (1,441 bytes).
constexpr size_t chunkBytes = 4096;
// Room for the PCM of one chunk of the shortest frames, with some to spare for what the codec held back.
constexpr size_t pcmBytes = 512 * 1024;
// The synthesis filter bank of every layer III decoder delays its output by this many samples.
constexpr uint32_t decoderDelay = 529;
// A stream with no frame header this far into it is not MP3.
constexpr size_t searchLimit = 256 * 1024;

struct FrameHeader {
  bool mpeg1 = false;
  int rate = 0;
  int channels = 0;
  int bitrate = 0;        // bits per second
  size_t length = 0;      // bytes of the whole frame
  size_t sideInfo = 0;    // bytes between the header (and its CRC) and the main data
  bool crc = false;
  uint32_t samples = 0;   // per channel
};

// Reads a layer III frame header; false for anything else.
bool readHeader(const uint8_t* b, FrameHeader* h) {
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

uint32_t bigEndian32(const uint8_t* b) {
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

}  // namespace

struct Mp3Decoder {
  std::vector<uint8_t> input;  // fed bytes not yet given to the codec, from inputAt on
  size_t inputAt = 0;
  bool ended = false;

  bool opened = false;
  bool failed = false;
  bool started = false;  // the first conversion has been made
  bool flushed = false;  // the last conversion, which ends the stream, has been made
  FrameHeader first;
  uint32_t lead = 0;
  uint32_t padding = 0;

  HACMSTREAM stream = nullptr;
  ACMSTREAMHEADER header;
  uint8_t source[chunkBytes];
  std::vector<uint8_t> pcm;  // decoded bytes not yet read, from pcmAt on
  size_t pcmAt = 0;
  size_t pcmSize = 0;
};

namespace {

void fillSourceFormat(const FrameHeader& frame, MPEGLAYER3WAVEFORMAT* format) {
  ZeroMemory(format, sizeof *format);
  format->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  format->wfx.nChannels = static_cast<WORD>(frame.channels);
  format->wfx.nSamplesPerSec = static_cast<DWORD>(frame.rate);
  format->wfx.nAvgBytesPerSec = static_cast<DWORD>(frame.bitrate / 8);
  format->wfx.nBlockAlign = 1;
  format->wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  format->wID = MPEGLAYER3_ID_MPEG;
  format->fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
  format->nBlockSize = static_cast<WORD>((frame.mpeg1 ? 144 : 72) * frame.bitrate / frame.rate);
  format->nFramesPerBlock = 1;
  format->nCodecDelay = 0;
}

void fillPcmFormat(const FrameHeader& frame, WAVEFORMATEX* format) {
  ZeroMemory(format, sizeof *format);
  format->wFormatTag = WAVE_FORMAT_PCM;
  format->nChannels = static_cast<WORD>(frame.channels);
  format->nSamplesPerSec = static_cast<DWORD>(frame.rate);
  format->wBitsPerSample = 16;
  format->nBlockAlign = static_cast<WORD>(frame.channels * 2);
  format->nAvgBytesPerSec = format->nSamplesPerSec * format->nBlockAlign;
}

// What the codec puts before and after the music. It decodes every frame it is given, the Info frame at
// the start (silence) included, and its filter bank adds decoderDelay samples of its own; the LAME tag in
// that Info frame says how many samples the encoder put before and after the music.
void readGaplessInfo(Mp3Decoder* d, const uint8_t* frame) {
  const FrameHeader& h = d->first;
  const size_t tag = 4 + (h.crc ? 2 : 0) + h.sideInfo;
  uint32_t encoderDelay = 0, encoderPadding = 0;
  bool infoFrame = false;
  if (tag + 8 <= h.length && (std::memcmp(frame + tag, "Info", 4) == 0 || std::memcmp(frame + tag, "Xing", 4) == 0)) {
    infoFrame = true;
    const uint32_t flags = bigEndian32(frame + tag + 4);
    size_t at = tag + 8;
    if (flags & 1) at += 4;    // frame count
    if (flags & 2) at += 4;    // byte count
    if (flags & 4) at += 100;  // seek table
    if (flags & 8) at += 4;    // quality
    // The LAME extension: a 9-byte encoder name, then 12 bytes, then 12 bits of delay and 12 of padding.
    if (at + 24 <= h.length && frame[at] >= 0x20 && frame[at] < 0x7F) {
      const uint8_t* gap = frame + at + 21;
      encoderDelay = (uint32_t{gap[0]} << 4) | (gap[1] >> 4);
      encoderPadding = (uint32_t{gap[1] & 0x0Fu} << 8) | gap[2];
    }
  }
  d->lead = (infoFrame ? h.samples : 0) + encoderDelay + decoderDelay;
  // The filter bank's delay pushes its last samples out of the final frame: they come out of the padding.
  d->padding = encoderPadding > decoderDelay ? encoderPadding - decoderDelay : 0;
}

// Finds the first frame (after any ID3v2 tag), reads its tags and opens the codec for its format.
Mp3Result openStream(Mp3Decoder* d) {
  const uint8_t* bytes = d->input.data();
  const size_t size = d->input.size();
  size_t at = 0;
  if (size >= 10 && std::memcmp(bytes, "ID3", 3) == 0) {
    const size_t body = (size_t{bytes[6] & 0x7Fu} << 21) | (size_t{bytes[7] & 0x7Fu} << 14) |
                        (size_t{bytes[8] & 0x7Fu} << 7) | (bytes[9] & 0x7Fu);
    at = 10 + body + ((bytes[5] & 0x10) ? 10 : 0);
  } else if (size < 10 && !d->ended) {
    return Mp3Result::needMore;
  }
  for (; at + 4 <= size; ++at) {
    if (at > searchLimit) break;
    FrameHeader h;
    if (!readHeader(bytes + at, &h)) continue;
    // A frame counts when the next one follows where it says (or the stream ends with it).
    if (at + h.length + 4 > size) {
      if (!d->ended) return Mp3Result::needMore;
      if (at + h.length > size) continue;
    } else {
      FrameHeader next;
      if (!readHeader(bytes + at + h.length, &next) || next.rate != h.rate || next.mpeg1 != h.mpeg1) continue;
    }
    d->first = h;
    readGaplessInfo(d, bytes + at);
    d->inputAt = at;

    MPEGLAYER3WAVEFORMAT from;
    WAVEFORMATEX to;
    fillSourceFormat(h, &from);
    fillPcmFormat(h, &to);
    if (acmStreamOpen(&d->stream, nullptr, &from.wfx, &to, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0)
      return Mp3Result::failed;
    d->pcm.resize(pcmBytes);
    ZeroMemory(&d->header, sizeof d->header);
    d->header.cbStruct = sizeof d->header;
    d->header.pbSrc = d->source;
    d->header.cbSrcLength = chunkBytes;
    d->header.pbDst = d->pcm.data();
    d->header.cbDstLength = pcmBytes;
    if (acmStreamPrepareHeader(d->stream, &d->header, 0) != 0) return Mp3Result::failed;
    d->opened = true;
    return Mp3Result::frames;
  }
  return d->ended || size > searchLimit ? Mp3Result::failed : Mp3Result::needMore;
}

// Gives the codec the next chunk (or, at the end, the rest with the end flag) and keeps what it made.
Mp3Result convert(Mp3Decoder* d) {
  const size_t waiting = d->input.size() - d->inputAt;
  const bool last = d->ended && waiting <= chunkBytes;
  if (!last && waiting < chunkBytes) return Mp3Result::needMore;
  const size_t size = last ? waiting : chunkBytes;
  std::memcpy(d->source, d->input.data() + d->inputAt, size);
  d->header.cbSrcLength = static_cast<DWORD>(size);
  d->header.cbDstLength = pcmBytes;
  DWORD flags = d->started ? 0 : ACM_STREAMCONVERTF_START;
  flags |= last ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN;
  d->started = true;
  const MMRESULT result = acmStreamConvert(d->stream, &d->header, flags);
  if (result != 0) {
    // At the very end some codecs refuse an empty or partial last block: what came before stands.
    if (last) {
      d->flushed = true;
      return Mp3Result::done;
    }
    return Mp3Result::failed;
  }
  const size_t used = d->header.cbSrcLengthUsed <= size ? d->header.cbSrcLengthUsed : size;
  d->inputAt += used;
  d->pcmAt = 0;
  d->pcmSize = d->header.cbDstLengthUsed;
  // The end is reached when the codec took the rest, or when it will take no more of it.
  if (last && (used == size || (used == 0 && d->pcmSize == 0))) d->flushed = true;
  // Neither taking nor making anything from a full chunk would never end.
  if (!last && used == 0 && d->pcmSize == 0) return Mp3Result::failed;
  // What the codec took no longer needs keeping.
  if (d->inputAt >= 64 * 1024) {
    d->input.erase(d->input.begin(), d->input.begin() + static_cast<std::ptrdiff_t>(d->inputAt));
    d->inputAt = 0;
  }
  return Mp3Result::frames;
}

}  // namespace

Mp3Decoder* mp3Open() {
  // Only when the system has a codec that takes MP3: asked for a common format without opening it.
  FrameHeader common;
  common.mpeg1 = true;
  common.rate = 44100;
  common.channels = 2;
  common.bitrate = 128000;
  MPEGLAYER3WAVEFORMAT from;
  WAVEFORMATEX to;
  fillSourceFormat(common, &from);
  fillPcmFormat(common, &to);
  if (acmStreamOpen(nullptr, nullptr, &from.wfx, &to, nullptr, 0, 0, ACM_STREAMOPENF_QUERY) != 0) return nullptr;
  return new (std::nothrow) Mp3Decoder;
}

bool mp3Feed(Mp3Decoder* decoder, const uint8_t* bytes, size_t size) {
  if (!decoder || decoder->ended) return false;
  if (!bytes || size == 0) {
    decoder->ended = true;
    return true;
  }
  decoder->input.insert(decoder->input.end(), bytes, bytes + size);
  return true;
}

Mp3Result mp3Read(Mp3Decoder* decoder, int16_t* out, uint32_t maxFrames, uint32_t* frames) {
  *frames = 0;
  if (!decoder || decoder->failed) return Mp3Result::failed;
  for (;;) {
    if (decoder->pcmAt < decoder->pcmSize) {
      const size_t frameBytes = 2u * static_cast<size_t>(decoder->first.channels);
      size_t count = (decoder->pcmSize - decoder->pcmAt) / frameBytes;
      if (count > maxFrames) count = maxFrames;
      std::memcpy(out, decoder->pcm.data() + decoder->pcmAt, count * frameBytes);
      decoder->pcmAt += count * frameBytes;
      *frames = static_cast<uint32_t>(count);
      return Mp3Result::frames;
    }
    Mp3Result result;
    if (!decoder->opened) {
      result = openStream(decoder);
    } else if (decoder->flushed) {
      return Mp3Result::done;
    } else {
      result = convert(decoder);
    }
    if (result == Mp3Result::failed) decoder->failed = true;
    if (result != Mp3Result::frames) return result;
  }
}

bool mp3Format(Mp3Decoder* decoder, int* rate, int* channels) {
  if (!decoder || !decoder->opened) return false;
  *rate = decoder->first.rate;
  *channels = decoder->first.channels;
  return true;
}

void mp3Trim(Mp3Decoder* decoder, uint32_t* lead, uint32_t* padding) {
  *lead = decoder && decoder->opened ? decoder->lead : 0;
  *padding = decoder && decoder->opened ? decoder->padding : 0;
}

void mp3Close(Mp3Decoder* decoder) {
  if (!decoder) return;
  if (decoder->stream) {
    if (decoder->opened) {
      decoder->header.cbSrcLength = chunkBytes;
      decoder->header.cbDstLength = pcmBytes;
      acmStreamUnprepareHeader(decoder->stream, &decoder->header, 0);
    }
    acmStreamClose(decoder->stream, 0);
  }
  delete decoder;
}
