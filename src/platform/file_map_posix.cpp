// Read-only mapping of a whole file with open, fstat and mmap.
#include "platform/file_map.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

bool mapFile(const char* path, MappedFile* file) {
  *file = MappedFile{};
  if (!path) return false;
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status;
  // Only regular files: a directory opens fine but cannot be mapped, and an empty file has nothing to map.
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0 ||
      uint64_t(status.st_size) > SIZE_MAX) {
    close(fd);
    return false;
  }
  const size_t size = size_t(status.st_size);
  void* view = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  // The mapping keeps the file's pages reachable without the descriptor.
  close(fd);
  if (view == MAP_FAILED) return false;
  file->data = static_cast<const uint8_t*>(view);
  file->size = size;
  return true;
}

void unmapFile(MappedFile* file) {
  if (file->data) munmap(const_cast<uint8_t*>(file->data), file->size);
  *file = MappedFile{};
}
