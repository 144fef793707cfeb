// A scripted stand-in for the few winmm and kernel32 names the wave output uses, so its file runs on Linux.
#pragma once
#include <cstdint>
#include <cstring>

using DWORD = uint32_t;
using UINT = unsigned;
using DWORD_PTR = uintptr_t;
using MMRESULT = UINT;
using LPSTR = char*;
using HANDLE = void*;
using HWAVEOUT = void*;
constexpr int FALSE = 0;
constexpr UINT MAXERRORLENGTH = 256, MMSYSERR_NOERROR = 0, MMSYSERR_NODRIVER = 6, WAVE_MAPPER = ~0u;
constexpr DWORD WHDR_DONE = 1, WAVE_FORMAT_PCM = 1, CALLBACK_EVENT = 0x50000, TIME_BYTES = 4, TIME_SAMPLES = 2;

struct WAVEHDR { LPSTR lpData; DWORD dwBufferLength, dwBytesRecorded; DWORD_PTR dwUser; DWORD dwFlags, dwLoops; };
struct WAVEFORMATEX { uint16_t wFormatTag, nChannels; DWORD nSamplesPerSec, nAvgBytesPerSec; uint16_t nBlockAlign, wBitsPerSample, cbSize; };
struct MMTIME { UINT wType; union { DWORD sample, cb; } u; };
inline void ZeroMemory(void* p, size_t n) { std::memset(p, 0, n); }

// Written by the test (tests/platform/wave_out_test.cpp).
HANDLE CreateEventA(void*, int, int, const char*);
int CloseHandle(HANDLE);
int SetEvent(HANDLE);
DWORD WaitForSingleObject(HANDLE, DWORD milliseconds);
UINT waveOutGetNumDevs();
MMRESULT waveOutOpen(HWAVEOUT*, UINT, const WAVEFORMATEX*, DWORD_PTR, DWORD_PTR, DWORD);
MMRESULT waveOutPrepareHeader(HWAVEOUT, WAVEHDR*, UINT);
MMRESULT waveOutUnprepareHeader(HWAVEOUT, WAVEHDR*, UINT);
MMRESULT waveOutWrite(HWAVEOUT, WAVEHDR*, UINT);
MMRESULT waveOutGetPosition(HWAVEOUT, MMTIME*, UINT);
MMRESULT waveOutGetErrorTextA(MMRESULT, char* text, UINT size);
MMRESULT waveOutReset(HWAVEOUT);
MMRESULT waveOutClose(HWAVEOUT);
