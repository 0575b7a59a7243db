#include "engine/robust.h"

#include <algorithm>
#include <cstddef>

#include "engine/variates.h"

namespace plovanet {

namespace {

std::size_t at(int row, int col, int width) {
  return static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(col);
}

std::vector<int> firstSecondaries(const std::vector<int>& sec) {
  std::vector<int> first(sec.size());
  int g = 0;
  for (std::size_t i = 0; i < sec.size(); ++i) {
    first[i] = g;
    g += sec[i];
  }
  return first;
}

// ---- The recursion (stochastic runs) ----

struct Ctx {
  Stream& rng;
  bool determ;
  int nper, nprim;
  bool thetaflg;
  std::vector<int> first;
  const int* sec;
  const double *pa, *p2, *sa, *th, *em, *ro;
  double *tcap, *talive, *tmark, *tnew, *tlost, *tin;
  Tally* t;
};

struct Piece {
  int bits;  // the primary's captures, as history bits
  double x;
};

// Splits y animals over secondaries g..end-1 of one primary, caught part first at each.
void split(const Ctx& c, int g, int end, bool caught, int bits, double y, std::vector<Piece>& out) {
  if (!(y > 0)) return;
  if (g == end) {
    out.push_back({bits, y});
    return;
  }
  const double n = binoml(c.rng, c.determ, y, caught ? c.p2[g] : c.pa[g]);
  split(c, g + 1, end, true, bits | 1 << (c.nper - 1 - g), n, out);
  split(c, g + 1, end, caught, bits, y - n, out);
}

void follow(const Ctx& c, int hist, double x, int prim, int mark, bool inside);

// Survivors of interval prim (1-based) moving to primary prim + 1.
void move(const Ctx& c, int hist, double y, int prim, int mark, bool inside) {
  if (!(y > 0)) return;
  const double out = binoml(c.rng, c.determ, y, inside ? c.em[prim - 1] : c.ro[prim - 1]);
  const double in = y - out;
  if (in > 0) follow(c, hist, in, prim + 1, mark, true);
  if (out > 0) follow(c, hist, out, prim + 1, mark, false);
}

void follow(const Ctx& c, int hist, double x, int prim, int mark, bool inside) {
  const int k = prim - 1;
  if (mark >= 0) c.tmark[k] += x;
  if (inside) c.tin[k] += x;
  std::vector<Piece> pieces;
  if (inside) {
    split(c, c.first[static_cast<std::size_t>(k)], c.first[static_cast<std::size_t>(k)] + c.sec[k], false, 0,
          x, pieces);
  } else {
    pieces.push_back({0, x});
  }
  for (const Piece& pc : pieces) {
    if (pc.bits == 0) continue;
    c.tcap[k] += pc.x;
    if (mark < 0) c.tnew[k] += pc.x;
  }
  for (const Piece& pc : pieces) {
    const int h = hist | pc.bits;
    const int m = pc.bits != 0 && mark < 0 ? prim : mark;
    if (prim >= c.nprim) {
      tallyAdd(*c.t, h, pc.x);
      continue;
    }
    const double s = binoml(c.rng, c.determ, pc.x, c.sa[k]);
    c.talive[prim] += s;
    const double kept = m >= 0 ? binoml(c.rng, c.determ, s, c.thetaflg ? c.th[k] : c.th[prim - m]) : s;
    const double lost = s - kept;
    tallyAdd(*c.t, h, pc.x - kept);
    move(c, h, kept, prim, m, inside);
    if (lost > 0) {
      c.tlost[prim] += lost;
      move(c, 0, lost, prim, -1, inside);
    }
  }
}

}  // namespace

void caphisRobust(const Design& d, const DataSet& ds, Totals& tot, Stream& rng, Tally& t, int hist, double x,
                  int prim, int mark, bool inside) {
  const Ctx c{rng,
              d.determ,
              d.nper,
              d.nprim,
              d.thetaflg,
              firstSecondaries(d.sec),
              d.sec.data(),
              ds.pa.data(),
              ds.p2.data(),
              ds.sa.data(),
              ds.th.data(),
              ds.em.data(),
              ds.ro.data(),
              tot.tcap.data(),
              tot.talive.data(),
              tot.tmark.data(),
              tot.tnew.data(),
              tot.tlost.data(),
              tot.tin.data(),
              &t};
  follow(c, hist, x, prim, mark, inside);
}

// ---- The closed form ----

double robustMissAll(const RobustCohorts& c, int prim0) {
  const auto i = static_cast<std::size_t>(prim0);
  double q = 1;
  for (int g = c.first[i]; g < c.first[i] + c.sec[i]; ++g) q *= 1 - c.pa[static_cast<std::size_t>(g)];
  return q;
}

double robustMeanCaptures(const RobustCohorts& c, int prim0) {
  const auto i = static_cast<std::size_t>(prim0);
  double notYet = 1, mean = 0;
  for (int g = c.first[i]; g < c.first[i] + c.sec[i]; ++g) {
    const auto ug = static_cast<std::size_t>(g);
    mean += notYet * c.pa[ug] + (1 - notYet) * c.p2[ug];
    notYet *= 1 - c.pa[ug];
  }
  return mean;
}

namespace {

double theta(const RobustCohorts& c, int i0, int f0) {
  return c.th[static_cast<std::size_t>(c.thetaflg ? i0 : i0 - f0)];
}

void start(RobustCohorts& c, const Design& d, const DataSet& ds) {
  const int P = d.nprim;
  const auto np = static_cast<std::size_t>(P);
  c.nper = d.nper;
  c.nprim = P;
  c.thetaflg = d.thetaflg;
  c.sec = d.sec;
  c.first = firstSecondaries(d.sec);
  c.pa = ds.pa;
  c.p2 = ds.p2;
  for (auto [to, from] : {std::pair{&c.sa, &ds.sa}, {&c.th, &ds.th}, {&c.em, &ds.em}, {&c.ro, &ds.ro}})
    to->assign(from->begin(), from->begin() + static_cast<std::ptrdiff_t>(np));
  c.uin = c.uout = c.never = c.captures = 0;
  c.unmarkedIn.assign(np, 0.0);
  c.tin.assign(np, 0.0);
  c.tout.assign(np, 0.0);
  c.keep.assign(np * np, 0.0);
  c.end.assign(np * np, 0.0);
  for (int f0 = 0; f0 < P; ++f0) {
    for (int i0 = f0; i0 + 1 < P; ++i0)
      c.keep[at(f0, i0, P)] = c.sa[static_cast<std::size_t>(i0)] * theta(c, i0, f0);
    // A tagged career inside (gin) or outside (gout) after the capture decision of a primary
    // ends by death, by tag loss, or by passing the next primary uncaught and ending from there.
    // Written term by term as the ordinary engine's, so that one secondary per primary without
    // movement gives its numbers to the last bit.
    double gin = 1, gout = 1;
    c.end[at(f0, P - 1, P)] = 1;
    for (int m = P - 2; m >= f0; --m) {
      const auto um = static_cast<std::size_t>(m);
      const double s = c.sa[um], t = theta(c, m, f0), q0 = robustMissAll(c, m + 1);
      const double e = c.em[um], r = c.ro[um];
      const double in = (1 - s) + s * (1 - t) + s * t * (1 - e) * q0 * gin + s * t * e * gout;
      const double out = (1 - s) + s * (1 - t) + s * t * (1 - r) * q0 * gin + s * t * r * gout;
      gin = std::clamp(in, 0.0, 1.0);
      gout = std::clamp(out, 0.0, 1.0);
      c.end[at(f0, m, P)] = gin;
    }
  }
}

}  // namespace

void robustOccasion(RobustCohorts& c, const Design& d, const DataSet& ds, Totals& tot, int prim,
                    double entrants) {
  if (prim == 1) start(c, d, ds);
  const int P = c.nprim;
  const int k = prim - 1;
  const auto uk = static_cast<std::size_t>(k);
  if (entrants > 0) c.uin += entrants;
  // Caught at least once in the primary; one secondary's p as it stands, so that a design of
  // single secondaries gives the ordinary engine's numbers to the last bit.
  const double q0 = robustMissAll(c, k);
  const double any = c.sec[uk] == 1 ? c.pa[static_cast<std::size_t>(c.first[uk])] : 1 - q0;
  c.unmarkedIn[uk] = c.uin;
  const double ncap = c.uin * any;
  double tcap = ncap, tagged = 0, in = c.uin;
  for (std::size_t f = 0; f < uk; ++f) {
    tagged += c.tin[f] + c.tout[f];
    tcap += c.tin[f] * any;
    in += c.tin[f];
  }
  tot.tcap[k] += tcap;
  c.captures += in * robustMeanCaptures(c, k);
  tot.tnew[k] += ncap;
  tot.tmark[k] += tagged;
  tot.tin[k] += in;
  const double umiss = c.uin - ncap;
  if (prim >= P) {
    c.never += umiss + c.uout;
    c.uin = c.uout = 0;
    return;
  }
  const double s = c.sa[uk], e = c.em[uk], r = c.ro[uk];
  const double sc = ncap * s, smiss = umiss * s, sout = c.uout * s;
  const double kc = sc * theta(c, k, k);
  double alive = sc + smiss + sout;
  double lost = sc - kc;
  // Tag losers keep their place: the newly marked were caught, so inside.
  double lostIn = lost * (1 - e), lostOut = lost * e;
  c.never += (umiss + c.uout) - (smiss + sout);
  for (std::size_t f = 0; f < uk; ++f) {
    const double vi = c.tin[f] * s, vo = c.tout[f] * s;
    const double t = theta(c, k, static_cast<int>(f));
    const double ki = vi * t, ko = vo * t, li = vi - ki, lo = vo - ko;
    alive += vi + vo;
    lost += li + lo;
    lostIn += li * (1 - e) + lo * (1 - r);
    lostOut += li * e + lo * r;
    c.tin[f] = ki * (1 - e) + ko * (1 - r);
    c.tout[f] = ki * e + ko * r;
  }
  c.tin[uk] = kc * (1 - e);
  c.tout[uk] = kc * e;
  c.uin = (smiss * (1 - e) + sout * (1 - r)) + lostIn;
  c.uout = (smiss * e + sout * r) + lostOut;
  tot.talive[prim] += alive;
  tot.tlost[prim] += lost;
}

namespace {

// Depth-first over the history prefixes that end with a capture, with their amounts for every
// source side by side: x[i * S + s] for entry i of source s.
class Walk {
 public:
  Walk(const std::vector<std::vector<const RobustCohorts*>>& columns, double threshold, EmitFn emit)
      : thr_(threshold), emit_(emit) {
    flattenColumns(columns, src_, ends_);
    S_ = src_.size();
    one_ = S_ == 1 && ends_.size() == 1;
    cols_.resize(ends_.size());
    if (S_ == 0) return;
    const RobustCohorts& c0 = *src_[0];
    K_ = c0.nper;
    P_ = c0.nprim;
    sec_ = c0.sec;
    first_ = c0.first;
    const auto K = static_cast<std::size_t>(K_), P = static_cast<std::size_t>(P_);
    p_.resize(K * S_);
    c_.resize(K * S_);
    unmarked_.resize(P * S_);
    q0_.resize(P * S_);
    em_.resize(P * S_);
    ro_.resize(P * S_);
    keep_.resize(P * P * S_);
    end_.resize(P * P * S_);
    for (std::size_t s = 0; s < S_; ++s) {
      const RobustCohorts& c = *src_[s];
      for (std::size_t g = 0; g < K; ++g) {
        p_[g * S_ + s] = c.pa[g];
        c_[g * S_ + s] = c.p2[g];
      }
      for (std::size_t i = 0; i < P; ++i) {
        unmarked_[i * S_ + s] = c.unmarkedIn[i];
        q0_[i * S_ + s] = robustMissAll(c, static_cast<int>(i));
        em_[i * S_ + s] = c.em[i];
        ro_[i * S_ + s] = c.ro[i];
      }
      for (std::size_t i = 0; i < P * P; ++i) {
        keep_[i * S_ + s] = c.keep[i];
        end_[i * S_ + s] = c.end[i];
      }
    }
    // One scratch level per node (rows of children's amounts) and per secondary of a pattern.
    levels_.resize(static_cast<std::size_t>(K_ + P_) + 2);
    // The probabilities of every capture pattern of each primary, when they fit in a small
    // table: the walk then tries the patterns in a loop instead of a recursion per secondary.
    std::size_t cells = 0;
    bool fits = true;
    for (const int l : sec_) {
      fits = fits && l <= kTableSecondaries;
      if (fits) cells += (std::size_t{1} << l) * S_;
    }
    if (fits && cells <= kTableCells) {
      patAt_.resize(P);
      pat_.resize(cells);
      std::size_t o = 0;
      for (std::size_t i = 0; i < P; ++i) {
        patAt_[i] = o;
        const int l = sec_[i];
        for (int pat = 0; pat < 1 << l; ++pat) {
          for (std::size_t s = 0; s < S_; ++s) {
            double pr = 1;
            bool caught = false;
            for (int j = 0; j < l; ++j) {
              const std::size_t g = static_cast<std::size_t>(first_[i]) + static_cast<std::size_t>(j);
              const bool hit = (pat >> (l - 1 - j) & 1) != 0;
              const double q = caught ? c_[g * S_ + s] : p_[g * S_ + s];
              pr *= hit ? q : 1 - q;
              caught = caught || hit;
            }
            pat_[o + static_cast<std::size_t>(pat) * S_ + s] = pr;
          }
        }
        o += (std::size_t{1} << l) * S_;
      }
    }
  }

