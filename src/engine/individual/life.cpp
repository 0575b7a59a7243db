// One animal's life: its values, its rates at them, and the occasions from its entry to the last,
// drawn in the order animals.h gives.
#include "engine/individual/life.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "engine/livedead/livedead.h"
#include "engine/variates.h"

namespace plovanet {

namespace {

// exp of an offset held below overflow, as the expected values take it.
double expOf(double offset) {
  return std::exp(std::clamp(offset, -700.0, 700.0));
}

bool chance(Stream& rng, double rate) {
  if (!(rate > 0)) return false;
  if (rate >= 1) return true;
  return unif53(rng) < rate;
}

// chance at the rate moved on the logit scale by e = exp(offset), rate * e / (1 - rate + rate * e)
// (0 and 1 staying so), tested as u * (1 - rate + rate * e) < rate * e: no division in the loop.
bool chance(Stream& rng, double rate, double e) {
  if (e == 1 || !(rate > 0) || !(rate < 1)) return chance(rng, rate);
  const double re = rate * e;
  return unif53(rng) * (1 - rate + re) < re;
}

LifeRates ratesOf(const Design& d, const DataSet& ds) {
  LifeRates r;
  r.K = d.nper;
  r.thetaflg = d.thetaflg;
  r.rr = ds.rr;
  r.fid = ds.fid;
  r.rs = ds.rs;
  r.rsd = ds.rsd;
  r.ret = ds.ret;
  if (d.states.empty()) {
    r.pa = ds.pa;
    r.p2 = ds.p2;
    r.sa = ds.sa;
    r.th = ds.th;
    r.n = ds.n;
    r.obs.assign(r.pa.size(), 1.0);
    r.mv.assign(r.pa.size(), 1.0);
  } else {
    StateTables t(d, ds);
    r.S = t.S;
    r.pa = std::move(t.pa);
    r.p2 = std::move(t.p2);
    r.obs = std::move(t.obs);
    r.sa = std::move(t.sa);
    r.th = std::move(t.th);
    r.mv = std::move(t.mv);
    r.n = std::move(t.n);
  }
  const auto S = static_cast<std::size_t>(r.S);
  r.cum.resize(r.mv.size());
  r.only.assign(r.mv.size() / S, -1);
  r.last.assign(r.mv.size() / S, 0);
  for (std::size_t i = 0; i < r.only.size(); ++i) {
    double sum = 0;
    int positive = 0;
    for (std::size_t to = 0; to < S; ++to) {
      const double m = r.mv[i * S + to];
      if (m > 0) {
        sum += m;
        ++positive;
        r.last[i] = static_cast<int>(to);
      }
      r.cum[i * S + to] = sum;
    }
    // No share at all (only rates that are not numbers): the animal stays, as nothing moves it.
    if (positive <= 1) r.only[i] = positive == 1 ? r.last[i] : static_cast<int>(i % S);
  }
  return r;
}

template <class T>
void appendNumber(std::string& out, T v) {
  std::array<char, 32> buf{};
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v);
  out.append(buf.data(), r.ptr);
}

// A value as "%.6f" writes it (to_chars rounds the double's exact value the same way).
void appendFixed(std::string& out, double v) {
  std::array<char, 400> buf{};
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, 6);
  out.append(buf.data(), r.ptr);
}

}  // namespace

Life::Life(const Design& d, const DataSet& ds, bool records, bool logged)
    : d_(d),
      in_(d.indiv),
      r_(ratesOf(d, ds)),
      records_(records),
      logged_(logged),
      width_(d.nper),
      encounters_(d.encounters) {
  if (encounters_ != Encounters::none) {
    chars_ = "0123";
    shift_ = 2;
    width_ = 2 * d.nper;
  }
  if (!d.states.empty()) {
    const Symbols sym(d.states);
    chars_ = sym.chars;
    code_ = sym.code;
    unknown_ = sym.unknown;
    shift_ = 4;
  }
  for (const Covariate& c : in_.covariates) {
    std::vector<double> cum;
    double sum = 0;
    for (const double p : c.probs) cum.push_back(sum += p);
    cumulative_.push_back(std::move(cum));
  }
  moves_ = std::any_of(in_.effects.begin(), in_.effects.end(),
                       [](const Effect& e) { return e.rate == Rate::move; });
}

namespace {

// A standard normal: the chunk's spare, or the first of a new polar pair (Marsaglia's method,
// as gaussExact, both values kept).
double normalOf(ChunkOut& out, Stream& rng) {
  if (out.hasSpare) {
    out.hasSpare = false;
    return out.spareNormal;
  }
  for (;;) {
    const double x = 2 * unif53(rng) - 1;
    const double y = 2 * unif53(rng) - 1;
    const double s = x * x + y * y;
    if (s < 1 && s > 0) {
      const double f = std::sqrt(-2 * std::log(s) / s);
      out.spareNormal = y * f;
      out.hasSpare = true;
      return x * f;
    }
  }
}

}  // namespace

