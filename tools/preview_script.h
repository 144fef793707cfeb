// The preview's places in the script: where a count or a time lies in the music, and what the keys go to.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "music/markers.h"

// Output frames a second, and per 10 ms frame of the scenes.
constexpr uint64_t previewRate = 44100;
constexpr uint64_t framesPerStep = previewRate / 100;

// A place to play from: the music frame, and the count and caption the script has there, the markers on the
// frame itself included (as in a run that has just heard it). The sound core still calls those when the frame
// is heard after a jump: `onFrame` says how many such calls are already counted.
struct ScriptPlace {
  uint64_t frame = 0;
  int32_t count = 1;
  std::string caption;
  int32_t onFrame = 0;
};

// What --at asks for: a count ("66"), or a time ("1:23.456", "83.456", "83").
struct StartAt {
  bool byCount = true;
  int32_t count = 1;
  uint64_t milliseconds = 0;
};
// False, with the reason, for anything else.
bool parseStartAt(const char* text, StartAt* at, std::string* error);

// The place at music frame `frame`.
ScriptPlace placeAtFrame(const std::vector<Marker>& markers, uint64_t frame);
// The place where `count` begins: at the frame of the marker that raises the count to it (count 1 and below: the
// start; past the last marker: the last marker's frame).
ScriptPlace placeOfCount(const std::vector<Marker>& markers, int32_t count);
// The first marker after the script's count: its index, or markers.size() when none is left.
size_t nextMarker(const std::vector<Marker>& markers, int32_t count);

// "m:ss.mmm"
std::string clockText(uint64_t milliseconds);
