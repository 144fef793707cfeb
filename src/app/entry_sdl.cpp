// Process entry on SDL platforms: the command line is ignored, as on every platform.
#include "app/app.h"
#include "platform/failure.h"

int main(int, char**) { endRun(appMain()); }
