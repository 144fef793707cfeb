// Thread priorities on POSIX systems: real-time where granted (root, or a real-time limit), else nice values.
#include "platform/priority_posix.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void raiseThisThread(bool urgent) {
  if (urgent) {
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_RR);
    if (pthread_setschedparam(pthread_self(), SCHED_RR, &param) == 0) return;
  }
  // Linux takes a nice value per thread; an unprivileged program usually may not go below 0, and then
  // the thread stays as it is.
  const id_t thread = static_cast<id_t>(syscall(SYS_gettid));
  for (int nice = urgent ? -20 : -10; nice < 0; ++nice)
    if (setpriority(PRIO_PROCESS, thread, nice) == 0) return;
}
