// Loudness measurement after ITU-R BS.1770 and a look-ahead peak limiter for the final mix.
#pragma once
#include <cstdint>
#include <vector>

namespace master {

// Integrated loudness in LUFS of a 44.1 kHz stereo signal (K-weighting, 400 ms blocks, both gates).
double integratedLoudness(const std::vector<float>& l, const std::vector<float>& r);

// Largest absolute sample of both channels.
float peak(const std::vector<float>& l, const std::vector<float>& r);

// Scales by gain and limits so that no sample exceeds ceiling; gain changes are smooth (5 ms look-ahead).
void limit(std::vector<float>& l, std::vector<float>& r, double gain, double ceiling);

// Brings a mix to the target loudness with its peaks at most ceilingDb dBFS; returns the loudness reached.
double normalize(std::vector<float>& l, std::vector<float>& r, double targetLufs, double ceilingDb);

}  // namespace master
