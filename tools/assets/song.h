// The soundtrack: an arrangement on the marker table's bars, rendered to stereo samples.
#pragma once
#include <cstdint>
#include <vector>

namespace song {

struct Stereo {
  std::vector<float> l, r;
};

// Renders samples [start, start + length) of the full song, unmastered.
Stereo render(int64_t start, int64_t length);

// The full three minutes, mastered: about -14 LUFS, peaks held below the ceiling.
Stereo renderFull();

// A few seconds of the main groove with short fades, mastered the same way, for the test track.
Stereo renderTestTrack();

}  // namespace song
