// Loudness meter (K-weighted, gated) and a look-ahead limiter; both run over whole signals at once.
#include "master.h"

#include <algorithm>
#include <cmath>
#include <deque>

#include "detmath.h"

namespace master {

namespace {

constexpr double kRate = 44100.0;

struct Biquad {
  double b0, b1, b2, a1, a2;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  double run(double x) {
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }
};

// The two K-weighting stages (high shelf, then high pass), derived for any sample rate from their analogue prototypes.
std::pair<Biquad, Biquad> kWeighting() {
  double f0 = 1681.974450955533, gainDb = 3.999843853973347, q = 0.7071752369554196;
  double k = detmath::tan(detmath::pi * f0 / kRate);
  const double vh = detmath::dbToGain(gainDb);
  const double vb = detmath::exp2(0.4996667741545416 * detmath::log2(vh));
  double a0 = 1.0 + k / q + k * k;
  Biquad shelf{(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
               2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
  f0 = 38.13547087602444;
  q = 0.5003270373238773;
  k = detmath::tan(detmath::pi * f0 / kRate);
  a0 = 1.0 + k / q + k * k;
  Biquad high{1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
  return {shelf, high};
}

}  // namespace

double integratedLoudness(const std::vector<float>& l, const std::vector<float>& r) {
  // Sums of squares per 100 ms step; a 400 ms block is four neighbouring steps.
  const size_t step = static_cast<size_t>(kRate / 10.0);
  auto [sl, hl] = kWeighting();
  auto [sr, hr] = kWeighting();
  std::vector<double> steps;
  double acc = 0.0;
  size_t inStep = 0;
  const size_t n = std::min(l.size(), r.size());
  for (size_t i = 0; i < n; ++i) {
    const double a = hl.run(sl.run(l[i])), b = hr.run(sr.run(r[i]));
    acc += a * a + b * b;
    if (++inStep == step) {
      steps.push_back(acc);
      acc = 0.0;
      inStep = 0;
    }
  }
  std::vector<double> blocks;  // mean square per block, summed over channels
  for (size_t i = 3; i < steps.size(); ++i) blocks.push_back((steps[i] + steps[i - 1] + steps[i - 2] + steps[i - 3]) / (4.0 * static_cast<double>(step)));
  auto lufs = [](double z) { return -0.691 + 10.0 * detmath::log10(z); };
  double sum = 0.0;
  size_t count = 0;
  for (double z : blocks)
    if (z > 0.0 && lufs(z) > -70.0) {
      sum += z;
      ++count;
    }
  if (count == 0) return -70.0;
  const double relative = lufs(sum / static_cast<double>(count)) - 10.0;
  sum = 0.0;
  count = 0;
  for (double z : blocks)
    if (z > 0.0 && lufs(z) > -70.0 && lufs(z) > relative) {
      sum += z;
      ++count;
    }
  return count ? lufs(sum / static_cast<double>(count)) : -70.0;
}

float peak(const std::vector<float>& l, const std::vector<float>& r) {
  float p = 0.0f;
  for (float v : l) p = std::max(p, std::fabs(v));
  for (float v : r) p = std::max(p, std::fabs(v));
  return p;
}

void limit(std::vector<float>& l, std::vector<float>& r, double gain, double ceiling) {
  const size_t n = std::min(l.size(), r.size());
  const size_t look = static_cast<size_t>(kRate * 0.005);
  // Gain each sample needs on its own.
  std::vector<double> need(n);
  for (size_t i = 0; i < n; ++i) {
    const double a = gain * std::max(std::fabs(l[i]), std::fabs(r[i]));
    need[i] = a > ceiling ? ceiling / a : 1.0;
  }
  // Running minimum over the last `look` samples, then an instant-attack, slow-release follower.
  std::vector<double> held(n);
  std::deque<size_t> window;
  const double release = 1.0 - detmath::exp(-1.0 / (0.08 * kRate));
  double follow = 1.0;
  for (size_t i = 0; i < n; ++i) {
    while (!window.empty() && need[window.back()] >= need[i]) window.pop_back();
    window.push_back(i);
    if (window.front() + look <= i) window.pop_front();
    const double m = need[window.front()];
    follow = std::min(m, follow + (1.0 - follow) * release);
    held[i] = follow;
  }
  // A moving average over `look` samples makes the gain ramp; reading it `look - 1` samples ahead
  // centres every ramp before the peak that caused it, so the peak itself is always covered.
  std::vector<double> smooth(n);
  double run = 0.0;
  for (size_t i = 0; i < n; ++i) {
    run += held[i];
    if (i >= look) run -= held[i - look];
    smooth[i] = run / static_cast<double>(std::min(i + 1, look));
  }
  for (size_t i = 0; i < n; ++i) {
    const double g = gain * smooth[std::min(i + look - 1, n - 1)];
    l[i] = static_cast<float>(l[i] * g);
    r[i] = static_cast<float>(r[i] * g);
  }
}

double normalize(std::vector<float>& l, std::vector<float>& r, double targetLufs, double ceilingDb) {
  const double ceiling = detmath::dbToGain(ceilingDb);
  double gain = detmath::dbToGain(targetLufs - integratedLoudness(l, r));
  std::vector<float> outL, outR;
  double reached = 0.0;
  for (int pass = 0; pass < 6; ++pass) {
    outL = l;
    outR = r;
    limit(outL, outR, gain, ceiling);
    reached = integratedLoudness(outL, outR);
    if (std::fabs(reached - targetLufs) < 0.05) break;
    gain *= detmath::dbToGain(targetLufs - reached);
  }
  l.swap(outL);
  r.swap(outR);
  return reached;
}

}  // namespace master
