#include "engine/variates.h"

#include <array>
#include <cstddef>

namespace plovanet {

double gaussExact(Stream& rng) {
  for (;;) {
    const double x = 2 * unif53(rng) - 1;  // exact: 53 bits in, 53 bits out
    const double y = 2 * unif53(rng) - 1;
    const double s = x * x + y * y;
    if (s < 1 && s > 0) return x * std::sqrt(-2 * std::log(s) / s);
  }
}

double unorm(Stream& rng, Mode mode, double mean, double sd) {
  double z = 0;
  if (rng.kind == StreamKind::classic) {
    z = -6.0;
    for (int i = 0; i < 12; ++i) z += unif(rng);
  } else {
    z = gaussExact(rng);
  }
  double v = z * sd + mean;
  if (mode == Mode::stochastic) v = std::floor(v + 0.5);
  return v;
}

double poissonLarge(Stream& rng, double lambda) {
  double z = -6.0;
  for (int i = 0; i < 12; ++i) z += unif(rng);
  return std::floor(lambda + std::sqrt(lambda) * z + 0.5);
}

namespace {

// (1 - p)^t, t whole. Up to t = 1024 by squaring (IEEE products only, the same bits on every
// platform, and no library call on the hot path; the rounding of 1 - p grows to at most 1e-13
// of the result); above it as exp(t log1p(-p)), which does not round 1 - p first.
double noSuccess(double t, double p) {
  if (t > 1024) return std::exp(t * std::log1p(-p));
  auto e = static_cast<unsigned>(t);
  double base = 1 - p;
  double r = 1;
  for (; e != 0; e >>= 1U) {
    if ((e & 1U) != 0) r *= base;
    base *= base;
  }
  return r;
}

// Binomial(t, p) by inversion, p <= 1/2 and t * p below kInversionMaxMean: walk the pmf from 0,
// each term from the last by one multiplication. If rounding leaves u above the whole mass (the
// walk passes t, or 110, beyond which a mean below 10 puts less than 1e-60), u is drawn again.
// The walk multiplies by 1/x from a table (rounded at compile time, so alike everywhere)
// instead of dividing: a division's latency would be most of a step.
constexpr int kInversionLast = 110;
constexpr auto kReciprocals = [] {
  std::array<double, kInversionLast + 1> r{};
  for (int x = 1; x <= kInversionLast; ++x) r[static_cast<std::size_t>(x)] = 1.0 / x;
  return r;
}();

double binomialInversion(Stream& rng, double t, double p) {
  const double s = p / (1 - p);
  const double a = (t + 1) * s;
  const double r0 = noSuccess(t, p);
  const int last = t < kInversionLast ? static_cast<int>(t) : kInversionLast;
  for (;;) {
    double u = unif53(rng);
    double r = r0;
    int x = 0;
    while (u > r) {
      u -= r;
      if (++x > last) break;
      r *= a * kReciprocals[static_cast<std::size_t>(x)] - s;
    }
    if (x <= last) return x;
  }
}

// log(k!) - ((k + 1/2) log(k + 1) - (k + 1) + log(2 pi) / 2): Stirling's remainder, from a table
// below 10 and its series above.
double stirlingTail(double k) {
  static constexpr double kTable[10] = {0.081061466795327261, 0.041340695955409297, 0.027677925684998338,
                                        0.020790672103765093, 0.016644691189821193, 0.013876128823070748,
                                        0.01189670994589177,  0.010411265261972096, 0.0092554621827127329,
                                        0.0083305634333628708};
  if (k < 10) return kTable[static_cast<int>(k)];
  const double r = 1 / (k + 1);
  const double rr = r * r;
  return (1.0 / 12 - (1.0 / 360 - rr / 1260) * rr) * r;
}

// Binomial(t, p) by BTRD, p <= 1/2 and t * p >= 10 (Hormann 1993, transformed rejection with a
// decomposition). The last test, log f(k)/f(m) against log v, is written in differences k - m
// (log1p), so that its rounding stays near 1e-16 times the result rather than times t: at
// t = 1e15 the textbook form loses a tenth of a unit of log density.
double binomialBtrd(Stream& rng, double t, double p) {
  const double q = 1 - p;
  const double npq = t * p * q;
  const double spq = std::sqrt(npq);
  const double b = 1.15 + 2.53 * spq;
  const double a = -0.0873 + 0.0248 * b + 0.01 * p;
  const double c = t * p + 0.5;
  const double alpha = (2.83 + 5.1 / b) * spq;
  const double vr = 0.92 - 4.2 / b;
  const double urvr = 0.86 * vr;
  const double m = std::floor((t + 1) * p);  // the mode
  const double r = p / q;
  const double nr = (t + 1) * r;
  for (;;) {
    double v = unif53(rng);
    double u = 0;
    if (v <= urvr) {  // the central box: about 86% of draws end here
      u = v / vr - 0.43;
      const double k = std::floor((2 * a / (0.5 - std::fabs(u)) + b) * u + c);
      if (k >= 0 && k <= t) return k;
      continue;
    }
    if (v >= vr) {
      u = unif53(rng) - 0.5;
    } else {
      u = v / vr - 0.93;
      u = (u < 0 ? -0.5 : 0.5) - u;
      v = unif53(rng) * vr;
    }
    const double us = 0.5 - std::fabs(u);
    const double k = std::floor((2 * a / us + b) * u + c);
    if (!(k >= 0 && k <= t)) continue;
    v = v * alpha / (a / (us * us) + b);
    const double km = std::fabs(k - m);
    if (km <= 15) {  // f(k)/f(m) as a product of ratios f(i)/f(i-1) = nr / i - r
      double f = 1;
      const int steps = static_cast<int>(km);  // counted: i + 1 == i above 2^53
      if (m < k) {
        for (int j = 1; j <= steps; ++j) f *= nr / (m + j) - r;
      } else {
        for (int j = 1; j <= steps; ++j) v *= nr / (k + j) - r;
      }
      if (v <= f) return k;
      continue;
    }
    v = std::log(v);
    const double rho = (km / npq) * (((km / 3 + 0.625) * km + 1.0 / 6) / npq + 0.5);
    const double tt = -km * km / (2 * npq);
    if (v < tt - rho) return k;
    if (v > tt + rho) continue;
    const double d = k - m;
    const double nm = t - m + 1;
    const double nk = t - k + 1;
    const double logRatio = stirlingTail(m) + stirlingTail(t - m) - stirlingTail(k) - stirlingTail(t - k) +
                            d * std::log(r * nm / (m + 1)) +
                            (k + 0.5) * (std::log1p(-d / nm) - std::log1p(d / (m + 1))) +
                            (t + 1) * std::log1p(d / nk);
    if (v <= logRatio) return k;
  }
}

}  // namespace

double binomlExact(Stream& rng, double n, double p) {
  if (!(p > 0) || !(n >= 1)) return 0;
  if (p >= 1) return n;
  const double t = std::floor(n);
  if (t == INFINITY) return INFINITY;
  const bool flip = p > 0.5;
  const double pp = flip ? 1 - p : p;  // exact: 1 - p has no rounding for p >= 1/2
  const double x = t * pp < kInversionMaxMean ? binomialInversion(rng, t, pp) : binomialBtrd(rng, t, pp);
  return flip ? t - x : x;
}

}  // namespace plovanet
