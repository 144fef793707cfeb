// The MP3 decoder on libmpg123, fed with bytes. It trims the encoder's delay and padding itself
// (gapless, from the LAME tag), so nothing is left for the caller to cut.
#include "platform/mp3_decoder.h"

#include <mpg123.h>

struct Mp3Decoder {
  mpg123_handle* handle = nullptr;
  bool ended = false;
  int rate = 0;
  int channels = 0;
  int nextRate = 0;  // a new format met after frames of the old one, told at the next read
  int nextChannels = 0;
};

Mp3Decoder* mp3Open() {
  Mp3Decoder* decoder = new Mp3Decoder;
  decoder->handle = mpg123_new(nullptr, nullptr);
  if (!decoder->handle) {
    delete decoder;
    return nullptr;
  }
  mpg123_param(decoder->handle, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
  mpg123_format_none(decoder->handle);
  const long* rates = nullptr;
  size_t rateCount = 0;
  mpg123_rates(&rates, &rateCount);
  for (size_t i = 0; i < rateCount; ++i)
    mpg123_format(decoder->handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  if (mpg123_open_feed(decoder->handle) != MPG123_OK) {
    mp3Close(decoder);
    return nullptr;
  }
  return decoder;
}

bool mp3Feed(Mp3Decoder* decoder, const uint8_t* bytes, size_t size) {
  if (!bytes || size == 0) {
    decoder->ended = true;
    return true;
  }
  return mpg123_feed(decoder->handle, bytes, size) == MPG123_OK;
}

Mp3Result mp3Read(Mp3Decoder* decoder, int16_t* out, uint32_t maxFrames, uint32_t* frames) {
  *frames = 0;
  if (decoder->nextChannels > 0) {
    decoder->rate = decoder->nextRate;
    decoder->channels = decoder->nextChannels;
    decoder->nextChannels = 0;
    return Mp3Result::frames;
  }
  // Until the format is known, room for mono frames only: the buffer holds maxFrames stereo frames.
  const int channels = decoder->channels > 0 ? decoder->channels : 1;
  size_t bytes = 0;
  const int result = mpg123_read(decoder->handle, out, static_cast<size_t>(maxFrames) * channels * 2, &bytes);
  if (result == MPG123_NEW_FORMAT) {
    long rate = 0;
    int newChannels = 0, encoding = 0;
    if (mpg123_getformat(decoder->handle, &rate, &newChannels, &encoding) != MPG123_OK ||
        encoding != MPG123_ENC_SIGNED_16 || newChannels < 1 || newChannels > 2)
      return Mp3Result::failed;
    // Frames of the old format may come with the news of the new one: they go out first, in their format.
    *frames = decoder->channels > 0 ? static_cast<uint32_t>(bytes / (2u * decoder->channels)) : 0;
    if (*frames > 0) {
      decoder->nextRate = static_cast<int>(rate);
      decoder->nextChannels = newChannels;
    } else {
      decoder->rate = static_cast<int>(rate);
      decoder->channels = newChannels;
    }
    return Mp3Result::frames;
  }
  if (decoder->channels > 0) *frames = static_cast<uint32_t>(bytes / (2u * decoder->channels));
  if (*frames > 0) return Mp3Result::frames;
  if (result == MPG123_DONE) return Mp3Result::done;
  if (result == MPG123_NEED_MORE) return decoder->ended ? Mp3Result::done : Mp3Result::needMore;
  if (result == MPG123_OK) return Mp3Result::frames;
  return Mp3Result::failed;
}

bool mp3Format(Mp3Decoder* decoder, int* rate, int* channels) {
  if (decoder->channels <= 0) return false;
  *rate = decoder->rate;
  *channels = decoder->channels;
  return true;
}

void mp3Trim(Mp3Decoder*, uint32_t* lead, uint32_t* padding) {
  *lead = 0;
  *padding = 0;
}

void mp3Close(Mp3Decoder* decoder) {
  if (!decoder) return;
  if (decoder->handle) {
    mpg123_close(decoder->handle);
    mpg123_delete(decoder->handle);
  }
  delete decoder;
}
