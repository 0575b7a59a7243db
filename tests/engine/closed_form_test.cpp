#include "engine/ordinary/closed_form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine/ordinary/caphis.h"
#include "engine/ordinary/pooled.h"
#include "hand_study.h"
#include "output/records.h"
#include "support.h"

namespace plovanet {

namespace {

constexpr double kThr = 5e-05;

struct Record {
  int h;
  std::string digits;
  std::vector<double> cols;
};

// The records of a walk.
std::vector<Record> walk(const std::vector<std::vector<const Cohorts*>>& cols, double thr, int nper,
                         WalkStats* stats = nullptr) {
  std::vector<Record> out;
  walkHistories(
      cols, thr,
      [&](int h, const char* digits, const double* v) {
        out.push_back({h, std::string(digits, static_cast<std::size_t>(nper)),
                       std::vector<double>(v, v + cols.size())});
        return true;
      },
      stats);
  return out;
}

// A value as printed ("%12.4f"), in units of the last digit.
long long printed(double x) {
  char b[64];
  std::snprintf(b, sizeof b, "%12.4f", x);
  std::string s(b);
  s.erase(s.find('.'), 1);
  return std::strtoll(s.c_str(), nullptr, 10);
}

}  // namespace

// The closed form and its walk, and the pooled engine, against the recursion: tag loss in both
// forms, entrants (some 0 or negative) at every occasion, several columns of several data sets
// each. A quarter of the trials have rates outside 0..1 or NaN, which only the pooled engine
// takes; its totals and rows agree up to rounding, NaN where the recursion gives NaN.
TEST(Cohorts, ClosedFormAndPooledEngineAgreeWithTheRecursion) {
  std::mt19937 gen(11);
  std::uniform_int_distribution<std::size_t> pick(0, 3);
  std::uniform_real_distribution<double> u(0, 1);
  int compared = 0, borderline = 0;
  for (int trial = 0; trial < 4000; ++trial) {
    const int nper = 1 + trial % 9, ncols = 1 + trial % 3;
    const bool wild = trial % 4 == 3;
    test::HandStudy rec(nper, ncols), pool(nper, ncols);  // the recursion's table, the pooled engine's
    std::vector<std::vector<Cohorts>> store(static_cast<std::size_t>(ncols));
    std::vector<std::vector<const Cohorts*>> cols(static_cast<std::size_t>(ncols));
    for (int grp = 0; grp < ncols; ++grp) {
      const auto g = static_cast<std::size_t>(grp);
      double* row = rec.row(grp);
      store[g].resize(pick(gen));
      double never = 0, rowScale = 1;  // rowScale: the size of the row's sums so far
      for (Cohorts& c : store[g]) {
        test::randomRates(gen, wild, nper, rec.ds, rec.d.thetaflg);
        const Design& d = rec.d;
        const DataSet& ds = rec.ds;
        rec.tot = Totals(nper);
        Totals cs(nper), pooled(nper);
        ASSERT_TRUE(wild || cohortsEligible(d, ds));
        Levels lv;
        ASSERT_TRUE(levelsAllocate(lv, nper));
        const std::vector<double> before(row, row + d.dim);
        Stream rng = seededStream(1);
        double scale = 1;
        for (int occ = 1; occ <= nper; ++occ) {
          const double r = u(gen), n = r < 0.15   ? 0.0
                                       : r < 0.25 ? -u(gen) * 50
                                                  : u(gen) * (u(gen) < 0.2 ? 1e5 : 300);
          if (!wild) cohortsOccasion(c, d, ds, cs, occ, n);
          levelsOccasion(lv, d, ds, pooled, occ, n, pool.row(grp));
          if (n > 0) scale += n, test::caphisRow(rec, rng, grp, n, occ);
        }
        double setScale = 1;  // this data set's part of the row
        for (int h = 0; h < d.dim; ++h) {
          const double x = row[h] - before[static_cast<std::size_t>(h)];
          setScale += std::isfinite(x) ? std::fabs(x) : 0;
        }
        rowScale += setScale - 1;
        for (const auto a : test::kTotals) {
          for (std::size_t k = 0; k < static_cast<std::size_t>(nper); ++k) {
            ASSERT_TRUE(wild || test::near((cs.*a)[k], (rec.tot.*a)[k], scale)) << trial << " " << k;
            ASSERT_PRED3(test::near, (pooled.*a)[k], (rec.tot.*a)[k], setScale) << trial << " " << k;
          }
        }
        for (int h = 0; h < d.dim; ++h)
          ASSERT_PRED3(test::near, row[h], pool.row(grp)[h], rowScale) << "trial " << trial << " h " << h;
        cols[g].push_back(&c);
        never += c.never;
      }
      ASSERT_TRUE(wild || test::near(never, row[0], 1 + std::fabs(never)))
          << "trial " << trial << ": history 0";
    }
    if (wild) continue;
    const auto records = walk(cols, kThr, nper);
    std::size_t i = 0;
    for (int h = 1; h < rec.d.dim; ++h) {
      double sum = 0.0;
      for (int g = 0; g < ncols; ++g) sum += rec.row(g)[h];
      const bool there = i < records.size() && records[i].h == h;
      if (there != (sum > kThr)) {
        ASSERT_LE(std::fabs(sum - kThr), 1e-9 * kThr) << "trial " << trial << " h " << h;
        ++borderline;
      }
      if (!there) continue;
      ASSERT_EQ(records[i].digits, historyDigits(h, nper));
      for (int g = 0; g < ncols; ++g) {
        const double x = rec.row(g)[h], y = records[i].cols[static_cast<std::size_t>(g)];
        ASSERT_LE(std::llabs(printed(x) - printed(y)), 1)
            << "trial " << trial << " h " << h << " " << x << " " << y;
      }
      ++i;
      ++compared;
    }
    ASSERT_EQ(i, records.size()) << "trial " << trial << ": a history emitted twice or out of order";
  }
  EXPECT_GT(compared, 30000);
  EXPECT_LT(borderline, 5);
}

namespace {

// A hand-built study of nper occasions with the same rates at every occasion.
test::HandStudy uniformStudy(int nper, double pa, double p2, double s, double th) {
  test::HandStudy st(nper);
  st.ds.pa.assign(static_cast<std::size_t>(nper), pa);
  st.ds.p2.assign(static_cast<std::size_t>(nper), p2);
  st.ds.sa.assign(static_cast<std::size_t>(nper), s);
  st.ds.th.assign(static_cast<std::size_t>(nper), th);
  return st;
}

}  // namespace

TEST(Cohorts, EligibleOnlyWhenEveryRateUsedIsWithin0And1) {
  struct Case {
    std::vector<double> DataSet::*rate;
    int index;  // from the end when negative
    double value;
    bool eligible;
  };
  const Case cases[] = {
      {&DataSet::pa, -1, 1.0, true},     {&DataSet::pa, -1, 1.0000001, false}, {&DataSet::p2, 0, NAN, false},
      {&DataSet::p2, 2, -1e-300, false}, {&DataSet::sa, -2, -0.1, false},      {&DataSet::sa, -1, 2.0, true},
      {&DataSet::th, -2, NAN, false},    {&DataSet::th, -1, NAN, true},        {&DataSet::th, 0, -0.0, true},
  };
  for (const Case& c : cases) {
    test::HandStudy st = uniformStudy(5, 0.5, 0.5, 0.5, 0.5);
    (st.ds.*c.rate)[static_cast<std::size_t>(c.index < 0 ? 5 + c.index : c.index)] = c.value;
    EXPECT_EQ(cohortsEligible(st.d, st.ds), c.eligible) << c.index << " " << c.value;
  }
}

// Entrants U at occasion 1, all caught and never losing a tag, survival 1, c = (., 0.5, 1):
// history 100 and 110 end with 0 (every animal is recaptured later), 101 and 111 with U/2. The
// branch 11. has amount U/2, as has the leaf 101: at exactly the threshold both are skipped.
TEST(Cohorts, BranchAtTheThresholdIsSkippedAndTheNextDoubleVisited) {
  struct Case {
    double entrants, threshold;
    std::uint64_t nodes;
    std::vector<int> histories;
  };
  const Case cases[] = {
      {2 * kThr, kThr, 1, {}},
      {2 * std::nextafter(kThr, 1.0), kThr, 4, {5, 7}},
      {1e-300, 0.0, 4, {5, 7}},
      {0.0, 0.0, 0, {}},
  };
  for (const Case& c : cases) {
    test::HandStudy st = uniformStudy(3, 1, 1, 1, 1);
    st.ds.p2[1] = 0.5;
    Cohorts co;
    for (int occ = 1; occ <= 3; ++occ)
      cohortsOccasion(co, st.d, st.ds, st.tot, occ, occ == 1 ? c.entrants : 0);
    WalkStats stats;
    const auto records = walk({{&co}}, c.threshold, 3, &stats);
    EXPECT_EQ(stats.nodes, c.nodes) << c.entrants;
    ASSERT_EQ(records.size(), c.histories.size()) << c.entrants;
    for (std::size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(records[i].h, c.histories[i]);
      EXPECT_EQ(records[i].cols[0], c.entrants / 2);
    }
  }
}

}  // namespace plovanet
