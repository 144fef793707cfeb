// Loading a bitmap file from disk, with the user told in a message box why it failed.
#pragma once
#include "gfx/dib.h"

// Maps and decodes the file; on failure shows one error message and returns null.
DibImage* loadDibImage(const char* path);
// Releases the pixels and then the record; safe on null.
void freeDibImage(DibImage* image);
