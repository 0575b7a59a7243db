// The robust design's engines against a literal per-batch recursion written here, against
// Jolly-Seber survival on the histories collapsed to primaries, and their stochastic means.
#include "engine/robust/robust.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numeric>
#include <random>
#include <vector>

#include "hand_study.h"

namespace plovanet {

namespace {

struct Model {  // in this order: sec, n, sa, th, em, ro, p, c
  std::vector<int> sec;
  std::vector<double> n, sa, th, em, ro, p, c;
  bool thetaflg = false;
};

int sumOf(const std::vector<int>& v) {
  return std::accumulate(v.begin(), v.end(), 0);
}

// The engines' inputs for a model: its design, its data set and totals at zero.
test::HandStudy stateFor(const Model& m, bool determ) {
  test::HandStudy st(sumOf(m.sec), 0, determ);
  st.d.nprim = static_cast<int>(m.sec.size());
  st.d.sec = m.sec;
  st.d.thetaflg = m.thetaflg;
  for (std::size_t g = 0; g < m.p.size(); ++g) st.ds.pa[g] = m.p[g], st.ds.p2[g] = m.c[g];
  for (std::size_t i = 0; i + 1 < m.sec.size(); ++i) {
    st.ds.sa[i] = m.sa[i], st.ds.th[i] = m.th[i], st.ds.em[i] = m.em[i], st.ds.ro[i] = m.ro[i];
  }
  return st;
}

// What the model says, written out batch by batch with no shortcut: every pattern of a primary
// with its probability, every fate between primaries; the histories of a data set, once built.
struct Literal {
  const Model& d;
  int K, P;
  std::vector<int> first;
  std::map<int, double> nx;
  Totals tot;  // [i] = primary i + 1

  explicit Literal(const Model& dd) : d(dd), K(sumOf(dd.sec)), P(static_cast<int>(dd.sec.size())), tot(P) {
    for (int i = 0, g = 0; i < P; g += d.sec[static_cast<std::size_t>(i)], ++i) first.push_back(g);
    for (std::size_t i = 0; i < d.sec.size(); ++i)
      tot.talive[i] += d.n[i], go(0, d.n[i], static_cast<int>(i), -1, true);
    nx.erase(0);  // never caught
  }

