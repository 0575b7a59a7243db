// Multistate studies: the closed form and its walk against a literal recursion written here, and
// the exact draws against the expected values. (One state against the ordinary model is
// tests/named/compare_formats.py --states, on whole runs.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "draws.h"
#include "engine/model.h"
#include "records.h"

namespace plovanet {

namespace {

using test::Records;

struct Study {
  Design d;
  DataSet ds;
};

// A random design of S states and K occasions: some states unobservable, some not always
// recorded, tag loss by age or by interval, moves adding up to at most 1.
Study randomStudy(std::mt19937& g, int S, int K, bool uncertain) {
  std::uniform_real_distribution<double> u(0, 1);
  Study st;
  st.d.nper = K;
  st.d.dim = 1 << K;
  st.d.thetaflg = u(g) < 0.3;
  st.d.states = std::string("QBZ").substr(0, static_cast<std::size_t>(S));
  st.ds = blankDataSet(K);
  for (int s = 0; s < S; ++s) {
    StateRates r = blankStateRates(K, static_cast<std::size_t>(S));
    const bool hidden = S > 1 && u(g) < 0.25;
    for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k) {
      r.n[k] = u(g) < 0.5 ? std::floor(100 * u(g)) : 0;
      r.pa[k] = hidden ? 0 : u(g);
      r.p2[k] = hidden ? 0 : u(g);
      r.obs[k] = uncertain && u(g) < 0.5 ? u(g) : 1;
      if (k + 1 == static_cast<std::size_t>(K)) continue;
      r.sa[k] = 0.3 + 0.7 * u(g);
      r.th[k] = u(g) < 0.5 ? 1 : 0.5 + 0.5 * u(g);
      double left = 1;
      for (int to = 0; to < S; ++to) {
        if (to == s) continue;
        r.move[static_cast<std::size_t>(to)][k] = left * u(g) * 0.6;
        left -= r.move[static_cast<std::size_t>(to)][k];
      }
    }
    st.ds.st.push_back(r);
    for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k) st.ds.n[k] += r.n[k];
  }
  return st;
}

// The literal model, animal group by animal group: capture, recording, survival, tag retention
// and the move at each occasion, every career's history added when it ends.
struct Literal {
  const Study& st;
  Records rec;
  std::vector<Totals> tot;  // [s]

  void follow(double x, int k, int s, int f, std::string h) {
    if (x == 0) return;
    const StateRates& r = st.ds.st[static_cast<std::size_t>(s)];
    const auto uk = static_cast<std::size_t>(k);
    Totals& t = tot[static_cast<std::size_t>(s)];
    const double q = f >= 0 ? r.p2[uk] : r.pa[uk];
    if (f >= 0) t.tmark[uk] += x;
    t.tcap[uk] += x * q;
    if (f < 0) t.tnew[uk] += x * q;
    const int marked = f >= 0 ? f : k;
    onward(x * q * r.obs[uk], k, s, marked, h + st.d.states[static_cast<std::size_t>(s)]);
    onward(x * q * (1 - r.obs[uk]), k, s, marked, h + 'U');
    onward(x * (1 - q), k, s, f, h + '0');
  }

  void onward(double x, int k, int s, int f, const std::string& h) {
    if (x == 0) return;
    const int K = st.d.nper;
    const StateRates& r = st.ds.st[static_cast<std::size_t>(s)];
    const auto uk = static_cast<std::size_t>(k);
    const auto end = [&](double y) {
      if (f >= 0) rec[h + std::string(static_cast<std::size_t>(K - k - 1), '0')] += y;
    };
    if (k + 1 == K) return end(x);
    const double alive = x * r.sa[uk];
    const double kept = f >= 0 ? alive * r.th[st.d.thetaflg ? uk : uk - static_cast<std::size_t>(f)] : alive;
    end(x - kept);
    const auto S = static_cast<int>(st.d.states.size());
    double stay = 1;
    for (int to = 0; to < S; ++to) stay -= to == s ? 0 : r.move[static_cast<std::size_t>(to)][uk];
    for (int to = 0; to < S; ++to) {
      const double m = to == s ? stay : r.move[static_cast<std::size_t>(to)][uk];
      Totals& t = tot[static_cast<std::size_t>(to)];
      t.talive[uk + 1] += alive * m;
      t.tlost[uk + 1] += (alive - kept) * m;
      if (to != s) t.movedIn[uk + 1] += alive * m;
      follow(kept * m, k + 1, to, f, f >= 0 ? h : std::string(static_cast<std::size_t>(k + 1), '0'));
      follow((alive - kept) * m, k + 1, to, -1, std::string(static_cast<std::size_t>(k + 1), '0'));
    }
  }
};

