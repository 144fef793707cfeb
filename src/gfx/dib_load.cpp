// Loading a bitmap file from disk through a read-only mapping, with one error message per failure.
#include "gfx/dib_load.h"

#include <cstdlib>

#include "platform/failure.h"
#include "platform/file_map.h"

namespace {

// Unmaps the file on every way out of the loader.
struct MappingGuard {
  MappedFile file;
  ~MappingGuard() { unmapFile(&file); }
};

}  // namespace

DibImage* loadDibImage(const char* path) {
  MappingGuard mapping;
  if (!mapFile(path, &mapping.file)) {
    char* text = dibOpenErrorText(path);
    showFailure(FailureStyle::box, text ? text : dibErrorText(DibError::outOfMemory));
    std::free(text);
    return nullptr;
  }
  DibImage decoded;
  const DibError error = decodeDib(mapping.file.data, mapping.file.size, &decoded);
  if (error != DibError::none) {
    showFailure(FailureStyle::box, dibErrorText(error));
    return nullptr;
  }
  DibImage* image = static_cast<DibImage*>(std::malloc(sizeof(DibImage)));
  if (!image) {
    freeDibPixels(&decoded);
    showFailure(FailureStyle::box, dibErrorText(DibError::outOfMemory));
    return nullptr;
  }
  *image = decoded;
  return image;
}

void freeDibImage(DibImage* image) {
  if (!image) return;
  freeDibPixels(image);
  std::free(image);
}
