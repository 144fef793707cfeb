// The soundtrack's script: tempo, the 84 named markers and the scene sections they start, in one table.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace timeline {

inline constexpr int sampleRate = 44100;
inline constexpr int beatsPerBar = 4;
inline constexpr int msPerBeat = 500;  // 120 beats a minute: a bar lasts 2 s, a beat 22050 samples
inline constexpr int samplesPerBeat = sampleRate * msPerBeat / 1000;
inline constexpr int songBeats = 360;  // three minutes

// Marker n (1-based) is heard at `beat` and takes the demo's count from n to n + 1.
// Its name becomes the caption of count n + 1; the captions of counts 12-49 (markers 11-48) tell a short text.
struct MarkerDef {
  int beat;
  const char* name;
};

inline constexpr std::array<MarkerDef, 84> markers = {{
    {20, "credit: code"},           // 1: count 1 is the fade-in, 10 s; each credit count holds a 200-frame sway
    {28, "credit: music"},
    {36, "credit: presents"},
    {44, "title zoom"},
    {52, "title collapse"},         // 5: count 6: the title collapses
    {56, "the lines begin"},        // 6: the drop: line feedback from count 7
    {60, "white light"},
    {64, "three lines"},
    {68, "slow turn"},
    {72, "first words"},            // 10
    {76, "hello, world"},           // 11: caption of count 12; at most 12 bytes, to fit the copied corner
    {80, "this is"},
    {84, "Vostrel"},
    {88, "three lines"},
    {92, "of blue"},                // 15
    {96, "turning"},
    {100, "slowly"},
    {104, "every frame"},
    {108, "keeps a bit"},
    {112, "of the last"},           // 20
    {116, "one percent"},
    {120, "at a time"},
    {124, "so nothing"},
    {128, "is ever"},
    {132, "really gone"},           // 25
    {136, "it only"},
    {140, "fades"},
    {144, "like music"},
    {148, "in a room"},
    {152, "after the"},             // 30
    {156, "last note"},
    {160, "we made it"},
    {164, "in plain"},
    {168, "OpenGL 1.1"},
    {172, "no shaders"},            // 35
    {176, "no tricks"},
    {180, "just lines"},
    {184, "and cubes"},
    {188, "twenty cubes on a string"},// 39: caption of count 40, drawn over the cubes at full width
    {192, "each one turns"},        // 40
    {196, "with the one before"},
    {200, "a chain of glass"},
    {204, "slowly going blue"},
    {208, "as the night goes on"},
    {212, "we keep turning"},       // 45
    {216, "we keep going"},
    {220, "until the blue"},
    {224, "takes over"},            // 48: the last caption, count 49
    {228, "blue, step 1"},          // 49: counts 50-61 last half a bar each while the cubes turn blue
    {230, "blue, step 2"},          // 50
    {232, "blue, step 3"},
    {234, "blue, step 4"},
    {236, "blue, step 5"},
    {238, "blue, step 6"},
    {240, "blue, step 7"},          // 55
    {242, "blue, step 8"},
    {244, "blue, step 9"},
    {246, "blue, step 10"},
    {248, "clear glass"},
    {250, "last turn"},             // 60
    {252, "blue interlude"},        // 61: count 62: the blue interlude
    {260, "blue, again"},
    {268, "back to white"},         // 63: count 64: line feedback again
    {272, "the last lines"},
    {276, "greets: talvo"},         // 65: counts 66-73: greetings
    {280, "greets: pirsek"},
    {284, "greets: mondal"},
    {288, "greets: quesh"},
    {292, "greets: vabrin"},
    {296, "greets: lorrit"},        // 70
    {300, "greets: senyx"},
    {304, "greets: druvel"},
    {308, "breathe"},               // 73: count 74
    {312, "see you"},               // 74: count 75: first closing text, 6 s
    {324, "goodbye"},               // 75: count 76: second closing text, 6 s
    {336, "seven"},                 // 76: counts 77-83 count down by half bars
    {338, "six"},
    {340, "five"},
    {342, "four"},
    {344, "three"},                 // 80
    {346, "two"},
    {348, "one"},
    {350, "last chord"},            // 83: count 84: the last chord rings out
    {359, "the end"},               // 84: count 85: the demo quits
}};

// The beat at which count `count` (1-based) begins: 0 for count 1, else the beat of marker count - 1.
constexpr int countStartBeat(int count) { return count <= 1 ? 0 : markers[static_cast<size_t>(count - 2)].beat; }

constexpr int64_t beatToSample(double beat) { return static_cast<int64_t>(beat * samplesPerBeat + 0.5); }
constexpr int64_t songSamples() { return static_cast<int64_t>(songBeats) * samplesPerBeat; }

constexpr bool markersAscend() {
  for (size_t i = 1; i < markers.size(); ++i)
    if (markers[i].beat <= markers[i - 1].beat) return false;
  return markers.back().beat < songBeats;
}
constexpr size_t nameLength(const char* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}
constexpr bool namesFit() {
  for (const MarkerDef& m : markers)
    if (nameLength(m.name) == 0 || nameLength(m.name) > 25) return false;
  return true;
}
static_assert(markersAscend(), "markers must come in order, inside the song");
static_assert(namesFit(), "marker names must hold 1 to 25 bytes");

// The short test track: the same names, marker n at 100 + 50 (n - 1) ms, the whole script in under five seconds.
inline constexpr int testTrackMs = 4500;
constexpr int testTrackMarkerMs(int n) { return 100 + 50 * (n - 1); }

}  // namespace timeline
