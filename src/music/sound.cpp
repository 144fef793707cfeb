// The sound core: the file's audio decoded ahead into the stream buffer on a thread of its own, the
// output's pulls only copying from it, and a marker thread calling each marker out when it is heard.
#include "music/sound.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "music/markers.h"
#include "music/playhead.h"
#include "music/resample.h"
#include "platform/audio_out.h"
#include "platform/failure.h"
#include "platform/file_map.h"
#include "platform/mp3_decoder.h"
#include "platform/threads.h"

namespace {

constexpr uint32_t blockFrames = 4096;  // source frames decoded at a time
constexpr uint64_t decodeRoom = 8192;   // output frames of room worth waking the decoder for
constexpr size_t feedBytes = 16384;     // MP3 bytes given to the decoder at a time

}  // namespace

struct SoundStream {
  std::string quoted;  // the file's name in quotes, for the lines that speak of it
  MappedFile file;
  MusicFileInfo info;
  uint64_t readAt = 0;  // bytes of the payload given to the decoder (or copied, for PCM)
  Mp3Decoder* decoder = nullptr;
  bool decodeFailed = false;
  bool sourceDone = false;

  // The source's own format, once known, and what of the decoder's output is not music.
  bool formatKnown = false;
  uint32_t sourceChannels = 0;
  uint32_t leadLeft = 0;         // frames still to drop at the start
  uint32_t padding = 0;          // frames to drop at the end: held back until more come
  std::vector<int16_t> held;     // the latest `padding` frames, not yet known to be music
  Resampler resampler;
  std::vector<int16_t> pendingOut;  // output frames made but not yet in the stream buffer

  // The stream buffer: output frames (stereo, 16-bit), one writer and one reader.
  std::vector<int16_t> ring;
  uint64_t ringFrames = 0;
  std::atomic<uint64_t> written{0};
  std::atomic<uint64_t> consumed{0};
  std::atomic<bool> decodeDone{false};  // written is then the length of the music in output frames

  std::vector<Marker> markers;  // positions in output frames
  uint64_t endSlack = 0;        // output frames past the end whose markers are still the end's
  PullLog log;
  MarkerCursor cursor;
  // The sync points called out so far, and the frames by which they came after their own frame: in total, at
  // worst, and each of the first `lateKept` (the count is raised only after its entry is written).
  std::atomic<uint32_t> lateCount{0};
  std::atomic<uint64_t> lateTotal{0};
  std::atomic<uint64_t> lateWorst{0};
  std::unique_ptr<std::atomic<uint32_t>[]> lateEach;
  uint32_t lateKept = 0;
  SoundCallback syncCallback = nullptr;
  void* syncUser = nullptr;
  SoundCallback endCallback = nullptr;
  void* endUser = nullptr;

  std::atomic<bool> stop{false};
  WakeEvent* decodeWake = nullptr;  // signalled at each pull: there may be room
  PlatformThread* decodeThread = nullptr;
  PlatformThread* markerThread = nullptr;
  bool pumped = false;  // playing with a thread missing: soundPump does its work
};

namespace {

int outputRate = 44100;
int bufferMilliseconds = 1000;

// Runs on the output's thread: copies what is decoded, pads with silence, never waits.
void pullMusic(int16_t* out, uint32_t frames, void* user) {
  SoundStream* stream = static_cast<SoundStream*>(user);
  const uint64_t read = stream->consumed.load(std::memory_order_relaxed);
  const uint64_t ready = stream->written.load(std::memory_order_acquire) - read;
  const uint32_t music = static_cast<uint32_t>(std::min<uint64_t>(ready, frames));
  for (uint32_t i = 0; i < music;) {
    const uint64_t at = (read + i) % stream->ringFrames;
    const uint32_t run = static_cast<uint32_t>(std::min<uint64_t>(music - i, stream->ringFrames - at));
    std::memcpy(out + i * 2, &stream->ring[at * 2], run * 2 * sizeof(int16_t));
    i += run;
  }
  std::memset(out + music * 2, 0, (frames - music) * 2 * sizeof(int16_t));
  stream->consumed.store(read + music, std::memory_order_release);
  pullLogRecord(&stream->log, read, music, frames);
  // The decoder waits for room for a whole block; it is not woken for less.
  if (stream->ringFrames - (stream->written.load(std::memory_order_relaxed) - read - music) >= decodeRoom)
    wakeEventSignal(stream->decodeWake);
}

// The music frame being heard: the output frames pulled, less those it has not played yet.
uint64_t heardPosition(const SoundStream* stream) {
  // Pulled first: a pull's frames count as unplayed before they count as pulled.
  const uint64_t pulled = stream->log.outputFrames.load(std::memory_order_acquire);
  const uint64_t unplayed = audioOutUnplayed();
  return pullLogMusicAt(&stream->log, pulled > unplayed ? pulled - unplayed : 0);
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
    std::memcpy(&stream->ring[slot * 2], frames + i * 2, run * 2 * sizeof(int16_t));
    i += run;
    at += run;
  }
  stream->written.store(at, std::memory_order_release);
}

