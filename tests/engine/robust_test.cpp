// The robust design's engines against a literal per-batch recursion written here, and against
// estimators a user would run on the histories: closed-population abundance per primary,
// Jolly-Seber survival on the histories collapsed to primaries, stochastic means.
#include "engine/robust.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <vector>

namespace plovanet {

namespace {

struct Design {
  std::vector<int> sec;
  std::vector<double> n, sa, th, em, ro, p, c;
  int thetaflg = 0;
};

int sumOf(const std::vector<int>& v) {
  int k = 0;
  for (int x : v) k += x;
  return k;
}

RunState stateFor(const Design& d, int determ) {
  RunState rs;
  const int K = sumOf(d.sec);
  EXPECT_TRUE(allocateState(rs, K, 1));
  rs.determ = determ;
  rs.nprim = static_cast<int>(d.sec.size());
  rs.sec = d.sec;
  rs.thetaflg = d.thetaflg;
  rs.em = allocArray(static_cast<std::size_t>(K));
  rs.ro = allocArray(static_cast<std::size_t>(K));
  rs.tin = allocArray(static_cast<std::size_t>(K));
  for (int g = 0; g < K; ++g) rs.pa[g] = d.p[static_cast<std::size_t>(g)], rs.p2[g] = d.c[static_cast<std::size_t>(g)];
  for (std::size_t i = 0; i + 1 < d.sec.size(); ++i) {
    rs.sa[i] = d.sa[i], rs.th[i] = d.th[i], rs.em[i] = d.em[i], rs.ro[i] = d.ro[i];
  }
  return rs;
}

// What the model says, written out batch by batch with no shortcut: every pattern of a primary
// with its probability, every fate between primaries.
struct Literal {
  const Design& d;
  int K, P;
  std::vector<int> first;
  std::map<int, double> nx;
  std::vector<double> tcap, talive, tmark, tnew, tlost, tin;

  explicit Literal(const Design& dd) : d(dd), K(sumOf(dd.sec)), P(static_cast<int>(dd.sec.size())) {
    for (int i = 0, g = 0; i < P; g += d.sec[static_cast<std::size_t>(i)], ++i) first.push_back(g);
    for (auto* v : {&tcap, &talive, &tmark, &tnew, &tlost, &tin}) v->assign(static_cast<std::size_t>(P), 0.0);
  }

