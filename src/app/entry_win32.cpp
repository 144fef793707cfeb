// Process entry on Windows: the command line and the show command are ignored, as on every platform.
#include <windows.h>

#include "app/app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return appMain(); }
