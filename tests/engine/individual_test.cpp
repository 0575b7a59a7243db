// Expected values of individual animals: the quadrature against a Monte Carlo integral of each
// history's probability, computed here by a literal recursion for one animal at a time; neutral
// settings against the plain model; the Gauss rules' moments.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/model.h"
#include "records.h"

namespace plovanet {

namespace {

using test::Records;

struct Study {
  Design d;
  DataSet ds;
};

// A random design of K occasions, ordinary (S = 0) or of S states, with one or two covariates of
// random laws moving random rates, and a random effect on p and c (and survival) half the time.
Study randomStudy(std::mt19937& g, int S, int K) {
  std::uniform_real_distribution<double> u(0, 1);
  Study st;
  st.d.nper = K;
  st.d.dim = 1 << K;
  st.d.thetaflg = u(g) < 0.3;
  st.d.states = std::string("QB").substr(0, static_cast<std::size_t>(S));
  st.ds = blankDataSet(K);
  const auto fill = [&](std::vector<double>& n, std::vector<double>& pa, std::vector<double>& p2,
                        std::vector<double>& sa, std::vector<double>& th) {
    for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k) {
      n[k] = u(g) < 0.6 ? std::floor(100 * u(g)) : 0;
      pa[k] = 0.1 + 0.8 * u(g);
      p2[k] = u(g) < 0.2 ? 1 : 0.1 + 0.8 * u(g);
      if (k + 1 == static_cast<std::size_t>(K)) continue;
      sa[k] = 0.3 + 0.7 * u(g);
      th[k] = u(g) < 0.4 ? 1 : 0.5 + 0.5 * u(g);
    }
  };
  if (S == 0) fill(st.ds.n, st.ds.pa, st.ds.p2, st.ds.sa, st.ds.th);
  for (int s = 0; s < S; ++s) {
    StateRates r = blankStateRates(K, static_cast<std::size_t>(S));
    fill(r.n, r.pa, r.p2, r.sa, r.th);
    for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k) {
      r.obs[k] = u(g) < 0.3 ? 0.5 + 0.5 * u(g) : 1;
      if (k + 1 < static_cast<std::size_t>(K)) r.move[static_cast<std::size_t>(1 - s)][k] = 0.5 * u(g);
      st.ds.n[k] += r.n[k];
    }
    st.d.uncertain =
        st.d.uncertain || std::any_of(r.obs.begin(), r.obs.end(), [](double o) { return o < 1; });
    st.ds.st.push_back(r);
  }
  Individuals& in = st.d.indiv;
  const int covariates = 1 + static_cast<int>(u(g) < 0.4);
  for (int i = 0; i < covariates; ++i) {
    Covariate c{"x" + std::to_string(i), static_cast<Law>(static_cast<int>(3 * u(g))), 0, 0, {}};
    if (c.law == Law::normal) c = {c.name, c.law, 2 * u(g) - 1, 0.2 + 0.8 * u(g), {}};
    if (c.law == Law::uniform) c = {c.name, c.law, -u(g), u(g) + 0.1, {}};
    if (c.law == Law::categories) c.probs = {0.2, 0.5, 0.3};
    in.covariates.push_back(c);
    for (Rate r : {Rate::p, Rate::c, Rate::survival, Rate::retention, Rate::move}) {
      if (u(g) < 0.5 && (r != Rate::move || S == 2)) in.effects.push_back({r, 0, 1, i, 3 * u(g) - 1.5});
    }
  }
  // Two normal or uniform dimensions at most, to keep the grid small.
  if (covariates == 1 || in.covariates[1].law == Law::categories || in.covariates[0].law == Law::categories) {
    in.heterogeneity = u(g) < 0.5;
    if (in.heterogeneity) {
      in.sigma[0] = in.sigma[1] = 0.3 + 1.2 * u(g);
      in.sigma[2] = u(g) < 0.5 ? u(g) : 0;
    }
  }
  in.nodes = 16;
  return st;
}

// One data set through the model as the run drives it, and all of its records (threshold 0).
Records expected(const Design& d, const DataSet& ds, Totals& tot) {
  tot.n = ds.n;
  Stream rng;
  return test::simulateRecords(*makeModel(d), ds, rng, tot, 0.0);
}

// A rate moved by an offset on the logit scale; 0 and 1 stay.
double moved(double rate, double off) {
  if (rate <= 0 || rate >= 1) return rate;
  return 1 / (1 + std::exp(-(std::log(rate / (1 - rate)) + off)));
}

