// Thread priorities on POSIX systems, for the platform's own threads (and the sound output's, which SDL makes).
#pragma once

// Raises the calling thread as far as the system grants: urgent asks for real-time round-robin scheduling,
// then the lowest nice value allowed; otherwise a nice value a step above normal.
void raiseThisThread(bool urgent);
