// The rates an animal sees at its covariates and random effect, and the quadrature nodes that
// integrate over them.
//
// Gauss rules are computed here, in double precision: the nodes are the eigenvalues of the
// rule's Jacobi matrix (implicit QL on the symmetric tridiagonal matrix), polished by a Newton
// step on the orthonormal polynomials, and each weight is 1 / sum of p_k(x)^2 over k < n, which
// keeps the tiny weights of the outer nodes accurate to the last bits (the eigenvectors'
// first components would not).
#include <algorithm>
#include <cmath>
#include <utility>

#include "engine/individual/individual.h"

namespace plovanet {

namespace {

// A logit moved by an offset, as rate * e / (1 - rate + rate * e) with e = exp(offset): no
// logarithm, and 0 and 1 stay exactly so. The offset is held below exp's overflow.
double shifted(double rate, double e) {
  if (!(rate > 0) || !(rate < 1)) return rate;
  return rate * e / (1 - rate + rate * e);
}

double expOf(double offset) {
  return std::exp(std::clamp(offset, -700.0, 700.0));
}

void shiftAll(std::vector<double>& v, double e) {
  if (e == 1) return;
  for (double& r : v) r = shifted(r, e);
}

}  // namespace

std::array<double, kSigmaRates> rateOffsets(const Individuals& in, std::span<const double> x, double z) {
  std::array<double, kSigmaRates> off{};
  for (std::size_t r = 0; r < kSigmaRates; ++r) off[r] = in.sigma[r] * z;
  for (const Effect& e : in.effects) {
    if (e.rate != Rate::move)
      off[static_cast<std::size_t>(e.rate)] += e.beta * x[static_cast<std::size_t>(e.covariate)];
  }
  return off;
}

namespace {

// A data set's or a state's entrants and rates at one point: DataSet and StateRates name them
// alike.
template <class Rates>
void shiftRates(Rates& r, const std::array<double, kSigmaRates>& e, double weight) {
  for (double& v : r.n) v *= weight;
  shiftAll(r.pa, e[static_cast<std::size_t>(Rate::p)]);
  shiftAll(r.p2, e[static_cast<std::size_t>(Rate::c)]);
  shiftAll(r.sa, e[static_cast<std::size_t>(Rate::survival)]);
  shiftAll(r.th, e[static_cast<std::size_t>(Rate::retention)]);
}

}  // namespace

DataSet ratesAt(const Design& d, const DataSet& ds, const Node& at) {
  const Individuals& in = d.indiv;
  const std::span<const double> x = at.x;
  DataSet out = ds;
  const std::array<double, kSigmaRates> off = rateOffsets(in, x, at.z);
  std::array<double, kSigmaRates> e{};
  for (std::size_t r = 0; r < kSigmaRates; ++r) e[r] = expOf(off[r]);
  shiftRates(out, e, at.weight);
  const std::size_t S = out.st.size();
  for (std::size_t s = 0; s < S; ++s) {
    StateRates& sr = out.st[s];
    shiftRates(sr, e, at.weight);
    // The moves out of s on the multinomial logit scale against staying: each move's share
    // times its e over what stays plus the moves' shares times theirs.
    std::vector<double> em(S, 1.0);
    bool moved = false;
    for (const Effect& ef : in.effects) {
      if (ef.rate != Rate::move || static_cast<std::size_t>(ef.from) != s) continue;
      em[static_cast<std::size_t>(ef.to)] *= expOf(ef.beta * x[static_cast<std::size_t>(ef.covariate)]);
      moved = true;
    }
    if (!moved) continue;
    for (std::size_t k = 0; k < sr.sa.size(); ++k) {
      double stay = 1;
      for (std::size_t to = 0; to < S; ++to) {
        if (to != s) stay -= ds.st[s].move[to][k];
      }
      // Moves that leave nothing to stay are as certain as a rate of 1: they stay as given.
      if (!(stay > 0)) continue;
      double denom = stay;
      for (std::size_t to = 0; to < S; ++to) {
        if (to != s) denom += ds.st[s].move[to][k] * em[to];
      }
      for (std::size_t to = 0; to < S; ++to) {
        if (to != s) sr.move[to][k] = ds.st[s].move[to][k] * em[to] / denom;
      }
    }
  }
  return out;
}

namespace {

// Nodes per dimension when the design does not say, from its scale s on the logit scale (sigma,
// or sd times the largest |beta|; for a uniform law its width times the largest |beta|). Gauss-
// Hermite converges more slowly as s grows (the logistic's poles come nearer the real axis as
// seen by the rule), about as s^2: measured on 20-occasion studies of 10^4 entrants at the
// default threshold, p, c and survival all moved by one z (the slowest case), 110 s^2 nodes keep
// every history above the threshold within 1e-9 of a 2000-node rule for s up to 2 (README,
// "Expected values"). Gauss-Legendre needs nodes in proportion to the width: 6 per unit of
// width times |beta| keep the same 1e-9, measured up to a width of 10.4 (an sd of 3).
int defaultNodes(Law law, double s) {
  if (law == Law::uniform) return std::clamp(static_cast<int>(std::ceil(6 * s)), 16, 1000);
  return std::clamp(static_cast<int>(std::ceil(110 * s * s)), 32, 2000);
}

// A node whose weight is below this holds less than 1e-9 of the threshold's share of any
// history with up to 10^4 entrants (its amount in a history is at most weight * entrants).
constexpr double kNegligible = 1e-18;

// Off-diagonal entry k (from 1) of the Jacobi matrix of the standard normal law (Hermite, the
// probabilists' weight) or of the uniform law on [-1, 1] (Legendre); their diagonals are 0.
double hermiteB(int k) {
  return std::sqrt(static_cast<double>(k));
}
double legendreB(int k) {
  const auto x = static_cast<double>(k);
  return x / std::sqrt(4 * x * x - 1);
}

// The eigenvalues of the symmetric tridiagonal matrix with zero diagonal and off-diagonal e
// (e[i] between rows i and i + 1), by implicit QL with Wilkinson shifts. The entries lie within
// a few times sqrt(n), so squares are taken as they are (hypot was a tenth of a run).
std::vector<double> tridiagonalEigenvalues(std::vector<double> e) {
  const std::size_t n = e.size() + 1;
  std::vector<double> d(n, 0.0);
  e.push_back(0.0);
  for (std::size_t l = 0; l < n; ++l) {
    for (int iter = 0; iter < 60; ++iter) {
      std::size_t m = l;
      for (; m + 1 < n; ++m) {
        const double dd = std::fabs(d[m]) + std::fabs(d[m + 1]);
        if (std::fabs(e[m]) + dd == dd) break;
      }
      if (m == l) break;
      double g = (d[l + 1] - d[l]) / (2 * e[l]);
      double r = std::sqrt(g * g + 1.0);
      g = d[m] - d[l] + e[l] / (g + std::copysign(r, g));
      double s = 1, c = 1, p = 0;
      bool early = false;
      for (std::size_t i = m; i-- > l;) {
        double f = s * e[i];
        const double b = c * e[i];
        r = std::sqrt(f * f + g * g);
        e[i + 1] = r;
        if (r == 0) {
          d[i + 1] -= p;
          e[m] = 0;
          early = true;
          break;
        }
        s = f / r;
        c = g / r;
        g = d[i + 1] - p;
        r = (d[i] - g) * s + 2 * c * b;
        p = s * r;
        d[i + 1] = g + p;
        g = c * r - b;
        f = 0;
      }
      if (early) continue;
      d[l] -= p;
      e[l] = g;
      e[m] = 0;
    }
  }
  std::sort(d.begin(), d.end());
  return d;
}

struct Rule {
  std::vector<double> t, w;  // nodes and weights, the weights adding up to 1
};

// The n-node Gauss rule of the law whose Jacobi matrix has off-diagonal b(k), k = 1..n-1.
template <class B>
Rule gaussRule(int n, B b) {
  std::vector<double> e;
  for (int k = 1; k < n; ++k) e.push_back(b(k));
  Rule rule;
  rule.t = tridiagonalEigenvalues(std::move(e));
  double sum = 0;
  for (double& x : rule.t) {
    // The orthonormal polynomials at x: p_k for k < n in s (their squares' sum), p_n and its
    // derivative for the Newton step.
    const auto at = [&](double y, double& pn, double& dpn) {
      double pm = 0, p = 1, dpm = 0, dp = 0, sq = 1;
      for (int k = 0; k < n; ++k) {
        const double bk1 = b(k + 1), bk = k > 0 ? b(k) : 0.0;
        const double pn1 = (y * p - bk * pm) / bk1;
        const double dpn1 = (p + y * dp - bk * dpm) / bk1;
        pm = p;
        p = pn1;
        dpm = dp;
        dp = dpn1;
        if (k + 1 < n) sq += p * p;
      }
      pn = p;
      dpn = dp;
      return sq;
    };
    double pn = 0, dpn = 0;
    at(x, pn, dpn);
    const double step = pn / dpn;
    if (std::isfinite(step) && std::fabs(step) < 1e-6 * (1 + std::fabs(x))) x -= step;
    const double sq = at(x, pn, dpn);
    rule.w.push_back(std::isfinite(sq) ? 1 / sq : 0.0);
    sum += rule.w.back();
  }
  for (double& w : rule.w) w /= sum;
  return rule;
}

// One dimension of the grid: the values it takes and their weights, and where they go (a
// covariate's place, or -1 for z).
struct Dimension {
  int target = -1;
  std::vector<double> v, w;
};

double meanOf(const Covariate& c) {
  if (c.law == Law::normal) return c.a;
  if (c.law == Law::uniform) return (c.a + c.b) / 2;
  double m = 0;
  for (std::size_t k = 0; k < c.probs.size(); ++k) m += static_cast<double>(k) * c.probs[k];
  return m;
}

// The values of covariate c (or z) and their weights, with n nodes (0: the default for its
// largest |beta|, slope), to go to place target.
Dimension dimensionOf(const Covariate& c, int n, double slope, int target) {
  Dimension dim{target, {}, {}};
  if (c.law == Law::categories) {
    for (std::size_t k = 0; k < c.probs.size(); ++k) {
      if (!(c.probs[k] > 0)) continue;
      dim.v.push_back(static_cast<double>(k));
      dim.w.push_back(c.probs[k]);
    }
    return dim;
  }
  if (n <= 0) n = defaultNodes(c.law, slope * (c.law == Law::normal ? c.b : c.b - c.a));
  const Rule rule = c.law == Law::normal ? gaussRule(n, hermiteB) : gaussRule(n, legendreB);
  for (std::size_t i = 0; i < rule.t.size(); ++i) {
    dim.v.push_back(c.law == Law::normal ? c.a + c.b * rule.t[i] : c.a + (c.b - c.a) * (rule.t[i] + 1) / 2);
    dim.w.push_back(rule.w[i]);
  }
  return dim;
}

// The dimensions of the grid. Only values that move some rate are integrated over: a covariate
// whose effects are all 0, or z with every sigma 0, is held where it is, so such a study runs
// exactly as it would without.
std::vector<Dimension> dimensionsOf(const Individuals& in, int n) {
  std::vector<Dimension> dims;
  for (std::size_t i = 0; i < in.covariates.size(); ++i) {
    double slope = 0;
    for (const Effect& e : in.effects) {
      if (static_cast<std::size_t>(e.covariate) == i) slope = std::max(slope, std::fabs(e.beta));
    }
    const Covariate& c = in.covariates[i];
    if (slope > 0 && !(c.law == Law::normal && c.b == 0) && !(c.law == Law::uniform && c.a == c.b))
      dims.push_back(dimensionOf(c, n, slope, static_cast<int>(i)));
  }
  double sigma = 0;
  for (const double s : in.sigma) sigma = std::max(sigma, std::fabs(s));
  if (in.heterogeneity && sigma > 0)
    dims.push_back(dimensionOf(Covariate{"", Law::normal, 0, 1, {}}, n, sigma, -1));
  return dims;
}

}  // namespace

double quadratureSize(const Design& d, int perDimension) {
  double size = 1;
  for (const Dimension& dim : dimensionsOf(d.indiv, std::max(perDimension, 0))) {
    const auto kept = std::count_if(dim.w.begin(), dim.w.end(), [](double w) { return w >= kNegligible; });
    size *= static_cast<double>(kept);
  }
  return size;
}

std::vector<Node> quadratureNodes(const Design& d, int perDimension) {
  const Individuals& in = d.indiv;
  Node base;
  for (const Covariate& c : in.covariates) base.x.push_back(meanOf(c));
  const std::vector<Dimension> dims = dimensionsOf(in, std::max(perDimension, 0));
  std::vector<Node> nodes{base};
  for (const Dimension& dim : dims) {
    std::vector<Node> next;
    for (const Node& at : nodes) {
      for (std::size_t i = 0; i < dim.v.size(); ++i) {
        Node to = at;
        to.weight *= dim.w[i];
        if (!(to.weight >= kNegligible)) continue;
        (dim.target < 0 ? to.z : to.x[static_cast<std::size_t>(dim.target)]) = dim.v[i];
        next.push_back(std::move(to));
      }
    }
    nodes = std::move(next);
  }
  double sum = 0;
  for (const Node& node : nodes) sum += node.weight;
  if (nodes.size() > 1) {
    for (Node& node : nodes) node.weight /= sum;
  }
  return nodes;
}

}  // namespace plovanet
