// The rates an animal sees at its covariates and random effect, and the quadrature nodes that
// integrate over them.
#include <algorithm>
#include <cmath>

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

DataSet ratesAt(const Design& d, const DataSet& ds, std::span<const double> x, double z, double weight) {
  const Individuals& in = d.indiv;
  DataSet out = ds;
  const std::array<double, kSigmaRates> off = rateOffsets(in, x, z);
  std::array<double, kSigmaRates> e{};
  for (std::size_t r = 0; r < kSigmaRates; ++r) e[r] = expOf(off[r]);
  const auto each = [&](std::vector<double>& n, std::vector<double>& pa, std::vector<double>& p2,
                        std::vector<double>& sa, std::vector<double>& th) {
    for (double& v : n) v *= weight;
    shiftAll(pa, e[static_cast<std::size_t>(Rate::p)]);
    shiftAll(p2, e[static_cast<std::size_t>(Rate::c)]);
    shiftAll(sa, e[static_cast<std::size_t>(Rate::survival)]);
    shiftAll(th, e[static_cast<std::size_t>(Rate::retention)]);
  };
  each(out.n, out.pa, out.p2, out.sa, out.th);
  const std::size_t S = out.st.size();
  for (std::size_t s = 0; s < S; ++s) {
    StateRates& sr = out.st[s];
    each(sr.n, sr.pa, sr.p2, sr.sa, sr.th);
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

std::vector<Node> quadratureNodes(const Design&, int) {
  return {Node{}};
}

}  // namespace plovanet
