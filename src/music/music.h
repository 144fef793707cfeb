// Starting and stopping the music stream whose sync points drive the presentation.
#pragma once

struct SoundStream;

// Opens the sound output and "demo.mp3", registers the callbacks and starts playback; false, with
// one line on standard error, when the output or the file cannot be had.
bool startMusic();
// Closes the stream and then the sound output; only after a successful startMusic.
void stopMusic();
// The stream's one callback, for sync points and for the end (name null): the end changes nothing.
void onStreamEvent(SoundStream* stream, const char* name, void* user);
