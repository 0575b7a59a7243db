// Joint live-dead studies: the engine against a literal model written here, the live part of
// every history against the ordinary study, the exact draws against the expected values, and
// Brownie's recovery estimator fitted to what the engine writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/model.h"
#include "hand_study.h"

namespace plovanet {

namespace {

using Records = std::map<std::string, double>;

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

// One data set through the model as the run drives it; its records with a walk at thr.
Records simulate(const Model& m, const DataSet& ds, Stream& rng, Totals& tot, double thr) {
  Column col = m.column();
  Workspace work;
  Shortfall why = Shortfall::none;
  auto sim = m.simulate(col, ds, rng, work, why);
  for (int j = 0; j < m.periods(); ++j) {
    tot.talive[static_cast<std::size_t>(j)] += ds.n[static_cast<std::size_t>(j)];
    sim->period(j, ds.n[static_cast<std::size_t>(j)], tot);
  }
  Records out;
  std::string last;
  const int K = m.design().nper;
  const auto take = [&](int, const char* digits, const double* cols) {
    const std::string h(digits, 2 * static_cast<std::size_t>(K));
    EXPECT_LT(last, h) << "records out of order";
    last = h;
    out[h] = cols[0];
    return true;
  };
  auto& rec = std::get<LiveDeadRecords>(col);
  if (rec.sources.empty()) {
    walkEncounterTallies({&rec.tally}, K, thr, take);
  } else {
    std::vector<const LiveDeadCohorts*> sources;
    for (const LiveDeadCohorts& c : rec.sources) sources.push_back(&c);
    walkLiveDead({sources}, thr, take);
  }
  return out;
}

bool near(double a, double b, double rel) {
  return std::fabs(a - b) <= rel * std::max({std::fabs(a), std::fabs(b), 1e-300});
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
    const Records all = simulate(*model, st.ds, rng, tot, 0.0);
    std::size_t positive = 0;
    for (const auto& [h, x] : lit.rec) {
      if (!(x > 0) || h.find_first_not_of('0') == std::string::npos) continue;
      ++positive;
      ASSERT_TRUE(all.count(h)) << h;
      EXPECT_TRUE(near(all.at(h), x, 1e-12)) << h << " " << all.at(h) << " " << x;
    }
    EXPECT_EQ(all.size(), positive);
    for (auto v : {&Totals::tcap, &Totals::talive, &Totals::tmark, &Totals::tnew, &Totals::tlost,
                   &Totals::died, &Totals::reported, &Totals::emigrated}) {
      for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k)
        EXPECT_TRUE(near((tot.*v)[k], (lit.tot.*v)[k], 1e-12)) << "k " << k;
    }
    Totals again(K);
    const double thr = 0.05;
    const Records pruned = simulate(*model, st.ds, rng, again, thr);
    std::size_t above = 0;
    for (const auto& [h, x] : all) above += x > thr ? 1 : 0;
    EXPECT_EQ(pruned.size(), above);
    for (const auto& [h, x] : pruned) EXPECT_EQ(x, all.at(h));
  }
}

