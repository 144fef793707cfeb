// The sound seam: what the music start and stop need from a platform's sound layer.
#pragma once

struct SoundStream;

// Called on the sound layer's own thread: once per sync point heard, in order, with its whole
// zero-terminated name; and once with a null name when the end of the audio has been heard.
using SoundCallback = bool (*)(SoundStream* stream, const char* name, int value, void* user);

// Opens the sound output at mixRate Hz, stereo; false when there is none (soundError says why).
bool soundInit(int mixRate, int channels);
// Milliseconds of decoded audio kept ready ahead of the output; set before a stream is opened.
void soundSetBufferSize(int milliseconds);
// Opens a music file (MP3, or RIFF/WAVE with PCM or MP3) with its sync points; null when it cannot.
SoundStream* soundOpenFile(const char* path);
void soundSetEndCallback(SoundStream* stream, SoundCallback callback, void* user);
void soundSetSyncCallback(SoundStream* stream, SoundCallback callback, void* user);
// Starts playback at once.
void soundPlay(SoundStream* stream);
// Stops playback and its callbacks; none is called after this returns.
void soundCloseStream(SoundStream* stream);
// Closes the sound output.
void soundClose();
// The music frame (at the output's rate) being heard now: for tests and measurements.
unsigned long long soundPosition(SoundStream* stream);
// Why the last soundInit or soundOpenFile failed.
const char* soundError();
