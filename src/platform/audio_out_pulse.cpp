// The sound output on a PulseAudio server (PipeWire serves its clients too). The server keeps a deep queue,
// so that a busy machine can hold up the writing thread for a while without a gap, and it reports the
// stream's playing time: what is unplayed is known exactly however deep the queue, so the sync points still
// come when heard. Stopping drops the queue, so the sound ends at once; starting again takes a fresh stream, whose
// clock and count of frames handed start from nothing, as the dropped frames were handed and never played.
#include <pulse/pulseaudio.h>

#include <atomic>
#include <cstdint>

#include "platform/audio_outputs.h"
#include "platform/priority_posix.h"

namespace {

constexpr uint32_t channels = 2;
constexpr size_t frameBytes = channels * sizeof(int16_t);
// Queued in the server: 250 ms, longer than any stall seen on a loaded machine. The server asks for more
// each time 25 ms has played, and after running dry starts again once 25 ms is there.
constexpr uint32_t queueMs = 250;
constexpr uint32_t requestMs = 25;

pa_threaded_mainloop* loop = nullptr;
pa_context* context = nullptr;
pa_stream* stream = nullptr;
uint32_t streamRate = 44100;
AudioPull pullFrames = nullptr;  // set and cleared with the loop locked
void* pullUser = nullptr;
// Frames handed to the server, counted before each pull so that they are unplayed before they are pulled.
std::atomic<uint64_t> handed{0};
// Set once the server has said that it plays and its clock has been read since: until then the library would
// run the stream's clock from the moment it was started, while a device can take a while to begin.
std::atomic<bool> clockTrue{false};
bool started = false;  // the stream has been started: a start after a stop takes a fresh one

// Writes what the server asks for; runs with the loop locked (on its thread, or at the start).
void fill(size_t bytes) {
  while (pullFrames && stream && bytes >= frameBytes) {
    void* data = nullptr;
    size_t size = bytes;
    if (pa_stream_begin_write(stream, &data, &size) < 0 || size < frameBytes) return;
    const uint32_t frames = static_cast<uint32_t>(size / frameBytes);
    size = frames * frameBytes;
    handed.fetch_add(frames, std::memory_order_release);
    pullFrames(static_cast<int16_t*>(data), frames, pullUser);
    if (pa_stream_write(stream, data, size, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
    bytes -= size;
  }
}

void onWritable(pa_stream*, size_t bytes, void*) {
  // The loop's thread writes every buffer: it is raised on its first request, as urgent as the sync thread.
  static thread_local bool raised = false;
  if (!raised) {
    raised = true;
    raiseThisThread(true);
  }
  fill(bytes);
}

void onClockRead(pa_stream*, int success, void*) {
  if (success) clockTrue.store(true, std::memory_order_release);
}

// Whenever playing starts, or stops as the queue ran dry, the clock is read again at once rather than at
// the next regular update, so that what counts as heard never runs ahead of the sound.
void onPlayingChanged(pa_stream* changed, void*) {
  if (pa_operation* operation = pa_stream_update_timing_info(changed, onClockRead, nullptr))
    pa_operation_unref(operation);
}

void onStateChange(pa_context*, void*) { pa_threaded_mainloop_signal(loop, 0); }
void onStreamStateChange(pa_stream*, void*) { pa_threaded_mainloop_signal(loop, 0); }

uint32_t bytesFor(uint32_t milliseconds) { return streamRate * milliseconds / 1000 * frameBytes; }

void pulseClose() {
  if (!loop) return;
  pa_threaded_mainloop_stop(loop);
  if (stream) {
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
  }
  if (context) {
    pa_context_disconnect(context);
    pa_context_unref(context);
    context = nullptr;
  }
  pa_threaded_mainloop_free(loop);
  loop = nullptr;
}

// Waits, with the loop locked, until the context and then the stream are ready; false if either fails.
bool connectStream(int rate) {
  pa_context_state_t contextState;
  while ((contextState = pa_context_get_state(context)) != PA_CONTEXT_READY) {
    if (!PA_CONTEXT_IS_GOOD(contextState)) return false;
    pa_threaded_mainloop_wait(loop);
  }
  streamRate = static_cast<uint32_t>(rate);
  const pa_sample_spec spec{PA_SAMPLE_S16NE, streamRate, static_cast<uint8_t>(channels)};
  stream = pa_stream_new(context, "Vostrel music", &spec, nullptr);
  if (!stream) return false;
  pa_stream_set_state_callback(stream, onStreamStateChange, nullptr);
  pa_stream_set_write_callback(stream, onWritable, nullptr);
  pa_stream_set_started_callback(stream, onPlayingChanged, nullptr);
  pa_stream_set_underflow_callback(stream, onPlayingChanged, nullptr);
  pa_buffer_attr attributes{};
  attributes.maxlength = UINT32_MAX;
  attributes.tlength = bytesFor(queueMs);
  attributes.prebuf = bytesFor(requestMs);
  attributes.minreq = bytesFor(requestMs);
  attributes.fragsize = UINT32_MAX;
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING |
                                                    PA_STREAM_AUTO_TIMING_UPDATE);
  if (pa_stream_connect_playback(stream, nullptr, &attributes, flags, nullptr, nullptr) < 0) return false;
  pa_stream_state_t streamState;
  while ((streamState = pa_stream_get_state(stream)) != PA_STREAM_READY) {
    if (!PA_STREAM_IS_GOOD(streamState)) return false;
    pa_threaded_mainloop_wait(loop);
  }
  return true;
}

bool pulseOpen(int rate, int* actualRate) {
  loop = pa_threaded_mainloop_new();
  if (!loop) return false;
  context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Vostrel");
  if (!context) {
    pulseClose();
    return false;
  }
  pa_context_set_state_callback(context, onStateChange, nullptr);
  // No server is started for us: without one, SDL's output plays instead.
  bool ready = pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
  if (ready) {
    pa_threaded_mainloop_lock(loop);
    ready = pa_threaded_mainloop_start(loop) >= 0 && connectStream(rate);
    pa_threaded_mainloop_unlock(loop);
  }
  if (!ready) {
    pulseClose();
    return false;
  }
  handed.store(0);
  clockTrue.store(false);
  started = false;
  *actualRate = rate;  // the server converts to whatever its device plays
  return true;
}

void dropOperation(pa_operation* operation) {
  if (operation) pa_operation_unref(operation);
}

// Replaces the stream, with the loop locked; without one the output stays silent. The new stream is connected
// before the old one goes: a sink left with no stream falls back to its longest latency (two seconds for a null
// sink), and the next stream would wait that long for its first sound.
void freshStream() {
  pa_stream* old = stream;
  pa_stream_set_write_callback(old, nullptr, nullptr);
  pa_stream_set_started_callback(old, nullptr, nullptr);
  pa_stream_set_underflow_callback(old, nullptr, nullptr);
  pa_stream_set_state_callback(old, nullptr, nullptr);
  stream = nullptr;
  handed.store(0);
  clockTrue.store(false);
  const bool connected = connectStream(static_cast<int>(streamRate));
  pa_stream_disconnect(old);
  pa_stream_unref(old);
  if (connected) return;
  if (stream) {
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
  }
}

void pulseStart(AudioPull pull, void* user) {
  if (!loop) return;
  pa_threaded_mainloop_lock(loop);
  if (started && stream) freshStream();
  started = true;
  if (!stream) {
    pa_threaded_mainloop_unlock(loop);
    return;
  }
  pullFrames = pull;
  pullUser = user;
  // The queue is filled before the stream plays, so the music starts whole; the server asks for the rest.
  const size_t room = pa_stream_writable_size(stream);
  if (room != static_cast<size_t>(-1)) fill(room);
  dropOperation(pa_stream_cork(stream, 0, nullptr, nullptr));
  pa_threaded_mainloop_unlock(loop);
}

uint32_t pulseUnplayed() {
  const uint64_t pulled = handed.load(std::memory_order_acquire);
  if (!clockTrue.load(std::memory_order_acquire)) return static_cast<uint32_t>(pulled);  // nothing heard yet
  pa_usec_t playedUs = 0;
  pa_threaded_mainloop_lock(loop);
  const bool known = stream && pa_stream_get_time(stream, &playedUs) >= 0;
  pa_threaded_mainloop_unlock(loop);
  const uint64_t heard = known ? playedUs * streamRate / 1'000'000u : 0;
  return pulled > heard ? static_cast<uint32_t>(pulled - heard) : 0;
}

void pulseStop() {
  if (!loop) return;
  pa_threaded_mainloop_lock(loop);
  pullFrames = nullptr;
  pullUser = nullptr;
  if (stream) {
    dropOperation(pa_stream_cork(stream, 1, nullptr, nullptr));
    dropOperation(pa_stream_flush(stream, nullptr, nullptr));
  }
  pa_threaded_mainloop_unlock(loop);
}

}  // namespace

const AudioOutput pulseAudioOutput{pulseOpen, pulseStart, pulseUnplayed, pulseStop, pulseClose};
