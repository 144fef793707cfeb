// Rate and channel conversion of 16-bit PCM to the output's stereo rate, by linear interpolation.
#pragma once
#include <cstdint>
#include <vector>

struct Resampler {
  uint32_t from = 0, to = 0;  // source and output rates
  uint32_t channels = 0;      // of the source: 1 or 2
  uint64_t made = 0;          // output frames made so far
  uint64_t dropped = 0;       // source frames before pending[0]
  std::vector<int16_t> pending;  // stereo source frames not yet passed
};

// Prepares conversion from `channels` channels at `from` Hz to stereo at `to` Hz.
void resamplerStart(Resampler* resampler, uint32_t from, uint32_t to, uint32_t channels);
// Takes `count` source frames (interleaved) and appends the output frames they complete to out. With
// last set, the source has ended and every output frame up to its end is made. Output frame k is the
// source at time k * from / to, so n source frames give ceil(n * to / from) output frames in all.
void resamplerPush(Resampler* resampler, const int16_t* frames, uint32_t count, bool last, std::vector<int16_t>* out);
// Where a source frame lands at the output rate, rounded to the nearest frame.
uint64_t resampledPosition(uint64_t frame, uint32_t from, uint32_t to);