void startConversion(SoundStream* stream, int rate, int channels) {
  stream->formatKnown = true;
  stream->sourceChannels = static_cast<uint32_t>(channels);
  resamplerStart(&stream->resampler, static_cast<uint32_t>(rate), static_cast<uint32_t>(outputRate),
                 stream->sourceChannels);
}

// A stream joined from files of other rates or channels: what came in the old format is music and is converted
// to its end, and conversion starts again from the new format, so the music keeps its length and its markers
// their times.
void changeFormat(SoundStream* stream, int rate, int channels) {
  const uint32_t heldFrames = static_cast<uint32_t>(stream->held.size() / stream->sourceChannels);
  resamplerPush(&stream->resampler, stream->held.data(), heldFrames, true, &stream->pendingOut);
  stream->held.clear();
  startConversion(stream, rate, channels);
}

// Drops the lead and holds the padding back: of `count` decoded frames, what is known to be music goes to out.
uint32_t trimDecoded(SoundStream* stream, const int16_t* frames, uint32_t count, int16_t* out) {
  const uint32_t channels = stream->sourceChannels;
  const uint32_t skip = std::min(count, stream->leadLeft);
  stream->leadLeft -= skip;
  stream->held.insert(stream->held.end(), frames + skip * channels, frames + count * channels);
  const size_t heldFrames = stream->held.size() / channels;
  const uint32_t ready = heldFrames > stream->padding ? static_cast<uint32_t>(heldFrames - stream->padding) : 0;
  std::copy_n(stream->held.begin(), ready * channels, out);
  stream->held.erase(stream->held.begin(), stream->held.begin() + static_cast<std::ptrdiff_t>(ready * channels));
  return ready;
}

// Reads up to blockFrames of the file's own music frames into out; 0 at the end.
uint32_t readSource(SoundStream* stream, int16_t* out) {
  if (stream->sourceDone) return 0;
  if (!stream->decoder) {
    const uint64_t frameBytes = 2u * stream->info.channels;
    const uint64_t left = (stream->info.audioSize - stream->readAt) / frameBytes;
    const uint32_t frames = static_cast<uint32_t>(std::min<uint64_t>(left, blockFrames));
    std::memcpy(out, stream->file.data + stream->info.audioOffset + stream->readAt, frames * frameBytes);
    stream->readAt += frames * frameBytes;
    if (frames == 0) stream->sourceDone = true;
    return frames;
  }
  alignas(8) int16_t decoded[blockFrames * 2];
  for (;;) {
    uint32_t frames = 0;
    switch (mp3Read(stream->decoder, decoded, blockFrames, &frames)) {
      case Mp3Result::frames: {
        int rate = 0, channels = 0;
        if (!stream->formatKnown && mp3Format(stream->decoder, &rate, &channels)) {
          startConversion(stream, rate, channels);
          mp3Trim(stream->decoder, &stream->leadLeft, &stream->padding);
        } else if (mp3Format(stream->decoder, &rate, &channels) &&
                   (static_cast<uint32_t>(rate) != stream->resampler.from ||
                    static_cast<uint32_t>(channels) != stream->sourceChannels)) {
          changeFormat(stream, rate, channels);
        }
        if (frames == 0) break;
        const uint32_t music = trimDecoded(stream, decoded, frames, out);
        if (music > 0) return music;
        break;
      }
      case Mp3Result::needMore: {
        const uint64_t left = stream->info.audioSize - stream->readAt;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, feedBytes));
        const uint8_t* bytes = stream->file.data + stream->info.audioOffset + stream->readAt;
        stream->readAt += n;
        if (!mp3Feed(stream->decoder, n > 0 ? bytes : nullptr, n)) {
          stream->decodeFailed = true;
          stream->sourceDone = true;
          return 0;
        }
        break;
      }
      case Mp3Result::failed:
        stream->decodeFailed = true;
        stream->sourceDone = true;
        return 0;
      case Mp3Result::done:
        stream->sourceDone = true;  // what is still held back is the padding
        return 0;
    }
  }
}