  void go(int hist, double x, int i, int mark, bool inside) {  // i: primary from 0
    const auto ui = static_cast<std::size_t>(i);
    if (mark >= 0) tot.tmark[ui] += x;
    if (inside) tot.tin[ui] += x;
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
      if (bits != 0) tot.tcap[ui] += y;
      if (bits != 0 && mark < 0) tot.tnew[ui] += y;
      const int h = hist | bits;
      const int m = bits != 0 && mark < 0 ? i : mark;
      if (i == P - 1) {
        nx[h] += y;
        continue;
      }
      const double s = d.sa[ui];
      const double t = m < 0 ? 1 : d.th[static_cast<std::size_t>(d.thetaflg != 0 ? i : i - m)];
      tot.talive[ui + 1] += y * s;
      nx[h] += y * (1 - s) + y * s * (1 - t) * (m < 0 ? 0 : 1);
      const double out = inside ? d.em[ui] : d.ro[ui];
      for (const bool stayIn : {true, false}) {
        const double move = stayIn ? 1 - out : out;
        if (y * s * t * move > 0) go(h, y * s * t * move, i + 1, m, stayIn);
        if (m >= 0 && y * s * (1 - t) * move > 0) go(0, y * s * (1 - t) * move, i + 1, -1, stayIn);
      }
      if (m >= 0) tot.tlost[ui + 1] += y * s * (1 - t);
    }
  }
};

Model randomDesign(std::mt19937& gen, bool emigration, bool tagLoss, bool behaviour) {
  std::uniform_int_distribution<int> prims(2, 4), secs(1, 3);
  std::uniform_real_distribution<double> u(0.05, 0.95);
  Model d;
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

// The closed-form engine's histories of a data set run into rs, those above thr.
std::map<int, double> closedForm(const Model& d, test::HandStudy& rs, double thr = 0) {
  RobustCohorts c;
  for (int i = 0; i < rs.d.nprim; ++i) {
    rs.tot.talive[static_cast<std::size_t>(i)] += d.n[static_cast<std::size_t>(i)];
    robustOccasion(c, rs.d, rs.ds, rs.tot, i + 1, d.n[static_cast<std::size_t>(i)]);
  }
  std::map<int, double> out;
  walkRobust({{&c}}, thr, [&out](int h, const char*, const double* v) {
    out[h] = v[0];
    return true;
  });
  return out;
}

// The recursion's histories of a data set run into rs, tallied in t.
void recursion(const Model& d, test::HandStudy& rs, Stream& rng, Tally& t) {
  for (std::size_t i = 0; i < d.sec.size(); ++i) {
    rs.tot.talive[i] += d.n[i];
    caphisRobust(rs.d, rs.ds, rs.tot, rng, t, {0, d.n[i], static_cast<int>(i) + 1}, std::nullopt, true);
  }
}

bool close(double a, double b) {
  return std::fabs(a - b) <= 1e-9 * (1 + std::fabs(a) + std::fabs(b));
}

TEST(Robust, ClosedFormAndRecursionAgreeWithTheLiteralModel) {
  std::mt19937 gen(2026);
  for (int trial = 0; trial <= 48; ++trial) {
    Model d = randomDesign(gen, trial % 2 == 0, trial % 3 != 0, trial % 4 < 2);
    if (trial == 48) {  // a primary too long for the walk's table of patterns: its recursion
      d = randomDesign(gen, true, true, true);
      d.sec[0] = 11;
      while (d.p.size() < static_cast<std::size_t>(sumOf(d.sec))) d.p.push_back(0.2), d.c.push_back(0.6);
    }
    Literal lit(d);
    test::HandStudy rs = stateFor(d, true);
    const auto got = closedForm(d, rs);
    // The expected-value recursion (the stochastic engine with binoml at its mean).
    test::HandStudy rr = stateFor(d, true);
    Tally t;
    Stream rng = seededStream(StreamKind::pcg32, 1);
    recursion(d, rr, rng, t);
    std::map<int, double> rec;
    for (const TallyEntry& e : tallyHistories(t))
      if (e.h != 0) rec[e.h] = e.x;
    for (const auto& [h, x] : lit.nx) {
      if (!(x > 1e-9)) continue;
      ASSERT_TRUE(got.count(h) && close(got.at(h), x)) << "trial " << trial << " history " << h;
      ASSERT_TRUE(rec.count(h) && close(rec.at(h), x)) << "trial " << trial << " history " << h;
    }
    ASSERT_LE(got.size(), lit.nx.size()) << trial;
    for (const test::HandStudy* r : {&rs, &rr}) {
      for (const auto a :
           {&Totals::tcap, &Totals::talive, &Totals::tmark, &Totals::tnew, &Totals::tlost, &Totals::tin}) {
        for (std::size_t i = 0; i < d.sec.size(); ++i)
          EXPECT_TRUE(close((r->tot.*a)[i], (lit.tot.*a)[i])) << trial << " totals of primary " << i + 1;
      }
    }
    // Pruned at a threshold: exactly the histories above it.
    const double thr = 0.5;
    test::HandStudy again = stateFor(d, true);
    const auto pruned = closedForm(d, again, thr);
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

// Jolly-Seber's survival estimates (those of CJS) on histories collapsed to one digit per
// primary, from the m-array: m[a][b] released at a, next caught at b.
std::vector<double> jsSurvival(const std::map<int, double>& nx, const std::vector<int>& sec) {
  const std::size_t P = sec.size();
  std::vector<std::vector<double>> m(P, std::vector<double>(P, 0));
  std::vector<double> R(P, 0), r(P, 0), mi(P, 0), z(P, 0), M(P, 0), phi;
  const int K = sumOf(sec);
  for (const auto& [h, x] : nx) {
    std::size_t last = P;
    for (std::size_t i = 0, g = 0; i < P; g += static_cast<std::size_t>(sec[i++])) {
      if ((h >> (K - static_cast<int>(g) - sec[i]) & ((1 << sec[i]) - 1)) == 0) continue;  // not caught in i
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
  // Random emigration: remain_out equal to emigrate.
  // clang-format off
  const Model d{{2, 3, 3, 2, 3}, {400, 100, 100, 100, 100}, {0.8, 0.6, 0.75, 0.7}, {1, 1, 1, 1},
                {0.3, 0.1, 0.4, 0.25}, {0.3, 0.1, 0.4, 0.25}, std::vector(13, 0.3), std::vector(13, 0.4)};
  // clang-format on
  test::HandStudy rs = stateFor(d, true);
  const auto phi = jsSurvival(closedForm(d, rs), d.sec);
  ASSERT_EQ(phi.size(), 3u);
  for (std::size_t i = 0; i < phi.size(); ++i) EXPECT_NEAR(phi[i], d.sa[i], 1e-9) << i;
}

TEST(Robust, StochasticMeansAgreeWithExpectedValues) {
  // clang-format off
  const Model d{{2, 3, 2}, {300, 60, 60}, {0.8, 0.7}, {0.9, 0.8}, {0.3, 0.2}, {0.6, 0.5},
                {0.3, 0.35, 0.4, 0.2, 0.3, 0.5, 0.25}, {0.5, 0.45, 0.3, 0.6, 0.4, 0.35, 0.6}};
  // clang-format on
  test::HandStudy ex = stateFor(d, true);
  const auto want = closedForm(d, ex);
  const int reps = 400;
  const std::size_t P = 3;
  std::vector<double> sum(2 * P, 0), sq(2 * P, 0);  // [2 i] tcap, [2 i + 1] tin of primary i + 1
  std::map<int, double> hsum;
  for (int r = 0; r < reps; ++r) {
    test::HandStudy rs = stateFor(d, false);
    Stream rng = replicateStream(StreamKind::pcg32, 99, static_cast<std::uint64_t>(r + 1));
    Tally t;
    recursion(d, rs, rng, t);
    for (std::size_t i = 0; i < 2 * P; ++i) {
      const double x = (i % 2 == 0 ? rs.tot.tcap : rs.tot.tin)[i / 2];
      sum[i] += x, sq[i] += x * x;
    }
    for (const TallyEntry& e : tallyHistories(t)) hsum[e.h] += e.x;
  }
  for (std::size_t i = 0; i < 2 * P; ++i) {
    const double mean = sum[i] / reps, var = sq[i] / reps - mean * mean;
    EXPECT_NEAR(mean, (i % 2 == 0 ? ex.tot.tcap : ex.tot.tin)[i / 2], 4 * std::sqrt(var / reps) + 1e-9)
        << "primary " << i / 2 + 1 << (i % 2 == 0 ? " tcap" : " tin");
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