Literal literal(const Study& st) {
  Literal lit{st, {}, {}};
  const auto S = st.d.states.size();
  lit.tot.assign(S, Totals(st.d.nper));
  for (int k = 0; k < st.d.nper; ++k) {
    for (std::size_t s = 0; s < S; ++s) {
      const double n = st.ds.st[s].n[static_cast<std::size_t>(k)];
      lit.tot[s].n[static_cast<std::size_t>(k)] += n;
      lit.tot[s].talive[static_cast<std::size_t>(k)] += n;
      lit.follow(n, k, static_cast<int>(s), -1, std::string(static_cast<std::size_t>(k), '0'));
    }
  }
  return lit;
}

}  // namespace

// Every history and every total of random designs (1 to 3 states, 2 to 6 occasions, tag loss,
// unobservable states, states not always recorded), with the walk unpruned and pruned.
TEST(Multistate, ClosedFormIsTheLiteralModel) {
  std::mt19937 g(2718);
  for (int trial = 0; trial < 120; ++trial) {
    const int S = 1 + trial % 3, K = 2 + trial / 3 % 5;
    const Study st = randomStudy(g, S, K, trial % 2 == 1);
    SCOPED_TRACE("trial " + std::to_string(trial));
    const auto model = makeModel(st.d);
    Stream rng;
    Totals tot(K);
    const Literal lit = literal(st);
    const Records all = test::simulateRecords(*model, st.ds, rng, tot, 0.0);
    std::size_t positive = 0;
    for (const auto& [h, x] : lit.rec) {
      if (!(x > 0)) continue;
      ++positive;
      ASSERT_TRUE(all.count(h)) << h;
      EXPECT_TRUE(test::nearRel(all.at(h), x, 1e-12)) << h << " " << all.at(h) << " " << x;
    }
    EXPECT_EQ(all.size(), positive);
    for (std::size_t s = 0; s < static_cast<std::size_t>(S); ++s) {
      for (auto v : {&Totals::n, &Totals::tcap, &Totals::talive, &Totals::tmark, &Totals::tnew,
                     &Totals::tlost, &Totals::movedIn}) {
        for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k)
          EXPECT_TRUE(test::nearRel((tot.states[s].*v)[k], (lit.tot[s].*v)[k], 1e-12))
              << "state " << s << " k " << k;
      }
    }
    Totals again(K);
    const double thr = 0.05;
    const Records pruned = test::simulateRecords(*model, st.ds, rng, again, thr);
    std::size_t above = 0;
    for (const auto& [h, x] : all) above += x > thr ? 1 : 0;
    EXPECT_EQ(pruned.size(), above);
    for (const auto& [h, x] : pruned) EXPECT_EQ(x, all.at(h));
  }
}

// The mean of many exact draws of each history against its expected value, in units of its
// standard error: a fixed seed, so the figures are the same every run.
TEST(Multistate, DrawsFollowTheExpectedValues) {
  std::mt19937 g(5);
  Study st = randomStudy(g, 3, 4, true);
  for (StateRates& r : st.ds.st) {
    for (double& n : r.n) n *= 10;
  }
  for (double& n : st.ds.n) n *= 10;
  const auto expectedModel = makeModel(st.d);
  Stream none;
  Totals et(4);
  const Records expected = test::simulateRecords(*expectedModel, st.ds, none, et, 0.0);
  st.d.determ = false;
  const auto drawn = makeModel(st.d);
  test::DrawMeans draws;
  for (int rep = 1; rep <= 3000; ++rep) {
    Stream rng = replicateStream(StreamKind::pcg32, 20261207, static_cast<std::uint64_t>(rep));
    Totals tot(4);
    draws.add(test::simulateRecords(*drawn, st.ds, rng, tot, 0.0));
  }
  const auto r = draws.against(expected);
  EXPECT_TRUE(r.impossible.empty() && r.stuck.empty());
  ASSERT_GT(r.df, 30);
  EXPECT_LT(r.chi2PerDf, 1.3) << r.df << " " << r.worst;
  RecordProperty("df", r.df);
  RecordProperty("chi2_per_df", std::to_string(r.chi2PerDf));
  RecordProperty("worst_z", std::to_string(r.worst));
  EXPECT_LT(r.worst, 4.5);
}

}  // namespace plovanet