  bool run(WalkStats* stats) {
    bool go = true;
    std::fill_n(digits_, sizeof digits_, '0');
    h_ = 0;
    for (int f = P_ - 1; f >= 0 && go; --f)
      go = patterns(f, f, &unmarked_[static_cast<std::size_t>(f) * S_], 0);
    if (stats != nullptr) *stats = stats_;
    return go;
  }

 private:
  double total(const double* x) const {
    if (one_) return 0.0 + x[0];
    return columnTotal(ends_, x);
  }

  double* level(std::size_t depth, std::size_t size) {
    std::vector<double>& v = levels_[depth];
    if (v.size() < size) v.resize(size);
    return v.data();
  }

  std::uint32_t bit(int g) const { return std::uint32_t{1} << (K_ - 1 - g); }

  // The captured patterns of primary j, ascending, from amounts base (inside at j, before its
  // captures); each becomes a node whose last capture is j. f: the first capture (marking) primary.
  bool patterns(int f, int j, const double* base, std::size_t depth) {
    const auto uj = static_cast<std::size_t>(j);
    if (pat_.empty()) return secondary(f, j, first_[uj], first_[uj] + sec_[uj], false, base, depth);
    if (!(total(base) > thr_)) return true;
    const int l = sec_[uj], g0 = first_[uj];
    const double* pr = &pat_[patAt_[uj]];
    double* b = level(depth, S_);
    for (int pat = 1; pat < 1 << l; ++pat) {
      const double* q = pr + static_cast<std::size_t>(pat) * S_;
      for (std::size_t s = 0; s < S_; ++s) b[s] = base[s] * q[s];
      if (!(total(b) > thr_)) continue;
      const std::uint32_t bits = static_cast<std::uint32_t>(pat) << (K_ - g0 - l);
      for (int i = 0; i < l; ++i) digits_[g0 + i] = (pat >> (l - 1 - i) & 1) != 0 ? '1' : '0';
      h_ |= bits;
      const bool go = node(f, j, b, depth + 1);
      h_ &= ~bits;
      if (!go) return false;
    }
    std::fill_n(digits_ + g0, l, '0');
    return true;
  }

