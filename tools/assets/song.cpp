// The arrangement: which voices play in each bar, with section changes on the scene changes of the marker table.
#include "song.h"

#include <algorithm>
#include <array>

#include "detmath.h"
#include "master.h"
#include "synth.h"
#include "timeline.h"

namespace song {

namespace {

using synth::Bus;
using synth::PadShape;
using synth::Route;
using synth::Sidechain;

struct Chord {
  int bass;                 // root for the bass line
  std::array<int, 4> tones; // pad voicing around middle C
};

constexpr Chord Am{45, {57, 60, 64, 69}}, F{41, {57, 60, 65, 69}}, C{48, {55, 60, 64, 67}}, G{43, {55, 59, 62, 67}};
constexpr Chord Em{40, {55, 59, 64, 67}}, E{40, {56, 59, 64, 68}}, Dm{38, {57, 62, 65, 69}}, Bb{46, {58, 62, 65, 70}};
constexpr Chord Amaj{45, {57, 61, 64, 69}}, Fmaj7{41, {53, 57, 60, 64}}, Em7{40, {55, 59, 62, 64}}, Dm7{38, {53, 57, 60, 62}};

// The bar at which each scene's section begins, read from the marker table so music and pictures cannot drift apart.
constexpr int barOf(int count) { return timeline::countStartBeat(count) / timeline::beatsPerBar; }
constexpr int kTitle = barOf(5), kCollapse = barOf(6), kLines = barOf(7), kCubes = barOf(40), kCubeBuild = barOf(50);
constexpr int kBlue = barOf(62), kFinal = barOf(64), kGreets = barOf(66), kBreathe = barOf(74), kClosing = barOf(75);
constexpr int kOutro = barOf(77), kLastChordBeat = timeline::countStartBeat(84), kEndBeat = timeline::markers.back().beat;
static_assert(kTitle == 11 && kCollapse == 13 && kLines == 14 && kCubes == 47 && kCubeBuild == 57);
static_assert(kBlue == 63 && kFinal == 67 && kGreets == 69 && kBreathe == 77 && kClosing == 78 && kOutro == 84);

// The hook, in eighth notes: {pitch, length in eighths}; eight bars over Am F C G Am F C G.
struct Step {
  int pitch, eighths;
};
constexpr std::array<std::array<Step, 5>, 8> kHook = {{
    {{{76, 3}, {74, 1}, {72, 2}, {71, 1}, {72, 1}}},
    {{{69, 3}, {72, 1}, {77, 2}, {76, 1}, {72, 1}}},
    {{{79, 3}, {76, 1}, {72, 2}, {74, 1}, {76, 1}}},
    {{{74, 4}, {71, 2}, {67, 2}, {0, 0}, {0, 0}}},
    {{{76, 3}, {74, 1}, {72, 2}, {71, 1}, {72, 1}}},
    {{{69, 3}, {72, 1}, {77, 2}, {79, 1}, {81, 1}}},
    {{{79, 2}, {76, 2}, {84, 2}, {83, 1}, {79, 1}}},
    {{{83, 4}, {81, 2}, {79, 2}, {0, 0}, {0, 0}}},
}};

constexpr std::array<int, 16> kArpA = {0, 1, 2, 1, 3, 1, 2, 1, 0, 1, 2, 1, 3, 2, 1, 2};

class Arrangement {
 public:
  Arrangement(int64_t start, int64_t length)
      : drums(start, length), music(start, length), send(start, length), duck(start, length) {}

  Bus drums, music, send;
  Sidechain duck;

  static int64_t at(double beat) { return timeline::beatToSample(beat); }
  static int64_t span(double beats) { return timeline::beatToSample(beats); }

  Route route(float sendLevel, float duckDepth) { return Route{&music, &send, sendLevel, &duck, duckDepth}; }

