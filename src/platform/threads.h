// Threads, a wake-up event and sleeping: portable code starts no thread of its own but through these.
#pragma once
#include <cstdint>

struct PlatformThread;
struct WakeEvent;

enum class ThreadPriority {
  normal,
  high,    // above normal: the decoder that keeps the sound output fed
  urgent,  // the best the system grants an unprivileged program: the sound output and the sync points
};

// Starts body(argument) on a new thread at the priority (where the system allows it); null when it cannot.
PlatformThread* threadStart(void (*body)(void*), void* argument, ThreadPriority priority);
// Waits for the thread to end and releases it; safe on null.
void threadJoin(PlatformThread* thread);

// An auto-reset event: a signal wakes one wait, or the next one when nobody waits.
WakeEvent* wakeEventCreate();
// Never blocks, so it may be called from the sound output's callback.
void wakeEventSignal(WakeEvent* event);
// Waits until signalled or until the milliseconds have passed; true when signalled.
bool wakeEventWait(WakeEvent* event, uint32_t milliseconds);
void wakeEventDestroy(WakeEvent* event);

// Sleeps for about the given time (at least a scheduler tick on some systems).
void sleepMicroseconds(uint32_t microseconds);
