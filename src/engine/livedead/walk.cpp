// The live-dead history walk (see engine/walk.h for what every walk shares): depth first over the
// history prefixes that end with a character other than '0'. A node carries, per data set, the
// tagged animals alive inside and outside the study area after it; its record is their share
// that shows nothing more (LiveDeadCohorts::quiet), and its children are the next character
// other than '0' at each later position, reached after '0's (carried as the two amounts), one
// child per character: by descending position, '1' before '2', so that records come out
// ascending.
#include <algorithm>
#include <cstddef>
#include <vector>

#include "engine/livedead/livedead.h"

namespace plovanet {

namespace {

class Walk : WalkBase<LiveDeadCohorts> {
 public:
  Walk(const std::vector<std::vector<const LiveDeadCohorts*>>& columns, double threshold, EmitFn emit)
      : WalkBase(columns, threshold, emit) {
    if (S_ == 0) return;
    K_ = src_[0]->K;
    barker_ = src_[0]->barker;
    const auto K = static_cast<std::size_t>(K_);
    const auto rate = [](const std::vector<double> DataSet::*v) {
      return [v](const LiveDeadCohorts& c, std::size_t k) { return (c.r.*v)[k]; };
    };
    pa_ = interleave(K, rate(&DataSet::pa));
    p2_ = interleave(K, rate(&DataSet::p2));
    sa_ = interleave(K, rate(&DataSet::sa));
    rr_ = interleave(K, rate(&DataSet::rr));
    rs_ = interleave(K, rate(&DataSet::rs));
    rsd_ = interleave(K, rate(&DataSet::rsd));
    fid_ = interleave(K, rate(&DataSet::fid));
    ret_ = interleave(K, rate(&DataSet::ret));
    unmarked_ = interleave(K, [](const LiveDeadCohorts& c, std::size_t k) { return c.unmarked[k]; });
    theta_ = interleave(K * K, [K](const LiveDeadCohorts& c, std::size_t i) {
      const int f = static_cast<int>(i / K), j = static_cast<int>(i % K);
      return j >= f && j + 1 < c.K ? c.theta(j, f) : 1.0;
    });
    quiet_ = interleave(K * K * 2, [](const LiveDeadCohorts& c, std::size_t i) { return c.quiet[i]; });
    // The largest share of the amounts carried to a position that one child there can take,
    // and from each position on: a node's carry stops where no child can exceed the threshold.
    reach_.assign(2 * K + 1, 0.0);
    for (int pos = 2 * K_ - 1; pos >= 0; --pos) {
      const std::size_t j = at(pos / 2);
      double most = 0;
      for (std::size_t s = 0; s < S_; ++s) {
        const double dead = 1 - sa_[j + s];
        most =
            std::max(most, pos % 2 == 0 ? p2_[j + s]
                                        : std::max(dead * rr_[j + s], dead * (1 - rr_[j + s]) * rsd_[j + s] +
                                                                          sa_[j + s] * rs_[j + s]));
      }
      reach_[static_cast<std::size_t>(pos)] = std::max(most, reach_[static_cast<std::size_t>(pos) + 1]);
    }
    ones_.assign(S_, 1.0);
    scratch_.assign(2 * S_, 0.0);
    const std::size_t levels = 2 * K + 2;
    rows_.assign(levels, std::vector<double>((2 * K + 1) * 2 * S_));
    kids_.assign(levels, std::vector<double>(6 * S_));
  }

  bool run(WalkStats* stats) {
    bool go = true;
    for (int f = K_ - 1; f >= 0 && go; --f) {
      double* w = kids_[0].data();
      for (std::size_t s = 0; s < S_; ++s) {
        w[s] = unmarked_[at(f) + s] * pa_[at(f) + s];
        w[S_ + s] = 0;
      }
      if (!(total(w) > thr_)) continue;
      f_ = f;
      set(2 * f, '1');
      go = post(f, w, 1);
      set(2 * f, '0');
    }
    if (stats != nullptr) *stats = stats_;
    return go;
  }

 private:
  std::size_t at(int j) const { return static_cast<std::size_t>(j) * S_; }
  std::size_t quietAt(int j, int out) const {
    return (cellOf(f_, j, K_) * 2 + static_cast<std::size_t>(out)) * S_;
  }

  // Live character i (even) set or cleared, with its capture bit.
  void set(int i, char ch) {
    digits_[i] = ch;
    if (ch == '0') {
      h_ &= ~bit(i / 2);
    } else {
      h_ |= bit(i / 2);
    }
  }

  // Sums inside + outside of each data set into m.
  void massOf(const double* v, double* m) const {
    for (std::size_t s = 0; s < S_; ++s) m[s] = v[s] + v[S_ + s];
  }

  // A node after a live capture at j (f: the marking occasion): w, caught, inside.
  bool post(int j, const double* w, std::size_t depth) {
    double* rec = &kids_[depth][5 * S_];
    const double* qi = &quiet_[quietAt(j, 0)];
    const double* qo = &quiet_[quietAt(j, 1)];
    for (std::size_t s = 0; s < S_; ++s) rec[s] = w[s] * qi[s] + w[S_ + s] * qo[s];
    if (!record(rec, ones_.data())) return false;
    return children(2 * j + 1, w, depth);
  }

