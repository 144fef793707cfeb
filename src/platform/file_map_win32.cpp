// Read-only mapping of a whole file with CreateFileA, CreateFileMappingA and MapViewOfFile.
#include "platform/file_map.h"

#include <windows.h>

#include <cstdint>

bool mapFile(const char* path, MappedFile* file) {
  *file = MappedFile{};
  if (!path) return false;
  // A folder does not open without FILE_FLAG_BACKUP_SEMANTICS, so only files get further.
  const HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  // An empty file cannot be mapped at all.
  if (!GetFileSizeEx(handle, &size) || size.QuadPart <= 0 || static_cast<uint64_t>(size.QuadPart) > SIZE_MAX) {
    CloseHandle(handle);
    return false;
  }
  const HANDLE mapping = CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  const void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
  // The view keeps the file and the mapping object alive without their handles.
  if (mapping) CloseHandle(mapping);
  CloseHandle(handle);
  if (!view) return false;
  file->data = static_cast<const uint8_t*>(view);
  file->size = static_cast<size_t>(size.QuadPart);
  return true;
}

void unmapFile(MappedFile* file) {
  if (file->data) UnmapViewOfFile(file->data);
  *file = MappedFile{};
}