  void kickAt(double beat, float level) { kicks_.push_back({beat, level}); }
  // Ducked voices read the sidechain as they are rendered, so it is filled before any voice, from a first pass.
  void loadSidechain(const Arrangement& first) {
    for (auto [beat, level] : first.kicks_) duck.addKick(at(beat));
  }
  void renderKicks() {
    for (auto [beat, level] : kicks_) synth::kick(drums, at(beat), level);
  }

 private:
  std::vector<std::pair<double, float>> kicks_;
};

double barBeat(int bar, double step16) { return bar * 4.0 + step16 * 0.25; }

void fourOnFloor(Arrangement& a, int bar, float level, int lastStep = 16) {
  for (int s = 0; s < lastStep; s += 4) a.kickAt(barBeat(bar, s), level);
}

void hats(Arrangement& a, int bar, float level, bool openOffbeats, int lastStep = 16) {
  static constexpr std::array<float, 4> accent = {0.55f, 0.3f, 1.0f, 0.35f};
  for (int s = 0; s < lastStep; ++s) {
    const bool offbeat = s % 4 == 2;
    if (openOffbeats && offbeat) synth::hat(a.drums, a.at(barBeat(bar, s)), level * 0.8f, true, -0.2f);
    else synth::hat(a.drums, a.at(barBeat(bar, s)), level * accent[static_cast<size_t>(s % 4)], false, 0.25f);
  }
}

void claps(Arrangement& a, int bar, float level) {
  synth::clap(a.drums, &a.send, a.at(barBeat(bar, 4)), level);
  synth::clap(a.drums, &a.send, a.at(barBeat(bar, 12)), level);
}

// A roll of sixteenths (or eighths) from `from` to `to` beats, getting louder.
void snareRoll(Arrangement& a, double from, double to, double every, float quiet, float loud) {
  for (double b = from; b < to - 1e-9; b += every) {
    const double x = (b - from) / (to - from);
    synth::snare(a.drums, &a.send, a.at(b), static_cast<float>(quiet + (loud - quiet) * x), 0.8f, 0.5f);
  }
}

void padChord(Arrangement& a, double beat, double beats, const Chord& c, float level, const PadShape& shape, float duck = 0.45f) {
  const Route to = a.route(0.35f, duck);
  for (int t : c.tones) synth::pad(to, a.at(beat), a.span(beats), t, level, shape);
}

// Bass lines on a sixteenth grid: {step, length in steps, interval above the root}.
struct BassNote {
  double step, steps;
  int interval;
};
constexpr std::array<BassNote, 6> kBassMain = {{{2, 1.6, 0}, {6, 0.8, 0}, {7, 0.8, 12}, {10, 1.6, 0}, {14, 0.8, 0}, {15, 0.8, 7}}};
constexpr std::array<BassNote, 4> kBassOffbeat = {{{2, 1.5, 0}, {6, 1.5, 0}, {10, 1.5, 0}, {14, 1.5, 0}}};
constexpr std::array<BassNote, 3> kBassLong = {{{0, 5.5, 0}, {6, 3.5, 0}, {10, 5.5, 0}}};

template <size_t N>
void bassLine(Arrangement& a, int bar, const Chord& c, const std::array<BassNote, N>& line, float level, float bright, int lastStep = 16) {
  const Route to = a.route(0.0f, 0.65f);
  for (const BassNote& n : line)
    if (n.step < lastStep) synth::bass(to, a.at(barBeat(bar, n.step)), a.span(n.steps * 0.25), c.bass + n.interval, level, bright);
}

void rollingBass(Arrangement& a, int bar, const Chord& c, float level, float bright) {
  const Route to = a.route(0.0f, 0.55f);
  for (int s = 0; s < 16; ++s)
    if (s % 4 != 0) synth::bass(to, a.at(barBeat(bar, s)), a.span(0.2), c.bass + (s % 4 == 3 ? 12 : 0), level, bright);
}

void arp(Arrangement& a, int bar, const Chord& c, float level, float bright, int octave = 12, int lastStep = 16) {
  const Route to = a.route(0.45f, 0.35f);
  for (int s = 0; s < lastStep; ++s) {
    const int tone = c.tones[static_cast<size_t>(kArpA[static_cast<size_t>(s)])] + octave;
    const float accent = s % 4 == 0 ? 1.0f : 0.75f;
    synth::pluck(to, a.at(barBeat(bar, s)), tone, level * accent, s % 2 ? 0.45f : -0.45f, bright);
  }
}

// Dotted groups of three sixteenths, an octave higher: the second groove's figure.
void arpDotted(Arrangement& a, int bar, const Chord& c, float level, float bright) {
  const Route to = a.route(0.5f, 0.35f);
  static constexpr std::array<int, 6> steps = {0, 3, 6, 8, 11, 14};
  static constexpr std::array<int, 6> tones = {0, 2, 3, 1, 2, 3};
  for (size_t k = 0; k < steps.size(); ++k)
    synth::pluck(to, a.at(barBeat(bar, steps[k])), c.tones[static_cast<size_t>(tones[k])] + 24, level, k % 2 ? 0.6f : -0.6f, bright, 0.22f);
}

void bells(Arrangement& a, int bar, const Chord& c, float level, int every8ths = 1) {
  const Route to = a.route(0.6f, 0.2f);
  static constexpr std::array<int, 8> order = {0, 2, 1, 3, 2, 1, 3, 2};
  for (int e = 0; e < 8; e += every8ths)
    synth::bell(to, a.at(barBeat(bar, e * 2)), c.tones[static_cast<size_t>(order[static_cast<size_t>(e)])] + 12, level, e % 2 ? 0.5f : -0.5f);
}

void hookBar(Arrangement& a, int bar, int hookBar, float level, int transpose = 0) {
  const Route to = a.route(0.4f, 0.25f);
  double eighth = 0.0;
  for (const Step& s : kHook[static_cast<size_t>(hookBar % 8)]) {
    if (s.eighths == 0) break;
    synth::lead(to, a.at(bar * 4.0 + eighth * 0.5), a.span(s.eighths * 0.5 * 0.86), s.pitch + transpose, level);
    eighth += s.eighths;
  }
}

void chordStab(Arrangement& a, double beat, const Chord& c, float level, float decay, int octave = 12) {
  const Route to = a.route(0.5f, 0.0f);
  float pan = -0.5f;
  for (int t : c.tones) {
    synth::pluck(to, a.at(beat), t + octave, level, pan, 0.8f, decay);
    pan += 1.0f / 3.0f;
  }
}

void impact(Arrangement& a, int bar, float level, bool withKick = true) {
  synth::boom(a.drums, a.at(bar * 4.0 + 0.02), 0.4f * level);
  synth::crash(a.drums, &a.send, a.at(bar * 4.0), 0.16f * level);
  if (withKick) a.kickAt(bar * 4.0, 0.75f * level);
}

// Everything that plays, bar by bar.
void arrange(Arrangement& a) {
  const PadShape open{2000.0f, 2000.0f};
  const std::array<Chord, 4> main = {Am, F, C, G};
  const std::array<Chord, 4> second = {F, G, Em, Am};
  const std::array<Chord, 4> cubes = {Dm, Bb, F, C};

  // Count 1: the pad fades in with the picture, its filter opening; a riser leads to the first credit.
  padChord(a, 0, 8, Am, 0.22f, PadShape{260.0f, 700.0f, 0.05f, 0.55f, 1.5f, 0.9f}, 0.0f);
  padChord(a, 8, 8, F, 0.22f, PadShape{700.0f, 1300.0f, 0.55f, 0.85f, 0.6f, 0.9f}, 0.0f);
  padChord(a, 16, 4, G, 0.22f, PadShape{1300.0f, 2000.0f, 0.85f, 1.0f, 0.4f, 0.9f}, 0.0f);
  for (int bar = 2; bar < 5; ++bar) {
    const Chord& c = bar < 4 ? F : G;
    const Route to = a.route(0.6f, 0.0f);
    for (int e = 0; e < 8; ++e)
      synth::pluck(to, a.at(barBeat(bar, e * 2)), c.tones[static_cast<size_t>(kArpA[static_cast<size_t>(e * 2)])] + 12,
                   0.05f + 0.02f * static_cast<float>(bar - 2), e % 2 ? 0.5f : -0.5f, 0.3f);
  }
  synth::riser(a.drums, a.at(16), a.span(4), 0.12f);

  // Counts 2-4: three impacts, one per credit, and the groove assembling itself.
  const std::array<Chord, 6> credits = {Am, F, C, G, Am, F};
  for (int bar = 5; bar < kTitle; ++bar) {
    const Chord& c = credits[static_cast<size_t>(bar - 5)];
    if ((bar - 5) % 2 == 0) impact(a, bar, 1.0f);
    padChord(a, bar * 4.0, 4, c, 0.2f, open, 0.2f);
    arp(a, bar, c, 0.08f, 0.35f + 0.05f * static_cast<float>(bar - 5));
    if (bar >= 7) for (int s = 2; s < 16; s += 4) synth::hat(a.drums, a.at(barBeat(bar, s)), 0.1f, false, 0.25f);
    if (bar >= 9) {
      a.kickAt(barBeat(bar, 8), 0.6f);
      if (bar == 10) a.kickAt(barBeat(bar, 12), 0.6f);
      bassLine(a, bar, c, kBassOffbeat, 0.28f, 0.4f);
    }
  }
  synth::riser(a.drums, a.at(barBeat(10, 8)), a.span(2), 0.08f);

  // Count 5: the title, bright C and G; count 6: the collapse, a roll into the drop.
  for (int bar = kTitle; bar < kCollapse; ++bar) {
    const Chord& c = bar == kTitle ? C : G;
    if (bar == kTitle) impact(a, bar, 1.1f, false);
    fourOnFloor(a, bar, 0.85f);
    claps(a, bar, 0.3f);
    hats(a, bar, 0.2f, false);
    bassLine(a, bar, c, kBassOffbeat, 0.32f, 0.6f);
    padChord(a, bar * 4.0, 4, c, 0.2f, PadShape{2400.0f, 2400.0f}, 0.5f);
    chordStab(a, bar * 4.0, c, 0.11f, 0.5f);
    arp(a, bar, c, 0.08f, 0.6f);
  }
  padChord(a, kCollapse * 4.0, 3.5, E, 0.2f, PadShape{1200.0f, 3500.0f, 1.0f, 1.0f, 0.05f, 0.3f}, 0.0f);
  arp(a, kCollapse, E, 0.08f, 0.9f, 12, 14);
  fourOnFloor(a, kCollapse, 0.75f, 8);
  snareRoll(a, kCollapse * 4.0, kCollapse * 4.0 + 3.5, 0.25, 0.08f, 0.42f);
  synth::riser(a.drums, a.at(kCollapse * 4.0), a.span(3.75), 0.16f);

  // Counts 7-39: the main groove in four eight-bar phrases and a turn-around bar.
  for (int bar = kLines; bar < kCubes; ++bar) {
    const int phrase = (bar - kLines) / 8;  // 0 groove, 1 hook, 2 second groove, 3 hook again, 4 turn-around
    const bool turn = phrase == 4;
    const Chord& c = turn ? Amaj : (phrase == 2 ? second : main)[static_cast<size_t>((bar - kLines) % 4)];
    if ((bar - kLines) % 8 == 0) synth::crash(a.drums, &a.send, a.at(bar * 4.0), turn ? 0.1f : 0.17f);
    if (turn) {
      fourOnFloor(a, bar, 0.85f, 8);
      hats(a, bar, 0.12f, false, 8);
      snareRoll(a, bar * 4.0 + 2.0, bar * 4.0 + 4.0, 0.25, 0.12f, 0.45f);
      synth::riser(a.drums, a.at(bar * 4.0), a.span(4), 0.14f);
      padChord(a, bar * 4.0, 3.5, c, 0.2f, PadShape{1800.0f, 3600.0f, 1.0f, 1.0f, 0.05f, 0.3f}, 0.3f);
      bassLine(a, bar, c, kBassMain, 0.34f, 0.8f, 8);
      arp(a, bar, c, 0.08f, 1.0f);
      continue;
    }
    fourOnFloor(a, bar, 0.9f);
    claps(a, bar, 0.32f);
    hats(a, bar, 0.2f, phrase == 2);
    if (phrase == 2) {
      rollingBass(a, bar, c, 0.3f, 0.7f);
      synth::snare(a.drums, &a.send, a.at(barBeat(bar, 14)), 0.1f, 0.5f, 0.3f);
      arpDotted(a, bar, c, 0.07f, 0.7f);
      padChord(a, bar * 4.0, 4, c, 0.2f, PadShape{2600.0f, 2600.0f}, 0.55f);
    } else {
      bassLine(a, bar, c, kBassMain, 0.34f, 0.6f + 0.1f * static_cast<float>(phrase));
      arp(a, bar, c, phrase == 0 ? 0.08f : 0.055f, 0.6f);
      padChord(a, bar * 4.0, 4, c, phrase == 0 ? 0.18f : 0.15f, PadShape{2800.0f, 2800.0f}, 0.6f);
      if (phrase != 0) hookBar(a, bar, bar - kLines, 0.2f);
      if (phrase == 3) chordStab(a, barBeat(bar, 10), c, 0.05f, 0.25f, 24);
    }
  }

  // Counts 40-61: the cube columns, half-time in D minor; from count 50 the bars split and the energy climbs.
  for (int bar = kCubes; bar < kBlue; ++bar) {
    const Chord& c = cubes[static_cast<size_t>((bar - kCubes) % 4)];
    const bool build = bar >= kCubeBuild;
    if (bar == kCubes) impact(a, bar, 0.9f, false);
    if (bar == kCubes + 8) synth::crash(a.drums, &a.send, a.at(bar * 4.0), 0.14f);
    padChord(a, bar * 4.0, 4, c, 0.19f, PadShape{2200.0f, 2200.0f}, 0.4f);
    bells(a, bar, c, 0.11f);
    if (bar == kBlue - 1) {  // the last bar: a roll and a riser, then a breath before the interlude
      fourOnFloor(a, bar, 0.8f, 8);
      snareRoll(a, bar * 4.0, bar * 4.0 + 3.5, 0.25, 0.15f, 0.5f);
      synth::riser(a.drums, a.at(bar * 4.0), a.span(3.75), 0.14f);
      bassLine(a, bar, c, kBassLong, 0.32f, 0.4f, 8);
      continue;
    }
    if (build) {
      fourOnFloor(a, bar, 0.85f);
      hats(a, bar, 0.18f, true);
      bassLine(a, bar, c, kBassOffbeat, 0.32f, 0.55f);
      arp(a, bar, c, 0.06f, 0.5f + 0.06f * static_cast<float>(bar - kCubeBuild), 24);
      snareRoll(a, bar * 4.0 + 2.0, bar * 4.0 + 4.0, bar >= kBlue - 3 ? 0.25 : 0.5, 0.1f, 0.3f);
      synth::snare(a.drums, &a.send, a.at(barBeat(bar, 8)), 0.42f, 1.0f, 1.0f);
    } else {
      a.kickAt(barBeat(bar, 0), 0.9f);
      a.kickAt(barBeat(bar, 10), 0.8f);
      if ((bar - kCubes) % 2 == 1) a.kickAt(barBeat(bar, 7), 0.5f);
      synth::snare(a.drums, &a.send, a.at(barBeat(bar, 8)), 0.45f, 1.0f, 1.0f);
      for (int s = 0; s < 16; s += 2) synth::hat(a.drums, a.at(barBeat(bar, s)), s % 4 ? 0.12f : 0.07f, false, 0.3f);
      bassLine(a, bar, c, kBassLong, 0.34f, 0.4f);
    }
  }

  // Counts 62-63: the blue interlude, no drums; a roll at its end brings the beat back.
  const std::array<Chord, 4> blue = {Fmaj7, Em7, Dm7, E};
  synth::crash(a.drums, &a.send, a.at(kBlue * 4.0), 0.12f);
  synth::boom(a.drums, a.at(kBlue * 4.0), 0.5f);
  for (int bar = kBlue; bar < kFinal; ++bar) {
    const Chord& c = blue[static_cast<size_t>(bar - kBlue)];
    padChord(a, bar * 4.0, 4, c, 0.22f, PadShape{1000.0f + 400.0f * static_cast<float>(bar - kBlue), 1400.0f + 500.0f * static_cast<float>(bar - kBlue), 1.0f, 1.0f, 0.6f, 1.2f}, 0.0f);
    bells(a, bar, c, 0.1f, 2);
    const Route low = a.route(0.0f, 0.0f);
    synth::bass(low, a.at(bar * 4.0), a.span(3.6), c.bass, 0.26f, 0.2f);
  }
  snareRoll(a, (kFinal - 1) * 4.0, kFinal * 4.0 - 0.5, 0.25, 0.05f, 0.45f);
  synth::riser(a.drums, a.at((kFinal - 2) * 4.0), a.span(7.75), 0.16f);

  // Counts 64-76: the last groove; the hook carries the greetings, then the closing texts.
  const std::array<Chord, 2> lead = {F, G};
  const std::array<Chord, 6> closing = {Am, F, C, G, F, G};
  for (int bar = kFinal; bar < kOutro; ++bar) {
    Chord c;
    if (bar < kGreets) c = lead[static_cast<size_t>(bar - kFinal)];
    else if (bar < kBreathe) c = main[static_cast<size_t>((bar - kGreets) % 4)];
    else if (bar == kBreathe) c = E;
    else c = closing[static_cast<size_t>(bar - kClosing)];
    if (bar == kFinal || bar == kGreets || bar == kClosing) synth::crash(a.drums, &a.send, a.at(bar * 4.0), 0.18f);
    if (bar == kBreathe) {  // count 74: the drums step aside for one bar
      padChord(a, bar * 4.0, 3.5, c, 0.2f, PadShape{1500.0f, 3500.0f, 1.0f, 1.0f, 0.05f, 0.3f}, 0.0f);
      arp(a, bar, c, 0.07f, 0.8f);
      hats(a, bar, 0.09f, false);
      snareRoll(a, bar * 4.0 + 2.0, bar * 4.0 + 3.5, 0.25, 0.1f, 0.4f);
      synth::riser(a.drums, a.at(bar * 4.0), a.span(3.75), 0.14f);
      continue;
    }
    fourOnFloor(a, bar, 0.9f);
    claps(a, bar, 0.32f);
    hats(a, bar, 0.2f, true);
    bassLine(a, bar, c, kBassMain, 0.34f, 0.8f);
    padChord(a, bar * 4.0, 4, c, 0.16f, PadShape{3200.0f, 3200.0f}, 0.6f);
    arp(a, bar, c, 0.055f, 0.7f);
    if (bar >= kGreets && bar < kBreathe) hookBar(a, bar, bar - kGreets, 0.21f);
    if (bar >= kClosing) hookBar(a, bar, bar - kClosing, 0.17f, 12);
  }

  // Counts 77-83: a countdown of chord stabs, one per half bar; count 84: the last chord rings out.
  const std::array<Chord, 7> down = {Am, G, F, E, Dm, C, E};
  for (size_t k = 0; k < down.size(); ++k) {
    const double beat = kOutro * 4.0 + 2.0 * static_cast<double>(k);
    a.kickAt(beat, 0.75f);
    chordStab(a, beat, down[k], 0.09f, 0.35f);
    padChord(a, beat, 1.6, down[k], 0.17f, PadShape{2000.0f, 1500.0f, 1.0f, 1.0f, 0.02f, 0.3f}, 0.3f);
    const Route to = a.route(0.0f, 0.5f);
    synth::bass(to, a.at(beat + 0.5), a.span(1.2), down[k].bass, 0.3f, 0.5f);
    synth::hat(a.drums, a.at(beat + 1.0), 0.09f, true, -0.2f);
  }
  const double last = kLastChordBeat;
  synth::boom(a.drums, a.at(last + 0.02), 0.35f);
  synth::crash(a.drums, &a.send, a.at(last), 0.12f);
  a.kickAt(last, 0.8f);
  chordStab(a, last, Am, 0.1f, 0.6f);
  padChord(a, last, 5.0, Am, 0.2f, PadShape{2200.0f, 600.0f, 1.0f, 0.2f, 0.01f, 1.2f}, 0.0f);
  synth::bass(a.route(0.0f, 0.0f), a.at(last), a.span(4.0), 33, 0.3f, 0.3f);
  static_assert(kEndBeat * 2 - kLastChordBeat * 2 >= 16, "the last chord needs four seconds to ring out");

  a.renderKicks();
}

// Applies the fade over the final beats so that the music is silent when the last marker is heard.
void fadeOut(Stereo& s, int64_t start, int64_t from, int64_t to) {
  for (size_t i = 0; i < s.l.size(); ++i) {
    const int64_t at = start + static_cast<int64_t>(i);
    if (at < from) continue;
    const double g = at >= to ? 0.0 : 1.0 - static_cast<double>(at - from) / static_cast<double>(to - from);
    s.l[i] = static_cast<float>(s.l[i] * g * g);
    s.r[i] = static_cast<float>(s.r[i] * g * g);
  }
}

}  // namespace

Stereo render(int64_t start, int64_t length) {
  // The first pass plays into an empty window far past the end: every voice returns at once, only the kicks are kept.
  Arrangement first(int64_t{1} << 40, 0);
  arrange(first);
  Arrangement a(start, length);
  a.loadSidechain(first);
  arrange(a);
  Bus wet(start, length);
  synth::pingPongDelay(a.send, wet, 0.375, 0.38f, 0.35f);
  synth::reverb(a.send, wet, 0.82f, 0.35f, 1.0f);
  Bus mix(start, length);
  mix.mixFrom(a.drums, 0.8f);
  mix.mixFrom(a.music, 1.6f);
  mix.mixFrom(wet, 1.6f);
  synth::highPass(mix, 22.0);
  synth::presence(mix, 3000.0, 0.6f);
  Stereo out{std::move(mix.l), std::move(mix.r)};
  fadeOut(out, start, timeline::beatToSample(kEndBeat - 2.0), timeline::beatToSample(kEndBeat - 0.5));
  return out;
}

// The encoder's low-pass takes about a quarter of a loudness unit of hi-hat air away, so the mix aims that much higher.
constexpr double kTargetLufs = -13.73, kCeilingDb = -2.0;

Stereo renderFull() {
  Stereo s = render(0, timeline::songSamples());
  master::normalize(s.l, s.r, kTargetLufs, kCeilingDb);
  return s;
}

Stereo renderTestTrack() {
  const int64_t length = static_cast<int64_t>(timeline::testTrackMs) * timeline::sampleRate / 1000;
  Stereo s = render(timeline::beatToSample(kLines * 4.0 + 8.0), length);  // from the third bar of the main groove
  const int64_t fade = timeline::sampleRate / 20;
  for (int64_t i = 0; i < fade; ++i) {
    const float g = static_cast<float>(i) / static_cast<float>(fade);
    s.l[static_cast<size_t>(i)] *= g;
    s.r[static_cast<size_t>(i)] *= g;
    s.l[static_cast<size_t>(length - 1 - i)] *= g;
    s.r[static_cast<size_t>(length - 1 - i)] *= g;
  }
  master::normalize(s.l, s.r, kTargetLufs, kCeilingDb);
  return s;
}

}  // namespace song
