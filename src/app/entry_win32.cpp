// Process entry on Windows: the command line and the show command are ignored, as on every platform.
#include <windows.h>

#include "app/app.h"
#include "platform/failure.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { endRun(appMain()); }
