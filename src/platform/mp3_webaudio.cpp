// MP3 decoding in a browser: the browser's own decoder (Web Audio's decodeAudioData), which runs only
// asynchronously, so the page decodes "demo.mp3" before the program starts and this hands its samples
// out as the stream is read. The browser has already cut the encoder delay and padding off by the LAME
// tag, so nothing is left to trim; the bytes fed are the same file's and are only counted.
#include "platform/mp3_decoder.h"

#include <emscripten.h>

struct Mp3Decoder {
  uint32_t readFrames = 0;  // of the decoded music, handed out so far
  bool formatTold = false;  // the first read tells the format, even of music with no frames
  bool fedAll = false;
};

namespace {
Mp3Decoder theDecoder;  // one stream at a time: there is one decoded music
}

// The decoded music's rate and channels (Module.vostrelMusic, an AudioBuffer), 0 without one.
EM_JS(int, decodedRate, (), { return Module['vostrelMusic'] ? Module['vostrelMusic'].sampleRate : 0; });
EM_JS(int, decodedChannels, (), { return Module['vostrelMusic'] ? Module['vostrelMusic'].numberOfChannels : 0; });

// Copies up to maxFrames interleaved 16-bit frames from `from` on; returns how many.
EM_JS(uint32_t, copyDecoded, (uint32_t from, int16_t* out, uint32_t maxFrames), {
  var music = Module['vostrelMusic'];
  var channels = music.numberOfChannels;
  var count = Math.max(0, Math.min(maxFrames, music.length - from));
  var at = out >> 1;
  for (var c = 0; c < channels; ++c) {
    var data = music.getChannelData(c);
    for (var i = 0; i < count; ++i) {
      var s = Math.round(data[from + i] * 32768);
      HEAP16[at + i * channels + c] = s > 32767 ? 32767 : s < -32768 ? -32768 : s;
    }
  }
  return count;
});

Mp3Decoder* mp3Open() {
  theDecoder = Mp3Decoder{};
  return &theDecoder;
}

bool mp3Feed(Mp3Decoder* decoder, const uint8_t* bytes, size_t size) {
  if (!bytes || size == 0) decoder->fedAll = true;
  return true;
}

Mp3Result mp3Read(Mp3Decoder* decoder, int16_t* out, uint32_t maxFrames, uint32_t* frames) {
  *frames = 0;
  if (decodedRate() <= 0) return Mp3Result::failed;  // the page could not decode it
  *frames = copyDecoded(decoder->readFrames, out, maxFrames);
  decoder->readFrames += *frames;
  if (*frames > 0 || !decoder->formatTold) {
    decoder->formatTold = true;
    return Mp3Result::frames;
  }
  // Everything is out; the stream ends once its last bytes have been fed, as with any decoder.
  return decoder->fedAll ? Mp3Result::done : Mp3Result::needMore;
}

bool mp3Format(Mp3Decoder*, int* rate, int* channels) {
  *rate = decodedRate();
  *channels = decodedChannels();
  return *rate > 0;
}

void mp3Trim(Mp3Decoder*, uint32_t* lead, uint32_t* padding) {
  *lead = 0;
  *padding = 0;
}

void mp3Close(Mp3Decoder*) {}
