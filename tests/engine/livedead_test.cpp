// Joint live-dead studies: the engine against a literal model written here, and the exact draws
// against the expected values. Neutral rates against the ordinary study and the estimators
// (Brownie's, Burnham's) are checked on whole runs' files in tests/readers/livedead_estimators.R.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "draws.h"
#include "engine/model.h"
#include "hand_study.h"
#include "records.h"

namespace plovanet {

namespace {

using test::Records;

struct Study {
  Design d;
  DataSet ds;
};

// A random design of K occasions: tag loss by age or by interval, emigration, and with Barker's
// resightings returns.
Study randomStudy(std::mt19937& g, int K, Encounters e) {
  std::uniform_real_distribution<double> u(0, 1);
  Study st;
  st.d.nper = K;
  st.d.dim = 1 << K;
  st.d.thetaflg = u(g) < 0.4;
  st.d.encounters = e;
  st.ds = blankDataSet(K);
  const bool barker = e == Encounters::barker;
  for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k) {
    st.ds.n[k] = u(g) < 0.6 ? std::floor(100 * u(g)) : 0;
    st.ds.pa[k] = u(g);
    st.ds.p2[k] = u(g) < 0.2 ? 0 : u(g);
    st.ds.sa[k] = 0.3 + 0.7 * u(g);
    st.ds.rr[k] = u(g) < 0.2 ? 0 : u(g);
    st.ds.rs[k] = barker ? u(g) : 0;
    st.ds.rsd[k] = barker ? u(g) : 0;
    if (k + 1 == static_cast<std::size_t>(K)) continue;
    st.ds.th[k] = u(g) < 0.4 ? 1 : 0.5 + 0.5 * u(g);
    st.ds.fid[k] = u(g) < 0.4 ? 1 : u(g);
    st.ds.ret[k] = barker ? u(g) : 0;
  }
  return st;
}

// The literal model, animal group by animal group, every career's 2K characters added when it
// ends: capture in the study area, survival, a dead tagged animal reported or else seen alive,
// tag retention of the survivors, a tag keeper seen alive, the move.
struct Literal {
  const Study& st;
  Records rec;
  Totals tot;

  int K() const { return st.d.nper; }
  std::string zeros(std::size_t n) const { return std::string(n, '0'); }
  void end(const std::string& h, double x) {
    if (x != 0) rec[h + zeros(2 * static_cast<std::size_t>(K()) - h.size())] += x;
  }

  void follow(double x, int k, bool inside, int f, const std::string& h) {
    if (x == 0) return;
    const auto uk = static_cast<std::size_t>(k);
    const double q = inside ? (f >= 0 ? st.ds.p2[uk] : st.ds.pa[uk]) : 0.0;
    if (f >= 0) tot.tmark[uk] += x;
    tot.tcap[uk] += x * q;
    if (f < 0) tot.tnew[uk] += x * q;
    over(x * q, k, inside, f >= 0 ? f : k, h + '1');
    over(x * (1 - q), k, inside, f, h + '0');
  }

  void over(double x, int k, bool inside, int f, const std::string& h) {
    if (x == 0) return;
    const DataSet& r = st.ds;
    const auto uk = static_cast<std::size_t>(k);
    const double dead = x * (1 - r.sa[uk]), alive = x * r.sa[uk];
    tot.died[uk] += dead;
    if (f >= 0) {
      tot.reported[uk] += dead * r.rr[uk];
      end(h + '1', dead * r.rr[uk]);
      end(h + '2', dead * (1 - r.rr[uk]) * r.rsd[uk]);
      end(h + '0', dead * (1 - r.rr[uk]) * (1 - r.rsd[uk]));
    }
    if (k + 1 == K()) {
      if (f >= 0) {
        end(h + '2', alive * r.rs[uk]);
        end(h + '0', alive * (1 - r.rs[uk]));
      }
      return;
    }
    tot.talive[uk + 1] += alive;
    const double th = f >= 0 ? r.th[st.d.thetaflg ? uk : uk - static_cast<std::size_t>(f)] : 1.0;
    const double kept = alive * th;
    const std::string fresh = zeros(2 * uk + 2);
    if (f >= 0) {
      end(h + '0', alive - kept);
      tot.tlost[uk + 1] += alive - kept;
      move(kept * r.rs[uk], k, inside, f, h + '2');
      move(kept * (1 - r.rs[uk]), k, inside, f, h + '0');
      move(alive - kept, k, inside, -1, fresh);
    } else {
      move(alive, k, inside, -1, fresh);
    }
  }

  void move(double x, int k, bool inside, int f, const std::string& h) {
    const auto uk = static_cast<std::size_t>(k);
    const double in = x * (inside ? st.ds.fid[uk] : st.ds.ret[uk]);
    if (inside) tot.emigrated[uk] += x - in;
    follow(in, k + 1, true, f, h);
    follow(x - in, k + 1, false, f, h);
  }
};

Literal literal(const Study& st) {
  Literal lit{st, {}, Totals(st.d.nper)};
  for (int k = 0; k < st.d.nper; ++k) {
    const double n = st.ds.n[static_cast<std::size_t>(k)];
    lit.tot.talive[static_cast<std::size_t>(k)] += n;
    lit.follow(n, k, true, -1, std::string(2 * static_cast<std::size_t>(k), '0'));
  }
  return lit;
}

}  // namespace

