#include "run/driver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "support.h"

namespace plovanet {

namespace {

// Texts equal but for numbers that differ only in the rounding of sums: relative 1e-9, plus one
// unit in the last printed decimal.
testing::AssertionResult sameUpToRounding(const std::string& a, const std::string& b) {
  const char *p = a.c_str(), *q = b.c_str();
  while (*p != 0 && *q != 0) {
    char *pe = nullptr, *qe = nullptr;
    const double u = (*p >= '0' && *p <= '9') || *p == '-' ? std::strtod(p, &pe) : 0;
    const double v = (*q >= '0' && *q <= '9') || *q == '-' ? std::strtod(q, &qe) : 0;
    if (pe == nullptr || pe == p || qe == nullptr || qe == q) {
      if (*p != *q) return testing::AssertionFailure() << "text differs: " << std::string(p).substr(0, 60);
      ++p, ++q;
      continue;
    }
    const char* dot = std::find(p, static_cast<const char*>(pe), '.');
    const double unit = dot == pe ? 0 : std::pow(10.0, -static_cast<double>(pe - dot - 1));
    if (std::fabs(u - v) > 1e-9 * std::fabs(u) + 1.01 * unit) {
      return testing::AssertionFailure() << u << " vs " << v << " at " << std::string(p).substr(0, 60);
    }
    p = pe, q = qe;
  }
  if (*p != *q) return testing::AssertionFailure() << "lengths differ";
  return testing::AssertionSuccess();
}

}  // namespace

TEST(Driver, PooledAndRecursiveRunsPrintAndWriteTheSame) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> u(0, 1);
  const std::vector<std::vector<std::string>> argSets = {
      {"MARK"}, {"JOLLY", "RECRUIT=BINOMIAL"}, {"RECRUIT=BINOMIAL", "USEF1", "THETA=TIME", "JOLLY"},
      {"RECRUIT=NORMAL", "SEED=9", "MARK"}, {"GROUPS=2", "CAPTURE", "THETA=TIME"}, {"GROUPS=3", "RECRUIT=NORMAL"}};
  for (int trial = 0; trial < 240; ++trial) {
    const auto& args = argSets[static_cast<std::size_t>(trial) % argSets.size()];
    const int nper = 1 + trial % 7;
    std::string text = std::to_string(nper) + "\n";
    for (int set = 0; set < 2; ++set) {
      auto vec = [&](int count, double lo, double hi) {
        for (int i = 0; i < count; ++i) text += std::to_string(std::round((lo + (hi - lo) * u(gen)) * 1000) / 1000) + " ";
        text += "\n";
      };
      vec(nper, -5, 150);
      vec(nper - 1, 0, 1);
      vec(nper - 1, 0.3, 1);
      vec(nper, 0, 1);
      vec(nper, 0, 1);
      vec(nper - 1, 0, 0.5);
      vec(nper - 1, 0, 0.2);
    }
    const auto ref = test::runInMemory(text, args, true);
    const auto fast = test::runInMemory(text, args, false);
    ASSERT_TRUE(sameUpToRounding(ref.console, fast.console)) << text;
    ASSERT_TRUE(sameUpToRounding(ref.file, fast.file)) << text;
    ASSERT_EQ(ref.error, fast.error);
  }
}

TEST(Driver, StochasticMeansAgreeWithExpectedValues) {
  // Tag loss and recruitment, every batch at most 100 animals so that binoml makes direct
  // trials, whose mean is exact; the mean table of many runs must match the expected one.
  auto setUpRun = [](plovanet::Run& run, int determ) {
    run.rs.nper = 4;
    run.rs.dim = 16;
    run.rs.determ = determ;
    run.ctl.recruit = 1;
    ASSERT_FALSE(allocateRun(run, allocArray));
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
    runOccasions(run);
    std::vector<double> v(run.rs.row(0), run.rs.row(0) + 16);
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
