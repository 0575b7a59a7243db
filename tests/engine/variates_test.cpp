#include "engine/variates.h"

#include <gtest/gtest.h>

#include <cmath>

namespace plovanet {

TEST(Variates, ExpectedValueModeReturnsProductsWithoutDrawing) {
  struct Case {
    double n, p, want;
  };
  const Case cases[] = {{7, 0.25, 1.75}, {10, -0.5, -5}, {10, 1.5, 15}, {1e6, 0.5, 5e5}};
  Stream rng = seededStream(1);
  for (const Case& c : cases) EXPECT_EQ(binoml(rng, 1, c.n, c.p), c.want);
  EXPECT_EQ(rng.taken, 0U);
}

TEST(Variates, StochasticBranchesTakeTheirNumbersOfIntegers) {
  struct Case {
    double n, p;
    std::uint64_t taken;
  };  // the waiting-time loop (p < 0.05 or > 0.95, n > 100) in the next test
  const Case cases[] = {{50, 0, 0},       {50, -0.3, 0},   {50, NAN, 0},     {0.9, 0.5, 0},
                        {10.7, 0.5, 10},  {100, 0.5, 100}, {100.5, 0.5, 12}, {1000, 0.05, 12},
                        {1000, 0.95, 12}, {50, 1.5, 50},   {200, 1.5, 0}};
  for (const Case& c : cases) {
    Stream rng = seededStream(5);
    const double x = binoml(rng, 0, c.n, c.p);
    EXPECT_EQ(rng.taken, c.taken) << c.n << " " << c.p;
    EXPECT_EQ(x, std::floor(x));
  }
  Stream rng = seededStream(5);
  EXPECT_EQ(binoml(rng, 0, 50, 1.5), 50);
  EXPECT_EQ(binoml(rng, 0, 200, 1.5), 200);
}

TEST(Variates, UnormRoundsHalvesUpInStochasticModeOnly) {
  struct Case {
    int determ;
    double mean, sd, want;
  };
  const Case cases[] = {{0, 2.5, 0, 3}, {0, -2.5, 0, -2}, {0, 10, 0, 10}, {1, 2.5, 0, 2.5}};
  for (const Case& c : cases) {
    Stream rng = seededStream(3);
    EXPECT_EQ(unorm(rng, c.determ, c.mean, c.sd), c.want);
    EXPECT_EQ(rng.taken, 12U);
  }
  Stream rng = seededStream(3);
  EXPECT_NE(unorm(rng, 1, 10, 2), 10) << "expected-value mode still returns a random value";
}

// The waiting-time loop runs up to a mean n * q of kWaitingLoopMaxMean (count + 1 nonzero
// integers);
// above it the count comes from 12 uniforms. 0.03125 and 1 - 0.03125 are exact, so n = 32e6
// puts n * q exactly on the bound.
TEST(Variates, WaitingTimeLoopUpToTheBoundTwelveUniformsAbove) {
  struct Case {
    double n, p;
    bool loop;
  };
  const double above = std::nextafter(32e6, 1e9);
  const Case cases[] = {{1000, 0.04, true},    {1000, 0.96, true},          {32e6, 0.03125, true},
                        {32e6, 0.96875, true}, {32e6 + 32, 0.03125, false}, {32e6 + 32, 0.96875, false},
                        {1e9, 0.001, true},    {1e15, 0.99, false},         {1e300, 0.001, false},
                        {1e300, 0.999, false}, {above, 0.03125, false}};
  for (const Case& c : cases) {
    Stream rng = seededStream(11);
    const double x = binoml(rng, 0, c.n, c.p);
    const double q = c.p > 0.9 ? 1 - c.p : c.p;
    const double count = c.p > 0.9 ? c.n - x : x;
    const double lambda = c.n * q;
    if (c.loop) {
      // count + 1 nonzero integers, and the zeros the loop skips among them
      Stream replay = seededStream(11);
      for (double nonzero = 0; nonzero < count + 1;)
        if (replay.next() != 0) nonzero += 1;
      EXPECT_EQ(rng.taken, replay.taken) << c.n << " " << c.p;
    } else {
      EXPECT_EQ(rng.taken, 12U) << c.n << " " << c.p;
    }
    // The rarer outcome's count lies where its z (between -6 and 6) can put it; n - count at
    // n = 1e300 keeps too few digits of the count to check.
    if (c.n < 1e20 || c.p < 0.9) {
      EXPECT_LE(std::fabs(count - lambda), 6 * std::sqrt(lambda) + 1) << c.n << " " << c.p;
    }
    if (c.n < 1e15) EXPECT_EQ(x, std::floor(x));
  }
}

TEST(Variates, WaitingTimeEdgeArgumentsDrawNothing) {
  struct Case {
    double n, p;
    double want;  // NaN: want NaN
  };
  const Case cases[] = {{NAN, 0.01, 0},        {NAN, 0.99, NAN}, {INFINITY, 0.01, INFINITY},
                        {INFINITY, 0.99, NAN}, {1e6, 1.5, 1e6},  {1e300, 1.5, 1e300}};
  for (const Case& c : cases) {
    Stream rng = seededStream(11);
    const double x = binoml(rng, 0, c.n, c.p);
    if (std::isnan(c.want)) {
      EXPECT_TRUE(std::isnan(x)) << c.n << " " << c.p;
    } else {
      EXPECT_EQ(x, c.want) << c.n << " " << c.p;
    }
    EXPECT_EQ(rng.taken, 0U) << c.n << " " << c.p;
  }
}

// The count of the rarer outcome: below the bound a waiting-time loop that stopped at a uniform
// of 0 would fall about 4% short; on both sides the count should be Poisson(n * q). Mean within 4
// standard errors, variance within 10% (4 standard errors of a variance from 4000 draws is ~9%).
TEST(Variates, WaitingTimeCountHasPoissonMoments) {
  struct Case {
    double n, p;
  };
  const Case cases[] = {{1e5, 0.03}, {1e5, 0.97}, {4e8, 0.01}, {4e8, 0.99}, {4e10, 0.0001}};
  const int calls = 4000;
  for (const Case& c : cases) {
    Stream rng = seededStream(77);
    const double q = c.p > 0.9 ? 1 - c.p : c.p;
    const double lambda = c.n * q;
    double sum = 0;
    double sumSq = 0;
    for (int i = 0; i < calls; ++i) {
      const double x = binoml(rng, 0, c.n, c.p);
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

}  // namespace plovanet
