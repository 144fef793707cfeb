// Guards the wave output against a buffer the device refuses: no pulling on for a hole, no silence about it;
// the output ends with a line, and its position stops short of the sound that was never heard; and against a
// position that still counts the frames pulled before a stop once the output starts again (after a seek or pause).
#include <gtest/gtest.h>
#include <windows.h>  // the stand-in in fake_winmm/

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio_out.h"
#include "platform/failure.h"

namespace {

// The device plays each buffer at once when it takes it, and refuses the write numbered refuseWrite.
int refuseWrite = 0;
std::atomic<int> writes{0}, pulls{0};
std::atomic<uint32_t> played{0};
std::vector<std::string> lines;
int device, event;

}  // namespace

void showFailure(FailureStyle, const char* text) { lines.push_back(text); }
HANDLE CreateEventA(void*, int, int, const char*) { return &event; }
int CloseHandle(HANDLE) { return 1; }
int SetEvent(HANDLE) { return 1; }
DWORD WaitForSingleObject(HANDLE, DWORD) { return std::this_thread::sleep_for(std::chrono::milliseconds(1)), 0; }
UINT waveOutGetNumDevs() { return 1; }
MMRESULT waveOutOpen(HWAVEOUT* out, UINT, const WAVEFORMATEX*, DWORD_PTR, DWORD_PTR, DWORD) { return *out = &device, 0; }
MMRESULT waveOutPrepareHeader(HWAVEOUT, WAVEHDR*, UINT) { return 0; }
MMRESULT waveOutUnprepareHeader(HWAVEOUT, WAVEHDR*, UINT) { return 0; }
// Unless held, the device plays each buffer as it is written. Held, it keeps them queued, and a reset hands
// them back and counts its position from 0 again, as a real device does.
bool held = false;
std::vector<WAVEHDR*> queuedHeaders;
MMRESULT waveOutReset(HWAVEOUT) {
  if (!held) return 0;
  for (WAVEHDR* header : queuedHeaders) header->dwFlags = WHDR_DONE;
  queuedHeaders.clear();
  played = 0;
  return 0;
}
MMRESULT waveOutClose(HWAVEOUT) { return 0; }
MMRESULT waveOutGetErrorTextA(MMRESULT, char* text, UINT size) { return std::snprintf(text, size, "no driver"), 0; }
MMRESULT waveOutWrite(HWAVEOUT, WAVEHDR* header, UINT) {
  if (++writes == refuseWrite) return MMSYSERR_NODRIVER;  // the header keeps its flags, as a refused one does
  if (held) return header->dwFlags = 0, queuedHeaders.push_back(header), MMSYSERR_NOERROR;
  played += header->dwBufferLength / 4;
  header->dwFlags = WHDR_DONE;
  return MMSYSERR_NOERROR;
}
MMRESULT waveOutGetPosition(HWAVEOUT, MMTIME* time, UINT) { return time->wType = TIME_SAMPLES, time->u.sample = played, 0; }

TEST(WaveOut, ARefusedBufferEndsTheOutputWithALineAndThePositionStopsShortOfIt) {
  refuseWrite = 9;  // in the second round of the six buffers
  int rate = 0;
  ASSERT_TRUE(audioOutOpen(44100, &rate));
  audioOutStart([](int16_t*, uint32_t, void*) { ++pulls; }, nullptr);
  for (int i = 0; i < 10000 && writes < refuseWrite; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // an output that went on would pull again by now
  audioOutStop();
  EXPECT_EQ(pulls.load(), refuseWrite);
  EXPECT_EQ(audioOutUnplayed(), 1024u) << "the refused buffer's frames are never heard";
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "the sound output failed, the music stops: no driver");
  audioOutClose();
}

TEST(WaveOut, StartedAgainAfterAStopItCountsOnlyWhatItPulledSinceThen) {
  refuseWrite = -1;
  held = true;
  played = 0;  // a device just opened
  int rate = 0;
  ASSERT_TRUE(audioOutOpen(44100, &rate));
  for (int round = 0; round < 2; ++round) {
    const int before = writes;
    audioOutStart([](int16_t*, uint32_t, void*) { ++pulls; }, nullptr);
    for (int i = 0; i < 10000 && writes < before + 6; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // Six buffers of 1024 frames queued and none played, in the second round as in the first: the frames of the
    // first round are not counted again against the device's new position.
    EXPECT_EQ(audioOutUnplayed(), 6144u) << "round " << round;
    audioOutStop();
  }
  audioOutClose();
}
