// Read-only mapping of a whole file, so headers and pixels are read in place.
#pragma once
#include <cstddef>
#include <cstdint>

struct MappedFile {
  const uint8_t* data = nullptr;
  size_t size = 0;
  void* handle = nullptr;  // platform bookkeeping
};

// Maps the whole file read-only; false (and *file empty) when it cannot be opened or mapped, or is empty.
bool mapFile(const char* path, MappedFile* file);
// Releases a mapping made by mapFile; safe on an empty one.
void unmapFile(MappedFile* file);
