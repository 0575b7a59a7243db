#include "engine/levels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/caphis.h"
#include "support.h"

namespace plovanet {

// The pooled engine against the plain recursion on random data sets: tag loss in both forms,
// several groups, negative entrants, and rates that are 0, 1, outside 0..1 or NaN. The truth
// totals count the same pieces in both.
TEST(Levels, AgreesWithTheRecursionUpToRounding) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> u(0, 1);
  for (int trial = 0; trial < 3000; ++trial) {
    const int nper = 1 + trial % 9;
    RunState ref, fast;
    ASSERT_TRUE(allocateState(ref, nper, 2) && allocateState(fast, nper, 2));
    test::randomRates(gen, u(gen) < 0.3, ref, {&fast});
    ref.grp = fast.grp = trial % 2;
    Levels lv;
    ASSERT_TRUE(levelsAllocate(lv, nper));
    Stream rng = seededStream(1);
    for (int occ = 1; occ <= nper; ++occ) {  // as the driver does it
      const double n = std::uniform_real_distribution<double>(-20, 300)(gen);
      ref.talive[occ - 1] += n;
      fast.talive[occ - 1] += n;
      if (n > 0) caphis(ref, rng, 0, n, occ, -1);
      levelsOccasion(lv, fast, occ, n, fast.row(fast.grp));
    }
    const double* a = ref.row(ref.grp);
    const double* b = fast.row(fast.grp);
    double scale = 1;
    for (int h = 0; h < ref.dim; ++h) scale += std::isfinite(a[h]) ? std::fabs(a[h]) : 0;
    for (int h = 0; h < ref.dim; ++h) ASSERT_PRED3(test::near, a[h], b[h], scale) << "trial " << trial << " h " << h;
    for (Array RunState::*t : test::kTotals) {
      for (int k = 0; k < nper; ++k)
        ASSERT_PRED3(test::near, (ref.*t)[k], (fast.*t)[k], scale) << "trial " << trial << " k " << k;
    }
  }
}

}  // namespace plovanet