// The expected careers of one animal with values x and z entering at each occasion as the data
// set's entrants say, history by history: the model followed literally, occasion by occasion.
struct Animal {
  const Study& st;
  std::vector<StateRates> r;  // its own rates, one state for an ordinary study
  std::string letters;
  Records rec;

  Animal(const Study& s, const std::vector<double>& x, double z) : st(s) {
    const Individuals& in = st.d.indiv;
    const int K = st.d.nper;
    if (st.d.states.empty()) {
      StateRates one = blankStateRates(K, 1);
      one.n = st.ds.n;
      one.pa = st.ds.pa;
      one.p2 = st.ds.p2;
      one.sa = st.ds.sa;
      one.th = st.ds.th;
      r.push_back(one);
      letters = "1";
    } else {
      r = st.ds.st;
      letters = st.d.states;
    }
    double off[4] = {};
    for (std::size_t i = 0; i < 4; ++i) off[i] = in.sigma[i] * z;
    double moveOff = 0;
    for (const Effect& e : in.effects) {
      const double v = e.beta * x[static_cast<std::size_t>(e.covariate)];
      (e.rate == Rate::move ? moveOff : off[static_cast<std::size_t>(e.rate)]) += v;
    }
    for (StateRates& sr : r) {
      for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k) {
        sr.pa[k] = moved(sr.pa[k], off[0]);
        sr.p2[k] = moved(sr.p2[k], off[1]);
        sr.sa[k] = moved(sr.sa[k], off[2]);
        sr.th[k] = moved(sr.th[k], off[3]);
      }
    }
    // Effects on moves are from state 0 to 1 only (randomStudy): that move's log-odds against
    // staying change.
    if (r.size() == 2 && moveOff != 0) {
      for (std::size_t k = 0; k + 1 < static_cast<std::size_t>(K); ++k) {
        const double m = r[0].move[1][k], stay = 1 - m;
        if (stay > 0 && m > 0) r[0].move[1][k] = moved(m, moveOff);
      }
    }
    for (int k = 0; k < K; ++k) {
      for (std::size_t s = 0; s < r.size(); ++s)
        follow(r[s].n[static_cast<std::size_t>(k)], k, static_cast<int>(s), -1,
               std::string(static_cast<std::size_t>(k), '0'));
    }
  }

  void follow(double a, int k, int s, int f, const std::string& h) {
    if (a == 0) return;
    const StateRates& sr = r[static_cast<std::size_t>(s)];
    const auto uk = static_cast<std::size_t>(k);
    const double q = f >= 0 ? sr.p2[uk] : sr.pa[uk];
    const int marked = f >= 0 ? f : k;
    onward(a * q * sr.obs[uk], k, s, marked, h + letters[static_cast<std::size_t>(s)]);
    onward(a * q * (1 - sr.obs[uk]), k, s, marked, h + 'U');
    onward(a * (1 - q), k, s, f, h + '0');
  }

  void onward(double a, int k, int s, int f, const std::string& h) {
    if (a == 0) return;
    const int K = st.d.nper;
    const StateRates& sr = r[static_cast<std::size_t>(s)];
    const auto uk = static_cast<std::size_t>(k);
    const auto end = [&](double y) {
      if (f >= 0 && y != 0) rec[h + std::string(static_cast<std::size_t>(K - k - 1), '0')] += y;
    };
    if (k + 1 == K) return end(a);
    const double alive = a * sr.sa[uk];
    const double kept = f >= 0 ? alive * sr.th[st.d.thetaflg ? uk : uk - static_cast<std::size_t>(f)] : alive;
    end(a - kept);
    double stay = 1;
    for (std::size_t to = 0; to < r.size(); ++to)
      stay -= to == static_cast<std::size_t>(s) ? 0 : sr.move[to][uk];
    for (std::size_t to = 0; to < r.size(); ++to) {
      const double m = to == static_cast<std::size_t>(s) ? stay : sr.move[to][uk];
      const auto t = static_cast<int>(to);
      follow(kept * m, k + 1, t, f, f >= 0 ? h : std::string(static_cast<std::size_t>(k + 1), '0'));
      follow((alive - kept) * m, k + 1, t, -1, std::string(static_cast<std::size_t>(k + 1), '0'));
    }
  }
};

