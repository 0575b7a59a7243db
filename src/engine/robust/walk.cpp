// The robust design's history walk (see engine/walk.h for what every walk shares): depth first
// over the history prefixes that end with a capture. A node is the last captured primary L with
// the amounts tagged and inside there; its children are the capture patterns of each later
// primary j, reached inside after missing L+1..j-1 (carried as inside and outside amounts).
#include <algorithm>
#include <cstddef>
#include <vector>

#include "engine/robust/robust.h"
#include "engine/walk.h"

namespace plovanet {

namespace {

class Walk : WalkBase<RobustCohorts> {
 public:
  Walk(const std::vector<std::vector<const RobustCohorts*>>& columns, double threshold, EmitFn emit)
      : WalkBase(columns, threshold, emit) {
    if (S_ == 0) return;
    const RobustCohorts& c0 = *src_[0];
    K_ = c0.nper;
    P_ = c0.nprim;
    sec_ = c0.sec;
    first_ = c0.first;
    const auto K = static_cast<std::size_t>(K_), P = static_cast<std::size_t>(P_);
    p_ = interleave(K, [](const RobustCohorts& c, std::size_t g) { return c.pa[g]; });
    c_ = interleave(K, [](const RobustCohorts& c, std::size_t g) { return c.p2[g]; });
    unmarked_ = interleave(P, [](const RobustCohorts& c, std::size_t i) { return c.unmarkedIn[i]; });
    q0_ = interleave(
        P, [](const RobustCohorts& c, std::size_t i) { return robustMissAll(c, static_cast<int>(i)); });
    em_ = interleave(P, [](const RobustCohorts& c, std::size_t i) { return c.em[i]; });
    ro_ = interleave(P, [](const RobustCohorts& c, std::size_t i) { return c.ro[i]; });
    keep_ = interleave(P * P, [](const RobustCohorts& c, std::size_t i) { return c.keep[i]; });
    end_ = interleave(P * P, [](const RobustCohorts& c, std::size_t i) { return c.end[i]; });
    // One scratch level per node (rows of children's amounts) and per secondary of a pattern.
    levels_.resize(static_cast<std::size_t>(K_ + P_) + 2);
    tabulatePatterns();
  }

  bool run(WalkStats* stats) {
    bool go = true;
    for (int f = P_ - 1; f >= 0 && go; --f)
      go = patterns(f, f, &unmarked_[static_cast<std::size_t>(f) * S_], 0);
    if (stats != nullptr) *stats = stats_;
    return go;
  }

 private:
  // The probabilities of every capture pattern of each primary, when they fit in a small table:
  // the walk then tries the patterns in a loop instead of a recursion per secondary.
  void tabulatePatterns() {
    std::size_t cells = 0;
    for (const int l : sec_) {
      if (l > kTableSecondaries) return;
      cells += (std::size_t{1} << l) * S_;
    }
    if (cells > kTableCells) return;
    patAt_.resize(sec_.size());
    pat_.resize(cells);
    std::size_t o = 0;
    for (std::size_t i = 0; i < sec_.size(); ++i) {
      patAt_[i] = o;
      const int l = sec_[i];
      for (int pat = 0; pat < 1 << l; ++pat) {
        for (std::size_t s = 0; s < S_; ++s)
          pat_[o + static_cast<std::size_t>(pat) * S_ + s] = pattern(i, pat, s);
      }
      o += (std::size_t{1} << l) * S_;
    }
  }

  // The probability that an animal inside at primary i shows capture pattern pat (its
  // secondaries as bits, the first one highest) in source s.
  double pattern(std::size_t i, int pat, std::size_t s) const {
    const int l = sec_[i];
    double pr = 1;
    bool caught = false;
    for (int j = 0; j < l; ++j) {
      const std::size_t g = static_cast<std::size_t>(first_[i]) + static_cast<std::size_t>(j);
      const bool hit = (pat >> (l - 1 - j) & 1) != 0;
      const double q = caught ? c_[g * S_ + s] : p_[g * S_ + s];
      pr *= hit ? q : 1 - q;
      caught = caught || hit;
    }
    return pr;
  }

