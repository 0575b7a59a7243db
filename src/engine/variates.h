// Uniform, normal and binomial variates on the one random stream. In expected-value mode
// (determ != 0) binoml returns its expectation and draws nothing; unorm always draws twelve.
// Every comparison is written so that a NaN argument fails it.
#pragma once

#include <cmath>

#include "engine/stream.h"

namespace plovanet {

inline double unif(Stream& rng) {
  return rng.next() / 32767.0;
}

double unorm(Stream& rng, int determ, double mean, double sd);

// Largest mean n * q the waiting-time loop runs for. The loop takes about n * q + 1 uniforms,
// so without a bound a large population hangs the run (n = 1e15, q = 0.01 is about a day, and
// past a sum of about 1e16 the sum stops moving and the loop never ends). Up to the bound the
// loop is kept as it is, so every study of ordinary size draws exactly what it always drew; a
// call at the bound takes some 10 ms.
inline constexpr double kWaitingLoopMaxMean = 1e6;

// Poisson(lambda) for lambda above kWaitingLoopMaxMean, in 12 uniforms: the normal
// approximation floor(lambda + sqrt(lambda) z + 0.5), z the sum of twelve uniforms less 6 (mean
// 0, variance 1). At these means the Poisson's skewness is at most 1e-3, so the normal shape
// is as good as the twelve-uniform z itself.
double poissonLarge(Stream& rng, double lambda);

inline double binoml(Stream& rng, int determ, double n, double p) {
  if (determ != 0) return n * p;
  if (!(p > 0)) return 0;
  if (n <= 100) {
    if (!(n >= 1)) return 0;  // also keeps floor(-inf) out of the int conversion
    const int t = static_cast<int>(std::floor(n));
    int successes = 0;
    for (int i = 0; i < t; ++i) {
      if (p >= unif(rng)) ++successes;
    }
    return successes;
  }
  if (p >= 0.05 && p <= 0.95) {
    const double mean = n * p;
    double z = -6.0;
    for (int i = 0; i < 12; ++i) z += unif(rng);
    return std::floor(std::sqrt((1 - p) * mean) * z + mean);
  }
  // Poisson waiting times for the rarer outcome. A uniform of exactly 0 would end the loop at
  // once (log 0 is -inf) and bias the count low, so it is skipped and the next one drawn.
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
    int k = rng.next();
    while (k == 0) k = rng.next();
    sum += std::log(k / 32767.0);
    if (sum >= limit) count += 1;
  }
  return p > 0.9 ? n - count : count;
}

}  // namespace plovanet
