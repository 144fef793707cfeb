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
#include "platform/mp3_frames.h"
#include "platform/threads.h"

namespace {

constexpr uint32_t blockFrames = 4096;  // source frames decoded at a time
constexpr uint64_t decodeRoom = 8192;   // output frames of room worth waking the decoder for
constexpr size_t feedBytes = 16384;     // MP3 bytes given to the decoder at a time
// A layer III frame's main data may begin this many bytes back, in the frames before it (511 in MPEG-1, 255 in
// MPEG-2): a decoder started inside the stream needs them before the first frame it is to decode whole.
constexpr uint32_t reservoirBytes = 511;
constexpr size_t frameSearch = 256 * 1024;  // bytes searched for the first MPEG frame

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
  uint64_t leadLeft = 0;         // frames still to drop at the start
  uint32_t padding = 0;          // frames to drop at the end: held back until more come
  std::vector<int16_t> held;     // the latest `padding` frames, not yet known to be music
  Resampler resampler;
  std::vector<int16_t> pendingOut;  // output frames made but not yet in the stream buffer
  uint64_t dropOutput = 0;          // output frames still to drop before the stream buffer (a seek from the start)

  // Where the decoding started: the output frame the stream buffer starts at (0, or where a seek put it), and
  // the source frame of the music the conversion takes first when a seek entered the source there.
  uint64_t startOutput = 0;
  uint64_t startSource = 0;
  bool midway = false;      // the MP3 decoder was started at a frame inside the stream
  uint64_t midwayLead = 0;  // decoded frames before startSource's, from the frame it was started at

  // The MP3 payload's frames of the first one's format, for entering it mid-way: where each starts in the
  // payload, from the first (an Info frame counts). Only when they are all its frames can it be entered.
  std::vector<uint32_t> frameAt;
  bool enterable = false;
  uint32_t frameSamples = 0;
  bool infoFrame = false;        // the first frame is an Info frame
  uint32_t infoLead = 0;         // its lead and padding as a decoder of every frame puts them (mp3CodecTrim)
  uint32_t infoPadding = 0;
  uint32_t decoderLead = 0;      // what the decoder said to cut at the start (mp3Trim): 0 if it cuts itself
  uint64_t listedBytes = 0;      // where the listed frames end
  uint64_t lengthGuess = 0;      // the music's output frames, from the file