  // A node after a resighting over interval j - 1: term, the resighted that died, and v, the
  // survivors at occasion j before its capture.
  bool pre(int j, const double* v, const double* term, std::size_t depth) {
    double* rec = &kids_[depth][5 * S_];
    const double* qi = &quiet_[quietAt(j, 0)];
    const double* qo = &quiet_[quietAt(j, 1)];
    const double* c = &p2_[at(j)];
    for (std::size_t s = 0; s < S_; ++s) rec[s] = term[s] + v[s] * (1 - c[s]) * qi[s] + v[S_ + s] * qo[s];
    if (!record(rec, ones_.data())) return false;
    return children(2 * j, v, depth);
  }

  // Into out: survivors x (inside, outside) of interval j moved: inside stays with F, outside
  // comes back with F'.
  void moveOn(int j, const double* x, double* out) const {
    const double* F = &fid_[at(j)];
    const double* Fr = &ret_[at(j)];
    for (std::size_t s = 0; s < S_; ++s) {
      out[s] = x[s] * F[s] + x[S_ + s] * Fr[s];
      out[S_ + s] = x[s] * (1 - F[s]) + x[S_ + s] * (1 - Fr[s]);
    }
  }

  // Survivors of interval j that keep their tags and are seen (seen) or not, moved, into out.
  void onward(int j, const double* w, bool seen, double* out) const {
    double* x = scratch_.data();
    const double* S = &sa_[at(j)];
    const double* th = &theta_[cellOf(f_, j, K_) * S_];
    const double* R = &rs_[at(j)];
    for (std::size_t s = 0; s < S_; ++s) {
      const double k = S[s] * th[s] * (seen ? R[s] : 1 - R[s]);
      x[s] = w[s] * k;
      x[S_ + s] = w[S_ + s] * k;
    }
    moveOn(j, x, out);
  }

  // The children of a node whose state at position i (live at even i, before capture; an
  // interval at odd i, after the capture) is x.
  bool children(int i, const double* x, std::size_t depth) {
    std::vector<double>& rows = rows_[depth];
    const std::size_t width = 2 * S_;
    double* m = &kids_[depth][4 * S_];
    std::copy_n(x, width, rows.data());
    int last = i - 1;
    for (int pos = i; pos < 2 * K_; ++pos) {
      const double* row = &rows[static_cast<std::size_t>(pos - i) * width];
      massOf(row, m);
      // A child's amounts are at most the carried ones times its share; the margin covers the
      // rounding of the children's own sums.
      if (!(total(m) * reach_[static_cast<std::size_t>(pos)] * (1 + 0x1p-30) > thr_)) break;
      last = pos;
      double* next = &rows[static_cast<std::size_t>(pos - i + 1) * width];
      const int j = pos / 2;
      if (pos % 2 == 0) {
        const double* c = &p2_[at(j)];
        for (std::size_t s = 0; s < S_; ++s) {
          next[s] = row[s] * (1 - c[s]);
          next[S_ + s] = row[S_ + s];
        }
      } else {
        if (j + 1 >= K_) break;
        onward(j, row, false, next);
      }
    }
    double* a = kids_[depth].data();  // a child's amounts: 2 * S_
    double* term = a + width;         // its terminal share: S_
    for (int pos = last; pos >= i; --pos) {
      const double* row = &rows[static_cast<std::size_t>(pos - i) * width];
      const int j = pos / 2;
      if (pos % 2 == 0) {
        const double* c = &p2_[at(j)];
        for (std::size_t s = 0; s < S_; ++s) {
          a[s] = row[s] * c[s];
          a[S_ + s] = 0;
        }
        if (!(total(a) > thr_)) continue;
        set(pos, '1');
        const bool go = post(j, a, depth + 1);
        set(pos, '0');
        if (!go) return false;
        continue;
      }
      const double* S = &sa_[at(j)];
      const double* r = &rr_[at(j)];
      for (std::size_t s = 0; s < S_; ++s) term[s] = (row[s] + row[S_ + s]) * (1 - S[s]) * r[s];
      if (total(term) > thr_) {
        digits_[pos] = '1';
        const bool go = record(term, ones_.data());
        digits_[pos] = '0';
        if (!go) return false;
      }
      if (!barker_) continue;
      const double* Rd = &rsd_[at(j)];
      const double* R = &rs_[at(j)];
      const bool lastInterval = j + 1 >= K_;
      for (std::size_t s = 0; s < S_; ++s) {
        const double alive = row[s] + row[S_ + s];
        term[s] = alive * (1 - S[s]) * (1 - r[s]) * Rd[s] + (lastInterval ? alive * S[s] * R[s] : 0.0);
      }
      if (lastInterval) {
        std::fill_n(a, width, 0.0);
      } else {
        onward(j, row, true, a);
      }
      for (std::size_t s = 0; s < S_; ++s) m[s] = term[s] + a[s] + a[S_ + s];
      if (!(total(m) > thr_)) continue;
      digits_[pos] = '2';
      const bool go = lastInterval ? record(term, ones_.data()) : pre(j + 1, a, term, depth + 1);
      digits_[pos] = '0';
      if (!go) return false;
    }
    return true;
  }

  bool barker_ = false;
  int f_ = 0;  // the marking occasion of the histories being walked
  std::vector<double> pa_, p2_, sa_, rr_, rs_, rsd_, fid_, ret_, unmarked_, theta_, quiet_, ones_;
  std::vector<double> reach_;  // [pos]: the largest share a child takes at pos or later
  std::vector<std::vector<double>> rows_, kids_;
  mutable std::vector<double> scratch_;  // onward's survivors before the move
};

}  // namespace

bool walkLiveDead(const std::vector<std::vector<const LiveDeadCohorts*>>& columns, double threshold,
                  EmitFn emit, WalkStats* stats) {
  Walk w(columns, threshold, emit);
  return w.run(stats);
}

}  // namespace plovanet
