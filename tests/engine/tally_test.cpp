#include "engine/tally.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>

#include "engine/caphis.h"

namespace plovanet {

namespace {

bool sameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void randomRates(RunState& rs, std::mt19937& gen, bool wild) {
  std::uniform_real_distribution<double> u(0, 1);
  for (Array RunState::*a : {&RunState::pa, &RunState::p2, &RunState::sa, &RunState::th}) {
    for (int k = 0; k < rs.nper; ++k) {
      double x = u(gen);
      if (wild && u(gen) < 0.05) x = u(gen) < 0.3 ? NAN : 2.4 * x - 0.7;
      if (u(gen) < 0.05) x = u(gen) < 0.5 ? 0.0 : 1.0;
      if (a == &RunState::th && u(gen) < 0.1) x = 0.98;  // the waiting-time branch
      (rs.*a)[k] = x;
    }
  }
  rs.thetaflg = u(gen) < 0.5;
}

}  // namespace

// The recursion into a tally against the same recursion into a dense row: same draws, same
// totals, and the merged list equal to the row bit for bit (absent = 0.0), several data sets
// added into one table, merges from after every addition to never.
TEST(Tally, MergedListEqualsTheDenseRowBitForBit) {
  std::mt19937 gen(3);
  std::uniform_real_distribution<double> u(0, 1);
  const std::size_t merges[] = {1, 3, 64, std::size_t{1} << 16};
  for (int trial = 0; trial < 1200; ++trial) {
    const int nper = 1 + trial % 10;
    RunState dense, sparse;
    ASSERT_TRUE(allocateState(dense, nper, 1) && allocateState(sparse, nper, 1));
    dense.determ = sparse.determ = 0;
    Tally t;
    t.minMerge = merges[trial % 4];
    Stream r1 = seededStream(static_cast<std::uint32_t>(trial)), r2 = r1;
    const int datasets = 1 + trial % 3;
    for (int ds = 0; ds < datasets; ++ds) {
      randomRates(dense, gen, trial % 5 == 0);
      for (Array RunState::*a : {&RunState::pa, &RunState::p2, &RunState::sa, &RunState::th}) {
        std::memcpy((sparse.*a).get(), (dense.*a).get(), sizeof(double) * static_cast<std::size_t>(nper));
      }
      sparse.thetaflg = dense.thetaflg;
      for (int occ = 1; occ <= nper; ++occ) {
        const double n = u(gen) < 0.2 ? 0.0 : u(gen) * (u(gen) < 0.3 ? 3000 : 150);
        if (n <= 0) continue;
        caphis(dense, r1, 0, n, occ, -1);
        caphis(sparse, r2, t, 0, n, occ, -1);
      }
    }
    ASSERT_EQ(r1.state, r2.state);
    ASSERT_EQ(r1.taken, r2.taken);
    for (Array RunState::*a :
         {&RunState::tcap, &RunState::talive, &RunState::tmark, &RunState::tnew, &RunState::tlost}) {
      for (int k = 0; k < nper; ++k) ASSERT_TRUE(sameBits((dense.*a)[k], (sparse.*a)[k])) << trial;
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
    for (; next < dense.dim; ++next)
      ASSERT_TRUE(sameBits(row[next], 0.0)) << "trial " << trial << " h " << next;
  }
}

// Stochastic runs with whole entrants: every capture at k ends under a history with bit k,
// every first capture at f under one whose first bit is f's, and the table holds each entrant
// plus each tag loser once. All sums are whole numbers, so they hold exactly.
TEST(Tally, RecordsAddUpExactlyToTheTruthTotals) {
  std::mt19937 gen(9);
  std::uniform_int_distribution<int> entrants(0, 900);
  for (int trial = 0; trial < 300; ++trial) {
    const int nper = 1 + trial % 12;
    RunState rs;
    ASSERT_TRUE(allocateState(rs, nper, 1));
    rs.determ = 0;
    randomRates(rs, gen, false);
    Tally t;
    Stream rng = seededStream(static_cast<std::uint32_t>(trial));
    double added = 0;
    for (int occ = 1; occ <= nper; ++occ) {
      const double n = entrants(gen);
      if (n <= 0) continue;
      added += n;
      caphis(rs, rng, t, 0, n, occ, -1);
    }
    std::vector<double> caught(static_cast<std::size_t>(nper)), first(static_cast<std::size_t>(nper));
    double total = 0, lost = 0;
    for (const TallyEntry& e : tallyHistories(t)) {
      total += e.x;
      if (e.h == 0) continue;
      for (int k = 0; k < nper; ++k) {
        if ((e.h >> (nper - 1 - k) & 1) != 0) caught[static_cast<std::size_t>(k)] += e.x;
      }
      first[static_cast<std::size_t>(nper - std::bit_width(static_cast<unsigned>(e.h)))] += e.x;
    }
    for (int k = 0; k < nper; ++k) {
      EXPECT_EQ(caught[static_cast<std::size_t>(k)], rs.tcap[k]) << trial << " " << k;
      EXPECT_EQ(first[static_cast<std::size_t>(k)], rs.tnew[k]) << trial << " " << k;
      lost += rs.tlost[k];
    }
    EXPECT_EQ(total, added + lost) << trial;
  }
}

// Several groups, each its own tally, give the records of the dense group table: same
// histories, same values bit for bit, digits of h; and the walk stops when told.
TEST(Tally, WalkOverGroupsGivesTheDenseGroupTable) {
  std::mt19937 gen(4);
  std::uniform_real_distribution<double> u(0, 1);
  for (int trial = 0; trial < 200; ++trial) {
    const int nper = 1 + trial % 9, ngroups = 1 + trial % 3;
    RunState rs;
    ASSERT_TRUE(allocateState(rs, nper, ngroups));
    rs.determ = 0;
    std::vector<Tally> tallies(static_cast<std::size_t>(ngroups));
    std::vector<Tally*> cols;
    Stream r1 = seededStream(static_cast<std::uint32_t>(trial)), r2 = r1;
    for (rs.grp = 0; rs.grp < ngroups; ++rs.grp) {
      randomRates(rs, gen, trial % 2 == 0);  // negative pieces fall below the threshold
      Tally& t = tallies[static_cast<std::size_t>(rs.grp)];
      for (int occ = 1; occ <= nper; ++occ) {
        const double n = u(gen) * 200;
        caphis(rs, r1, 0, n, occ, -1);
        caphis(rs, r2, t, 0, n, occ, -1);
      }
      cols.push_back(&t);
    }
    struct Got {
      int nper, ngroups;
      std::vector<int> hs;
      std::vector<double> values;
      bool digitsRight = true;
    } got{nper, ngroups, {}, {}};
    auto emit = [](void* ctx, int h, const char* digits, const double* v) {
      auto& g = *static_cast<Got*>(ctx);
      for (int k = 0; k < g.nper; ++k)
        g.digitsRight &= digits[k] == ((h >> (g.nper - 1 - k) & 1) != 0 ? '1' : '0');
      g.hs.push_back(h);
      g.values.insert(g.values.end(), v, v + g.ngroups);
      return true;
    };
    ASSERT_TRUE(walkTallies(cols, nper, 5e-05, emit, &got));
    EXPECT_TRUE(got.digitsRight);
    std::size_t i = 0;
    for (int h = 1; h < rs.dim; ++h) {
      double sum = 0.0;
      for (int g = 0; g < ngroups; ++g) sum += rs.row(g)[h];
      if (!(sum > 5e-05)) continue;
      ASSERT_LT(i, got.hs.size()) << trial;
      ASSERT_EQ(got.hs[i], h) << trial;
      for (int g = 0; g < ngroups; ++g) {
        EXPECT_TRUE(sameBits(got.values[i * static_cast<std::size_t>(ngroups) + static_cast<std::size_t>(g)],
                             rs.row(g)[h]));
      }
      ++i;
    }
    EXPECT_EQ(i, got.hs.size()) << trial;
    if (got.hs.size() < 3) continue;
    std::size_t left = 3;
    auto stop = [](void* ctx, int, const char*, const double*) {
      return --*static_cast<std::size_t*>(ctx) > 0;
    };
    EXPECT_FALSE(walkTallies(cols, nper, 5e-05, stop, &left));
    EXPECT_EQ(left, 0u);
  }
}

}  // namespace plovanet
