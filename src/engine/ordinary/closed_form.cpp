#include "engine/ordinary/closed_form.h"

#include <algorithm>
#include <cstddef>

namespace plovanet {

namespace {

bool within01(const std::vector<double>& a, int count) {
  return std::all_of(a.begin(), a.begin() + count, [](double x) { return x >= 0 && x <= 1; });
}

// Retention over interval i (0-based i0) of a tag put on at occasion f (0-based f0).
double theta(const Cohorts& c, int i0, int f0) {
  return c.th[static_cast<std::size_t>(c.thetaflg ? i0 : i0 - f0)];
}

void start(Cohorts& c, const Design& d, const DataSet& ds) {
  const int K = d.nper;
  const auto n = static_cast<std::size_t>(K);
  c.nper = K;
  c.thetaflg = d.thetaflg;
  c.unmarked = 0;
  c.never = 0;
  c.pa.assign(ds.pa.begin(), ds.pa.begin() + static_cast<std::ptrdiff_t>(n));
  c.p2.assign(ds.p2.begin(), ds.p2.begin() + static_cast<std::ptrdiff_t>(n));
  c.sa.assign(ds.sa.begin(), ds.sa.begin() + static_cast<std::ptrdiff_t>(n));
  c.th.assign(ds.th.begin(), ds.th.begin() + static_cast<std::ptrdiff_t>(n));
  c.first.assign(n, 0.0);
  c.tagged.assign(n, 0.0);
  c.keep.assign(n * n, 0.0);
  c.end.assign(n * n, 0.0);
  for (int f0 = 0; f0 < K; ++f0) {
    for (int i0 = f0; i0 + 1 < K; ++i0)
      c.keep[cellOf(f0, i0, K)] = c.sa[static_cast<std::size_t>(i0)] * theta(c, i0, f0);
    // After the capture decision at L a career ends by death, by tag loss, or by being missed
    // at L+1 and ending from there; at the last occasion it ends for sure.
    double g = 1;
    c.end[cellOf(f0, K - 1, K)] = g;
    for (int L0 = K - 2; L0 >= f0; --L0) {
      const double s = c.sa[static_cast<std::size_t>(L0)];
      const double t = theta(c, L0, f0);
      g = (1 - s) + s * (1 - t) + s * t * (1 - c.p2[static_cast<std::size_t>(L0) + 1]) * g;
      g = std::clamp(g, 0.0, 1.0);  // so that a record never exceeds its branch's amount
      c.end[cellOf(f0, L0, K)] = g;
    }
  }
}

}  // namespace

bool cohortsEligible(const Design& d, const DataSet& ds) {
  const int last = d.nper - 1;
  return within01(ds.pa, d.nper) && within01(ds.p2, d.nper) && within01(ds.sa, last) && within01(ds.th, last);
}

void cohortsOccasion(Cohorts& c, const Design& d, const DataSet& ds, Totals& tot, int occ, double entrants) {
  if (occ == 1) start(c, d, ds);
  c.occ = occ;
  const int K = c.nper;
  const int k = occ - 1;
  const auto uk = static_cast<std::size_t>(k);
  if (entrants > 0) c.unmarked += entrants;
  const double u = c.unmarked;
  const double ncap = u * c.pa[uk];
  c.first[uk] = ncap;
  const double p2 = c.p2[uk];
  double tcap = ncap, tagged = 0;
  for (std::size_t f = 0; f < uk; ++f) {
    tagged += c.tagged[f];
    tcap += c.tagged[f] * p2;
  }
  tot.tcap[k] += tcap;
  tot.tnew[k] += ncap;
  tot.tmark[k] += tagged;
  const double nmiss = u - ncap;
  if (occ >= K) {
    c.never += nmiss;
    c.unmarked = 0;
    return;
  }
  // Caught and missed tagged animals share the rates of the interval, so each marking
  // occasion stays one number.
  const double s = c.sa[uk];
  const double scap = ncap * s;
  const double kcap = scap * theta(c, k, k);
  const double smiss = nmiss * s;
  double alive = scap + smiss, lost = scap - kcap;
  for (std::size_t f = 0; f < uk; ++f) {
    const double sv = c.tagged[f] * s;
    const double kept = sv * theta(c, k, static_cast<int>(f));
    alive += sv;
    lost += sv - kept;
    c.tagged[f] = kept;
  }
  c.tagged[uk] = kcap;
  c.never += nmiss - smiss;
  c.unmarked = smiss + lost;  // tag losers start again unmarked, history empty
  tot.talive[occ] += alive;
  tot.tlost[occ] += lost;
}

namespace {

// The walk over the sources of all columns (see engine/walk.h). A node is a history prefix whose
// last capture is at L; its amounts are the tagged animals alive after that capture.
class Walk : WalkBase<Cohorts> {
 public:
  Walk(const std::vector<std::vector<const Cohorts*>>& columns, double threshold, EmitFn emit)
      : WalkBase(columns, threshold, emit) {
    K_ = src_.empty() ? 0 : src_[0]->nper;
    const auto K = static_cast<std::size_t>(K_);
    first_ = interleave(K, [](const Cohorts& c, std::size_t i) { return c.first[i]; });
    p2_ = interleave(K, [](const Cohorts& c, std::size_t i) { return c.p2[i]; });
    q_ = interleave(K, [](const Cohorts& c, std::size_t i) { return 1 - c.p2[i]; });
    keep_ = interleave(K * K, [](const Cohorts& c, std::size_t i) { return c.keep[i]; });
    end_ = interleave(K * K, [](const Cohorts& c, std::size_t i) { return c.end[i]; });
    buf_.resize(K * K * S_);
    amt_.resize(S_);
  }

