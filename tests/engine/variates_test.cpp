#include "engine/variates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

namespace plovanet {

struct Trials {  // binoml's batch of n animals and rate p
  double n, p;
};

// The integers each branch of the classic engine takes: direct trials (n up to 100, one per
// animal), the normal approximation (12), and the waiting-time loop (p < 0.05 or > 0.95, n > 100:
// count + 1 nonzero integers) up to a mean n * q of kWaitingLoopMaxMean, 12 uniforms above it.
// 0.03125 and 1 - 0.03125 are exact, so n = 32e6 puts n * q exactly on the bound.
TEST(Variates, ClassicBranchesTakeTheirNumbersOfIntegers) {
  constexpr std::uint64_t kLoop = 0;  // the waiting-time loop: replayed below
  struct Case {
    double n, p;
    std::uint64_t taken;
  };
  const double above = std::nextafter(32e6, 1e9);
  const Case cases[] = {{10.7, 0.5, 10},        {100, 0.5, 100},          {100.5, 0.5, 12},
                        {1000, 0.05, 12},       {1000, 0.95, 12},         {50, 1.5, 50},
                        {1000, 0.04, kLoop},    {1000, 0.96, kLoop},      {32e6, 0.03125, kLoop},
                        {32e6, 0.96875, kLoop}, {32e6 + 32, 0.03125, 12}, {32e6 + 32, 0.96875, 12},
                        {1e9, 0.001, kLoop},    {1e15, 0.99, 12},         {1e300, 0.001, 12},
                        {1e300, 0.999, 12},     {above, 0.03125, 12}};
  for (const Case& c : cases) {
    Stream rng = seededStream(11);
    const double x = binoml(rng, Mode::stochastic, c.n, c.p);
    const double q = c.p > 0.9 ? 1 - c.p : c.p;
    const double count = c.p > 0.9 ? c.n - x : x;
    const double lambda = c.n * q;
    if (c.taken == kLoop) {
      // count + 1 nonzero integers, and the zeros the loop skips among them
      Stream replay = seededStream(11);
      for (double nonzero = 0; nonzero < count + 1;)
        if (replay.next() != 0) nonzero += 1;
      EXPECT_EQ(rng.taken, replay.taken) << c.n << " " << c.p;
    } else {
      EXPECT_EQ(rng.taken, c.taken) << c.n << " " << c.p;
    }
    if (c.p > 1) EXPECT_EQ(x, c.n);
    // The rarer outcome's count lies where its z (between -6 and 6) can put it; n - count at
    // n = 1e300 keeps too few digits of the count to check.
    if (c.p <= 1 && (c.n < 1e20 || c.p < 0.9)) {
      EXPECT_LE(std::fabs(count - lambda), 6 * std::sqrt(lambda) + 1) << c.n << " " << c.p;
    }
    if (c.n < 1e15) EXPECT_EQ(x, std::floor(x));
  }
}

// Both engines on arguments that need no draw: rates of 0 (or below, or NaN) and batches below
// one animal give 0, rates of 1 or more the whole batch, a fraction included; the classic
// waiting-time loop's NaN and infinite batches end at once.
TEST(Variates, EdgeArgumentsDrawNothing) {
  struct Case {
    StreamKind kind;
    double n, p;
    double want;  // NaN: want NaN
  };
  const StreamKind C = StreamKind::classic, P = StreamKind::pcg32;
  // clang-format off
  const Case cases[] = {
      {C, 50, 0, 0}, {C, 50, -0.3, 0}, {C, 50, NAN, 0}, {C, 0.9, 0.5, 0}, {C, 200, 1.5, 200},
      {C, NAN, 0.01, 0}, {C, NAN, 0.99, NAN}, {C, INFINITY, 0.01, INFINITY}, {C, INFINITY, 0.99, NAN},
      {C, 1e6, 1.5, 1e6}, {C, 1e300, 1.5, 1e300},
      {P, 50, 0, 0}, {P, 50, -0.3, 0}, {P, 50, NAN, 0}, {P, 0.9, 0.5, 0}, {P, NAN, 0.5, 0}, {P, -5, 0.5, 0},
      {P, 200, 1, 200}, {P, 20000, 1, 20000}, {P, 10.7, 1, 10.7}, {P, 1e15, 1.5, 1e15},
      {P, INFINITY, 0.3, INFINITY}, {P, INFINITY, 1, INFINITY}, {P, 1e300, 0, 0}};
  // clang-format on
  for (const Case& c : cases) {
    Stream rng = seededStream(c.kind, 11);
    const double x = binoml(rng, Mode::stochastic, c.n, c.p);
    EXPECT_TRUE(x == c.want || (std::isnan(x) && std::isnan(c.want))) << c.n << " " << c.p << ": " << x;
    EXPECT_EQ(rng.taken, 0U) << c.n << " " << c.p;
  }
}

// The count of the rarer outcome: below the bound a waiting-time loop that stopped at a uniform
// of 0 would fall about 4% short; on both sides the count should be Poisson(n * q). Mean within 4
// standard errors, variance within 10% (4 standard errors of a variance from 4000 draws is ~9%).
TEST(Variates, WaitingTimeCountHasPoissonMoments) {
  const Trials cases[] = {{1e5, 0.03}, {1e5, 0.97}, {4e8, 0.01}, {4e8, 0.99}, {4e10, 0.0001}};
  const int calls = 4000;
  for (const Trials& c : cases) {
    Stream rng = seededStream(77);
    const double lambda = c.n * (c.p > 0.9 ? 1 - c.p : c.p);
    double sum = 0, sumSq = 0;
    for (int i = 0; i < calls; ++i) {
      const double x = binoml(rng, Mode::stochastic, c.n, c.p);
      const double d = (c.p > 0.9 ? c.n - x : x) - lambda;
      sum += d;
      sumSq += d * d;
    }
    if (lambda > kWaitingLoopMaxMean) EXPECT_EQ(rng.taken, 12U * calls);  // else: the loop
    const double meanDev = sum / calls;
    const double var = (sumSq - sum * meanDev) / (calls - 1);
    EXPECT_NEAR(meanDev, 0, 4 * std::sqrt(lambda / calls)) << c.n << " " << c.p;
    EXPECT_NEAR(var / lambda, 1, 0.1) << c.n << " " << c.p;
  }
}

// The classic normal approximation's z (twelve uniforms less 6) reaches -6 and +6, so at n = 101
// a mean near 0 or near n puts the raw count below 0 or above n (at p = 0.95 on some 500 draws of
// these 200,000): every count is held to 0..n.
TEST(Variates, ClassicNormalCountHeldToZeroToN) {
  for (const Trials& c : {Trials{101, 0.05}, Trials{101, 0.95}}) {
    Stream rng = seededStream(3);
    for (int i = 0; i < 200000; ++i) {
      const double x = binoml(rng, Mode::stochastic, c.n, c.p);
      ASSERT_TRUE(x >= 0 && x <= c.n) << c.n << " " << c.p << ": " << x << " at draw " << i;
    }
  }
}

namespace {

struct Moments {
  double mean = 0, var = 0;
};

Moments moments(const std::vector<double>& xs) {
  const double mean = std::accumulate(xs.begin(), xs.end(), 0.0) / static_cast<double>(xs.size());
  double ss = 0;
  for (double x : xs) ss += (x - mean) * (x - mean);
  return {mean, ss / static_cast<double>(xs.size() - 1)};
}

// The chi-square quantile by Wilson and Hilferty; z = 4.4 is a tail of about 5e-6.
double chiSquareBound(int df) {
  const double h = 2.0 / (9 * df);
  const double w = 1 - h + 4.4 * std::sqrt(h);
  return df * w * w * w;
}

// Pearson's chi-square of sorted draws of Binomial(t, p) against its pmf, consecutive counts
// pooled into cells of at least max(10, draws / 50) expected draws; {statistic, degrees of
// freedom}, df 0 when one cell holds everything.
std::pair<double, int> binomialChiSquare(const std::vector<double>& sorted, double t, double p) {
  const auto draws = static_cast<double>(sorted.size());
  const double mean = t * p, sd = std::sqrt(t * p * (1 - p));
  const double lo = std::max(0.0, std::floor(mean - 12 * sd - 20));
  const double hi = std::min(t, std::ceil(mean + 12 * sd + 20));
  const double target = std::max(10.0, draws / 50);
  const double lt = std::lgamma(t + 1), lp = std::log(p), lq = std::log1p(-p);
  std::vector<double> expected, observed;
  std::size_t next = 0;
  double e = 0;
  for (double k = lo; k <= hi; ++k) {
    e += draws * std::exp(lt - std::lgamma(k + 1) - std::lgamma(t - k + 1) + k * lp + (t - k) * lq);
    if (e >= target || k == hi) {
      double o = 0;
      while (next < sorted.size() && (sorted[next] <= k || k == hi)) ++next, ++o;
      if (e < target && !expected.empty()) {
        expected.back() += e, observed.back() += o;
      } else {
        expected.push_back(e), observed.push_back(o);
      }
      e = 0;
    }
  }
  double chi = 0;
  for (std::size_t i = 0; i < expected.size(); ++i)
    chi += (observed[i] - expected[i]) * (observed[i] - expected[i]) / expected[i];
  return {chi, static_cast<int>(expected.size()) - 1};
}

}  // namespace

// The exact engine against the binomial itself, over a grid of batch sizes on both sides of
// 100 (the old direct-trial bound) and rates near 0, at 10^-5 and 10^-4 (which 15-bit uniforms
// drew 3x and 1.2x too often), on both sides of 0.05 and 0.95 (the old Poisson bounds), in the
// middle and near 1. Every count is whole and in 0..n; the chi-square of pooled cells against
// the pmf stays below its 5e-6 quantile; the mean lies within 4 standard errors of n p and the
// variance within 4 of n p (1 - p). The old engine missed by half an animal above n = 100
// (n = 101, p = 0.5: 14 standard errors at this size) and by 4% of the variance at 0.04.
TEST(Variates, ExactBinomialFitsItsPmf) {
  const double ns[] = {1, 7, 50, 100, 101, 150, 1000, 1e5, 1e9};
  const double ps[] = {1e-7, 1e-5, 1e-4, 0.04, 0.05, 0.3, 0.5, 0.95, 0.96, 1 - 1e-7};
  const int draws = 50000;
  std::uint32_t seed = 1000;
  for (double n : ns) {
    for (double p : ps) {
      Stream rng = seededStream(StreamKind::pcg32, ++seed);
      std::vector<double> xs(draws);
      for (double& x : xs) {
        x = binoml(rng, Mode::stochastic, n, p);
        ASSERT_TRUE(x >= 0 && x <= n && x == std::floor(x)) << n << " " << p << ": " << x;
      }
      const double npq = n * p * (1 - p);
      const Moments m = moments(xs);
      EXPECT_NEAR(m.mean, n * p, 4 * std::sqrt(npq / draws) + 1e-12) << n << " " << p;
      const double kurt = (1 - 6 * p * (1 - p)) / npq;
      EXPECT_NEAR(m.var, npq, 4 * npq * std::sqrt(2.0 / (draws - 1) + kurt / draws) + 1e-12) << n << " " << p;
      std::sort(xs.begin(), xs.end());
      const auto [chi, df] = binomialChiSquare(xs, n, p);
      if (df > 0) EXPECT_LT(chi, chiSquareBound(df)) << n << " " << p << " df " << df;
    }
  }
}

// Batches far beyond the pmf's reach in a test: every count in 0..n, whole below 2^53, and
// moments within 4 standard errors up to 1e15; no call hangs, whatever n.
TEST(Variates, ExactBinomialAtHugeCounts) {
  const Trials cases[] = {{1e15, 0.3},        {1e15, 1e-12}, {1e15, 1e-14},   {1e15, 1 - 1e-9},
                          {123456789.5, 0.5}, {1e300, 0.5},  {1e300, 1e-299}, {1e300, 1e-310}};
  const int draws = 20000;
  for (const Trials& c : cases) {
    Stream rng = seededStream(StreamKind::pcg32, 5);
    std::vector<double> xs(draws);
    const double t = std::floor(c.n);
    for (double& x : xs) {
      x = binoml(rng, Mode::stochastic, c.n, c.p);
      ASSERT_TRUE(x >= 0 && x <= t) << c.n << " " << c.p << ": " << x;
      if (c.n < 0x1p53) ASSERT_EQ(x, std::floor(x));
    }
    if (c.n > 1e20) continue;  // its moments overflow or vanish
    const double npq = t * c.p * (1 - c.p);
    const Moments m = moments(xs);
    EXPECT_NEAR(m.mean / (t * c.p), 1, 4 * std::sqrt(npq / draws) / (t * c.p) + 1e-12) << c.n << " " << c.p;
    EXPECT_NEAR(m.var / npq, 1, 4 * std::sqrt(2.0 / draws) + 1e-12) << c.n << " " << c.p;
  }
}

// taken counts every 32-bit output the exact engine draws, so a replicate's block accounting
// holds: the stream jumped by taken is where the draws left it.
TEST(Variates, ExactDrawsAreCountedInTaken) {
  const Trials cases[] = {{1, 0.5}, {30, 0.2}, {1e4, 0.5}, {1e4, 0.9999}, {1e9, 0.3}};
  for (const Trials& c : cases) {
    Stream rng = seededStream(StreamKind::pcg32, 21);
    for (int i = 0; i < 1000; ++i) binoml(rng, Mode::stochastic, c.n, c.p);
    unorm(rng, Mode::stochastic, 100, 10);
    Stream jumped = seededStream(StreamKind::pcg32, 21);
    jumped.jump(rng.taken);
    EXPECT_EQ(jumped.wide, rng.wide) << c.n << " " << c.p;
    EXPECT_EQ(rng.taken % 2, 0U) << "two outputs per uniform";
  }
}

// The exact engine's normal (unorm in expected-value mode returns mean + sd z unrounded):
// mean 0, variance 1 and fourth moment 3 within 4 standard errors, and the Kolmogorov-Smirnov
// distance to the normal below its 0.1% bound. The twelve-uniform z has a fourth moment of
// 2.9 (10 standard errors here) and never passes 6.
TEST(Variates, ExactNormalIsStandardNormal) {
  const int draws = 1000000;
  Stream rng = seededStream(StreamKind::pcg32, 8);
  std::vector<double> zs(draws);
  for (double& z : zs) z = unorm(rng, Mode::expected, 0, 1);
  const Moments m = moments(zs);
  double m4 = 0;
  for (double z : zs) m4 += z * z * z * z / draws;
  EXPECT_NEAR(m.mean, 0, 4 / std::sqrt(draws));
  EXPECT_NEAR(m.var, 1, 4 * std::sqrt(2.0 / draws));
  EXPECT_NEAR(m4, 3, 4 * std::sqrt(96.0 / draws));
  std::sort(zs.begin(), zs.end());
  double ks = 0;
  for (int i = 0; i < draws; ++i) {
    const double f = 0.5 * std::erfc(-zs[static_cast<std::size_t>(i)] / std::sqrt(2.0));
    ks = std::max({ks, std::fabs(f - static_cast<double>(i) / draws), std::fabs(f - (i + 1.0) / draws)});
  }
  EXPECT_LT(ks, 1.95 / std::sqrt(draws));
}

}  // namespace plovanet
