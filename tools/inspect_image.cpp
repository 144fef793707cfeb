// vostrel-inspect image: what the demo's bitmap loader reads from a file, and the picture as a PPM.
#include <cstdio>
#include <cstdlib>

#include "gfx/dib.h"
#include "platform/file_map.h"
#include "inspect.h"

namespace {

const char* compressionName(uint32_t compression) {
  switch (compression) {
    case 0: return "none (RGB)";
    case 1: return "RLE8";
    case 2: return "RLE4";
    case 3: return "bit fields";
    default: return "unknown";
  }
}

// Binary PPM, rows top first, so the bottom-up rows of the image are written in reverse.
bool writePpm(const char* path, const DibImage& image) {
  FILE* out = std::fopen(path, "wb");
  if (!out) return false;
  std::fprintf(out, "P6\n%d %d\n255\n", image.width, image.height);
  const size_t rowBytes = size_t(image.width) * 3;
  for (int32_t row = image.height - 1; row >= 0; --row) {
    std::fwrite(image.pixels + size_t(row) * rowBytes, 1, rowBytes, out);
  }
  const bool written = !std::ferror(out);
  return std::fclose(out) == 0 && written;
}

}  // namespace

int inspectImage(int argc, char** argv) {
  if (argc < 1 || argc > 2) {
    std::fprintf(stderr, "usage: vostrel-inspect image FILE [OUT.ppm]\n");
    return 2;
  }
  const char* path = argv[0];
  MappedFile file;
  if (!mapFile(path, &file)) {
    char* text = dibOpenErrorText(path);
    std::fputs(text ? text : dibErrorText(DibError::outOfMemory), stderr);
    std::free(text);
    return 1;
  }

  DibInfo info;
  DibImage image;
  DibError error = readDibInfo(file.data, file.size, &info);
  if (error == DibError::none) error = decodeDib(file.data, file.size, &image);
  unmapFile(&file);
  if (error != DibError::none) {
    std::fprintf(stderr, "%s\n", dibErrorText(error));
    if (error == DibError::unknownFormat) {
      std::fprintf(stderr, "hint: only 12- and 40-byte headers are read; save as a Windows 3 bitmap "
                           "(ImageMagick: BMP3:%s)\n", path);
    }
    return 1;
  }

  std::printf("file:           %s\n", path);
  std::printf("header:         %u-byte %s, %s file header\n", info.headerSize,
              info.headerSize == 12 ? "core header" : "info header", info.fileHeader ? "with" : "without");
  std::printf("bits per pixel: %u\n", unsigned(info.bitsPerPixel));
  std::printf("compression:    %s (%u)\n", compressionName(info.compression), info.compression);
  std::printf("colours:        %u\n", info.colors);
  std::printf("width:          %d\n", info.width);
  std::printf("height:         %d%s\n", info.height, info.height < 0 ? " (rows stored top-down)" : "");
  if ((info.width & (info.width - 1)) != 0 || (std::abs(info.height) & (std::abs(info.height) - 1)) != 0)
    std::printf("note:           a side is not a power of two: the picture is scaled to one at start-up\n");

  int status = 0;
  if (argc == 2) {
    if (writePpm(argv[1], image)) {
      std::printf("written:        %s\n", argv[1]);
    } else {
      std::fprintf(stderr, "cannot write %s\n", argv[1]);
      status = 1;
    }
  }
  freeDibPixels(&image);
  return status;
}
