// Voices built from phase accumulators, band-limited saws, state-variable filters and deterministic noise.
#include "synth.h"

#include <algorithm>
#include <array>

#include "detmath.h"

namespace synth {

namespace {

using detmath::Noise;

constexpr double kTwoPi = detmath::twoPi;

int64_t secs(double s) { return static_cast<int64_t>(s * rate + 0.5); }

// A per-note seed: the same note always gets the same noise, whichever window is rendered.
uint32_t seedFor(int64_t at, uint32_t salt) {
  uint64_t x = static_cast<uint64_t>(at) * 0x9E3779B97F4A7C15ull + salt * 0xBF58476D1CE4E5B9ull;
  x ^= x >> 31;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 29;
  return static_cast<uint32_t>(x) | 1u;
}

// Multiplier per sample for an exponential decay with time constant tau seconds.
double decayStep(double tau) { return detmath::exp(-1.0 / (tau * rate)); }

// Linear fade in over `in` samples and out over the last `out` samples of a voice of n samples.
double edges(int64_t i, int64_t n, int64_t in, int64_t out) {
  double g = 1.0;
  if (i < in) g = static_cast<double>(i) / static_cast<double>(in);
  const int64_t left = n - 1 - i;
  if (left < out) g = std::min(g, static_cast<double>(left) / static_cast<double>(out));
  return g;
}

// Zavalishin's trapezoidal state-variable filter.
struct Svf {
  double ic1 = 0.0, ic2 = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0, k = 1.0;
  void set(double hz, double q) {
    hz = std::clamp(hz, 20.0, rate * 0.45);
    const double g = detmath::tan(detmath::pi * hz / rate);
    k = 1.0 / q;
    a1 = 1.0 / (1.0 + g * (g + k));
    a2 = g * a1;
    a3 = g * a2;
  }
  // Returns the low-pass output; band and high come back through the pointers when asked for.
  double run(double v0, double* band = nullptr, double* high = nullptr) {
    const double v3 = v0 - ic2;
    const double v1 = a1 * ic1 + a2 * v3;
    const double v2 = ic2 + a2 * ic1 + a3 * v3;
    ic1 = 2.0 * v1 - ic1;
    ic2 = 2.0 * v2 - ic2;
    if (band) *band = v1;
    if (high) *high = v0 - k * v1 - v2;
    return v2;
  }
};

double polyBlep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1.0;
  }
  if (t > 1.0 - dt) {
    t = (t - 1.0) / dt;
    return t * t + t + t + 1.0;
  }
  return 0.0;
}

// Band-limited sawtooth in [-1, 1]; phase in cycles.
struct Saw {
  double phase = 0.0;
  double next(double inc) {
    const double v = 2.0 * phase - 1.0 - polyBlep(phase, inc);
    phase += inc;
    if (phase >= 1.0) phase -= 1.0;
    return v;
  }
};

// Band-limited square from two saws half a cycle apart.
struct Square {
  double phase = 0.0;
  double next(double inc) {
    double p2 = phase + 0.5;
    if (p2 >= 1.0) p2 -= 1.0;
    const double v = (2.0 * phase - 1.0 - polyBlep(phase, inc)) - (2.0 * p2 - 1.0 - polyBlep(p2, inc));
    phase += inc;
    if (phase >= 1.0) phase -= 1.0;
    return v;
  }
};

struct Sine {
  double phase = 0.0;
  double next(double inc) {
    const double v = detmath::sin(kTwoPi * phase);
    phase += inc;
    if (phase >= 1.0) phase -= 1.0;
    return v;
  }
};

// Equal-power-ish pan: -1 left, 0 centre, 1 right.
void panGains(float pan, float& gl, float& gr) {
  const double a = (static_cast<double>(pan) + 1.0) * 0.25 * detmath::pi;
  gl = static_cast<float>(detmath::cos(a) * 1.41421356);
  gr = static_cast<float>(detmath::sin(a) * 1.41421356);
}

