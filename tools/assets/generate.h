// What vostrel-assets writes: the soundtrack with its chapter markers and the fifteen images, into one folder.
#pragma once
#include <filesystem>
#include <vector>

#include "mp3.h"

namespace generate {

// The markers as chapters: marker n starts at its time and ends where the next one starts (the last at the track's end).
std::vector<mp3::Chapter> chapters(bool testTrack);

// The complete MP3 file: ID3v2.3 tag with the chapters, then the LAME-encoded soundtrack.
std::vector<uint8_t> soundtrack(bool testTrack);

// Writes OUT/demo.mp3, OUT/Data/*.bmp and OUT/Data/greets/*.bmp. Throws on any failure.
void writeAll(const std::filesystem::path& out, bool testTrack);

}  // namespace generate