// Decodes until the stream buffer is full; true once the whole music is in it.
bool decodeAhead(SoundStream* stream) {
  alignas(8) int16_t source[blockFrames * 2];
  while (!stream->decodeDone.load(std::memory_order_relaxed)) {
    if (!stream->pendingOut.empty()) {
      const uint64_t room = ringSpace(stream);
      if (room == 0) return false;
      const uint64_t frames = std::min<uint64_t>(room, stream->pendingOut.size() / 2);
      pushOutput(stream, stream->pendingOut.data(), frames);
      stream->pendingOut.erase(stream->pendingOut.begin(),
                               stream->pendingOut.begin() + static_cast<std::ptrdiff_t>(frames * 2));
      continue;
    }
    if (stream->sourceDone) {
      stream->decodeDone.store(true, std::memory_order_release);
      break;
    }
    const uint32_t frames = readSource(stream, source);
    if (stream->formatKnown)
      resamplerPush(&stream->resampler, source, frames, stream->sourceDone, &stream->pendingOut);
  }
  return true;
}

void decodeLoop(void* argument) {
  SoundStream* stream = static_cast<SoundStream*>(argument);
  while (!stream->stop.load(std::memory_order_relaxed)) {
    if (decodeAhead(stream)) return;
    // Woken by the output when there is room; the time limit only guards against a lost wake-up.
    wakeEventWait(stream->decodeWake, 500);
  }
}

void callOut(const char* name, void* user) {
  SoundStream* stream = static_cast<SoundStream*>(user);
  if (name) {  // the cursor still points at the marker being called
    const uint64_t at = stream->markers[stream->cursor.next].sample, heard = heardPosition(stream);
    const uint64_t late = heard > at ? heard - at : 0;
    stream->lateTotal.fetch_add(late, std::memory_order_relaxed);
    if (late > stream->lateWorst.load(std::memory_order_relaxed)) stream->lateWorst.store(late, std::memory_order_relaxed);
    const uint32_t n = stream->lateCount.load(std::memory_order_relaxed);
    if (n < stream->lateKept) stream->lateEach[n].store(static_cast<uint32_t>(std::min<uint64_t>(late, UINT32_MAX)));
    stream->lateCount.store(n + 1, std::memory_order_release);
  }
  if (name && stream->syncCallback) stream->syncCallback(stream, name, stream->syncUser);
  if (!name && stream->endCallback) stream->endCallback(stream, nullptr, stream->endUser);
}

// One line when music that stopped early has been heard to its end: where it stopped, and what it never reached.
void tellEarlyEnd(const SoundStream* stream, uint64_t end) {
  const unsigned long long ms = end * 1000 / static_cast<uint64_t>(outputRate);
  char text[1024];
  std::snprintf(text, sizeof text, "%s: the music stopped at %llu:%02llu.%03llu, %s; %llu sync points never reached",
                stream->quoted.c_str(), ms / 60000, ms / 1000 % 60, ms % 1000,
                stream->decodeFailed ? "where its audio cannot be decoded" : "where the file is cut off",
                static_cast<unsigned long long>(stream->markers.size() - stream->cursor.next));
  showFailure(FailureStyle::line, text);
}

// Calls out everything the heard position has reached, and at the end of music that stopped early says where;
// returns the frames until the next event, or UINT64_MAX when none remains.
uint64_t markerStep(SoundStream* stream) {
  const uint64_t position = heardPosition(stream);
  const bool endKnown = stream->decodeDone.load(std::memory_order_acquire);
  const uint64_t end = stream->written.load(std::memory_order_acquire);
  // Music that stopped early ends where it stopped: the markers it never reached are not its end's.
  const bool early = endKnown && (stream->info.cut || stream->decodeFailed);
  const uint64_t wait = callHeardMarkers(&stream->cursor, stream->markers.data(), stream->markers.size(), position,
                                         end, early ? 0 : stream->endSlack, endKnown, callOut, stream);
  if (stream->cursor.endCalled && early) tellEarlyEnd(stream, end);
  return wait;
}

// Wakes when the next marker is due by the heard position, and calls out everything it has reached.
void markerLoop(void* argument) {
  SoundStream* stream = static_cast<SoundStream*>(argument);
  while (!stream->stop.load(std::memory_order_relaxed)) {
    const uint64_t wait = markerStep(stream);
    if (stream->cursor.endCalled) return;
    // Close to the event, sleep just that long; further off, look again soon, as the output may stall.
    uint64_t us = wait == UINT64_MAX ? 5000 : wait * 1'000'000ull / static_cast<uint64_t>(outputRate);
    us = us > 3000 ? std::min<uint64_t>(us - 2000, 10000) : std::max<uint64_t>(us, 100);
    sleepMicroseconds(static_cast<uint32_t>(us));
  }
}

void freeStream(SoundStream* stream) {
  mp3Close(stream->decoder);
  unmapFile(&stream->file);
  wakeEventDestroy(stream->decodeWake);
  delete stream;
}

SoundStream* failOpen(SoundStream* stream, const std::string& why) {
  showFailure(FailureStyle::line, why.c_str());
  freeStream(stream);
  return nullptr;
}

}  // namespace

bool soundInit(int mixRate) { return audioOutOpen(mixRate, &outputRate); }

