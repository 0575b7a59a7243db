#include "engine/tally.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "engine/ordinary/caphis.h"
#include "hand_study.h"
#include "support.h"

namespace plovanet {

// The recursion into a tally against the same recursion into a dense row: same draws, same
// totals, and the merged list equal to the row bit for bit (absent = 0.0), several data sets
// added into one table, merges from after every addition to never.
TEST(Tally, MergedListEqualsTheDenseRowBitForBit) {
  std::mt19937 gen(3);
  std::uniform_real_distribution<double> u(0, 1);
  const auto sameBits = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  const std::size_t merges[] = {1, 3, 64, std::size_t{1} << 16};
  for (int trial = 0; trial < 1200; ++trial) {
    const int nper = 1 + trial % 10;
    test::HandStudy dense(nper, 1, false);
    Totals sparse(nper);
    Tally t;
    t.minMerge = merges[trial % 4];
    Stream r1 = seededStream(static_cast<std::uint32_t>(trial)), r2 = r1;
    const int datasets = 1 + trial % 3;
    for (int ds = 0; ds < datasets; ++ds) {
      test::randomRates(gen, trial % 5 == 0, nper, dense.ds, dense.d.thetaflg);
      for (int occ = 1; occ <= nper; ++occ) {
        const double n = u(gen) < 0.2 ? 0.0 : u(gen) * (u(gen) < 0.3 ? 3000 : 150);
        if (n <= 0) continue;
        test::caphisRow(dense, r1, 0, n, occ);
        caphis(dense.d, dense.ds, sparse, r2, t, {0, n, occ}, std::nullopt);
      }
    }
    ASSERT_EQ(r1.state, r2.state);
    ASSERT_EQ(r1.taken, r2.taken);
    for (const auto a : test::kTotals) {
      for (std::size_t k = 0; k < static_cast<std::size_t>(nper); ++k)
        ASSERT_TRUE(sameBits((dense.tot.*a)[k], (sparse.*a)[k])) << trial;
    }
    const double* row = dense.row(0);
    int next = 0;
    for (const TallyEntry& e : tallyHistories(t)) {
      ASSERT_GE(e.h, next) << "trial " << trial << ": not ascending";
      for (; next < e.h; ++next) ASSERT_TRUE(sameBits(row[next], 0.0)) << "trial " << trial << " h " << next;
      ASSERT_TRUE(sameBits(row[e.h], e.x))
          << "trial " << trial << " h " << e.h << " " << row[e.h] << " " << e.x;
      next = e.h + 1;
    }
    for (; next < dense.d.dim; ++next)
      ASSERT_TRUE(sameBits(row[next], 0.0)) << "trial " << trial << " h " << next;
  }
}

}  // namespace plovanet
