// vostrel-inspect: shows what the demo will read from a music file or a bitmap.
#include "inspect.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "image") == 0) return inspectImage(argc - 2, argv + 2);
  if (argc >= 2 && std::strcmp(argv[1], "markers") == 0) return inspectMarkers(argc - 2, argv + 2);
  std::fprintf(stderr,
               "usage: vostrel-inspect markers FILE\n"
               "       vostrel-inspect image FILE [OUT.ppm]\n");
  return 2;
}
