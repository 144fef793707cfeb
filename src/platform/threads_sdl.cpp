// Threads on SDL2 and POSIX: SDL threads raised by POSIX priorities, a semaphore as the wake-up event.
#include "platform/threads.h"

#include <SDL.h>
#include <time.h>

#include "platform/priority_posix.h"

struct PlatformThread {
  SDL_Thread* thread;
  void (*body)(void*);
  void* argument;
  ThreadPriority priority;
};

struct WakeEvent {
  SDL_sem* semaphore;
};

namespace {

int runThread(void* data) {
  PlatformThread* thread = static_cast<PlatformThread*>(data);
  // Where the system allows it; otherwise the thread runs as it is.
  if (thread->priority != ThreadPriority::normal) raiseThisThread(thread->priority == ThreadPriority::urgent);
  thread->body(thread->argument);
  return 0;
}

}  // namespace

PlatformThread* threadStart(void (*body)(void*), void* argument, ThreadPriority priority) {
  PlatformThread* thread = new PlatformThread{nullptr, body, argument, priority};
  thread->thread = SDL_CreateThread(runThread, "vostrel", thread);
  if (!thread->thread) {
    delete thread;
    return nullptr;
  }
  return thread;
}

void threadJoin(PlatformThread* thread) {
  if (!thread) return;
  SDL_WaitThread(thread->thread, nullptr);
  delete thread;
}

WakeEvent* wakeEventCreate() {
  SDL_sem* semaphore = SDL_CreateSemaphore(0);
  return semaphore ? new WakeEvent{semaphore} : nullptr;
}

void wakeEventSignal(WakeEvent* event) {
  // One signal is enough however many came: a waiter always takes them all.
  if (SDL_SemValue(event->semaphore) == 0) SDL_SemPost(event->semaphore);
}

bool wakeEventWait(WakeEvent* event, uint32_t milliseconds) {
  const bool signalled = SDL_SemWaitTimeout(event->semaphore, milliseconds) == 0;
  while (SDL_SemTryWait(event->semaphore) == 0) {
  }
  return signalled;
}

void wakeEventDestroy(WakeEvent* event) {
  if (!event) return;
  SDL_DestroySemaphore(event->semaphore);
  delete event;
}

void sleepMicroseconds(uint32_t microseconds) {
  timespec wait{static_cast<time_t>(microseconds / 1000000), static_cast<long>(microseconds % 1000000) * 1000};
  while (nanosleep(&wait, &wait) != 0) {
  }
}
