// Uniform, normal and binomial variates on the one random stream. In expected-value mode
// (Mode::expected) binoml returns its expectation and draws nothing; unorm always draws, and
// rounds its value only in stochastic mode. The
// stream's kind picks the engine:
//
// Classic (StreamKind::classic): the draws every earlier run made. Uniforms are 15-bit
// integers / 32767; binoml makes direct trials up to n = 100, above it a normal approximation
// (twelve uniforms) for 0.05 <= p <= 0.95 and a Poisson waiting-time count of the rarer outcome
// otherwise; unorm is the sum of twelve uniforms less 6. Two mends that move no draw: the normal
// approximation's count is held to 0..n, and a rate of exactly 1 (rarer-outcome rate exactly 0)
// counts no event in the waiting-time loop, which still takes the uniforms it always took.
//
// Exact (StreamKind::pcg32): uniforms carry 53 random bits (two 32-bit outputs) and are never 0;
// binoml is an exact binomial over floor(n) trials of min(p, 1 - p), inversion for a mean below
// kInversionMaxMean and Hormann's BTRD (transformed rejection, 1993) above, expected O(1) at
// every n; unorm's z is an exact standard normal (Marsaglia's polar method). Arguments as the
// classic branches treat them: p <= 0 or NaN, or n below 1 or NaN, give 0; p >= 1 gives n
// itself (a rate of 1 keeps the whole batch, a fraction included); otherwise the fraction of a
// fractional n is not tried, as in the classic direct trials. n = inf gives inf without drawing.
// Above 2^53 a count is a double, so it is exact only to the spacing of doubles there.
//
// Platforms. The exact engine uses only IEEE arithmetic (+ - * / sqrt, floor), which gives the
// same bits everywhere, plus log, log1p and exp from the C library, which may differ in the last
// bit between libraries. Every decision compares a uniform with a bound, and the common paths
// (BTRD's central box and its product test, inversion's running sum) need no library call after
// the per-call constants; a last-bit difference can change a draw only when a uniform falls
// within that bit of a bound, about 1 in 10^15 calls. The polar normal carries log's last bit
// into its value, which reaches a rounded count (or a printed digit) about as rarely. Classic
// uses floor, sqrt and log the same way.
//
// Every comparison is written so that a NaN argument fails it.
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/state.h"
#include "engine/stream.h"

namespace plovanet {

// A uniform on (0, 1) with 53 random bits: the top 27 and 26 bits of two pcg32 outputs. An
// all-zero draw (2^-53) is drawn again, so logarithms and divisions never see 0.
inline double unif53(Stream& rng) {
  for (;;) {
    const std::uint64_t hi = rng.next32() >> 5U;
    const std::uint64_t lo = rng.next32() >> 6U;
    const std::uint64_t k = (hi << 26U) | lo;
    if (k != 0) return static_cast<double>(k) * 0x1p-53;
  }
}

// Classic: one of the 32768 values k / 32767, 0 and 1 included. Exact: unif53.
inline double unif(Stream& rng) {
  if (rng.kind == StreamKind::classic) return rng.nextClassic() / 32767.0;
  return unif53(rng);
}

double unorm(Stream& rng, Mode mode, double mean, double sd);

// Largest mean n * q the classic waiting-time loop runs for. The loop takes about n * q + 1
// uniforms, so without a bound a large population hangs the run (n = 1e15, q = 0.01 is about a
// day, and past a sum of about 1e16 the sum stops moving and the loop never ends). Up to the
// bound the loop is kept as it is, so every study of ordinary size draws exactly what it always
// drew; a call at the bound takes some 10 ms.
inline constexpr double kWaitingLoopMaxMean = 1e6;

// Classic Poisson(lambda) for lambda above kWaitingLoopMaxMean, in 12 uniforms: the normal
// approximation floor(lambda + sqrt(lambda) z + 0.5), z the sum of twelve uniforms less 6 (mean
// 0, variance 1). At these means the Poisson's skewness is at most 1e-3, so the normal shape
// is as good as the twelve-uniform z itself.
double poissonLarge(Stream& rng, double lambda);

// Exact engine: inversion below this mean n * min(p, 1 - p) (at most about 10 steps), BTRD from
// it on (BTRD needs a mean of at least 10).
inline constexpr double kInversionMaxMean = 10;

// The exact binomial variate of the pcg32 engine (see the top of this file).
double binomlExact(Stream& rng, double n, double p);

// An exact standard normal variate from unif53 (polar method; one of each pair is used).
double gaussExact(Stream& rng);

namespace detail {

// The classic engine's three branches, as binoml picks them: t direct trials, a normal
// approximation, Poisson waiting times.
inline double classicDirect(Stream& rng, int t, double p) {
  int successes = 0;
  for (int i = 0; i < t; ++i) {
    if (p >= rng.nextClassic() / 32767.0) ++successes;
  }
  return successes;
}

inline double classicNormal(Stream& rng, double n, double p) {
  const double mean = n * p;
  double z = -6.0;
  for (int i = 0; i < 12; ++i) z += rng.nextClassic() / 32767.0;
  const double x = std::floor(std::sqrt((1 - p) * mean) * z + mean);
  if (x < 0) return 0;  // z reaches -6 and +6: hold the count to 0..n
  if (x > n) return n;
  return x;
}

// Poisson waiting times for the rarer outcome. A uniform of exactly 0 would end the loop at once
// (log 0 is -inf) and bias the count low, so it is skipped and the next one drawn.
inline double classicWaiting(Stream& rng, double n, double p) {
  const double q = p > 0.9 ? 1 - p : p;
  const double limit = (-n) * q;
  if (limit == -INFINITY) return p > 0.9 ? n - INFINITY : INFINITY;  // the loop would never end
  if (limit < -kWaitingLoopMaxMean) {  // a NaN limit fails this and the loop's test: no draws
    const double count = poissonLarge(rng, -limit);
    return p > 0.9 ? n - count : count;
  }
  double sum = 0;
  double count = 0;
  while (sum >= limit) {
    int k = rng.nextClassic();
    while (k == 0) k = rng.nextClassic();
    sum += std::log(k / 32767.0);
    if (sum >= limit) count += 1;
  }
  // At p = 1 (q = 0, limit -0) every uniform of exactly 1 kept the loop going and was counted
  // as an event: the same uniforms are drawn, none is an event.
  if (q == 0) count = 0;
  return p > 0.9 ? n - count : count;
}

}  // namespace detail

inline double binoml(Stream& rng, Mode mode, double n, double p) {
  if (mode == Mode::expected) return n * p;
  if (rng.kind != StreamKind::classic) return binomlExact(rng, n, p);
  if (!(p > 0)) return 0;
  if (n <= 100) {
    if (!(n >= 1)) return 0;  // also keeps floor(-inf) out of the int conversion
    return detail::classicDirect(rng, static_cast<int>(std::floor(n)), p);
  }
  if (p >= 0.05 && p <= 0.95) return detail::classicNormal(rng, n, p);
  return detail::classicWaiting(rng, n, p);
}

}  // namespace plovanet