// With nothing reported, resighted or emigrating, the live characters of the histories, the
// encounter characters summed out, are the ordinary study's histories.
TEST(LiveDead, NeutralEncountersLeaveTheOrdinaryStudy) {
  std::mt19937 g(1993);
  for (int trial = 0; trial < 40; ++trial) {
    const int K = 2 + trial % 5;
    Study st = randomStudy(g, K, trial % 2 == 0 ? Encounters::livedead : Encounters::barker);
    SCOPED_TRACE("trial " + std::to_string(trial));
    for (auto v : {&DataSet::rr, &DataSet::rs, &DataSet::rsd, &DataSet::ret})
      std::fill((st.ds.*v).begin(), (st.ds.*v).end(), 0.0);
    std::fill(st.ds.fid.begin(), st.ds.fid.end(), 1.0);
    Stream rng;
    Totals tot(K);
    const Records ld = simulate(*makeModel(st.d), st.ds, rng, tot, 0.0);
    test::HandStudy ord(K);
    ord.d.thetaflg = st.d.thetaflg;
    ord.ds = st.ds;
    for (int k = 0; k < K; ++k) {
      ord.tot.talive[static_cast<std::size_t>(k)] += st.ds.n[static_cast<std::size_t>(k)];
      if (st.ds.n[static_cast<std::size_t>(k)] > 0)
        test::caphisRow(ord, rng, 0, st.ds.n[static_cast<std::size_t>(k)], k + 1);
    }
    std::vector<double> live(std::size_t{1} << K, 0.0);
    for (const auto& [h, x] : ld) {
      int bits = 0;
      for (int k = 0; k < K; ++k) bits = bits << 1 | (h[2 * static_cast<std::size_t>(k)] == '1' ? 1 : 0);
      live[static_cast<std::size_t>(bits)] += x;
    }
    for (std::size_t h = 1; h < live.size(); ++h) EXPECT_TRUE(near(live[h], ord.nx[h], 1e-9)) << h;
    for (auto v : {&Totals::tcap, &Totals::talive, &Totals::tmark, &Totals::tnew, &Totals::tlost}) {
      for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k)
        EXPECT_TRUE(near((tot.*v)[k], (ord.tot.*v)[k], 1e-9)) << "k " << k;
    }
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
    const Records plain = simulate(*makeModel(st.d), st.ds, rng, plainTot, 0.0);
    const Records mixed = simulate(*makeModel(animals.d), animals.ds, rng, animalTot, 0.0);
    ASSERT_EQ(plain.size(), mixed.size());
    for (const auto& [h, x] : plain) EXPECT_TRUE(near(mixed.at(h), x, 1e-9)) << h;
    for (auto v : {&Totals::tcap, &Totals::talive, &Totals::died, &Totals::reported, &Totals::emigrated}) {
      for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k)
        EXPECT_TRUE(near((animalTot.*v)[k], (plainTot.*v)[k], 1e-9)) << "k " << k;
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
    const Records expected = withTotals(simulate(*makeModel(st.d), st.ds, none, et, 0.0), et);
    st.d.determ = false;
    const auto drawn = makeModel(st.d);
    constexpr int kReps = 2000;
    std::map<std::string, std::pair<double, double>> sums;  // sum, sum of squares
    for (int rep = 1; rep <= kReps; ++rep) {
      Stream rng = replicateStream(StreamKind::pcg32, 20261208, static_cast<std::uint64_t>(rep));
      Totals tot(4);
      const Records recs = simulate(*drawn, st.ds, rng, tot, 0.0);
      for (const auto& [h, x] : withTotals(recs, tot)) {
        sums[h].first += x;
        sums[h].second += x * x;
      }
    }
    double chi = 0, worst = 0;
    int df = 0;
    for (const auto& [h, x] : expected) {
      if (x < 1) continue;
      const auto [s, s2] = sums[h];
      const double mean = s / kReps, var = (s2 - s * mean) / (kReps - 1);
      ASSERT_GT(var, 0) << h;
      const double z = (mean - x) / std::sqrt(var / kReps);
      chi += z * z;
      worst = std::max(worst, std::fabs(z));
      ++df;
    }
    for (const auto& [h, s] : sums) EXPECT_TRUE(expected.count(h)) << "drawn but impossible: " << h;
    ASSERT_GT(df, 12);
    EXPECT_LT(std::fabs(chi / df - 1), 4 * std::sqrt(2.0 / df)) << df << " " << worst;
    EXPECT_LT(worst, 4.5);
    const std::string name =
        std::string(e == Encounters::barker ? "barker" : "livedead") + (animals ? "_animals" : "");
    RecordProperty(name + "_chi2_per_df", std::to_string(chi / df));
    RecordProperty(name + "_worst_z", std::to_string(worst));
  }
}

}  // namespace plovanet