void soundSetBufferSize(int milliseconds) { bufferMilliseconds = std::max(milliseconds, 100); }

SoundStream* soundOpenFile(const char* path) {
  SoundStream* stream = new SoundStream;
  stream->quoted = std::string("\"") + path + "\"";
  const std::string& quoted = stream->quoted;
  if (!mapFile(path, &stream->file)) return failOpen(stream, "cannot read " + quoted);
  std::string why;
  if (!readMusicFile(stream->file.data, stream->file.size, &stream->info, &why))
    return failOpen(stream, quoted + ": " + why);

  if (stream->info.codec == MusicCodec::mp3) {
    stream->decoder = mp3Open();
    if (!stream->decoder) return failOpen(stream, quoted + ": the MP3 audio cannot be decoded");
  } else if (stream->info.codec == MusicCodec::pcm16 && stream->info.channels >= 1 && stream->info.channels <= 2 &&
             stream->info.sampleRate > 0) {
    startConversion(stream, static_cast<int>(stream->info.sampleRate), stream->info.channels);
  } else {
    return failOpen(stream, quoted + ": only 16-bit PCM or MP3 audio can be played");
  }
  stream->decodeWake = wakeEventCreate();
  if (!stream->decodeWake) return failOpen(stream, "cannot start the sound threads");

  // Marker positions move to the output's rate: that is the clock the listener hears.
  stream->markers = stream->info.markers;
  stream->lateKept = static_cast<uint32_t>(stream->markers.size());
  stream->lateEach.reset(new std::atomic<uint32_t>[stream->lateKept]);
  const uint32_t fileRate = stream->info.sampleRate;
  if (fileRate != static_cast<uint32_t>(outputRate))
    for (Marker& m : stream->markers) m.sample = resampledPosition(m.sample, fileRate, static_cast<uint32_t>(outputRate));
  stream->endSlack =
      resampledPosition(stream->info.padding + stream->info.frameSamples, fileRate, static_cast<uint32_t>(outputRate));

  // The stream buffer's time ahead of the output, and room for the decoder to wait for a whole block.
  stream->ringFrames =
      static_cast<uint64_t>(bufferMilliseconds) * static_cast<uint64_t>(outputRate) / 1000 + decodeRoom;
  stream->ring.assign(stream->ringFrames * 2, 0);
  // The buffer is filled before playback, so the music starts at once with its first sample.
  decodeAhead(stream);
  if (stream->written.load() == 0)
    return failOpen(stream, stream->decodeFailed ? quoted + ": the MP3 audio cannot be decoded" : quoted + " holds no audio");
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
  if (!stream) return;
  // The decoder stays ahead of the output, and the sync points are as urgent as the output itself.
  if (!stream->decodeDone.load()) stream->decodeThread = threadStart(decodeLoop, stream, ThreadPriority::high);
  stream->markerThread = threadStart(markerLoop, stream, ThreadPriority::urgent);
  stream->pumped = (!stream->decodeThread && !stream->decodeDone.load()) || !stream->markerThread;
  audioOutStart(pullMusic, stream);
}

void soundPump(SoundStream* stream) {
  if (!stream || !stream->pumped) return;
  if (!stream->decodeThread) decodeAhead(stream);
  if (!stream->markerThread && !stream->cursor.endCalled) markerStep(stream);
}

void soundCloseStream(SoundStream* stream) {
  if (!stream) return;
  audioOutStop();
  stream->stop.store(true);
  wakeEventSignal(stream->decodeWake);
  threadJoin(stream->markerThread);
  threadJoin(stream->decodeThread);
  freeStream(stream);
}

void soundClose() { audioOutClose(); }

unsigned long long soundPosition(SoundStream* stream) { return stream ? heardPosition(stream) : 0; }

SyncLateness soundSyncLateness(SoundStream* stream) {
  SyncLateness result;
  const uint32_t n = stream ? stream->lateCount.load(std::memory_order_acquire) : 0;
  if (!n) return result;
  const double msPerFrame = 1000.0 / outputRate;
  result.called = n;
  result.meanMs = static_cast<double>(stream->lateTotal.load(std::memory_order_relaxed)) / n * msPerFrame;
  result.worstMs = static_cast<double>(stream->lateWorst.load(std::memory_order_relaxed)) * msPerFrame;
  std::vector<uint32_t> each(std::min(n, stream->lateKept));
  for (size_t i = 0; i < each.size(); ++i) each[i] = stream->lateEach[i].load(std::memory_order_relaxed);
  if (!each.empty()) {
    std::sort(each.begin(), each.end());
    const size_t half = each.size() / 2;
    const double middle = each.size() % 2 ? each[half] : (static_cast<double>(each[half - 1]) + each[half]) / 2;
    result.medianMs = middle * msPerFrame;
  }
  return result;
}
