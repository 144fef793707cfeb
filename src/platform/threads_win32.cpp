// Threads, wake-up events and sleeping on Win32: CreateThread, auto-reset events, Sleep at 1 ms resolution.
#include "platform/threads.h"

#include <windows.h>

#include <new>

#include "platform/fine_timer_win32.h"

struct PlatformThread {
  HANDLE handle;
  void (*body)(void*);
  void* argument;
};

struct WakeEvent {
  HANDLE handle;
};

namespace {

DWORD WINAPI threadEntry(void* parameter) {
  PlatformThread* thread = static_cast<PlatformThread*>(parameter);
  thread->body(thread->argument);
  return 0;
}

int systemPriority(ThreadPriority priority) {
  switch (priority) {
    case ThreadPriority::urgent:
      return THREAD_PRIORITY_TIME_CRITICAL;
    case ThreadPriority::high:
      return THREAD_PRIORITY_HIGHEST;
    default:
      return THREAD_PRIORITY_NORMAL;
  }
}

}  // namespace

PlatformThread* threadStart(void (*body)(void*), void* argument, ThreadPriority priority) {
  PlatformThread* thread = new (std::nothrow) PlatformThread{nullptr, body, argument};
  if (!thread) return nullptr;
  // Suspended until its priority is set, so it never runs a moment at the wrong one.
  thread->handle = CreateThread(nullptr, 0, threadEntry, thread, CREATE_SUSPENDED, nullptr);
  if (!thread->handle) {
    delete thread;
    return nullptr;
  }
  SetThreadPriority(thread->handle, systemPriority(priority));
  ResumeThread(thread->handle);
  return thread;
}

void threadJoin(PlatformThread* thread) {
  if (!thread) return;
  WaitForSingleObject(thread->handle, INFINITE);
  CloseHandle(thread->handle);
  delete thread;
}

WakeEvent* wakeEventCreate() {
  const HANDLE handle = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!handle) return nullptr;
  WakeEvent* event = new (std::nothrow) WakeEvent{handle};
  if (!event) CloseHandle(handle);
  return event;
}

void wakeEventSignal(WakeEvent* event) { SetEvent(event->handle); }

bool wakeEventWait(WakeEvent* event, uint32_t milliseconds) {
  useFineTimer();
  return WaitForSingleObject(event->handle, milliseconds) == WAIT_OBJECT_0;
}

void wakeEventDestroy(WakeEvent* event) {
  if (!event) return;
  CloseHandle(event->handle);
  delete event;
}

void sleepMicroseconds(uint32_t microseconds) {
  useFineTimer();
  Sleep(microseconds == 0 ? 0 : (microseconds + 999) / 1000);
}