// Every history and every total of random designs (2 to 5 occasions, both kinds of encounters,
// tag loss by age or by interval), with the records unpruned and pruned.
TEST(LiveDead, ExpectedValuesAreTheLiteralModel) {
  std::mt19937 g(1970);
  for (int trial = 0; trial < 80; ++trial) {
    const int K = 2 + trial % 4;
    const Study st = randomStudy(g, K, trial % 2 == 0 ? Encounters::livedead : Encounters::barker);
    SCOPED_TRACE("trial " + std::to_string(trial));
    const auto model = makeModel(st.d);
    Stream rng;
    Totals tot(K);
    const Literal lit = literal(st);
    const Records all = test::simulateRecords(*model, st.ds, rng, tot, 0.0);
    std::size_t positive = 0;
    for (const auto& [h, x] : lit.rec) {
      if (!(x > 0) || h.find_first_not_of('0') == std::string::npos) continue;
      ++positive;
      ASSERT_TRUE(all.count(h)) << h;
      EXPECT_TRUE(test::nearRel(all.at(h), x, 1e-12)) << h << " " << all.at(h) << " " << x;
    }
    EXPECT_EQ(all.size(), positive);
    for (auto v : {&Totals::tcap, &Totals::talive, &Totals::tmark, &Totals::tnew, &Totals::tlost,
                   &Totals::died, &Totals::reported, &Totals::emigrated}) {
      for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k)
        EXPECT_TRUE(test::nearRel((tot.*v)[k], (lit.tot.*v)[k], 1e-12)) << "k " << k;
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

// Individual animals whose values change nothing: the integral over them is the plain study,
// every history and total (the quadrature's weights add up to 1).
TEST(LiveDead, NeutralAnimalsAreThePlainStudy) {
  std::mt19937 g(2024);
  for (int trial = 0; trial < 6; ++trial) {
    const int K = 3 + trial % 3;
    Study st = randomStudy(g, K, trial % 2 == 0 ? Encounters::livedead : Encounters::barker);
    Study animals = st;
    animals.d.indiv.heterogeneity = true;
    Stream rng;
    Totals plainTot(K), animalTot(K);
    const Records plain = test::simulateRecords(*makeModel(st.d), st.ds, rng, plainTot, 0.0);
    const Records mixed = test::simulateRecords(*makeModel(animals.d), animals.ds, rng, animalTot, 0.0);
    ASSERT_EQ(plain.size(), mixed.size());
    for (const auto& [h, x] : plain) EXPECT_TRUE(test::nearRel(mixed.at(h), x, 1e-9)) << h;
    for (auto v : {&Totals::tcap, &Totals::talive, &Totals::died, &Totals::reported, &Totals::emigrated}) {
      for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k)
        EXPECT_TRUE(test::nearRel((animalTot.*v)[k], (plainTot.*v)[k], 1e-9)) << "k " << k;
    }
  }
}

// The mean of many exact draws of each history against its expected value, in units of its
// standard error, for both kinds of encounters: fixed seeds, so the figures are the same every run.
TEST(LiveDead, DrawsFollowTheExpectedValues) {
  std::mt19937 g(1997);
  for (const auto& [e, animals] :
       {std::pair{Encounters::livedead, false}, std::pair{Encounters::barker, false},
        std::pair{Encounters::livedead, true}, std::pair{Encounters::barker, true}}) {
    SCOPED_TRACE(animals ? "one animal at a time" : "batches");
    Study st = randomStudy(g, 4, e);
    st.d.indiv.heterogeneity = animals;  // every sigma 0: the animals differ in nothing
    for (double& n : st.ds.n) n = 10 * n + 50;
    Stream none;
    Totals et(4);
    // The histories, and the deaths, reports and emigrants of each interval as if they were ones.
    const auto withTotals = [](Records r, const Totals& t) {
      for (std::size_t k = 0; k < t.died.size(); ++k) {
        r["died " + std::to_string(k)] = t.died[k];
        r["reported " + std::to_string(k)] = t.reported[k];
        r["emigrated " + std::to_string(k)] = t.emigrated[k];
      }
      return r;
    };
    const Records expected = withTotals(test::simulateRecords(*makeModel(st.d), st.ds, none, et, 0.0), et);
    st.d.determ = false;
    const auto drawn = makeModel(st.d);
    test::DrawMeans draws;
    for (int rep = 1; rep <= 2000; ++rep) {
      Stream rng = replicateStream(StreamKind::pcg32, 20261208, static_cast<std::uint64_t>(rep));
      Totals tot(4);
      draws.add(withTotals(test::simulateRecords(*drawn, st.ds, rng, tot, 0.0), tot));
    }
    const auto r = draws.against(expected);
    EXPECT_TRUE(r.impossible.empty() && r.stuck.empty());
    ASSERT_GT(r.df, 12);
    EXPECT_LT(std::fabs(r.chi2PerDf - 1), 4 * std::sqrt(2.0 / r.df)) << r.df << " " << r.worst;
    EXPECT_LT(r.worst, 4.5);
    const std::string name =
        std::string(e == Encounters::barker ? "barker" : "livedead") + (animals ? "_animals" : "");
    RecordProperty(name + "_chi2_per_df", std::to_string(r.chi2PerDf));
    RecordProperty(name + "_worst_z", std::to_string(r.worst));
  }
}

}  // namespace plovanet