  // Scratch of rows amounts (one per source each) at a depth of the walk.
  double* level(std::size_t depth, int rows) {
    std::vector<double>& v = levels_[depth];
    const std::size_t size = static_cast<std::size_t>(rows) * S_;
    if (v.size() < size) v.resize(size);
    return v.data();
  }

  // The captured patterns of primary j, ascending, from amounts base (inside at j, before its
  // captures); each becomes a node whose last capture is j. f: the first capture (marking) primary.
  bool patterns(int f, int j, const double* base, std::size_t depth) {
    const auto uj = static_cast<std::size_t>(j);
    if (pat_.empty()) return secondary(f, j, first_[uj], first_[uj] + sec_[uj], false, base, depth);
    if (!(total(base) > thr_)) return true;
    const int l = sec_[uj], g0 = first_[uj];
    const double* pr = &pat_[patAt_[uj]];
    double* b = level(depth, 1);
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

  bool secondary(int f, int j, int g, int end, bool caughtBefore, const double* a, std::size_t depth) {
    if (!(total(a) > thr_)) return true;
    if (g == end) return caughtBefore ? node(f, j, a, depth) : true;
    const auto ug = static_cast<std::size_t>(g);
    double* b = level(depth, 1);
    const double* pr = caughtBefore ? &c_[ug * S_] : &p_[ug * S_];
    for (std::size_t s = 0; s < S_; ++s) b[s] = a[s] * (1 - pr[s]);
    if (!secondary(f, j, g + 1, end, caughtBefore, b, depth + 1)) return false;
    b = level(depth, 1);
    for (std::size_t s = 0; s < S_; ++s) b[s] = a[s] * pr[s];
    caught(g);
    const bool go = secondary(f, j, g + 1, end, true, b, depth + 1);
    missed(g);
    return go;
  }

  // A history prefix whose last capture is at primary L, amounts a (tagged, inside at L): its
  // record, then its children by descending next captured primary.
  bool node(int f, int L, const double* a, std::size_t depth) {
    if (!record(a, &end_[cellOf(f, L, P_) * S_])) return false;
    if (L + 1 >= P_) return true;
    const int last = reachable(&keep_[cellOf(f, 0, P_) * S_], L, a, depth);
    for (int j = last; j > L; --j) {
      const double* base = level(depth, P_ + 2) + (static_cast<std::size_t>(j - L - 1)) * S_;
      if (!patterns(f, j, base, depth + 1)) return false;
    }
    return true;
  }

  // Row j - L - 1 of the node's scratch: the amounts inside at j, missed at L+1..j-1, up to the
  // last primary where a child can still exceed the threshold (every factor lies within 0..1),
  // which is returned (L when none). keep: the keep_ row of the node's marking primary.
  int reachable(const double* keep, int L, const double* a, std::size_t depth) {
    const auto P = static_cast<std::size_t>(P_);
    double* rows = level(depth, P_ + 2);
    double* in = rows + P * S_;
    double* out = in + S_;
    for (std::size_t s = 0; s < S_; ++s) {
      const double w = a[s] * keep[static_cast<std::size_t>(L) * S_ + s];
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
        const double w = keep[uj * S_ + s];
        const double e = em_[uj * S_ + s], r = ro_[uj * S_ + s];
        const double mi = in[s] * q0_[uj * S_ + s], mo = out[s];
        in[s] = w * (mi * (1 - e) + mo * (1 - r));
        out[s] = w * (mi * e + mo * r);
      }
    }
    return last;
  }

  static constexpr int kTableSecondaries = 10;
  static constexpr std::size_t kTableCells = std::size_t{1} << 18;

  std::vector<double> pat_;  // [patAt_[i] + pattern * S + s]: its probability, inside at i
  std::vector<std::size_t> patAt_;
  int P_ = 0;
  std::vector<int> sec_, first_;
  std::vector<double> p_, c_, unmarked_, q0_, em_, ro_, keep_, end_;
  std::vector<std::vector<double>> levels_;
};

}  // namespace

bool walkRobust(const std::vector<std::vector<const RobustCohorts*>>& columns, double threshold, EmitFn emit,
                WalkStats* stats) {
  Walk w(columns, threshold, emit);
  return w.run(stats);
}

}  // namespace plovanet
