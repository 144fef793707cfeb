// Linear-interpolation rate conversion with exact integer positions, so that markers land where the
// samples they name do.
#include "music/resample.h"

void resamplerStart(Resampler* resampler, uint32_t from, uint32_t to, uint32_t channels) {
  *resampler = Resampler{};
  resampler->from = from;
  resampler->to = to;
  resampler->channels = channels;
}

void resamplerPush(Resampler* r, const int16_t* frames, uint32_t count, bool last, std::vector<int16_t>* out) {
  for (uint32_t i = 0; i < count; ++i) {
    const int16_t left = frames[i * r->channels];
    const int16_t right = r->channels == 2 ? frames[i * 2 + 1] : left;
    r->pending.push_back(left);
    r->pending.push_back(right);
  }
  const uint64_t available = r->dropped + r->pending.size() / 2;  // source frames seen so far
  for (;;) {
    // Output frame `made` sits at source position made * from / to: frame `at` plus frac / to.
    const uint64_t scaled = r->made * r->from;
    const uint64_t at = scaled / r->to;
    const uint64_t frac = scaled % r->to;
    if (at >= available) break;
    const bool haveNext = at + 1 < available;
    if (!haveNext && !last && frac != 0) break;  // the next frame is still to come
    const int16_t* a = &r->pending[(at - r->dropped) * 2];
    const int16_t* b = haveNext ? a + 2 : a;
    for (int c = 0; c < 2; ++c) {
      const int64_t value = a[c] + (static_cast<int64_t>(b[c] - a[c]) * static_cast<int64_t>(frac)) / r->to;
      out->push_back(static_cast<int16_t>(value));
    }
    ++r->made;
  }
  // Keep only the frames later output frames can still need.
  const uint64_t keepFrom = r->made * r->from / r->to;
  if (keepFrom > r->dropped) {
    const uint64_t drop = keepFrom - r->dropped < r->pending.size() / 2 ? keepFrom - r->dropped : r->pending.size() / 2;
    r->pending.erase(r->pending.begin(), r->pending.begin() + static_cast<std::ptrdiff_t>(drop * 2));
    r->dropped += drop;
  }
}

uint64_t resampledPosition(uint64_t frame, uint32_t from, uint32_t to) {
  return (frame * to + from / 2) / from;
}
