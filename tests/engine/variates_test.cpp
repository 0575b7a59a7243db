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
    long long taken;
  };  // -1: count + 1 of the waiting-time loop
  const Case cases[] = {{50, 0, 0},       {50, -0.3, 0},   {50, NAN, 0},     {0.9, 0.5, 0},
                        {10.7, 0.5, 10},  {100, 0.5, 100}, {100.5, 0.5, 12}, {1000, 0.05, 12},
                        {1000, 0.95, 12}, {50, 1.5, 50},   {200, 1.5, 0},    {1000, 0.04, -1},
                        {1000, 0.96, -1}};
  for (const Case& c : cases) {
    Stream rng = seededStream(5);
    const double x = binoml(rng, 0, c.n, c.p);
    if (c.taken >= 0) {
      EXPECT_EQ(rng.taken, static_cast<std::uint64_t>(c.taken)) << c.n << " " << c.p;
    } else {
      const double count = c.p > 0.9 ? c.n - x : x;
      EXPECT_EQ(rng.taken, static_cast<std::uint64_t>(count) + 1) << c.n << " " << c.p;
    }
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

TEST(Variates, WaitingTimeCountIsUnbiasedAtLargeNq) {
  // n * q = 3000: a loop that stopped at a uniform of 0 would fall about 4% short.
  Stream rng = seededStream(2024);
  const int calls = 2000;
  double sum = 0;
  for (int i = 0; i < calls; ++i) sum += binoml(rng, 0, 100000, 0.03);
  const double se = std::sqrt(3000.0 / calls);
  EXPECT_NEAR(sum / calls, 3000, 4 * se);
  double high = 0;
  for (int i = 0; i < calls; ++i) high += binoml(rng, 0, 100000, 0.97);
  EXPECT_NEAR(high / calls, 97000, 4 * se);
}

}  // namespace plovanet
