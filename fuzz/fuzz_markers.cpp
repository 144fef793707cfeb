// Guards the marker reader against reading outside its input on any bytes, and against breaking the promises
// its callers rely on (a failure has a reason, the payload lies inside the file, markers are ordered, names hold
// no NUL), checked on every input.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "music/markers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MusicFileInfo info;
  std::string error;
  bool ok = readMusicFile(data, size, &info, &error);
  if (!ok && (error.empty() || !info.markers.empty())) std::abort();
  if (ok && (info.audioSize == 0 || info.audioOffset > size || info.audioSize > size - info.audioOffset ||
             info.sampleRate == 0 || info.channels == 0)) {
    std::abort();
  }
  for (size_t i = 1; i < info.markers.size(); ++i) {
    if (info.markers[i - 1].sample > info.markers[i].sample) std::abort();
  }
  for (const Marker& m : info.markers) {
    if (m.name.find('\0') != std::string::npos) std::abort();
  }
  return 0;
}
