// Guards the bitmap decoder against reading or writing outside its buffers on any bytes, as a file with or
// without its file header, and against headers and pixels that disagree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "gfx/dib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DibInfo info;
  const DibError infoError = readDibInfo(data, size, &info);
  // A picture of over 65,536 pixels (256 x 256) decodes as a small one does but costs a large allocation
  // each time: with a million allowed, a few such inputs in the corpus cut the search to a twentieth of its
  // speed. Of those only the headers are read.
  if (infoError == DibError::none && static_cast<uint64_t>(info.width) * std::abs(info.height) > (1u << 16)) return 0;
  DibImage image;
  const DibError error = decodeDib(data, size, &image);
  // Header checks are shared, so a decoded picture always has readable headers of the same size.
  if (error == DibError::none) {
    if (infoError != DibError::none || image.width != info.width || image.height != std::abs(info.height)) std::abort();
    // Touch the last byte so a short allocation shows under AddressSanitizer.
    volatile uint8_t last = image.pixels[size_t(image.width) * image.height * 3 - 1];
    (void)last;
  }
  freeDibPixels(&image);
  return 0;
}