  // The stream buffer: output frames (stereo, 16-bit), one writer and one reader.
  std::vector<int16_t> ring;
  uint64_t ringFrames = 0;
  std::atomic<uint64_t> written{0};
  std::atomic<uint64_t> consumed{0};
  std::atomic<bool> decodeDone{false};  // written is then the length of the music in output frames
  std::atomic<uint64_t> length{0};      // that length, once decoding has reached the end; 0 before

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
  bool started = false;  // soundPlay has been called
  // Paused: the output and the threads are stopped and the heard position holds at heldAt.
  std::atomic<bool> paused{false};
  std::atomic<uint64_t> heldAt{0};
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

// The music frame being heard: the output frames pulled, less those it has not played yet; before the first
// pull since playback started (or started again), the frame it starts at.
uint64_t heardPosition(const SoundStream* stream) {
  if (stream->log.pulls.load(std::memory_order_acquire) == 0) return stream->startOutput;
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

// A seek that entered the source at startSource: output frame startOutput is made from there on, as it is when
// the whole source is converted (output frame k is the source at k * from / to).
void enterConversion(SoundStream* stream) {
  stream->resampler.made = stream->startOutput;
  stream->resampler.dropped = stream->startSource;
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
  const uint32_t skip = static_cast<uint32_t>(std::min<uint64_t>(count, stream->leadLeft));
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
          uint32_t lead = 0, padding = 0;
          mp3Trim(stream->decoder, &lead, &padding);
          if (stream->midway) {
            // Started inside the stream, the decoder cut nothing: the music ends as the Info frame says.
            stream->leadLeft = stream->midwayLead;
            stream->padding = stream->infoPadding;
            enterConversion(stream);
          } else {
            stream->decoderLead = lead;
            stream->leadLeft = lead;
            stream->padding = padding;
          }
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
      if (stream->dropOutput > 0) {  // before the frame a seek asked for
        const uint64_t frames = std::min<uint64_t>(stream->dropOutput, stream->pendingOut.size() / 2);
        stream->pendingOut.erase(stream->pendingOut.begin(),
                                 stream->pendingOut.begin() + static_cast<std::ptrdiff_t>(frames * 2));
        stream->dropOutput -= frames;
        continue;
      }
      const uint64_t room = ringSpace(stream);
      if (room == 0) return false;
      const uint64_t frames = std::min<uint64_t>(room, stream->pendingOut.size() / 2);
      pushOutput(stream, stream->pendingOut.data(), frames);
      stream->pendingOut.erase(stream->pendingOut.begin(),
                               stream->pendingOut.begin() + static_cast<std::ptrdiff_t>(frames * 2));
      continue;
    }
    if (stream->sourceDone) {
      if (stream->length.load(std::memory_order_relaxed) == 0)
        stream->length.store(stream->written.load(std::memory_order_relaxed), std::memory_order_release);
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

// A layer III frame header at `at` that another follows where it says (or that ends the payload): a header found
// by chance in other bytes seldom has one.
bool confirmedFrame(const uint8_t* p, size_t size, size_t at, Mp3Frame* frame) {
  if (at + 4 > size || !mp3ReadFrame(p + at, frame) || frame->length > size - at) return false;
  const size_t next = at + frame->length;
  Mp3Frame after;
  return next == size || (next + 4 <= size && mp3ReadFrame(p + next, &after) && after.rate == frame->rate);
}

// Where the MP3 payload's frames start, and what its first frame says of the lead and padding, for entering it
// mid-way. Only a payload of one format throughout, with nothing after its frames but a tag or a frame cut off,
// is entered: a decoder started inside it then gives out the samples that decoding it from the start gives.
void listFrames(SoundStream* stream) {
  const uint8_t* p = stream->file.data + stream->info.audioOffset;
  const size_t size = static_cast<size_t>(std::min<uint64_t>(stream->info.audioSize, UINT32_MAX));
  const size_t search = std::min(size, frameSearch);
  Mp3Frame first, h;
  size_t at = 0;
  while (at < search && !confirmedFrame(p, size, at, &first)) ++at;
  if (at >= search) return;
  stream->frameSamples = first.samples;
  stream->infoFrame = mp3InfoFrame(p + at, first);
  mp3CodecTrim(p + at, first, &stream->infoLead, &stream->infoPadding);
  while (at + 4 <= size && mp3ReadFrame(p + at, &h) && h.length <= size - at && h.rate == first.rate &&
         h.channels == first.channels && h.samples == first.samples) {
    stream->frameAt.push_back(static_cast<uint32_t>(at));
    at += h.length;
  }
  stream->listedBytes = at;
  for (; at < size; ++at)
    if (confirmedFrame(p, size, at, &h)) return;
  stream->enterable = true;
}

// Where the music starts in the samples of every frame decoded (the Info frame's included). A decoder that
// said nothing to cut has cut off what the Info frame says, or had none to go by.
uint64_t rawLead(const SoundStream* stream) {
  if (stream->decoderLead != 0) return stream->decoderLead;
  return stream->infoFrame ? stream->infoLead : 0;
}

uint64_t outputFramesOf(uint64_t sourceFrames, uint32_t rate) {
  const uint64_t to = static_cast<uint64_t>(outputRate);
  return (sourceFrames * to + rate - 1) / rate;
}

// The music's length from the file: its PCM frames, or its MPEG frames less the lead and padding (scaled up
// by the bytes left over where the frames change format or junk comes between them).
uint64_t guessLength(const SoundStream* stream) {
  const MusicFileInfo& info = stream->info;
  if (info.codec != MusicCodec::mp3) return outputFramesOf(info.audioSize / (2u * info.channels), info.sampleRate);
  if (stream->frameAt.empty()) return 0;
  uint64_t raw = stream->frameAt.size() * uint64_t{stream->frameSamples};
  if (!stream->enterable) raw = raw * info.audioSize / stream->listedBytes;
  const uint64_t cut = rawLead(stream) + stream->infoPadding;
  return raw > cut ? outputFramesOf(raw - cut, info.sampleRate) : 0;
}

// Starts the decoder of a seek to music frame `source` (at the file's rate) at a frame inside the MP3: the
// frame before the one that holds it must come out whole, so the decoder is given, one frame earlier still, the
// frames its main data may reach back into. False when that would start at the first frame, or the stream
// cannot be entered: it is then decoded from its start.
bool enterMidway(SoundStream* stream, uint64_t source) {
  if (!stream->enterable) return false;
  const uint64_t raw = source + rawLead(stream);
  const uint64_t frames = stream->frameAt.size();
  const uint64_t target = std::min<uint64_t>(raw / stream->frameSamples, frames - 1);
  uint64_t from = target > 0 ? target - 1 : 0;
  for (uint32_t reach = 0; from > 0 && reach < reservoirBytes;) {
    --from;
    Mp3Frame h;
    mp3ReadFrame(stream->file.data + stream->info.audioOffset + stream->frameAt[from], &h);
    reach += static_cast<uint32_t>(h.length - 4 - (h.crc ? 2 : 0) - h.sideInfo);
  }
  if (from < 2) return false;
  --from;
  stream->midway = true;
  stream->midwayLead = raw - from * stream->frameSamples;
  stream->readAt = stream->frameAt[from];
  return true;
}

// With the output and the threads stopped: the decoding starts again at output frame `frame` and fills the
// stream buffer from there, and the heard position is `frame` until the output pulls. PCM and an MP3 that can
// be entered mid-way are entered at the source frame that output frame is made from; any other MP3 is decoded
// from its start with the output frames before `frame` dropped. The cursor is left to the caller.
void placeAt(SoundStream* stream, uint64_t frame) {
  const uint32_t rate = stream->info.sampleRate;
  const uint64_t source = frame * rate / static_cast<uint64_t>(outputRate);
  stream->readAt = 0;
  stream->sourceDone = false;
  stream->decodeFailed = false;
  stream->held.clear();
  stream->pendingOut.clear();
  stream->dropOutput = 0;
  stream->leadLeft = 0;
  stream->padding = 0;
  stream->midway = false;
  stream->startOutput = frame;
  stream->startSource = source;
  if (stream->info.codec == MusicCodec::mp3) {
    mp3Close(stream->decoder);
    stream->decoder = mp3Open();
    stream->formatKnown = false;
    if (!stream->decoder) stream->decodeFailed = stream->sourceDone = true;
    if (!enterMidway(stream, source)) stream->dropOutput = frame;
  } else {
    startConversion(stream, static_cast<int>(rate), stream->info.channels);
    enterConversion(stream);
    stream->readAt = source * 2u * stream->info.channels;
  }
  stream->written.store(frame);
  stream->consumed.store(frame);
  stream->decodeDone.store(false);
  stream->log.begun.store(0);
  stream->log.pulls.store(0);
  stream->log.outputFrames.store(0);
  decodeAhead(stream);
}

// Starts the output and the threads from where the stream stands.
void startPlayback(SoundStream* stream) {
  // The decoder stays ahead of the output, and the sync points are as urgent as the output itself.
  if (!stream->decodeDone.load()) stream->decodeThread = threadStart(decodeLoop, stream, ThreadPriority::high);
  stream->markerThread = threadStart(markerLoop, stream, ThreadPriority::urgent);
  stream->pumped = (!stream->decodeThread && !stream->decodeDone.load()) || !stream->markerThread;
  audioOutStart(pullMusic, stream);
}

// Stops the marker thread, then the output and the decoder; returns the heard position as it stood when the
// marker thread had stopped, so that every marker it called lies before it.
uint64_t haltPlayback(SoundStream* stream) {
  stream->stop.store(true);
  threadJoin(stream->markerThread);
  const uint64_t heard = heardPosition(stream);
  audioOutStop();
  wakeEventSignal(stream->decodeWake);
  threadJoin(stream->decodeThread);
  stream->markerThread = nullptr;
  stream->decodeThread = nullptr;
  stream->stop.store(false);
  return heard;
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
  if (stream->info.codec == MusicCodec::mp3) listFrames(stream);
  // The buffer is filled before playback, so the music starts at once with its first sample.
  decodeAhead(stream);
  if (stream->written.load() == 0)
    return failOpen(stream, stream->decodeFailed ? quoted + ": the MP3 audio cannot be decoded" : quoted + " holds no audio");
  stream->lengthGuess = guessLength(stream);  // after the first frames: what the decoder cuts itself is known
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
  if (!stream || stream->started) return;
  stream->started = true;
  if (!stream->paused.load()) startPlayback(stream);
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

int soundOutputRate() { return outputRate; }

unsigned long long soundPosition(SoundStream* stream) {
  if (!stream) return 0;
  return stream->paused.load() ? stream->heldAt.load() : heardPosition(stream);
}

const std::vector<Marker>& soundMarkers(SoundStream* stream) {
  static const std::vector<Marker> none;
  return stream ? stream->markers : none;
}

unsigned long long soundLength(SoundStream* stream) {
  if (!stream) return 0;
  const uint64_t known = stream->length.load(std::memory_order_acquire);
  return known ? known : stream->lengthGuess;
}

void soundSeek(SoundStream* stream, unsigned long long frame) {
  if (!stream || stream->pumped) return;
  const bool playing = stream->started && !stream->paused.load();
  if (playing) haltPlayback(stream);
  placeAt(stream, std::min<uint64_t>(frame, soundLength(stream)));
  stream->heldAt.store(stream->startOutput);
  // The markers from `frame` on are still to come, the end too; those before it are not called again.
  const auto first = std::lower_bound(stream->markers.begin(), stream->markers.end(), stream->startOutput,
                                      [](const Marker& m, uint64_t at) { return m.sample < at; });
  stream->cursor.next = static_cast<uint64_t>(first - stream->markers.begin());
  stream->cursor.endCalled = false;
  if (playing) startPlayback(stream);
}

void soundPause(SoundStream* stream, bool paused) {
  if (!stream || stream->pumped || paused == stream->paused.load()) return;
  if (paused) {
    stream->heldAt.store(stream->started ? haltPlayback(stream) : stream->startOutput);
    stream->paused.store(true);
    return;
  }
  stream->paused.store(false);
  if (!stream->started) return;
  // The cursor stays: a marker the position reached while the marker thread was stopping is called at once.
  placeAt(stream, stream->heldAt.load());
  startPlayback(stream);
}

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