// Adds a voice sample to its route: dry with ducking, and its share to the send.
void emit(const Route& to, int64_t at, double vl, double vr) {
  const float g = to.duck ? to.duck->gain(at, to.duckDepth) : 1.0f;
  const float l = static_cast<float>(vl) * g, r = static_cast<float>(vr) * g;
  to.dry->add(at, l, r);
  if (to.send) to.send->add(at, l * to.sendLevel, r * to.sendLevel);
}

bool outside(const Bus& out, int64_t at, int64_t n) { return at >= out.end() || at + n <= out.start(); }

}  // namespace

void Bus::mixFrom(const Bus& other, float gain) {
  const int64_t from = std::max(start(), other.start()), to = std::min(end(), other.end());
  for (int64_t i = from; i < to; ++i) {
    l[static_cast<size_t>(i - start())] += gain * other.l[static_cast<size_t>(i - other.start())];
    r[static_cast<size_t>(i - start())] += gain * other.r[static_cast<size_t>(i - other.start())];
  }
}

void Sidechain::addKick(int64_t at) {
  const int64_t n = secs(0.32), attack = secs(0.003);
  const double step = decayStep(0.085);
  double env = 1.0;
  for (int64_t i = 0; i < n; ++i) {
    double v;
    if (i < attack) {
      v = static_cast<double>(i) / static_cast<double>(attack);
    } else {
      v = env;
      env *= step;
    }
    v *= edges(i, n, 0, secs(0.05));
    const int64_t j = at + i - start_;
    if (j >= 0 && j < static_cast<int64_t>(push_.size())) push_[static_cast<size_t>(j)] = std::max(push_[static_cast<size_t>(j)], static_cast<float>(v));
  }
}

void kick(Bus& out, int64_t at, float level, float punch) {
  const int64_t n = secs(0.42);
  if (outside(out, at, n)) return;
  Noise noise(seedFor(at, 1));
  const double pitchStep = decayStep(0.032), bodyStep = decayStep(0.17), clickStep = decayStep(0.0025);
  double pitchEnv = 1.0, body = 1.0, click = 1.0, phase = 0.0, prevNoise = 0.0;
  for (int64_t i = 0; i < n; ++i) {
    const double hz = 46.0 + 125.0 * pitchEnv;
    const double s = detmath::sin(kTwoPi * phase);
    phase += hz / rate;
    if (phase >= 1.0) phase -= 1.0;
    const double nz = noise.next();
    const double clickSample = (nz - prevNoise) * 0.5 * click * 0.18 * punch;  // a differentiated, bright tick
    prevNoise = nz;
    double v = detmath::softClip(1.7 * s * body) * 0.85 + clickSample;
    v *= edges(i, n, secs(0.0006), secs(0.06)) * level;
    out.add(at + i, static_cast<float>(v), static_cast<float>(v));
    pitchEnv *= pitchStep;
    body *= bodyStep;
    click *= clickStep;
  }
}

void snare(Bus& out, Bus* send, int64_t at, float level, float tone, float tail) {
  const int64_t n = secs(0.12 + 0.3 * tail);
  if (outside(out, at, n)) return;
  Noise nc(seedFor(at, 2)), nl(seedFor(at, 3)), nr(seedFor(at, 4));
  Svf bpL, bpR;
  bpL.set(2200.0, 0.8);
  bpR.set(2200.0, 0.8);
  const double toneStep = decayStep(0.055), noiseStep = decayStep(0.05 + 0.1 * tail);
  double toneEnv = 1.0, noiseEnv = 1.0, phase = 0.0;
  for (int64_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double hz = 180.0 + 60.0 * detmath::exp(-t / 0.01);
    const double body = detmath::sin(kTwoPi * phase) * toneEnv * 0.55 * tone;
    phase += hz / rate;
    if (phase >= 1.0) phase -= 1.0;
    const double c = nc.next();
    double hl = 0.0, hr = 0.0;
    bpL.run(0.75 * c + 0.25 * nl.next(), nullptr, &hl);
    bpR.run(0.75 * c + 0.25 * nr.next(), nullptr, &hr);
    const double g = edges(i, n, secs(0.0008), secs(0.03)) * level;
    const double vl = (body + hl * noiseEnv * 0.6) * g, vr = (body + hr * noiseEnv * 0.6) * g;
    out.add(at + i, static_cast<float>(vl), static_cast<float>(vr));
    if (send) send->add(at + i, static_cast<float>(vl * 0.3), static_cast<float>(vr * 0.3));
    toneEnv *= toneStep;
    noiseEnv *= noiseStep;
  }
}

