// libFuzzer target for the bitmap decoder: any bytes, as a file with or without its file header.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "gfx/dib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DibInfo info;
  const DibError infoError = readDibInfo(data, size, &info);
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
