// The sound layer on SDL2 audio: libmpg123 decodes on a thread of its own into the stream buffer,
// the output callback only copies, and a sync thread calls each marker out when it is heard.
#include "music/sound.h"

#include <SDL.h>
#include <mpg123.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "gfx/file_map.h"
#include "music/markers.h"
#include "music/playhead.h"

struct SoundStream {
  MappedFile file;
  MusicFileInfo info;
  uint64_t readAt = 0;  // bytes of the payload given to the decoder (or copied, for PCM)
  mpg123_handle* decoder = nullptr;
  SDL_AudioStream* converter = nullptr;  // only when the file's rate or channels differ from the output's
  bool sourceDone = false;

  // The stream buffer: decoded output frames (stereo, 16-bit), one writer and one reader.
  std::vector<int16_t> ring;
  uint64_t ringFrames = 0;
  std::atomic<uint64_t> written{0};
  std::atomic<uint64_t> consumed{0};
  std::atomic<bool> decodeDone{false};  // written is then the length of the music in output frames

  std::vector<Marker> markers;  // positions in output frames
  Playhead playhead;
  SyncCursor cursor;
  SoundCallback syncCallback = nullptr;
  void* syncUser = nullptr;
  SoundCallback endCallback = nullptr;
  void* endUser = nullptr;

  std::atomic<bool> stop{false};
  std::thread decodeThread;
  std::thread syncThread;
};

namespace {

constexpr int outputChannels = 2;
constexpr int devicePeriod = 512;  // frames per output buffer: about 12 ms at 44.1 kHz

SDL_AudioDeviceID device = 0;
int deviceRate = 44100;
int bufferMilliseconds = 1000;
std::atomic<SoundStream*> playing{nullptr};
std::string lastError;

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Runs on the output's thread: copies what is decoded, pads with silence, never waits.
void outputCallback(void*, Uint8* bytes, int length) {
  int16_t* out = reinterpret_cast<int16_t*>(bytes);
  const uint32_t frames = static_cast<uint32_t>(length) / (outputChannels * sizeof(int16_t));
  SoundStream* stream = playing.load(std::memory_order_acquire);
  uint32_t music = 0;
  if (stream) {
    const uint64_t read = stream->consumed.load(std::memory_order_relaxed);
    const uint64_t ready = stream->written.load(std::memory_order_acquire) - read;
    music = static_cast<uint32_t>(std::min<uint64_t>(ready, frames));
    for (uint32_t i = 0; i < music;) {
      const uint64_t at = (read + i) % stream->ringFrames;
      const uint32_t run = static_cast<uint32_t>(std::min<uint64_t>(music - i, stream->ringFrames - at));
      std::memcpy(out + i * outputChannels, &stream->ring[at * outputChannels], run * outputChannels * sizeof(int16_t));
      i += run;
    }
    stream->consumed.store(read + music, std::memory_order_release);
    playheadHandOver(&stream->playhead, music, nowNs());
  }
  std::memset(out + music * outputChannels, 0, (frames - music) * outputChannels * sizeof(int16_t));
}

// mpg123 reads the payload straight from the mapping.
mpg123_ssize_t readPayload(void* handle, void* buffer, size_t size) {
  SoundStream* stream = static_cast<SoundStream*>(handle);
  const uint64_t left = stream->info.audioSize - stream->readAt;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(left, size));
  std::memcpy(buffer, stream->file.data + stream->info.audioOffset + stream->readAt, n);
  stream->readAt += n;
  return static_cast<mpg123_ssize_t>(n);
}

off_t seekPayload(void* handle, off_t offset, int whence) {
  SoundStream* stream = static_cast<SoundStream*>(handle);
  int64_t base = 0;
  if (whence == SEEK_CUR) base = static_cast<int64_t>(stream->readAt);
  if (whence == SEEK_END) base = static_cast<int64_t>(stream->info.audioSize);
  const int64_t to = base + offset;
  if (to < 0 || to > static_cast<int64_t>(stream->info.audioSize)) return -1;
  stream->readAt = static_cast<uint64_t>(to);
  return static_cast<off_t>(to);
}

uint64_t ringSpace(const SoundStream* stream) {
  return stream->ringFrames - (stream->written.load(std::memory_order_relaxed) -
                               stream->consumed.load(std::memory_order_acquire));
}

void pushOutput(SoundStream* stream, const int16_t* frames, uint64_t count) {
  uint64_t at = stream->written.load(std::memory_order_relaxed);
  for (uint64_t i = 0; i < count;) {
    const uint64_t slot = at % stream->ringFrames;
    const uint64_t run = std::min(count - i, stream->ringFrames - slot);
    std::memcpy(&stream->ring[slot * outputChannels], frames + i * outputChannels, run * outputChannels * sizeof(int16_t));
    i += run;
    at += run;
  }
  stream->written.store(at, std::memory_order_release);
}

