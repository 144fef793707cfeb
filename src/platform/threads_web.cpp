// Threads in a browser page served as plain files: there are none (no shared memory without special
// headers), so no thread starts and the sound core's loop pumps its work instead.
#include "platform/threads.h"

struct WakeEvent {
  int unused;
};

namespace {
WakeEvent onlyEvent;  // nobody can wait on it: one is enough for every caller
}

PlatformThread* threadStart(void (*)(void*), void*, ThreadPriority) { return nullptr; }
void threadJoin(PlatformThread*) {}
WakeEvent* wakeEventCreate() { return &onlyEvent; }
void wakeEventSignal(WakeEvent*) {}
bool wakeEventWait(WakeEvent*, uint32_t) { return false; }
void wakeEventDestroy(WakeEvent*) {}
void sleepMicroseconds(uint32_t) {}
