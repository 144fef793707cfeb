// The sound output on waveOut: 16-bit stereo buffers kept queued and refilled on a thread of their own.
#include "platform/audio_out.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/failure.h"
#include "platform/threads.h"
#include "platform/wrap_counts.h"

namespace {

constexpr int channels = 2;
constexpr int bufferCount = 6;
constexpr uint32_t bufferFrames = 1024;  // about 23 ms at 44.1 kHz: six keep 139 ms queued

HWAVEOUT device = nullptr;
HANDLE doneEvent = nullptr;  // set by the device each time it gives a buffer back
WAVEHDR headers[bufferCount];
int16_t samples[bufferCount][bufferFrames * channels];

AudioPull pullFrames = nullptr;
void* pullUser = nullptr;
PlatformThread* feeder = nullptr;
std::atomic<bool> stopping{false};

// Frames pulled so far. Counted before the pull begins, so a pull's frames are unplayed before the sound
// core counts them as pulled, and the count is never behind the device's own count of frames played.
std::atomic<uint64_t> pulled{0};

void writeLine(const char* what, MMRESULT result) {
  char reason[MAXERRORLENGTH] = "";
  waveOutGetErrorTextA(result, reason, sizeof reason);
  char line[MAXERRORLENGTH + 64];
  std::snprintf(line, sizeof line, "%s: %s", what, reason);
  showFailure(FailureStyle::line, line);
}

// False when the device refuses the buffer. Its frames stay counted as pulled: they will never be heard, so the
// position stops where the sound stopped, short of them.
bool fillAndQueue(WAVEHDR* header) {
  int16_t* frames = reinterpret_cast<int16_t*>(header->lpData);
  pulled.fetch_add(bufferFrames, std::memory_order_release);
  pullFrames(frames, bufferFrames, pullUser);
  const MMRESULT result = waveOutWrite(device, header, sizeof *header);
  if (result == MMSYSERR_NOERROR) return true;
  writeLine("the sound output failed, the music stops", result);
  return false;
}

// The output's own thread: every buffer the device gives back is filled again at once and queued. A refused
// buffer ends the output, as a sound server that goes away does: what is queued plays out, the position
// stops there, and the run goes on by its own clock with the count where it is.
void feed(void*) {
  for (WAVEHDR& header : headers)
    if (!fillAndQueue(&header)) return;
  while (!stopping.load(std::memory_order_acquire)) {
    WaitForSingleObject(doneEvent, 50);
    for (WAVEHDR& header : headers) {
      if (stopping.load(std::memory_order_acquire)) break;
      if ((header.dwFlags & WHDR_DONE) && !fillAndQueue(&header)) return;
    }
  }
}

}  // namespace

bool audioOutOpen(int rate, int* actualRate) {
  if (waveOutGetNumDevs() == 0) {
    showFailure(FailureStyle::line, "no sound output: the system has no wave output device");
    return false;
  }
  doneEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!doneEvent) {
    showFailure(FailureStyle::line, "no sound output: cannot create its event");
    return false;
  }
  WAVEFORMATEX format;
  ZeroMemory(&format, sizeof format);
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = static_cast<DWORD>(rate);
  format.wBitsPerSample = 16;
  format.nBlockAlign = channels * sizeof(int16_t);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  // The wave mapper converts to whatever the hardware takes, so the rate asked for is the rate played.
  const MMRESULT result = waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(doneEvent), 0,
                                      CALLBACK_EVENT);
  if (result != MMSYSERR_NOERROR) {
    writeLine("cannot open the sound output", result);
    device = nullptr;
    CloseHandle(doneEvent);
    doneEvent = nullptr;
    return false;
  }
  for (int i = 0; i < bufferCount; ++i) {
    ZeroMemory(&headers[i], sizeof headers[i]);
    headers[i].lpData = reinterpret_cast<LPSTR>(samples[i]);
    headers[i].dwBufferLength = sizeof samples[i];
    waveOutPrepareHeader(device, &headers[i], sizeof headers[i]);
  }
  pulled = 0;
  *actualRate = rate;
  return true;
}

void audioOutStart(AudioPull pull, void* user) {
  if (!device || feeder) return;
  pullFrames = pull;
  pullUser = user;
  stopping = false;
  // The device counts its position from 0 again after a stop (waveOutReset), so the count of frames pulled does.
  pulled = 0;
  feeder = threadStart(feed, nullptr, ThreadPriority::urgent);
  if (!feeder) showFailure(FailureStyle::line, "cannot start the sound output's thread");
}

uint32_t audioOutUnplayed() {
  if (!device) return 0;
  MMTIME position;
  ZeroMemory(&position, sizeof position);
  position.wType = TIME_SAMPLES;
  // The position first, the count after it: the count can then only be ahead of what the device played.
  if (waveOutGetPosition(device, &position, sizeof position) != MMSYSERR_NOERROR) return 0;
  const uint64_t total = pulled.load(std::memory_order_acquire);
  constexpr uint32_t queued = bufferCount * bufferFrames;
  if (position.wType == TIME_SAMPLES) return waveUnplayed(total, position.u.sample, WavePositionUnit::samples, queued);
  if (position.wType == TIME_BYTES) return waveUnplayed(total, position.u.cb, WavePositionUnit::bytes, queued);
  return 0;
}

void audioOutStop() {
  if (!feeder) return;
  stopping = true;
  SetEvent(doneEvent);
  threadJoin(feeder);
  feeder = nullptr;
  // Stops the sound at once and hands every queued buffer back.
  waveOutReset(device);
}

void audioOutClose() {
  if (!device) return;
  audioOutStop();
  for (WAVEHDR& header : headers) waveOutUnprepareHeader(device, &header, sizeof header);
  waveOutClose(device);
  device = nullptr;
  CloseHandle(doneEvent);
  doneEvent = nullptr;
}