namespace plovanet {

// Brownie's time-specific recovery model (M1, banding and recovery every year) fitted to
// expected dead recoveries: its closed-form estimates return the survival that made them, and
// with tag loss survival times retention, the bias a lost tag leaves in a recovery study.
TEST(LiveDead, BrownieEstimatesSurvivalTimesRetention) {
  constexpr int K = 6;
  for (const bool tagLoss : {false, true}) {
    SCOPED_TRACE(tagLoss ? "tag loss" : "no tag loss");
    Design d;
    d.nper = K;
    d.dim = 1 << K;
    d.thetaflg = true;
    d.encounters = Encounters::livedead;
    d.recoveriesOnly = true;
    DataSet ds = blankDataSet(K);
    for (std::size_t k = 0; k < K; ++k) {
      ds.n[k] = 1000;
      ds.pa[k] = 0.2 + 0.05 * static_cast<double>(k);
      ds.sa[k] = 0.5 + 0.07 * static_cast<double>(k);
      ds.rr[k] = 0.3 - 0.03 * static_cast<double>(k);
      ds.th[k] = tagLoss ? 0.9 - 0.02 * static_cast<double>(k) : 1.0;
    }
    Stream rng;
    Totals tot(K);
    const Records recs = simulate(*makeModel(d), ds, rng, tot, 0.0);
    std::vector<double> released(K, 0.0);
    std::vector<std::vector<double>> m(K, std::vector<double>(K, 0.0));
    for (const auto& [h, x] : recs) {
      const std::size_t first = h.find('1');
      ASSERT_EQ(first % 2, 0U) << h;
      released[first / 2] += x;
      const std::size_t dead = h.find('1', first + 1);
      if (dead != std::string::npos) m[first / 2][dead / 2] += x;
    }
    std::vector<double> rows(K, 0.0), cols(K, 0.0);
    for (std::size_t i = 0; i < K; ++i) {
      for (std::size_t j = 0; j < K; ++j) {
        rows[i] += m[i][j];
        cols[j] += m[i][j];
      }
    }
    double block = rows[0];  // T_i: recoveries in years i on of the bands released up to year i
    for (std::size_t i = 0; i + 1 < K; ++i) {
      const double survival =
          rows[i] / released[i] * (block - cols[i]) / block * released[i + 1] / rows[i + 1];
      EXPECT_NEAR(survival, ds.sa[i] * ds.th[i], 1e-9) << "year " << i + 1;
      block = block - cols[i] + rows[i + 1];
    }
  }
}

}  // namespace plovanet