double Life::covariate(std::size_t i, ChunkOut& out, Stream& rng) const {
  const Covariate& c = in_.covariates[i];
  switch (c.law) {
    case Law::normal:
      return c.a + c.b * normalOf(out, rng);
    case Law::uniform:
      return c.a + (c.b - c.a) * unif53(rng);
    case Law::categories:
      break;
  }
  const std::vector<double>& cum = cumulative_[i];
  const double u = unif53(rng);
  std::size_t v = 0;
  while (v + 1 < cum.size() && !(u < cum[v])) ++v;
  return static_cast<double>(v);
}

int Life::moveOf(Stream& rng, int k, int s, const double* em) const {
  const std::size_t i = r_.at(k, s);
  if (r_.only[i] >= 0) return r_.only[i];
  const auto S = static_cast<std::size_t>(r_.S);
  const double* mv = &r_.mv[i * S];
  const double* cum = &r_.cum[i * S];
  std::array<double, kMaxStates> shares{};
  // Moves that leave nothing to stay keep their shares, as the expected values take them.
  if (em != nullptr && mv[s] > 0) {
    double sum = 0;
    for (std::size_t to = 0; to < S; ++to) {
      const double m = mv[to] > 0 ? mv[to] : 0;
      shares[to] = sum += static_cast<int>(to) == s ? m : m * em[to];
    }
    cum = shares.data();
  }
  const double u = unif53(rng) * cum[S - 1];
  for (std::size_t to = 0; to < S; ++to) {
    if (u < cum[to]) return static_cast<int>(to);
  }
  return r_.last[i];
}

// The order of a batch's draws, for one animal: capture (in the study area only), survival; a
// dead tagged animal reported, else (Barker) seen before it died; a survivor's tag kept, a tag
// keeper (Barker) seen; then the move: staying (F) or, outside, coming back (F').
template <class End>
int Life::liveDead(Stream& rng, int k0, double ep, double ec, double es, double er, double* counts,
                   End end) const {
  const int K = r_.K;
  const bool barker = encounters_ == Encounters::barker;
  const auto code = [this](int i, unsigned c) {
    return static_cast<HistoryKey>(c) << (shift_ * (width_ - 1 - i));
  };
  HistoryKey key = 0;
  int marked = -1;
  bool inside = true;
  for (int k = k0;; ++k) {
    const auto uk = static_cast<std::size_t>(k);
    if (marked >= 0) ++counts[countAt(kMark, 0, k)];
    if (inside && (marked >= 0 ? chance(rng, r_.p2[uk], ec) : chance(rng, r_.pa[uk], ep))) {
      ++counts[countAt(kCap, 0, k)];
      if (marked < 0) {
        ++counts[countAt(kNew, 0, k)];
        marked = k;
      }
      key |= code(2 * k, kSeen);
    }
    if (!chance(rng, r_.sa[uk], es)) {
      ++counts[countAt(kDied, 0, k)];
      if (marked >= 0 && chance(rng, r_.rr[uk])) {
        ++counts[countAt(kReported, 0, k)];
        key |= code(2 * k + 1, kSeen);
      } else if (marked >= 0 && barker && chance(rng, r_.rsd[uk])) {
        key |= code(2 * k + 1, kSighted);
      }
      end(key);
      return k;
    }
    const bool lost = marked >= 0 && k + 1 < K &&
                      !chance(rng, r_.th[r_.thetaflg ? uk : uk - static_cast<std::size_t>(marked)], er);
    if (marked >= 0 && !lost && barker && chance(rng, r_.rs[uk])) key |= code(2 * k + 1, kSighted);
    if (k + 1 >= K) break;
    if (inside) {
      inside = chance(rng, r_.fid[uk]);
      if (!inside) ++counts[countAt(kEmigrated, 0, k)];
    } else {
      inside = barker && chance(rng, r_.ret[uk]);
    }
    ++counts[countAt(kAlive, 0, k + 1)];
    if (lost) {
      ++counts[countAt(kLost, 0, k + 1)];
      end(key);
      key = 0;
      marked = -1;
    }
  }
  end(key);
  return -1;
}

