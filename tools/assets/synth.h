// The synthesiser's voices and effects: each call adds one note, with its own short fades, into a stereo bus.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace synth {

inline constexpr double rate = 44100.0;

// A stereo window [start, start + length) of the song, in samples.
class Bus {
 public:
  Bus(int64_t start, int64_t length) : start_(start), length_(length), l(length), r(length) {}
  int64_t start() const { return start_; }
  int64_t end() const { return start_ + length_; }
  int64_t length() const { return length_; }
  void add(int64_t at, float vl, float vr) {
    const int64_t i = at - start_;
    if (i >= 0 && i < length_) {
      l[static_cast<size_t>(i)] += vl;
      r[static_cast<size_t>(i)] += vr;
    }
  }
  void mixFrom(const Bus& other, float gain);

 private:
  int64_t start_, length_;

 public:
  std::vector<float> l, r;
};

// How hard the kick pushes the other parts down at each sample of the window: 0 calm, 1 on a kick.
class Sidechain {
 public:
  Sidechain(int64_t start, int64_t length) : start_(start), push_(static_cast<size_t>(length), 0.0f) {}
  void addKick(int64_t at);
  float gain(int64_t at, float depth) const {
    const int64_t i = at - start_;
    if (i < 0 || i >= static_cast<int64_t>(push_.size())) return 1.0f;
    return 1.0f - depth * push_[static_cast<size_t>(i)];
  }

 private:
  int64_t start_;
  std::vector<float> push_;
};

// Where a melodic voice goes: the dry bus, an optional effects send, and the sidechain it ducks under.
struct Route {
  Bus* dry;
  Bus* send;        // may be null
  float sendLevel;  // share of the voice fed to the send
  const Sidechain* duck;
  float duckDepth;
};

// Drums and effects (mono sources are centred unless a pan is given, -1 left .. 1 right).
void kick(Bus& out, int64_t at, float level, float punch = 1.0f);
void snare(Bus& out, Bus* send, int64_t at, float level, float tone = 1.0f, float tail = 1.0f);
void clap(Bus& out, Bus* send, int64_t at, float level);
void hat(Bus& out, int64_t at, float level, bool open, float pan);
void crash(Bus& out, Bus* send, int64_t at, float level);
void riser(Bus& out, int64_t at, int64_t length, float level);
void boom(Bus& out, int64_t at, float level);

// Melodic voices; pitch is a MIDI note number, lengths in samples (the release comes after them).
void bass(const Route& to, int64_t at, int64_t length, double pitch, float level, float bright = 1.0f);
struct PadShape {
  float cutoffStart = 1800.0f, cutoffEnd = 1800.0f;  // low-pass sweep over the note
  float gainStart = 1.0f, gainEnd = 1.0f;            // level sweep over the note
  float attack = 0.25f, release = 0.8f;              // seconds
};
void pad(const Route& to, int64_t at, int64_t length, double pitch, float level, const PadShape& shape);
void pluck(const Route& to, int64_t at, double pitch, float level, float pan, float bright = 1.0f, float decay = 0.18f);
void lead(const Route& to, int64_t at, int64_t length, double pitch, float level);
void bell(const Route& to, int64_t at, double pitch, float level, float pan);

// Effects over a whole bus.
void pingPongDelay(const Bus& in, Bus& out, double seconds, float feedback, float wet);
void reverb(const Bus& in, Bus& out, float roomSize, float damp, float wet);
void highPass(Bus& bus, double hz);
// Lifts everything above hz by the given share (0.6 is about +4 dB): a gentle high shelf.
void presence(Bus& bus, double hz, float amount);

}  // namespace synth