void clap(Bus& out, Bus* send, int64_t at, float level) {
  const int64_t n = secs(0.32);
  if (outside(out, at, n)) return;
  Noise nl(seedFor(at, 5)), nr(seedFor(at, 6));
  Svf fl, fr;
  fl.set(1150.0, 1.3);
  fr.set(1250.0, 1.3);
  for (int64_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    double env = 0.0;
    for (double burst : {0.0, 0.009, 0.018})
      if (t >= burst && t < burst + 0.03) env = std::max(env, detmath::exp(-(t - burst) / 0.0045));
    if (t >= 0.026) env = std::max(env, 0.7 * detmath::exp(-(t - 0.026) / 0.09));
    double bl = 0.0, br = 0.0;
    fl.run(nl.next(), &bl);
    fr.run(nr.next(), &br);
    const double g = env * edges(i, n, secs(0.0005), secs(0.03)) * level * 1.6;
    out.add(at + i, static_cast<float>(bl * g), static_cast<float>(br * g));
    if (send) send->add(at + i, static_cast<float>(bl * g * 0.5), static_cast<float>(br * g * 0.5));
  }
}

void hat(Bus& out, int64_t at, float level, bool open, float pan) {
  const int64_t n = secs(open ? 0.45 : 0.08);
  if (outside(out, at, n)) return;
  Noise noise(seedFor(at, 7));
  Svf hp, bp;
  hp.set(7500.0, 0.7);
  bp.set(10500.0, 2.0);
  float gl, gr;
  panGains(pan, gl, gr);
  const double step = decayStep(open ? 0.16 : 0.022);
  double env = 1.0;
  for (int64_t i = 0; i < n; ++i) {
    const double x = noise.next();
    double high = 0.0, band = 0.0;
    hp.run(x, nullptr, &high);
    bp.run(high, &band);
    const double v = (0.6 * high + 0.8 * band) * env * edges(i, n, secs(0.0004), secs(open ? 0.05 : 0.02)) * level;
    out.add(at + i, static_cast<float>(v * gl), static_cast<float>(v * gr));
    env *= step;
  }
}

void crash(Bus& out, Bus* send, int64_t at, float level) {
  const int64_t n = secs(3.2);
  if (outside(out, at, n)) return;
  Noise nl(seedFor(at, 8)), nr(seedFor(at, 9));
  Svf hl, hr, tl, tr;
  hl.set(4200.0, 0.7);
  hr.set(4400.0, 0.7);
  tl.set(7000.0, 0.6);
  tr.set(7000.0, 0.6);
  const double step = decayStep(0.8);
  double env = 1.0;
  for (int64_t i = 0; i < n; ++i) {
    double a = 0.0, b = 0.0;
    hl.run(nl.next(), nullptr, &a);
    hr.run(nr.next(), nullptr, &b);
    a = tl.run(a);  // take the fizz off the very top
    b = tr.run(b);
    const double g = env * edges(i, n, secs(0.001), secs(0.4)) * level;
    out.add(at + i, static_cast<float>(a * g), static_cast<float>(b * g));
    if (send) send->add(at + i, static_cast<float>(a * g * 0.3), static_cast<float>(b * g * 0.3));
    env *= step;
  }
}

void riser(Bus& out, int64_t at, int64_t n, float level) {
  if (outside(out, at, n)) return;
  Noise nl(seedFor(at, 10)), nr(seedFor(at, 11));
  Svf fl, fr;
  for (int64_t i = 0; i < n; ++i) {
    const double x = static_cast<double>(i) / static_cast<double>(n);
    if ((i & 15) == 0) {
      const double hz = 350.0 * detmath::exp2(x * 4.7);
      fl.set(hz, 2.2);
      fr.set(hz * 1.06, 2.2);
    }
    double bl = 0.0, br = 0.0;
    fl.run(nl.next(), &bl);
    fr.run(nr.next(), &br);
    const double g = x * x * edges(i, n, secs(0.01), secs(0.012)) * level;
    out.add(at + i, static_cast<float>(bl * g), static_cast<float>(br * g));
  }
}

