#include "run/driver.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support.h"

namespace plovanet {

TEST(Driver, StochasticMeansAgreeWithExpectedValues) {
  // Tag loss and recruitment, every batch at most 100 animals so that binoml makes direct
  // trials, whose mean is exact; the mean table of many runs must match the expected one.
  auto setUpRun = [](plovanet::Run& run, int determ) {
    run.rs.nper = 4;
    run.rs.dim = 16;
    run.rs.determ = determ;
    run.ctl.recruit = 1;
    ASSERT_FALSE(allocateRun(run, allocArray));
    run.report = false;
    test::fill(run.rs.pa, {0.4, 0.5, 0.6, 0.5});
    test::fill(run.rs.p2, {0.6, 0.7, 0.5, 0.8});
    test::fill(run.rs.sa, {0.9, 0.8, 0.7});
    test::fill(run.rs.th, {0.8, 0.7, 0.6});
    test::fill(run.ctl.f, {0.2, 0.3, 0.1});
    run.console = std::fopen("/dev/null", "w");
  };
  auto observe = [](plovanet::Run& run) {
    test::fill(run.ctl.n, {60, 0, 0, 0});
    for (int k = 0; k < 4; ++k) run.rs.tcap[k] = run.rs.talive[k] = 0;
    Column col;
    EXPECT_FALSE(runOccasions(run, col));
    std::vector<double> v(16, 0.0);
    for (const TallyEntry& e : tallyHistories(col.tally)) v[static_cast<std::size_t>(e.h)] += e.x;
    std::vector<std::vector<const Cohorts*>> one(1);
    for (const Cohorts& c : col.sources) one[0].push_back(&c);
    auto add = [](void* ctx, int h, const char*, const double* x) {
      static_cast<std::vector<double>*>(ctx)->at(static_cast<std::size_t>(h)) += x[0];
      return true;
    };
    if (!col.sources.empty()) walkHistories(one, 0.0, add, &v);
    v[0] = 0;  // careers never caught are not among the records
    for (int k = 0; k < 4; ++k) v.insert(v.end(), {run.rs.tcap[k], run.rs.talive[k], run.ctl.n[k]});
    return v;
  };
  plovanet::Run ev, st;
  setUpRun(ev, 1);
  setUpRun(st, 0);
  st.rng = seededStream(77);
  const std::vector<double> want = observe(ev);
  const int runs = 4000;
  std::vector<double> sum(want.size()), sq(want.size());
  for (int r = 0; r < runs; ++r) {
    const auto v = observe(st);
    for (std::size_t i = 0; i < v.size(); ++i) {
      ASSERT_EQ(v[i], std::floor(v[i])) << "whole entrants give whole counts";
      sum[i] += v[i];
      sq[i] += v[i] * v[i];
    }
  }
  for (std::size_t i = 0; i < want.size(); ++i) {
    const double mean = sum[i] / runs;
    const double se = std::sqrt(std::fmax(sq[i] / runs - mean * mean, 0) / runs);
    EXPECT_NEAR(mean, want[i], 4 * se + 1e-9) << "entry " << i;
  }
  std::fclose(ev.console);
  std::fclose(st.console);
}

}  // namespace plovanet