// Reads up to maxBytes of the file's own samples (16-bit, its rate and channels); 0 at the end.
size_t readSource(SoundStream* stream, uint8_t* buffer, size_t maxBytes) {
  if (stream->sourceDone) return 0;
  size_t got = 0;
  if (stream->decoder) {
    const int result = mpg123_read(stream->decoder, buffer, maxBytes, &got);
    if (result == MPG123_DONE || (result != MPG123_OK && result != MPG123_NEW_FORMAT && got == 0))
      stream->sourceDone = true;
  } else {
    const size_t frameBytes = 2u * stream->info.channels;
    const uint64_t left = stream->info.audioSize - stream->readAt;
    got = static_cast<size_t>(std::min<uint64_t>(left, maxBytes)) / frameBytes * frameBytes;
    std::memcpy(buffer, stream->file.data + stream->info.audioOffset + stream->readAt, got);
    stream->readAt += got;
    if (got == 0) stream->sourceDone = true;
  }
  return got;
}

// Decodes until the stream buffer is full; true once the whole music is in it.
bool decodeAhead(SoundStream* stream) {
  constexpr size_t blockBytes = 16384;
  constexpr uint64_t blockFrames = blockBytes / (outputChannels * sizeof(int16_t));
  alignas(8) uint8_t source[blockBytes];
  alignas(8) int16_t output[blockBytes / sizeof(int16_t)];
  while (!stream->decodeDone.load(std::memory_order_relaxed)) {
    const uint64_t room = ringSpace(stream);
    if (stream->converter && SDL_AudioStreamAvailable(stream->converter) > 0) {
      // What the converter holds goes first, as much as there is room for.
      if (room == 0) return false;
      const int want = static_cast<int>(std::min<uint64_t>(room, blockFrames) * outputChannels * sizeof(int16_t));
      const int made = SDL_AudioStreamGet(stream->converter, output, want);
      if (made > 0) pushOutput(stream, output, static_cast<uint64_t>(made) / (outputChannels * sizeof(int16_t)));
      if (made <= 0) stream->sourceDone = true;  // a converter that fails ends the music
      continue;
    }
    if (stream->sourceDone) {
      stream->decodeDone.store(true, std::memory_order_release);
      break;
    }
    if (!stream->converter && room < blockFrames) return false;
    const size_t got = readSource(stream, source, stream->converter ? blockBytes / 4 : blockBytes);
    if (!stream->converter) {
      pushOutput(stream, reinterpret_cast<int16_t*>(source), got / (outputChannels * sizeof(int16_t)));
    } else {
      if (got > 0 && SDL_AudioStreamPut(stream->converter, source, static_cast<int>(got)) != 0) stream->sourceDone = true;
      if (stream->sourceDone) SDL_AudioStreamFlush(stream->converter);
    }
  }
  return true;
}