void boom(Bus& out, int64_t at, float level) {
  const int64_t n = secs(2.4);
  if (outside(out, at, n)) return;
  const double pitchStep = decayStep(0.18), ampStep = decayStep(0.55);
  double pitchEnv = 1.0, amp = 1.0, phase = 0.0;
  for (int64_t i = 0; i < n; ++i) {
    const double hz = 36.0 + 34.0 * pitchEnv;
    const double v = detmath::softClip(1.4 * detmath::sin(kTwoPi * phase) * amp) * edges(i, n, secs(0.002), secs(0.3)) * level;
    phase += hz / rate;
    if (phase >= 1.0) phase -= 1.0;
    out.add(at + i, static_cast<float>(v), static_cast<float>(v));
    pitchEnv *= pitchStep;
    amp *= ampStep;
  }
}

void bass(const Route& to, int64_t at, int64_t length, double pitch, float level, float bright) {
  const int64_t release = secs(0.03), n = length + release;
  if (outside(*to.dry, at, n)) return;
  const double hz = detmath::midiToHz(pitch);
  Saw saw;
  Square sq;
  Sine sub;
  Svf lp;
  const double envStep = decayStep(0.08);
  double env = 1.0;
  const double subLevel = pitch >= 40.0 ? 0.7 : 0.45;
  for (int64_t i = 0; i < n; ++i) {
    if ((i & 7) == 0) lp.set(90.0 + 220.0 * bright + 1700.0 * bright * env, 1.3);
    const double raw = 0.55 * saw.next(hz / rate) + 0.25 * sq.next(hz / rate);
    const double s = sub.next(hz * 0.5 / rate);
    double v = lp.run(raw) + subLevel * s;
    v = detmath::softClip(1.2 * v) * 0.8;
    const double g = edges(i, n, secs(0.003), release) * level;
    emit(to, at + i, v * g, v * g);
    env *= envStep;
  }
}

void pad(const Route& to, int64_t at, int64_t length, double pitch, float level, const PadShape& shape) {
  const int64_t release = secs(shape.release), n = length + release;
  if (outside(*to.dry, at, n)) return;
  const double base = detmath::midiToHz(pitch);
  std::array<Saw, 3> saws;
  const std::array<double, 3> detune = {-0.11, 0.0, 0.12};
  const std::array<double, 3> left = {0.85, 0.5, 0.2}, right = {0.2, 0.5, 0.85};
  std::array<double, 3> inc{};
  Noise start(seedFor(at, static_cast<uint32_t>(pitch * 8.0) + 12u));
  for (size_t k = 0; k < 3; ++k) {
    saws[k].phase = 0.5 + 0.5 * start.next();  // free-running phases, never lined up
    inc[k] = base * detmath::exp2(detune[k] / 12.0) / rate;
  }
  Svf fl, fr;
  const int64_t attack = secs(shape.attack);
  for (int64_t i = 0; i < n; ++i) {
    const double x = std::min(1.0, static_cast<double>(i) / static_cast<double>(length));
    if ((i & 15) == 0) {
      const double hz = shape.cutoffStart + (shape.cutoffEnd - shape.cutoffStart) * x;
      fl.set(hz, 0.9);
      fr.set(hz * 1.03, 0.9);
    }
    double sl = 0.0, sr = 0.0;
    for (size_t k = 0; k < 3; ++k) {
      const double v = saws[k].next(inc[k]);
      sl += v * left[k];
      sr += v * right[k];
    }
    double env;
    if (i < attack) env = static_cast<double>(i) / static_cast<double>(attack);
    else if (i < length) env = 1.0;
    else {
      const double r = 1.0 - static_cast<double>(i - length) / static_cast<double>(release);
      env = r * r;
    }
    env *= edges(i, n, 1, secs(0.005));
    const double g = env * (shape.gainStart + (shape.gainEnd - shape.gainStart) * x) * level * 0.33;
    emit(to, at + i, fl.run(sl) * g, fr.run(sr) * g);
  }
}

