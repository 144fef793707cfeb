// vostrel-assets: writes the demo's default soundtrack and images, the same bytes on every run.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "generate.h"

namespace {

int usage() {
  std::fputs(
      "usage: vostrel-assets OUTDIR               write OUTDIR/demo.mp3 and the images under OUTDIR/Data\n"
      "       vostrel-assets --test-track OUTDIR  the same with a 4.5-second track holding all markers\n"
      "       vostrel-assets --list-markers [--test-track]\n"
      "                                           print each marker: number, start in ms, name\n"
      "       vostrel-assets --ffmetadata [--test-track]\n"
      "                                           print the markers as an ffmpeg metadata file of chapters\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
#if defined(__SSE__)
  // Decaying filter and reverb states would otherwise crawl through denormals; flushing them is the same everywhere.
  _mm_setcsr(_mm_getcsr() | 0x8040);
#endif
  bool testTrack = false, list = false, ffmetadata = false;
  const char* out = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--test-track") == 0) testTrack = true;
    else if (std::strcmp(argv[i], "--list-markers") == 0) list = true;
    else if (std::strcmp(argv[i], "--ffmetadata") == 0) ffmetadata = true;
    else if (argv[i][0] == '-' || out) return usage();
    else out = argv[i];
  }
  try {
    if (ffmetadata) {
      if (out || list) return usage();
      std::fputs(";FFMETADATA1\n", stdout);
      for (const mp3::Chapter& c : generate::chapters(testTrack)) {
        std::printf("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%u\nEND=%u\ntitle=", c.startMs, c.endMs);
        for (char ch : c.title) {  // the metadata format escapes these with a backslash
          if (ch == '=' || ch == ';' || ch == '#' || ch == '\\' || ch == '\n') std::fputc('\\', stdout);
          std::fputc(ch, stdout);
        }
        std::fputc('\n', stdout);
      }
      return 0;
    }
    if (list) {
      if (out) return usage();
      int n = 0;
      for (const mp3::Chapter& c : generate::chapters(testTrack)) std::printf("%d\t%u\t%s\n", ++n, c.startMs, c.title.c_str());
      return 0;
    }
    if (!out) return usage();
    generate::writeAll(out, testTrack);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vostrel-assets: %s\n", e.what());
    return 1;
  }
  return 0;
}