void decodeLoop(SoundStream* stream) {
  SDL_SetThreadPriority(SDL_THREAD_PRIORITY_HIGH);  // where allowed; otherwise it runs as it is
  while (!stream->stop.load(std::memory_order_relaxed)) {
    if (decodeAhead(stream)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void callOut(const char* name, void* user) {
  SoundStream* stream = static_cast<SoundStream*>(user);
  if (name && stream->syncCallback) stream->syncCallback(stream, name, 0, stream->syncUser);
  if (!name && stream->endCallback) stream->endCallback(stream, nullptr, 0, stream->endUser);
}

// Wakes when the next marker is due by the heard position, and calls out everything it has reached.
void syncLoop(SoundStream* stream) {
  // As urgent as the output thread: on a busy machine a sync waiting for a core is heard late.
  SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL);
  while (!stream->stop.load(std::memory_order_relaxed)) {
    const uint64_t position = playheadPosition(&stream->playhead, nowNs(), static_cast<uint32_t>(deviceRate));
    const bool endKnown = stream->decodeDone.load(std::memory_order_acquire);
    const uint64_t end = stream->written.load(std::memory_order_acquire);
    const uint64_t wait = syncCatchUp(&stream->cursor, stream->markers.data(), stream->markers.size(), position, end,
                                      endKnown, callOut, stream);
    if (stream->cursor.endCalled) return;
    // Close to the event, sleep just that long; further off, look again soon, as the output may stall.
    int64_t ns = wait == UINT64_MAX ? 5'000'000 : static_cast<int64_t>(wait * 1'000'000'000ull / deviceRate);
    ns = ns > 3'000'000 ? std::min<int64_t>(ns - 2'000'000, 10'000'000) : std::max<int64_t>(ns, 100'000);
    std::this_thread::sleep_for(std::chrono::nanoseconds(ns));
  }
}

bool openDecoder(SoundStream* stream, long* rate, int* channels) {
  stream->decoder = mpg123_new(nullptr, nullptr);
  if (!stream->decoder) return false;
  // Gapless: the encoder's delay and padding (LAME tag) are trimmed, so sample positions are exact.
  mpg123_param(stream->decoder, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
  mpg123_format_none(stream->decoder);
  const long* rates = nullptr;
  size_t rateCount = 0;
  mpg123_rates(&rates, &rateCount);
  for (size_t i = 0; i < rateCount; ++i)
    mpg123_format(stream->decoder, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  if (mpg123_replace_reader_handle(stream->decoder, readPayload, seekPayload, nullptr) != MPG123_OK) return false;
  if (mpg123_open_handle(stream->decoder, stream) != MPG123_OK) return false;
  int encoding = 0;
  return mpg123_getformat(stream->decoder, rate, channels, &encoding) == MPG123_OK &&
         encoding == MPG123_ENC_SIGNED_16;
}

void freeStream(SoundStream* stream) {
  if (stream->decoder) {
    mpg123_close(stream->decoder);
    mpg123_delete(stream->decoder);
  }
  if (stream->converter) SDL_FreeAudioStream(stream->converter);
  unmapFile(&stream->file);
  delete stream;
}

SoundStream* failOpen(SoundStream* stream, const std::string& why) {
  lastError = why;
  freeStream(stream);
  return nullptr;
}

}  // namespace

bool soundInit(int mixRate, int) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    lastError = std::string("no sound output: ") + SDL_GetError();
    return false;
  }
  SDL_AudioSpec want{}, have{};
  want.freq = mixRate;
  want.format = AUDIO_S16SYS;
  want.channels = outputChannels;
  want.samples = devicePeriod;
  want.callback = outputCallback;
  // No changes allowed: SDL converts to whatever the hardware takes, so our frames are always 16-bit stereo.
  device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device == 0) {
    lastError = std::string("cannot open the sound output: ") + SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  deviceRate = have.freq;
  return true;
}

void soundSetBufferSize(int milliseconds) { bufferMilliseconds = std::max(milliseconds, 100); }

SoundStream* soundOpenFile(const char* path) {
  SoundStream* stream = new SoundStream;
  if (!mapFile(path, &stream->file)) return failOpen(stream, std::string("cannot read \"") + path + "\"");
  std::string why;
  if (!readMusicFile(stream->file.data, stream->file.size, &stream->info, &why))
    return failOpen(stream, std::string("\"") + path + "\": " + why);

  long rate = stream->info.sampleRate;
  int channels = stream->info.channels;
  if (stream->info.codec == MusicCodec::mp3) {
    if (!openDecoder(stream, &rate, &channels))
      return failOpen(stream, std::string("\"") + path + "\": the MP3 audio cannot be decoded");
  } else if (stream->info.codec != MusicCodec::pcm16 || channels < 1 || channels > 2 || rate <= 0) {
    return failOpen(stream, std::string("\"") + path + "\": only 16-bit PCM or MP3 audio can be played");
  }
  if (rate != deviceRate || channels != outputChannels) {
    stream->converter = SDL_NewAudioStream(AUDIO_S16SYS, static_cast<Uint8>(channels), static_cast<int>(rate),
                                           AUDIO_S16SYS, outputChannels, deviceRate);
    if (!stream->converter) return failOpen(stream, std::string("cannot convert the audio: ") + SDL_GetError());
  }

  // Marker positions move to the output's rate: that is the clock the listener hears.
  stream->markers = stream->info.markers;
  const uint64_t fileRate = stream->info.sampleRate ? stream->info.sampleRate : static_cast<uint64_t>(rate);
  if (fileRate != static_cast<uint64_t>(deviceRate))
    for (Marker& m : stream->markers) m.sample = (m.sample * deviceRate + fileRate / 2) / fileRate;

  stream->ringFrames = static_cast<uint64_t>(bufferMilliseconds) * deviceRate / 1000;
  stream->ring.assign(stream->ringFrames * outputChannels, 0);
  // The buffer is filled before playback, so the music starts at once with its first sample.
  decodeAhead(stream);
  if (stream->written.load() == 0) return failOpen(stream, std::string("\"") + path + "\" holds no audio");
  return stream;
}

void soundSetEndCallback(SoundStream* stream, SoundCallback callback, void* user) {
  stream->endCallback = callback;
  stream->endUser = user;
}

void soundSetSyncCallback(SoundStream* stream, SoundCallback callback, void* user) {
  stream->syncCallback = callback;
  stream->syncUser = user;
}

void soundPlay(SoundStream* stream) {
  if (!stream || device == 0) return;
  if (!stream->decodeDone.load()) stream->decodeThread = std::thread(decodeLoop, stream);
  stream->syncThread = std::thread(syncLoop, stream);
  playing.store(stream, std::memory_order_release);
  SDL_PauseAudioDevice(device, 0);
}

void soundCloseStream(SoundStream* stream) {
  if (!stream) return;
  if (device != 0) {
    SDL_LockAudioDevice(device);
    playing.store(nullptr, std::memory_order_release);
    SDL_UnlockAudioDevice(device);
    SDL_PauseAudioDevice(device, 1);
  }
  stream->stop.store(true);
  if (stream->syncThread.joinable()) stream->syncThread.join();
  if (stream->decodeThread.joinable()) stream->decodeThread.join();
  freeStream(stream);
}

void soundClose() {
  if (device != 0) SDL_CloseAudioDevice(device);
  device = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

unsigned long long soundPosition(SoundStream* stream) {
  return stream ? playheadPosition(&stream->playhead, nowNs(), static_cast<uint32_t>(deviceRate)) : 0;
}

const char* soundError() { return lastError.c_str(); }