  bool secondary(int f, int j, int g, int end, bool caught, const double* a, std::size_t depth) {
    if (!(total(a) > thr_)) return true;
    if (g == end) return caught ? node(f, j, a, depth) : true;
    const auto ug = static_cast<std::size_t>(g);
    double* b = level(depth, S_);
    const double* pr = caught ? &c_[ug * S_] : &p_[ug * S_];
    for (std::size_t s = 0; s < S_; ++s) b[s] = a[s] * (1 - pr[s]);
    if (!secondary(f, j, g + 1, end, caught, b, depth + 1)) return false;
    b = level(depth, S_);
    for (std::size_t s = 0; s < S_; ++s) b[s] = a[s] * pr[s];
    digits_[g] = '1';
    h_ |= bit(g);
    const bool go = secondary(f, j, g + 1, end, true, b, depth + 1);
    digits_[g] = '0';
    h_ &= ~bit(g);
    return go;
  }

  // A history prefix whose last capture is at primary L, amounts a (tagged, inside at L): its
  // record, then its children by descending next captured primary.
  bool node(int f, int L, const double* a, std::size_t depth) {
    ++stats_.nodes;
    const std::size_t fl = at(f, L, P_) * S_;
    double tot = 0.0;
    if (one_) {
      tot = cols_[0] = 0.0 + a[0] * end_[fl];
    } else {
      std::size_t s = 0;
      for (std::size_t col = 0; col < ends_.size(); ++col) {
        double v = 0.0;
        for (; s < ends_[col]; ++s) v += a[s] * end_[fl + s];
        cols_[col] = v;
        tot += v;
      }
    }
    if (tot > thr_) {
      ++stats_.records;
      if (!emit_(static_cast<int>(h_), digits_, cols_.data())) return false;
    }
    if (L + 1 >= P_) return true;
    // Row j - L - 1 of the scratch: the amounts inside at j, missed at L+1..j-1; stops where no
    // later child can exceed the threshold (every factor lies within 0..1).
    const auto P = static_cast<std::size_t>(P_);
    double* rows = level(depth, (P + 2) * S_);
    double* in = rows + P * S_;
    double* out = in + S_;
    const std::size_t fr = at(f, 0, P_) * S_;
    for (std::size_t s = 0; s < S_; ++s) {
      const double w = a[s] * keep_[fr + static_cast<std::size_t>(L) * S_ + s];
      const double e = em_[static_cast<std::size_t>(L) * S_ + s];
      in[s] = w * (1 - e);
      out[s] = w * e;
    }
    int last = L;
    for (int j = L + 1; j < P_; ++j) {
      double bound = 0.0;
      for (std::size_t s = 0; s < S_; ++s) bound += in[s] + out[s];
      if (!(bound > thr_)) break;
      const auto uj = static_cast<std::size_t>(j);
      std::copy_n(in, S_, rows + (uj - static_cast<std::size_t>(L) - 1) * S_);
      last = j;
      if (j + 1 >= P_) break;
      for (std::size_t s = 0; s < S_; ++s) {
        const double w = keep_[fr + uj * S_ + s];
        const double e = em_[uj * S_ + s], r = ro_[uj * S_ + s];
        const double mi = in[s] * q0_[uj * S_ + s], mo = out[s];
        in[s] = w * (mi * (1 - e) + mo * (1 - r));
        out[s] = w * (mi * e + mo * r);
      }
    }
    for (int j = last; j > L; --j) {
      const double* base = level(depth, (P + 2) * S_) + (static_cast<std::size_t>(j - L - 1)) * S_;
      if (!patterns(f, j, base, depth + 1)) return false;
    }
    return true;
  }

  static constexpr int kTableSecondaries = 10;
  static constexpr std::size_t kTableCells = std::size_t{1} << 18;

  double thr_;
  EmitFn emit_;
  std::vector<const RobustCohorts*> src_;
  std::vector<double> pat_;  // [patAt_[i] + pattern * S + s]: its probability, inside at i
  std::vector<std::size_t> patAt_;
  std::vector<std::size_t> ends_;  // ends_[g]: one past the last source of column g
  std::size_t S_ = 0;
  bool one_ = false;  // one column of one source: the sums are 0.0 + x
  int K_ = 0, P_ = 0;
  std::vector<int> sec_, first_;
  std::vector<double> p_, c_, unmarked_, q0_, em_, ro_, keep_, end_, cols_;
  std::vector<std::vector<double>> levels_;
  char digits_[kDigitsRoom];
  std::uint32_t h_ = 0;
  WalkStats stats_;
};

}  // namespace

bool walkRobust(const std::vector<std::vector<const RobustCohorts*>>& columns, double threshold, EmitFn emit,
                WalkStats* stats) {
  Walk w(columns, threshold, emit);
  return w.run(stats);
}

}  // namespace plovanet
