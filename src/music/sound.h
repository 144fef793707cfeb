// The sound core: plays a music file on the platform's sound output and calls its sync points out when
// they are heard. Decoding runs ahead on a thread of its own; the output only copies.
#pragma once
#include <vector>

#include "music/markers.h"

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
// The stream's sync points at the output's rate, in order: what the sync callback calls out, and where.
const std::vector<Marker>& soundMarkers(SoundStream* stream);
// The music's length in output frames: exact once decoding has reached the end, estimated from the file before.
unsigned long long soundLength(SoundStream* stream);
// Moves playback to output frame `frame` of the music (clamped to its length): the stream buffer is refilled
// from there with the lead and padding rules unchanged, the heard position is `frame` when the output plays
// on, and the sync points from the first one not before `frame` are called out when heard. No callback runs
// after the call begins and before it returns; while paused, none runs until the stream is resumed.
// Not from a callback (it waits for the thread that calls them); nothing where soundPump does the work.
void soundSeek(SoundStream* stream, unsigned long long frame);
// Pauses (the output stops pulling and the sound stops at once; the heard position holds; nothing is called)
// or resumes from the held position. Pausing a paused stream or resuming a playing one does nothing.
// As soundSeek: not from a callback, nothing where soundPump does the work.
void soundPause(SoundStream* stream, bool paused);
// Stops playback and its callbacks; none is called after this returns.
void soundCloseStream(SoundStream* stream);
// Closes the sound output.
void soundClose();
// The rate the output really plays at, once soundInit has opened it: the frames of soundPosition,
// soundMarkers and soundLength are at this rate.
int soundOutputRate();
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