  void go(int hist, double x, int i, int mark, bool inside) {  // i: primary from 0
    const auto ui = static_cast<std::size_t>(i);
    if (mark >= 0) tmark[ui] += x;
    if (inside) tin[ui] += x;
    const int l = d.sec[ui];
    for (int pat = 0; pat < (inside ? 1 << l : 1); ++pat) {
      double pr = 1;
      bool caught = false;
      int bits = 0;
      for (int j = 0; j < (inside ? l : 0); ++j) {  // outside: never caught
        const int g = first[ui] + j;
        const bool hit = (pat >> (l - 1 - j) & 1) != 0;
        const double q = caught ? d.c[static_cast<std::size_t>(g)] : d.p[static_cast<std::size_t>(g)];
        pr *= hit ? q : 1 - q;
        if (hit) caught = true, bits |= 1 << (K - 1 - g);
      }
      const double y = x * pr;
      if (bits != 0) tcap[ui] += y;
      if (bits != 0 && mark < 0) tnew[ui] += y;
      const int h = hist | bits;
      const int m = bits != 0 && mark < 0 ? i : mark;
      if (i == P - 1) {
        nx[h] += y;
        continue;
      }
      const double s = d.sa[ui];
      const double t = m < 0 ? 1 : d.th[static_cast<std::size_t>(d.thetaflg != 0 ? i : i - m)];
      talive[ui + 1] += y * s;
      nx[h] += y * (1 - s) + y * s * (1 - t) * (m < 0 ? 0 : 1);
      const double out = inside ? d.em[ui] : d.ro[ui];
      for (const bool stayIn : {true, false}) {
        const double move = stayIn ? 1 - out : out;
        if (y * s * t * move > 0) go(h, y * s * t * move, i + 1, m, stayIn);
        if (m >= 0 && y * s * (1 - t) * move > 0) go(0, y * s * (1 - t) * move, i + 1, -1, stayIn);
      }
      if (m >= 0) tlost[ui + 1] += y * s * (1 - t);
    }
  }
};

Design randomDesign(std::mt19937& gen, bool emigration, bool tagLoss, bool behaviour) {
  std::uniform_int_distribution<int> prims(2, 4), secs(1, 3);
  std::uniform_real_distribution<double> u(0.05, 0.95);
  Design d;
  const int P = prims(gen);
  for (int i = 0; i < P; ++i) d.sec.push_back(secs(gen));
  const int K = sumOf(d.sec);
  for (int i = 0; i < P; ++i) d.n.push_back(i == 0 ? 1000 : 200 * u(gen));
  for (int i = 0; i + 1 < P; ++i) {
    d.sa.push_back(u(gen));
    d.th.push_back(tagLoss ? u(gen) : 1.0);
    d.em.push_back(emigration ? u(gen) : 0.0);
    d.ro.push_back(emigration ? u(gen) : 0.0);
  }
  for (int g = 0; g < K; ++g) {
    d.p.push_back(u(gen));
    d.c.push_back(behaviour ? u(gen) : d.p.back());
  }
  d.thetaflg = tagLoss && u(gen) < 0.5 ? 1 : 0;
  return d;
}

std::map<int, double> walked(const std::vector<RobustCohorts>& sets, double thr) {
  std::vector<const RobustCohorts*> col;
  for (const auto& c : sets) col.push_back(&c);
  std::map<int, double> out;
  walkRobust({col}, thr, [&out](int h, const char*, const double* v) {
    out[h] = v[0];
    return true;
  });
  return out;
}

void runClosed(const Design& d, RunState& rs, RobustCohorts& c) {
  for (int i = 0; i < rs.nprim; ++i) {
    rs.talive[i] += d.n[static_cast<std::size_t>(i)];
    robustOccasion(c, rs, i + 1, d.n[static_cast<std::size_t>(i)]);
  }
}

bool close(double a, double b) {
  return std::fabs(a - b) <= 1e-9 * (1 + std::fabs(a) + std::fabs(b));
}

TEST(Robust, ClosedFormAndRecursionAgreeWithTheLiteralModel) {
  std::mt19937 gen(2026);
  for (int trial = 0; trial <= 48; ++trial) {
    Design d = randomDesign(gen, trial % 2 == 0, trial % 3 != 0, trial % 4 < 2);
    if (trial == 48) {  // a primary too long for the walk's table of patterns: its recursion
      d = randomDesign(gen, true, true, true);
      d.sec[0] = 11;
      while (d.p.size() < static_cast<std::size_t>(sumOf(d.sec))) d.p.push_back(0.2), d.c.push_back(0.6);
    }
    Literal lit(d);
    for (int i = 0; i < static_cast<int>(d.sec.size()); ++i) {
      lit.talive[static_cast<std::size_t>(i)] += d.n[static_cast<std::size_t>(i)];
      lit.go(0, d.n[static_cast<std::size_t>(i)], i, -1, true);
    }
    lit.nx.erase(0);
    RunState rs = stateFor(d, 1);
    std::vector<RobustCohorts> c(1);
    runClosed(d, rs, c[0]);
    const auto got = walked(c, 0.0);
    // The expected-value recursion (the stochastic engine with binoml at its mean).
    RunState rr = stateFor(d, 1);
    Tally t;
    Stream rng = seededStream(StreamKind::pcg32, 1);
    for (int i = 0; i < rr.nprim; ++i) {
      rr.talive[i] += d.n[static_cast<std::size_t>(i)];
      caphisRobust(rr, rng, t, 0, d.n[static_cast<std::size_t>(i)], i + 1, -1, true);
    }
    std::map<int, double> rec;
    for (const TallyEntry& e : tallyHistories(t))
      if (e.h != 0) rec[e.h] = e.x;
    for (const auto& [h, x] : lit.nx) {
      if (!(x > 1e-9)) continue;
      ASSERT_TRUE(got.count(h) && close(got.at(h), x)) << "trial " << trial << " history " << h;
      ASSERT_TRUE(rec.count(h) && close(rec.at(h), x)) << "trial " << trial << " history " << h;
    }
    ASSERT_LE(got.size(), lit.nx.size()) << trial;
    for (int i = 0; i < rs.nprim; ++i) {
      const auto ui = static_cast<std::size_t>(i);
      for (const RunState* r : {&rs, &rr}) {
        EXPECT_TRUE(close(r->tcap[i], lit.tcap[ui])) << trial << " tcap " << i;
        EXPECT_TRUE(close(r->talive[i], lit.talive[ui])) << trial << " talive " << i;
        EXPECT_TRUE(close(r->tmark[i], lit.tmark[ui])) << trial << " tmark " << i;
        EXPECT_TRUE(close(r->tnew[i], lit.tnew[ui])) << trial << " tnew " << i;
        EXPECT_TRUE(close(r->tlost[i], lit.tlost[ui])) << trial << " tlost " << i;
        EXPECT_TRUE(close(r->tin[i], lit.tin[ui])) << trial << " tin " << i;
      }
    }
    // Pruned at a threshold: exactly the histories above it.
    const double thr = 0.5;
    const auto pruned = walked(c, thr);
    std::size_t above = 0;
    for (const auto& [h, x] : got) above += x > thr ? 1 : 0;
    EXPECT_EQ(pruned.size(), above) << trial;
  }
}

// Captures of history h in each primary.
std::vector<int> capturesIn(int h, const std::vector<int>& sec) {
  std::vector<int> out;
  for (int K = sumOf(sec), g = 0; const int l : sec) {
    int n = 0;
    for (int j = 0; j < l; ++j, ++g) n += h >> (K - 1 - g) & 1;
    out.push_back(n);
  }
  return out;
}

// Each primary alone, as a closed-population estimator reads it: animals caught (M), captures (n).
struct Primary {
  double M = 0, n = 0;
};

std::vector<Primary> perPrimary(const std::map<int, double>& nx, const std::vector<int>& sec) {
  std::vector<Primary> out(sec.size());
  for (const auto& [h, x] : nx) {
    const auto n = capturesIn(h, sec);
    for (std::size_t i = 0; i < sec.size(); ++i) out[i].M += n[i] > 0 ? x : 0, out[i].n += n[i] * x;
  }
  return out;
}

// Model M0's maximum-likelihood abundance: N solving (1 - n / (l N))^l = 1 - M / N.
double m0Abundance(const Primary& p, int l) {
  double lo = p.M, hi = 1e9;
  for (int it = 0; it < 200; ++it) {
    const double N = 0.5 * (lo + hi);
    const double f = std::pow(1 - p.n / (l * N), l) - (1 - p.M / N);
    (f > 0 ? lo : hi) = N;
  }
  return 0.5 * (lo + hi);
}

TEST(Robust, ClosedPopulationEstimateOfEachPrimaryIsTheAnimalsInside) {
  Design d;
  d.sec = {3, 4, 2, 3};
  d.n = {500, 120, 80, 100};
  d.sa = {0.8, 0.7, 0.85};
  d.th = {0.9, 0.85, 0.8};
  d.em = {0.3, 0.2, 0.4};
  d.ro = {0.6, 0.5, 0.7};
  for (int g = 0; g < 12; ++g) d.p.push_back(g < 3 ? 0.3 : g < 7 ? 0.2 : g < 9 ? 0.45 : 0.25);
  d.c = d.p;  // M0 within each primary
  RunState rs = stateFor(d, 1);
  std::vector<RobustCohorts> c(1);
  runClosed(d, rs, c[0]);
  const auto per = perPrimary(walked(c, 0.0), d.sec);
  for (std::size_t i = 0; i < d.sec.size(); ++i) {
    const double inside = rs.tin[static_cast<int>(i)];
    EXPECT_NEAR(m0Abundance(per[i], d.sec[i]), inside, 1e-6 * inside) << i;
  }
}

// Jolly-Seber's survival estimates (those of CJS) on histories collapsed to one digit per
// primary, from the m-array: m[a][b] released at a, next caught at b.
std::vector<double> jsSurvival(const std::map<int, double>& nx, const std::vector<int>& sec) {
  const std::size_t P = sec.size();
  std::vector<std::vector<double>> m(P, std::vector<double>(P, 0));
  std::vector<double> R(P, 0), r(P, 0), mi(P, 0), z(P, 0), M(P, 0), phi;
  for (const auto& [h, x] : nx) {
    const auto n = capturesIn(h, sec);
    std::size_t last = P;
    for (std::size_t i = 0; i < P; ++i) {
      if (n[i] == 0) continue;
      R[i] += x;
      if (last < P) m[last][i] += x;
      last = i;
    }
  }
  for (std::size_t a = 0; a < P; ++a) {
    for (std::size_t b = a + 1; b < P; ++b) {
      r[a] += m[a][b];
      mi[b] += m[a][b];
      for (std::size_t i = a + 1; i < b; ++i) z[i] += m[a][b];  // marked before i, missed at i, caught later
    }
  }
  for (std::size_t i = 1; i + 1 < P; ++i) M[i] = mi[i] + R[i] * z[i] / r[i];
  for (std::size_t i = 0; i + 2 < P; ++i) phi.push_back(M[i + 1] / (M[i] - mi[i] + R[i]));
  return phi;
}

TEST(Robust, CollapsedToPrimariesJollySeberGivesSurvivalUnderRandomEmigration) {
  Design d;
  d.sec = {2, 3, 3, 2, 3};
  d.n = {400, 100, 100, 100, 100};
  d.sa = {0.8, 0.6, 0.75, 0.7};
  d.th = {1, 1, 1, 1};
  d.em = {0.3, 0.1, 0.4, 0.25};  // random: remain_out equal to emigrate
  d.ro = d.em;
  for (int g = 0; g < 13; ++g) d.p.push_back(0.3), d.c.push_back(0.4);
  RunState rs = stateFor(d, 1);
  std::vector<RobustCohorts> c(1);
  runClosed(d, rs, c[0]);
  const auto phi = jsSurvival(walked(c, 0.0), d.sec);
  ASSERT_EQ(phi.size(), 3u);
  for (std::size_t i = 0; i < phi.size(); ++i) EXPECT_NEAR(phi[i], d.sa[i], 1e-9) << i;
  // Markovian emigration (animals outside tend to stay out) biases it, as the literature warns:
  // here the second survival, after a primary from which emigrants rarely return.
  d.ro = {0.9, 0.9, 0.9, 0.9};
  RunState rm = stateFor(d, 1);
  std::vector<RobustCohorts> cm(1);
  runClosed(d, rm, cm[0]);
  const auto biased = jsSurvival(walked(cm, 0.0), d.sec);
  EXPECT_GT(std::fabs(biased[1] - d.sa[1]), 0.01);
}

TEST(Robust, StochasticMeansAgreeWithExpectedValues) {
  Design d;
  d.sec = {2, 3, 2};
  d.n = {300, 60, 60};
  d.sa = {0.8, 0.7};
  d.th = {0.9, 0.8};
  d.em = {0.3, 0.2};
  d.ro = {0.6, 0.5};
  d.p = {0.3, 0.35, 0.4, 0.2, 0.3, 0.5, 0.25};
  d.c = {0.5, 0.45, 0.3, 0.6, 0.4, 0.35, 0.6};
  RunState ex = stateFor(d, 1);
  std::vector<RobustCohorts> c(1);
  runClosed(d, ex, c[0]);
  const auto want = walked(c, 0.0);
  const int reps = 400, P = 3;
  std::vector<double> sum(2 * P, 0), sq(2 * P, 0);
  std::map<int, double> hsum;
  for (int r = 0; r < reps; ++r) {
    RunState rs = stateFor(d, 0);
    Stream rng = replicateStream(StreamKind::pcg32, 99, static_cast<std::uint64_t>(r + 1));
    Tally t;
    for (int i = 0; i < P; ++i) {
      rs.talive[i] += d.n[static_cast<std::size_t>(i)];
      caphisRobust(rs, rng, t, 0, d.n[static_cast<std::size_t>(i)], i + 1, -1, true);
    }
    for (int i = 0; i < P; ++i) {
      sum[static_cast<std::size_t>(2 * i)] += rs.tcap[i];
      sq[static_cast<std::size_t>(2 * i)] += rs.tcap[i] * rs.tcap[i];
      sum[static_cast<std::size_t>(2 * i + 1)] += rs.tin[i];
      sq[static_cast<std::size_t>(2 * i + 1)] += rs.tin[i] * rs.tin[i];
    }
    for (const TallyEntry& e : tallyHistories(t)) hsum[e.h] += e.x;
  }
  for (int i = 0; i < P; ++i) {
    const double want2[2] = {ex.tcap[i], ex.tin[i]};
    for (int k = 0; k < 2; ++k) {
      const auto u = static_cast<std::size_t>(2 * i + k);
      const double mean = sum[u] / reps, var = sq[u] / reps - mean * mean;
      EXPECT_NEAR(mean, want2[k], 4 * std::sqrt(var / reps) + 1e-9) << "primary " << i << " column " << k;
    }
  }
  // The frequent histories: each a count whose variance is at most its mean (times a few for the
  // dependence between batches), so 5 standard errors of a Poisson bound.
  int checked = 0;
  for (const auto& [h, x] : want) {
    if (x < 5) continue;
    ++checked;
    EXPECT_NEAR(hsum[h] / reps, x, 5 * std::sqrt(x / reps)) << "history " << h;
  }
  EXPECT_GT(checked, 10);
}

}  // namespace

}  // namespace plovanet
