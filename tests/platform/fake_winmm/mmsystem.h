// The wave output's second system header; everything it needs is in the stand-in windows.h.
#pragma once
#include <windows.h>
