// The system timer's period on Win32, set to 1 ms once for the whole process.
#pragma once

// Asks for a 1 ms timer period the first time it is called and keeps it until the process ends: the clock then
// counts single milliseconds, and short sleeps and event waits end close to when they should (the default
// scheduler tick is 10-16 ms). Safe from any thread.
void useFineTimer();