  bool run(WalkStats* stats) {
    const bool done = one_ ? walk<true>() : walk<false>();
    if (stats != nullptr) *stats = stats_;
    return done;
  }

 private:
  // Emits the record of the node whose last capture is L0 (amounts a), then stores the amounts
  // of its children j0 = L0+1.. in buf_ row L0 as long as a bound on them exceeds the threshold.
  // The child at the last occasion, a leaf and the first in order, is emitted at once. Returns
  // the next child to visit (L0 when none), or -1 when emit stopped the walk.
  template <bool kOne>
  int expand(int f0, int L0, const double* a) {
    const std::size_t S = kOne ? 1 : S_;
    const auto K = static_cast<std::size_t>(K_);
    const std::size_t fl = static_cast<std::size_t>(f0) * K;
    if (!record<kOne>(a, &end_[(fl + static_cast<std::size_t>(L0)) * S])) return -1;
    if (L0 + 1 >= K_) return L0;
    // A[s]: the amount tagged and alive at occasion j, missed at L+1..j-1. Every later child
    // is A times factors within 0..1, so once the A sum is at most the threshold no later
    // child can exceed it.
    const double* kp = &keep_[fl * S];
    double* A = amt_.data();
    for (std::size_t s = 0; s < S; ++s) A[s] = a[s] * kp[static_cast<std::size_t>(L0) * S + s];
    double* out = &buf_[static_cast<std::size_t>(L0) * K * S];
    int j0 = L0 + 1;
    for (;;) {
      if (!above<kOne>(A)) return j0 - 1;
      const auto uj = static_cast<std::size_t>(j0);
      for (std::size_t s = 0; s < S; ++s) out[uj * S + s] = A[s] * p2_[uj * S + s];
      if (j0 + 1 >= K_) break;
      for (std::size_t s = 0; s < S; ++s) A[s] = A[s] * q_[uj * S + s] * kp[uj * S + s];
      ++j0;
    }
    const double* leaf = &out[(K - 1) * S];
    if (above<kOne>(leaf)) {
      caught(K_ - 1);
      const bool go = record<kOne>(leaf, &end_[(fl + K - 1) * S]);
      missed(K_ - 1);
      if (!go) return -1;
    }
    return K_ - 2;
  }

  template <bool kOne>
  bool walk() {
    struct Frame {
      int L0, j0;  // last capture of the node; its next child, descending (done when j0 <= L0)
    };
    Frame stack[32];
    const std::size_t S = kOne ? 1 : S_;
    const auto K = static_cast<std::size_t>(K_);
    // Descending first capture, then at every node its own record before its children by
    // descending next capture: ascending histories.
    for (int f0 = K_ - 1; f0 >= 0; --f0) {
      const double* a = &first_[static_cast<std::size_t>(f0) * S];
      if (!above<kOne>(a)) continue;
      caught(f0);
      int top = expand<kOne>(f0, f0, a);
      if (top < 0) return false;
      int depth = 0;
      stack[0] = {f0, top};
      while (depth >= 0) {
        Frame& fr = stack[depth];
        if (fr.j0 <= fr.L0) {
          missed(fr.L0);
          --depth;
          continue;
        }
        const int j0 = fr.j0--;
        const double* c = &buf_[(static_cast<std::size_t>(fr.L0) * K + static_cast<std::size_t>(j0)) * S];
        if (!above<kOne>(c)) continue;
        caught(j0);
        top = expand<kOne>(f0, j0, c);
        if (top < 0) return false;
        if (top > j0) {
          stack[++depth] = {j0, top};
        } else {  // no child left to visit: done with it at once
          missed(j0);
        }
      }
    }
    return true;
  }

  std::vector<double> first_, p2_, q_, keep_, end_, buf_, amt_;
};

}  // namespace

bool walkHistories(const std::vector<std::vector<const Cohorts*>>& columns, double threshold, EmitFn emit,
                   WalkStats* stats) {
  Walk w(columns, threshold, emit);
  return w.run(stats);
}

}  // namespace plovanet