void Life::animal(ChunkOut& out, Stream& rng, int k0, int s0, std::uint64_t id,
                  const std::string& prefix) const {
  const std::size_t ncov = in_.covariates.size();
  std::array<double, kMaxCovariates + 1> x{};
  for (std::size_t i = 0; i < ncov; ++i) x[i] = covariate(i, out, rng);
  const double z = in_.heterogeneity ? normalOf(out, rng) : 0;
  const std::array<double, kSigmaRates> off = rateOffsets(in_, std::span<const double>(x.data(), ncov), z);
  const auto eOf = [&off](Rate r) {
    const double o = off[static_cast<std::size_t>(r)];
    return o == 0 ? 1.0 : expOf(o);
  };
  const double ep = eOf(Rate::p), ec = eOf(Rate::c), es = eOf(Rate::survival), er = eOf(Rate::retention);
  const int K = r_.K, S = r_.S;
  // Left unset where unused: clearing them cost 6% of an animal.
  std::array<double, std::size_t{kMaxStates} * kMaxStates> em;
  if (moves_) {
    em.fill(1.0);
    for (const Effect& e : in_.effects) {
      if (e.rate != Rate::move) continue;
      em[static_cast<std::size_t>(e.from) * static_cast<std::size_t>(S) + static_cast<std::size_t>(e.to)] *=
          expOf(e.beta * x[static_cast<std::size_t>(e.covariate)]);
    }
  }
  x[ncov] = z;
  const std::size_t width = ncov + (in_.heterogeneity ? 1 : 0);
  const bool logged = logged_;
  std::array<HistoryKey, kMaxOccasions + 1> careers{};
  std::size_t ncareers = 0;
  std::array<int, kMaxOccasions> stateAt;
  const auto end = [&](HistoryKey key) {
    if (key != 0) {
      out.keys.push_back(key);
      if (records_)
        out.values.insert(out.values.end(), x.begin(), x.begin() + static_cast<std::ptrdiff_t>(width));
    }
    if (logged) careers[ncareers++] = key;
  };
  double* counts = out.counts.data();
  HistoryKey key = 0;
  int marked = -1;  // occasion of marking (0-based), -1 while unmarked
  int s = s0, k = k0, died = -1;
  if (encounters_ != Encounters::none) {
    died = liveDead(rng, k0, ep, ec, es, er, counts, end);
    k = died >= 0 ? died : K - 1;
  }
  for (; encounters_ == Encounters::none; ++k) {
    stateAt[static_cast<std::size_t>(k)] = s;
    const std::size_t i = r_.at(k, s);
    if (marked >= 0) ++counts[countAt(kMark, s, k)];
    if (marked >= 0 ? chance(rng, r_.p2[i], ec) : chance(rng, r_.pa[i], ep)) {
      ++counts[countAt(kCap, s, k)];
      if (marked < 0) {
        ++counts[countAt(kNew, s, k)];
        marked = k;
      }
      const unsigned code = chance(rng, r_.obs[i]) ? code_[static_cast<std::size_t>(s)] : unknown_;
      key |= static_cast<HistoryKey>(code) << (shift_ * (K - 1 - k));
    }
    if (k + 1 >= K) break;
    if (!chance(rng, r_.sa[i], es)) {
      died = k;
      break;
    }
    const bool lost = marked >= 0 && !chance(rng, r_.th[r_.at(r_.thetaflg ? k : k - marked, s)], er);
    const int to =
        S == 1 ? 0
               : moveOf(rng, k, s,
                        moves_ ? &em[static_cast<std::size_t>(s) * static_cast<std::size_t>(S)] : nullptr);
    ++counts[countAt(kAlive, to, k + 1)];
    if (to != s) ++counts[countAt(kMovedIn, to, k + 1)];
    if (lost) {
      ++counts[countAt(kLost, to, k + 1)];
      end(key);
      key = 0;
      marked = -1;
    }
    s = to;
  }
  if (encounters_ == Encounters::none) end(key);
  if (!logged) return;
  std::string& t = out.text;
  t += prefix;
  appendNumber(t, id);
  t += ',';
  appendNumber(t, k0 + 1);
  t += ',';
  for (std::size_t c = 0; c < ncov; ++c) {
    if (in_.covariates[c].law == Law::categories) {
      appendNumber(t, static_cast<int>(x[c]));
    } else {
      appendFixed(t, x[c]);
    }
    t += ',';
  }
  if (in_.heterogeneity) {
    appendFixed(t, z);
    t += ',';
  }
  if (died >= 0) appendNumber(t, died + 1);
  t += ',';
  if (!d_.states.empty()) {
    for (int o = 0; o < K; ++o) {
      if (o >= k0 && o <= k) t += d_.states[static_cast<std::size_t>(stateAt[static_cast<std::size_t>(o)])];
      t += ',';
    }
  }
  for (std::size_t c = 0; c < ncareers; ++c) {
    if (c > 0) t += '|';
    const auto mask = (HistoryKey{1} << shift_) - 1;
    for (int o = 0; o < width_; ++o)
      t += chars_[static_cast<std::size_t>((careers[c] >> (shift_ * (width_ - 1 - o))) & mask)];
  }
  t += '\n';
}

}  // namespace plovanet
