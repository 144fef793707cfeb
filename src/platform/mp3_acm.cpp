// MP3 decoding on Win32 through the system's ACM codec, with the gapless lead and padding read from the LAME tag.
#include "platform/mp3_decoder.h"

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/failure.h"
#include "platform/mp3_frames.h"

namespace {

// Bytes handed to the codec per conversion: more than the longest MP3 frame (1,441 bytes).
constexpr size_t chunkBytes = 4096;
// Room for the PCM of one chunk of the shortest frames, with some to spare for what the codec held back.
constexpr size_t pcmBytes = 512 * 1024;
// A stream with no frame header this far into it is not MP3.
constexpr size_t searchLimit = 256 * 1024;

}  // namespace

struct Mp3Decoder {
  std::vector<uint8_t> input;  // fed bytes not yet given to the codec, from inputAt on
  size_t inputAt = 0;
  bool ended = false;

  bool opened = false;
  bool failed = false;
  bool started = false;  // the first conversion has been made
  bool flushed = false;  // the last conversion, which ends the stream, has been made
  Mp3Frame first;
  uint32_t lead = 0;
  uint32_t padding = 0;

  // The codec is opened for the first frame's rate and channels. Frames are checked up to checkedTo; a frame of
  // another format (changed) comes at changeAt, where the conversion ends: the codec would play it garbled.
  size_t checkedTo = 0;
  size_t changeAt = SIZE_MAX;
  Mp3Frame changed;

  HACMSTREAM stream = nullptr;
  ACMSTREAMHEADER header;
  uint8_t source[chunkBytes];
  std::vector<uint8_t> converted;  // the codec's output buffer
  PcmBytes pcm;                    // decoded bytes not yet read
};

namespace {

void fillSourceFormat(const Mp3Frame& frame, MPEGLAYER3WAVEFORMAT* format) {
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

void fillPcmFormat(const Mp3Frame& frame, WAVEFORMATEX* format) {
  ZeroMemory(format, sizeof *format);
  format->wFormatTag = WAVE_FORMAT_PCM;
  format->nChannels = static_cast<WORD>(frame.channels);
  format->nSamplesPerSec = static_cast<DWORD>(frame.rate);
  format->wBitsPerSample = 16;
  format->nBlockAlign = static_cast<WORD>(frame.channels * 2);
  format->nAvgBytesPerSec = format->nSamplesPerSec * format->nBlockAlign;
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
    Mp3Frame h;
    if (!mp3ReadFrame(bytes + at, &h)) continue;
    // A frame counts when the next one follows where it says (or the stream ends with it).
    if (at + h.length + 4 > size) {
      if (!d->ended) return Mp3Result::needMore;
      if (at + h.length > size) continue;
    } else {
      Mp3Frame next;
      if (!mp3ReadFrame(bytes + at + h.length, &next) || next.rate != h.rate || next.mpeg1 != h.mpeg1) continue;
    }
    d->first = h;
    mp3CodecTrim(bytes + at, h, &d->lead, &d->padding);
    d->inputAt = at;
    d->checkedTo = at;

    MPEGLAYER3WAVEFORMAT from;
    WAVEFORMATEX to;
    fillSourceFormat(h, &from);
    fillPcmFormat(h, &to);
    if (acmStreamOpen(&d->stream, nullptr, &from.wfx, &to, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0)
      return Mp3Result::failed;
    d->converted.resize(pcmBytes);
    ZeroMemory(&d->header, sizeof d->header);
    d->header.cbStruct = sizeof d->header;
    d->header.pbSrc = d->source;
    d->header.cbSrcLength = chunkBytes;
    d->header.pbDst = d->converted.data();
    d->header.cbDstLength = pcmBytes;
    if (acmStreamPrepareHeader(d->stream, &d->header, 0) != 0) return Mp3Result::failed;
    d->opened = true;
    return Mp3Result::frames;
  }
  return d->ended || size > searchLimit ? Mp3Result::failed : Mp3Result::needMore;
}

// Gives the codec the next chunk (or, at the end, the rest with the end flag) and keeps what it made. The end
// is where the stream ends, or where a frame of another format starts.
Mp3Result convert(Mp3Decoder* d) {
  if (d->changeAt == SIZE_MAX) {
    const size_t held =
        mp3FormatHoldsUntil(d->input.data(), d->input.size(), d->checkedTo, d->first, d->ended, &d->changed);
    d->checkedTo = held;
    if (d->changed.rate != 0) d->changeAt = held;
  }
  const size_t end = d->changeAt != SIZE_MAX ? d->changeAt : d->ended ? d->input.size() : d->checkedTo;
  const size_t waiting = end - d->inputAt;
  const bool last = (d->ended || d->changeAt != SIZE_MAX) && waiting <= chunkBytes;
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
      return Mp3Result::frames;
    }
    return Mp3Result::failed;
  }
  const size_t used = d->header.cbSrcLengthUsed <= size ? d->header.cbSrcLengthUsed : size;
  const size_t made = d->header.cbDstLengthUsed <= pcmBytes ? d->header.cbDstLengthUsed : pcmBytes;
  d->inputAt += used;
  pcmAppend(&d->pcm, d->converted.data(), made);
  // The end is reached when the codec took the rest, or when it will take no more of it.
  if (last && (used == size || (used == 0 && made == 0))) d->flushed = true;
  // Neither taking nor making anything from a full chunk would never end.
  if (!last && used == 0 && made == 0) return Mp3Result::failed;
  // What the codec took no longer needs keeping.
  if (d->inputAt >= 64 * 1024) {
    d->input.erase(d->input.begin(), d->input.begin() + static_cast<std::ptrdiff_t>(d->inputAt));
    d->checkedTo -= d->inputAt;
    if (d->changeAt != SIZE_MAX) d->changeAt -= d->inputAt;
    d->inputAt = 0;
  }
  return Mp3Result::frames;
}

// The codec has made all it will: the end of the stream, or of the part in the first frame's format.
Mp3Result finish(Mp3Decoder* d) {
  if (d->changeAt == SIZE_MAX) return Mp3Result::done;
  char line[160];
  std::snprintf(line, sizeof line, "the MP3 changes from %d Hz %s to %d Hz %s within the stream; it ends there",
                d->first.rate, d->first.channels == 1 ? "mono" : "stereo", d->changed.rate,
                d->changed.channels == 1 ? "mono" : "stereo");
  showFailure(FailureStyle::line, line);
  return Mp3Result::failed;
}

}  // namespace

Mp3Decoder* mp3Open() {
  // Only when the system has a codec that takes MP3: asked for a common format without opening it.
  Mp3Frame common;
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
    Mp3Result result;
    if (!decoder->opened) {
      result = openStream(decoder);
    } else {
      // Only whole frames are handed out: a part of one waits for the rest, so no read returns nothing for ever.
      const size_t frameBytes = 2u * static_cast<size_t>(decoder->first.channels);
      switch (pcmNext(decoder->pcm, frameBytes, decoder->flushed)) {
        case PcmNext::read:
          *frames = pcmTake(&decoder->pcm, reinterpret_cast<uint8_t*>(out), maxFrames, frameBytes);
          return Mp3Result::frames;
        case PcmNext::done:
          result = finish(decoder);
          break;
        case PcmNext::convert:
          result = convert(decoder);
          break;
      }
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
