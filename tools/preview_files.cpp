// The preview's files: pictures decoded without the program's message boxes, and a cheap look for changes.
#include "preview_files.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <system_error>

#include "gfx/resources.h"
#include "platform/file_map.h"

bool decodePictures(std::vector<DibImage>* images, std::string* problem) {
  images->clear();
  for (const ImageSlot& slot : imageSlots) {
    MappedFile file;
    DibImage image{};
    if (!mapFile(slot.path, &file)) {
      char* text = dibOpenErrorText(slot.path);
      *problem = text ? text : slot.path;
      std::free(text);
    } else {
      const DibError error = decodeDib(file.data, file.size, &image);
      unmapFile(&file);
      if (error == DibError::none) {
        images->push_back(image);
        continue;
      }
      *problem = std::string(slot.path) + ": " + dibErrorText(error);
    }
    while (!problem->empty() && (problem->back() == '\n' || problem->back() == '.')) problem->pop_back();
    freePictures(images);
    return false;
  }
  return true;
}

void freePictures(std::vector<DibImage>* images) {
  for (DibImage& image : *images) freeDibPixels(&image);
  images->clear();
}

namespace {

struct Seen {
  std::filesystem::file_time_type time;
  std::uintmax_t size;
  bool operator==(const Seen& other) const { return time == other.time && size == other.size; }
};
using Snapshot = std::map<std::string, Seen>;

void note(Snapshot* snapshot, const std::filesystem::path& path) {
  std::error_code error;
  const auto time = std::filesystem::last_write_time(path, error);
  if (error) return;
  const auto size = std::filesystem::file_size(path, error);
  if (!error) (*snapshot)[path.generic_string()] = Seen{time, size};
}

}  // namespace

bool watchFilesChanged() {
  static Snapshot last;
  static bool noted = false;
  Snapshot now;
  note(&now, "demo.mp3");
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator("Data", error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
    if (it->is_regular_file(error)) note(&now, it->path());
  const bool changed = noted && now != last;
  last = std::move(now);
  noted = true;
  return changed;
}
