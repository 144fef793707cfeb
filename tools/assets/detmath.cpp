// Polynomial sine, exponent and logarithm used by the synthesiser, loudness meter and image designs.
#include "detmath.h"

#include <cmath>

namespace detmath {

namespace {

// Round to nearest integer value without the C library (values here stay far below 2^52).
double roundInt(double x) {
  const double big = 6755399441055744.0;  // 1.5 * 2^52 forces rounding in the addition
  return (x + big) - big;
}

// Taylor coefficients of sine (x^3 .. x^17) and of e^x (x^0 .. x^16), lowest power first; summed from the top.
constexpr double kSin[] = {
    -1.0 / 6.0,
    1.0 / 120.0,
    -1.0 / 5040.0,
    1.0 / 362880.0,
    -1.0 / 39916800.0,
    1.0 / 6227020800.0,
    -1.0 / 1307674368000.0,
    1.0 / 355687428096000.0};
constexpr double kExp[] = {
    1.0 / 1.0,
    1.0 / 1.0,
    1.0 / 2.0,
    1.0 / 6.0,
    1.0 / 24.0,
    1.0 / 120.0,
    1.0 / 720.0,
    1.0 / 5040.0,
    1.0 / 40320.0,
    1.0 / 362880.0,
    1.0 / 3628800.0,
    1.0 / 39916800.0,
    1.0 / 479001600.0,
    1.0 / 6227020800.0,
    1.0 / 87178291200.0,
    1.0 / 1307674368000.0,
    1.0 / 20922789888000.0};

// sine on [-pi/2, pi/2], error below 1e-13 there.
double sinCore(double x) {
  const double x2 = x * x;
  double p = 0.0;
  for (int i = 7; i >= 0; --i) p = p * x2 + kSin[i];
  return x + x * x2 * p;
}

}  // namespace

double sin(double x) {
  // Reduce to [-pi, pi] with a two-part 2*pi so large phases keep their accuracy.
  const double hi = 6.28318530717958623200;
  const double lo = 2.44929359829470635445e-16;
  const double k = roundInt(x / twoPi);
  double r = (x - k * hi) - k * lo;
  if (r > pi / 2) r = pi - r;
  else if (r < -pi / 2) r = -pi - r;
  return sinCore(r);
}

double cos(double x) { return sin(x + pi / 2); }

double tan(double x) { return sin(x) / cos(x); }

double exp2(double x) {
  if (x < -1000.0) return 0.0;
  if (x > 1000.0) x = 1000.0;
  double k = roundInt(x);
  if (k > x) k -= 1.0;
  const double f = (x - k) * 0.69314718055994530942;  // e^f with f in [0, ln 2)
  double sum = 0.0;
  for (int n = 16; n >= 0; --n) sum = sum * f + kExp[n];
  return std::ldexp(sum, static_cast<int>(k));  // exact scaling by a power of two
}

double exp(double x) { return exp2(x * 1.44269504088896340736); }

double log2(double x) {
  if (!(x > 0.0)) return -1.0e300;
  int e = 0;
  double m = std::frexp(x, &e);  // exact: x = m * 2^e, m in [0.5, 1)
  if (m < 0.70710678118654752440) {
    m *= 2.0;
    e -= 1;
  }
  // ln m = 2 atanh(z), z = (m - 1) / (m + 1), |z| < 0.172
  const double z = (m - 1.0) / (m + 1.0);
  const double z2 = z * z;
  double term = z, sum = z;
  for (int n = 3; n <= 41; n += 2) {
    term *= z2;
    sum += term / static_cast<double>(n);
  }
  return static_cast<double>(e) + 2.0 * sum * 1.44269504088896340736;
}

double log10(double x) { return log2(x) * 0.30102999566398119521; }

double pow10(double x) { return exp2(x * 3.32192809488736234787); }

double dbToGain(double db) { return pow10(db / 20.0); }

double gainToDb(double gain) { return 20.0 * log10(gain); }

double sqrt(double x) { return std::sqrt(x); }

double midiToHz(double note) { return 440.0 * exp2((note - 69.0) / 12.0); }

}  // namespace detmath
