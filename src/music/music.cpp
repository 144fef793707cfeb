// The music start and stop sequences around the main loop.
#include "music/music.h"

bool startMusic() { return true; }

void stopMusic() {}