void pluck(const Route& to, int64_t at, double pitch, float level, float pan, float bright, float decay) {
  const int64_t n = std::min(secs(decay * 5.0 + 0.02), secs(1.6));
  if (outside(*to.dry, at, n)) return;
  const double hz = detmath::midiToHz(pitch);
  Saw saw;
  Square sq;
  sq.phase = 0.25;
  Svf lp;
  float gl, gr;
  panGains(pan, gl, gr);
  const double cutStep = decayStep(0.075), ampStep = decayStep(decay);
  double cut = 1.0, amp = 1.0;
  for (int64_t i = 0; i < n; ++i) {
    if ((i & 7) == 0) lp.set(320.0 + 4200.0 * bright * cut, 1.1);
    const double v = lp.run(0.5 * saw.next(hz / rate) + 0.35 * sq.next(hz / rate));
    const double g = amp * edges(i, n, secs(0.002), n / 4) * level;  // a long tail when the note is cut short
    emit(to, at + i, v * g * gl, v * g * gr);
    cut *= cutStep;
    amp *= ampStep;
  }
}

void lead(const Route& to, int64_t at, int64_t length, double pitch, float level) {
  const int64_t release = secs(0.14), n = length + release;
  if (outside(*to.dry, at, n)) return;
  const double base = detmath::midiToHz(pitch);
  Saw a, b;
  b.phase = 0.37;
  Square sub;
  Svf fl, fr;
  const double cutStep = decayStep(0.16);
  double cut = 1.0, vibPhase = 0.0;
  for (int64_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double vibDepth = 0.16 * std::clamp((t - 0.22) / 0.3, 0.0, 1.0);
    const double bend = vibDepth * detmath::sin(kTwoPi * vibPhase);
    vibPhase += 5.6 / rate;
    if (vibPhase >= 1.0) vibPhase -= 1.0;
    const double hz = base * (1.0 + 0.0577622650466621 * bend);  // 2^(bend/12) to first order: bends stay under a fifth of a semitone
    if ((i & 15) == 0) {
      fl.set(3400.0 + 3200.0 * cut, 1.0);
      fr.set(3600.0 + 3200.0 * cut, 1.0);
    }
    const double va = a.next(hz * 0.99596 / rate), vb = b.next(hz * 1.00405 / rate), vs = 0.3 * sub.next(hz * 0.5 / rate);
    double env;
    if (i < length) env = 1.0;
    else {
      const double r = 1.0 - static_cast<double>(i - length) / static_cast<double>(release);
      env = r * r;
    }
    env *= edges(i, n, secs(0.008), secs(0.005)) * level * 0.5;
    emit(to, at + i, fl.run(0.7 * va + 0.3 * vb + vs) * env, fr.run(0.3 * va + 0.7 * vb + vs) * env);
    cut *= cutStep;
  }
}

void bell(const Route& to, int64_t at, double pitch, float level, float pan) {
  const int64_t n = secs(2.2);
  if (outside(*to.dry, at, n)) return;
  const double hz = detmath::midiToHz(pitch);
  float gl, gr;
  panGains(pan, gl, gr);
  const double indexStep = decayStep(0.22), ampStep = decayStep(0.7);
  double index = 1.0, amp = 1.0, pc = 0.0, pm = 0.0;
  for (int64_t i = 0; i < n; ++i) {
    const double m = detmath::sin(kTwoPi * pm);
    const double v = detmath::sin(kTwoPi * pc + 2.6 * index * m);
    pc += hz / rate;
    if (pc >= 1.0) pc -= 1.0;
    pm += 3.5 * hz / rate;
    if (pm >= 1.0) pm -= 1.0;
    const double g = amp * edges(i, n, secs(0.0015), secs(0.25)) * level * 0.5;
    emit(to, at + i, v * g * gl, v * g * gr);
    index *= indexStep;
    amp *= ampStep;
  }
}

