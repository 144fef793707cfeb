// The sound core: plays a music file on the platform's sound output and calls its sync points out when
// they are heard. Decoding runs ahead on a thread of its own; the output only copies.
#pragma once

struct SoundStream;

// Called on the core's marker thread: once per sync point heard, in order, with its whole zero-terminated
// name; and once with a null name when the end of the music has been heard.
using SoundCallback = void (*)(SoundStream* stream, const char* name, void* user);

// Opens the sound output at about mixRate Hz; false, after one line saying why, when there is none.
bool soundInit(int mixRate);
// Milliseconds of decoded audio kept ready ahead of the output; set before a stream is opened.
void soundSetBufferSize(int milliseconds);
// Opens a music file (MP3, or RIFF/WAVE with PCM or MP3) with its sync points, its first second decoded;
// null, after one line saying why, when it cannot be played.
SoundStream* soundOpenFile(const char* path);
void soundSetEndCallback(SoundStream* stream, SoundCallback callback, void* user);
void soundSetSyncCallback(SoundStream* stream, SoundCallback callback, void* user);
// Starts playback at once.
void soundPlay(SoundStream* stream);
// Where the platform could start no thread for the decoder or the sync points, does their work once:
// decodes until the stream buffer is full, and calls out what the heard position has reached. Called
// often (each shown frame), on the thread that calls everything else here; nothing where threads run.
void soundPump(SoundStream* stream);
// Stops playback and its callbacks; none is called after this returns.
void soundCloseStream(SoundStream* stream);
// Closes the sound output.
void soundClose();
// The music frame (at the output's rate) being heard now: for tests and measurements.
unsigned long long soundPosition(SoundStream* stream);
// Of the sync points called out so far: how many, and how long after its own frame each came by the heard
// position, on average, in the middle and at worst (only the marker thread writes them; they may be read at any
// time).
struct SyncLateness {
  unsigned called = 0;
  double meanMs = 0.0, medianMs = 0.0, worstMs = 0.0;
};
SyncLateness soundSyncLateness(SoundStream* stream);
