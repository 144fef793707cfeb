// Starting and stopping the music stream whose sync points drive the presentation.
#pragma once

// Opens the sound output and "demo.mp3", registers the callbacks and starts playback; false, with
// one line on standard error, when the output or the file cannot be had.
bool startMusic();
// Closes the stream and then the sound output; only after a successful startMusic.
void stopMusic();
// Where the sound core has no threads of its own, decodes ahead and calls out the sync points heard by now;
// the loop calls it once per shown frame. Does nothing where the core's threads run.
void pumpMusic();
// How many sync points the music has called out, and how late they came (see soundSyncLateness).
struct SyncLateness;
SyncLateness musicSyncLateness();