double draw(const Covariate& c, std::mt19937& g) {
  if (c.law == Law::normal) return std::normal_distribution<double>(c.a, c.b)(g);
  if (c.law == Law::uniform) return std::uniform_real_distribution<double>(c.a, c.b)(g);
  return std::discrete_distribution<int>(c.probs.begin(), c.probs.end())(g);
}

}  // namespace

// Every history's frequency within five Monte Carlo standard errors of the mean over animals
// drawn here (ordinary and two-state designs, K 2 to 5); with every beta and sigma 0, the plain
// model's records and totals.
TEST(Individual, QuadratureIsTheMeanOverAnimals) {
  std::mt19937 g(4242);
  for (int trial = 0; trial < 24; ++trial) {
    const int S = trial % 3 == 2 ? 2 : 0, K = 2 + trial % 4;
    Study st = randomStudy(g, S, K);
    SCOPED_TRACE("trial " + std::to_string(trial));
    Totals tot(K);
    const Records quad = expected(st.d, st.ds, tot);

    const int M = 2500;
    std::map<std::string, std::pair<double, double>> mc;  // sum and sum of squares
    std::normal_distribution<double> normal;
    for (int a = 0; a < M; ++a) {
      std::vector<double> x;
      for (const Covariate& c : st.d.indiv.covariates) x.push_back(draw(c, g));
      const Animal animal(st, x, st.d.indiv.heterogeneity ? normal(g) : 0.0);
      for (const auto& [h, v] : animal.rec) {
        mc[h].first += v;
        mc[h].second += v * v;
      }
    }
    for (const auto& [h, v] : quad) mc.try_emplace(h, 0.0, 0.0);
    for (const auto& [h, sums] : mc) {
      const double mean = sums.first / M;
      const double se = std::sqrt(std::max(0.0, sums.second / M - mean * mean) / M);
      const double q = quad.count(h) ? quad.at(h) : 0.0;
      EXPECT_LE(std::fabs(q - mean), 5 * se + 1e-9 * std::fabs(q))
          << h << " " << q << " " << mean << " " << se;
    }

    // Neutral settings: the plain model to 1e-9.
    for (Effect& e : st.d.indiv.effects) e.beta = 0;
    st.d.indiv.sigma = {};
    Totals neutralTot(K);
    const Records neutral = expected(st.d, st.ds, neutralTot);
    Design plain = st.d;
    plain.indiv = {};
    Totals plainTot(K);
    const Records want = expected(plain, st.ds, plainTot);
    ASSERT_EQ(neutral.size(), want.size());
    for (const auto& [h, v] : want) EXPECT_NEAR(neutral.at(h), v, 1e-9 * v) << h;
    for (auto v : {&Totals::tcap, &Totals::talive, &Totals::tmark, &Totals::tnew, &Totals::tlost}) {
      for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k)
        EXPECT_NEAR((neutralTot.*v)[k], (plainTot.*v)[k], 1e-9 * std::fabs((plainTot.*v)[k]));
    }
  }
}

// The n-node rules integrate polynomials of degree up to 2n - 1 exactly: the standard normal's
// moments (k - 1)!! and the uniform's on [0, 1], 1 / (k + 1). (Degrees kept where the outer
// nodes, left out for their tiny weights, do not count.)
TEST(Individual, GaussRulesIntegrateTheirPolynomials) {
  for (const int n : {1, 2, 5, 12, 32}) {
    for (const Law law : {Law::normal, Law::uniform}) {
      Design d;
      d.nper = 2;
      d.indiv.covariates.push_back({"x", law, 0, 1, {}});
      d.indiv.effects.push_back({Rate::p, 0, 0, 0, 1});
      const std::vector<Node> nodes = quadratureNodes(d, n);
      ASSERT_LE(nodes.size(), static_cast<std::size_t>(n)) << n;
      for (int k = 0; k <= std::min(2 * n - 1, 8); ++k) {
        double sum = 0, want = law == Law::uniform ? 1.0 / (k + 1) : 0.0;
        if (law == Law::normal && k % 2 == 0) {
          want = 1;
          for (int j = k - 1; j > 1; j -= 2) want *= j;
        }
        for (const Node& node : nodes) sum += node.weight * std::pow(node.x[0], k);
        EXPECT_NEAR(sum, want, 1e-12 * std::max(1.0, want)) << "n " << n << " degree " << k;
      }
    }
  }
}

}  // namespace plovanet
