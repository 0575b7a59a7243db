#include "engine/caphis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/levels.h"
#include "support.h"

namespace plovanet {

namespace {

using test::fill;
using Vec = std::vector<double>;

struct Params {
  int nper;
  Vec pa, p2, sa, th;
  int thetaflg = 0;
};

RunState makeState(const Params& p, int mxgrps = 1) {
  RunState rs;
  EXPECT_TRUE(allocateState(rs, p.nper, mxgrps));
  fill(rs.pa, p.pa);
  fill(rs.p2, p.p2);
  fill(rs.sa, p.sa);
  fill(rs.th, p.th);
  rs.thetaflg = p.thetaflg;
  return rs;
}

// The driver's work for one data set: entrants[k] join at occasion k + 1.
void simulate(RunState& rs, Stream& rng, const Vec& entrants, bool pooled) {
  Levels lv;
  if (pooled) levelsAllocate(lv, rs.nper);
  for (int occ = 1; occ <= rs.nper; ++occ) {
    const double n = entrants[static_cast<std::size_t>(occ - 1)];
    rs.talive[occ - 1] += n;
    if (pooled) {
      levelsOccasion(lv, rs, occ, n);
    } else if (n > 0) {
      caphis(rs, rng, 0, n, occ, -1);
    }
  }
}

Vec row(const RunState& rs) { return Vec(rs.row(rs.grp), rs.row(rs.grp) + rs.dim); }
Vec vec(const Array& a, int n) { return Vec(a.get(), a.get() + n); }

}  // namespace

TEST(Caphis, WorkedCasesFromOneCohortOfHundred) {
  struct Case {
    Params p;
    Vec nx, tcap, talive;
  };
  const Case cases[] = {
      {{2, {0.5, 0.5}, {0.5, 0.6}, {0.8}, {1}}, {30, 20, 26, 24}, {50, 44}, {100, 80}},
      {{2, {1, 1}, {1, 1}, {1}, {0.5}}, {0, 50, 50, 50}, {100, 100}, {100, 100}},
      {{3, {1, 1, 1}, {1, 0, 0}, {1, 1}, {1, 0.5}}, {0, 50, 0, 0, 100, 0, 0, 0}, {100, 0, 50}, {100, 100, 100}},
      {{1, {0.3}, {0.9}, {}, {}}, {70, 30}, {30}, {100}},
  };
  for (const Case& c : cases) {
    for (bool pooled : {false, true}) {
      RunState rs = makeState(c.p);
      Stream rng = seededStream(1);
      Vec entrants(static_cast<std::size_t>(c.p.nper), 0.0);
      entrants[0] = 100;
      simulate(rs, rng, entrants, pooled);
      EXPECT_EQ(row(rs), c.nx) << "nper " << c.p.nper << (pooled ? " pooled" : "");
      EXPECT_EQ(vec(rs.tcap, c.p.nper), c.tcap);
      EXPECT_EQ(vec(rs.talive, c.p.nper), c.talive);
    }
  }
}

TEST(Caphis, TagRetentionByAgeOrByInterval) {
  // Marked at occasion 2, uncaught at 4: interval 4 uses th[2] by age, th[3] by interval.
  for (int thetaflg : {0, 1}) {
    RunState rs = makeState({5, {0, 0, 0, 0, 1}, {0, 0, 0, 0, 0}, {1, 1, 1, 1}, {1, 1, 0.25, 0.75}, thetaflg});
    Stream rng = seededStream(1);
    caphis(rs, rng, 1 << 3, 100, 4, 2);
    EXPECT_EQ(rs.row(0)[8], 100);
    EXPECT_EQ(rs.row(0)[1], thetaflg == 0 ? 75 : 25) << "tag losers re-enter and are caught unmarked";
  }
}

// Random parameters, some of them outside 0..1 or NaN, for both engines.
Params randomParams(std::mt19937& gen, int nper) {
  std::uniform_real_distribution<double> u(0, 1);
  auto draw = [&](int n, bool wild) {
    Vec v(static_cast<std::size_t>(nper), 0.0);
    for (int i = 0; i < n; ++i) {
      double x = u(gen);
      if (wild && u(gen) < 0.05) x = u(gen) < 0.3 ? NAN : 2.4 * x - 0.7;
      if (u(gen) < 0.05) x = u(gen) < 0.5 ? 0.0 : 1.0;
      v[static_cast<std::size_t>(i)] = x;
    }
    return v;
  };
  const bool wild = u(gen) < 0.3;
  return {nper, draw(nper, wild), draw(nper, wild), draw(nper - 1, wild), draw(nper - 1, wild), u(gen) < 0.5};
}

TEST(Caphis, PooledEngineAgreesWithTheRecursion) {
  std::mt19937 gen(7);
  for (int trial = 0; trial < 3000; ++trial) {
    const int nper = 1 + trial % 9;
    const Params p = randomParams(gen, nper);
    Vec entrants(static_cast<std::size_t>(nper));
    for (double& n : entrants) n = std::uniform_real_distribution<double>(-20, 300)(gen);
    RunState ref = makeState(p, 2), fast = makeState(p, 2);
    ref.grp = fast.grp = trial % 2;
    Stream rng = seededStream(1);
    simulate(ref, rng, entrants, false);
    simulate(fast, rng, entrants, true);
    double scale = 1;
    for (int h = 0; h < ref.dim; ++h) scale += std::isfinite(ref.row(ref.grp)[h]) ? std::fabs(ref.row(ref.grp)[h]) : 0;
    auto same = [&](double a, double b) {
      return (std::isnan(a) && std::isnan(b)) || a == b || std::fabs(a - b) <= 1e-9 * (std::fabs(a) + std::fabs(b)) + 1e-12 * scale;
    };
    for (int h = 0; h < ref.dim; ++h) {
      ASSERT_PRED2(same, ref.row(ref.grp)[h], fast.row(fast.grp)[h]) << "trial " << trial << " h " << h;
    }
    for (int k = 0; k < nper; ++k) {
      ASSERT_PRED2(same, ref.tcap[k], fast.tcap[k]) << "trial " << trial;
      ASSERT_PRED2(same, ref.talive[k], fast.talive[k]) << "trial " << trial;
    }
  }
}

TEST(Caphis, StochasticCountsStayWholeAndBalanced) {
  std::mt19937 gen(11);
  for (int trial = 0; trial < 200; ++trial) {
    const int nper = 2 + trial % 6;
    Params p = randomParams(gen, nper);
    for (Vec* v : {&p.pa, &p.p2, &p.sa, &p.th}) {
      for (double& x : *v) x = std::isnan(x) ? 0.5 : std::fmin(1, std::fmax(0, x));
    }
    const bool keepTags = trial % 2 == 0;
    if (keepTags) p.th.assign(static_cast<std::size_t>(nper), 1.0);
    Vec entrants(static_cast<std::size_t>(nper));
    double total = 0;
    for (double& n : entrants) total += n = std::floor(std::uniform_real_distribution<double>(0, 400)(gen));
    RunState a = makeState(p), b = makeState(p);
    a.determ = b.determ = 0;
    Stream ra = seededStream(static_cast<std::uint32_t>(trial)), rb = ra;
    simulate(a, ra, entrants, false);
    simulate(b, rb, entrants, false);
    double sum = 0;
    for (int h = 0; h < a.dim; ++h) {
      const double x = a.row(0)[h];
      ASSERT_EQ(x, std::floor(x));
      ASSERT_EQ(x, b.row(0)[h]) << "same seed, same table";
      sum += x;
    }
    for (int k = 0; k < nper; ++k) {
      ASSERT_EQ(a.tcap[k], std::floor(a.tcap[k]));
      ASSERT_EQ(a.talive[k], std::floor(a.talive[k]));
    }
    if (keepTags) {
      EXPECT_EQ(sum, total) << "without tag loss every animal ends one career";
    } else {
      EXPECT_GE(sum, total) << "tag losers start further careers";
    }
  }
}

}  // namespace plovanet