namespace plovanet {

namespace {

// The probability of a joint live-dead history under Burnham's model with time-constant rates
// (x: S, p, r, F), given its first capture: alive inside or outside, or dead unseen.
double burnham(const std::string& h, const std::array<double, 4>& x) {
  const double S = x[0], p = x[1], r = x[2], F = x[3];
  const std::size_t K = h.size() / 2, first = h.find('1') / 2;
  double in = 1, out = 0, gone = 0;  // gone: dead and never seen, which allows only '0's
  for (std::size_t j = first; j < K; ++j) {
    if (j > first) {
      const bool caught = h[2 * j] == '1';
      if (caught) gone = 0;
      in *= caught ? p : 1 - p;
      if (caught) out = 0;
    }
    const double alive = in + out;
    if (h[2 * j + 1] == '1') return alive * (1 - S) * r;
    gone += alive * (1 - S) * (1 - r);
    const double stay = in * S * F;
    out = in * S * (1 - F) + out * S;
    in = stay;
  }
  return gone + in + out;
}

// Nelder and Mead's simplex on the logits of the rates, minimising f.
template <class F>
std::array<double, 4> simplexMinimum(F f, std::array<double, 4> start) {
  const auto rates = [](const std::array<double, 4>& y) {
    std::array<double, 4> x{};
    for (std::size_t i = 0; i < 4; ++i) x[i] = 1 / (1 + std::exp(-y[i]));
    return x;
  };
  std::vector<std::array<double, 4>> v(5, start);
  for (std::size_t i = 0; i < 4; ++i) v[i + 1][i] += 0.5;
  std::vector<double> fv(5);
  for (std::size_t i = 0; i < 5; ++i) fv[i] = f(rates(v[i]));
  for (int it = 0; it < 20000; ++it) {
    std::vector<std::size_t> o{0, 1, 2, 3, 4};
    std::sort(o.begin(), o.end(), [&fv](std::size_t a, std::size_t b) { return fv[a] < fv[b]; });
    if (fv[o[4]] - fv[o[0]] < 1e-13 * (1 + std::fabs(fv[o[0]]))) break;
    std::array<double, 4> c{};
    for (std::size_t k = 0; k < 4; ++k)
      for (std::size_t i = 0; i < 4; ++i) c[k] += v[o[i]][k] / 4;
    const auto along = [&](double t) {
      std::array<double, 4> y{};
      for (std::size_t k = 0; k < 4; ++k) y[k] = c[k] + t * (v[o[4]][k] - c[k]);
      return y;
    };
    const auto take = [&](const std::array<double, 4>& y, double fy) {
      v[o[4]] = y;
      fv[o[4]] = fy;
    };
    const std::array<double, 4> refl = along(-1);
    const double fr = f(rates(refl));
    if (fr < fv[o[0]]) {
      const std::array<double, 4> ex = along(-2);
      const double fe = f(rates(ex));
      fe < fr ? take(ex, fe) : take(refl, fr);
    } else if (fr < fv[o[3]]) {
      take(refl, fr);
    } else {
      const std::array<double, 4> in = along(fr < fv[o[4]] ? -0.5 : 0.5);
      const double fi = f(rates(in));
      if (fi < std::min(fr, fv[o[4]])) {
        take(in, fi);
      } else {
        for (std::size_t i = 1; i < 5; ++i) {
          for (std::size_t k = 0; k < 4; ++k) v[o[i]][k] = v[o[0]][k] + 0.5 * (v[o[i]][k] - v[o[0]][k]);
          fv[o[i]] = f(rates(v[o[i]]));
        }
      }
    }
  }
  const auto best = static_cast<std::size_t>(std::min_element(fv.begin(), fv.end()) - fv.begin());
  return rates(v[best]);
}

}  // namespace

// Burnham's joint live-dead likelihood (time-constant S, p, r, F, conditional on first capture)
// maximised over the expected histories returns the rates that made them.
TEST(LiveDead, BurnhamLikelihoodReturnsTheRates) {
  constexpr int K = 5;
  const std::array<double, 4> truth{0.7, 0.4, 0.25, 0.8};
  Design d;
  d.nper = K;
  d.dim = 1 << K;
  d.encounters = Encounters::livedead;
  DataSet ds = blankDataSet(K);
  for (std::size_t k = 0; k < K; ++k) {
    ds.n[k] = 1000;
    ds.pa[k] = ds.p2[k] = truth[1];
    ds.sa[k] = truth[0];
    ds.rr[k] = truth[2];
    if (k + 1 < K) ds.fid[k] = truth[3];
  }
  Stream rng;
  Totals tot(K);
  const Records recs = simulate(*makeModel(d), ds, rng, tot, 0.0);
  const auto minusLogLik = [&recs](const std::array<double, 4>& x) {
    double sum = 0;
    for (const auto& [h, n] : recs) sum -= n * std::log(burnham(h, x));
    return sum;
  };
  const std::array<double, 4> fit = simplexMinimum(minusLogLik, {0, 0, 0, 0});
  for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(fit[i], truth[i], 1e-5) << "rate " << i;
}

}  // namespace plovanet