void pingPongDelay(const Bus& in, Bus& out, double seconds, float feedback, float wet) {
  const size_t d = static_cast<size_t>(secs(seconds));
  std::vector<float> bl(d, 0.0f), br(d, 0.0f);
  size_t pos = 0;
  float dampL = 0.0f, dampR = 0.0f;
  const float a = 0.35f;  // one-pole smoothing in the loop darkens each repeat
  for (size_t i = 0; i < in.l.size(); ++i) {
    const float dl = bl[pos], dr = br[pos];
    dampL += a * (dr - dampL);
    dampR += a * (dl - dampR);
    bl[pos] = 0.5f * (in.l[i] + in.r[i]) + feedback * dampL;
    br[pos] = feedback * dampR;
    out.l[i] += wet * dl;
    out.r[i] += wet * dr;
    if (++pos == d) pos = 0;
  }
}

namespace {

struct Comb {
  std::vector<float> buf;
  size_t pos = 0;
  float store = 0.0f;
  explicit Comb(size_t n) : buf(n, 0.0f) {}
  float run(float x, float feedback, float damp) {
    const float y = buf[pos];
    store = y * (1.0f - damp) + store * damp;
    buf[pos] = x + store * feedback;
    if (++pos == buf.size()) pos = 0;
    return y;
  }
};

struct Allpass {
  std::vector<float> buf;
  size_t pos = 0;
  explicit Allpass(size_t n) : buf(n, 0.0f) {}
  float run(float x) {
    const float b = buf[pos];
    buf[pos] = x + b * 0.5f;
    if (++pos == buf.size()) pos = 0;
    return b - x;
  }
};

}  // namespace

void reverb(const Bus& in, Bus& out, float roomSize, float damp, float wet) {
  // Schroeder-Moorer network with the classic public-domain tunings, right side spread by 23 samples.
  const std::array<size_t, 8> combs = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
  const std::array<size_t, 4> allpasses = {556, 441, 341, 225};
  std::vector<Comb> cl, cr;
  std::vector<Allpass> al, ar;
  for (size_t c : combs) {
    cl.emplace_back(c);
    cr.emplace_back(c + 23);
  }
  for (size_t a : allpasses) {
    al.emplace_back(a);
    ar.emplace_back(a + 23);
  }
  const float feedback = 0.28f + 0.7f * roomSize;
  for (size_t i = 0; i < in.l.size(); ++i) {
    const float x = (in.l[i] + in.r[i]) * 0.015f;
    float yl = 0.0f, yr = 0.0f;
    for (size_t k = 0; k < cl.size(); ++k) {
      yl += cl[k].run(x, feedback, damp);
      yr += cr[k].run(x, feedback, damp);
    }
    for (size_t k = 0; k < al.size(); ++k) {
      yl = al[k].run(yl);
      yr = ar[k].run(yr);
    }
    out.l[i] += wet * yl;
    out.r[i] += wet * yr;
  }
}

void presence(Bus& bus, double hz, float amount) {
  Svf fl, fr;
  fl.set(hz, 0.6);
  fr.set(hz, 0.6);
  for (size_t i = 0; i < bus.l.size(); ++i) {
    double h = 0.0;
    fl.run(bus.l[i], nullptr, &h);
    bus.l[i] += static_cast<float>(amount * h);
    fr.run(bus.r[i], nullptr, &h);
    bus.r[i] += static_cast<float>(amount * h);
  }
}

void highPass(Bus& bus, double hz) {
  Svf fl, fr;
  fl.set(hz, 0.707);
  fr.set(hz, 0.707);
  for (size_t i = 0; i < bus.l.size(); ++i) {
    double h = 0.0;
    fl.run(bus.l[i], nullptr, &h);
    bus.l[i] = static_cast<float>(h);
    fr.run(bus.r[i], nullptr, &h);
    bus.r[i] = static_cast<float>(h);
  }
}

}  // namespace synth
