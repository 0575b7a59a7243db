// What the closed-form walks of every model share. A walk visits history prefixes depth first in
// ascending history order over several columns (groups), each column the sum of some sources
// (data sets); the numbers of one node for every source lie side by side, x[i * S + s] for entry
// i of source s, so that one loop over s serves all columns. A node's record is emitted when the
// sum of its columns exceeds the threshold, and a branch whose amounts cannot exceed it is
// skipped whole, so the work follows the records written, not 2^nper.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/state.h"

namespace plovanet {

struct WalkStats {
  std::uint64_t nodes = 0;    // history prefixes visited (amount above the threshold)
  std::uint64_t records = 0;  // histories emitted
};

// Entry (row, col) of a table of rows of width entries, such as [f * nper + i].
inline std::size_t cellOf(int row, int col, int width) {
  return static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(col);
}

// The sum the records use for one node: 0.0 plus each column, a column being 0.0 plus its
// sources in order (x[s] for source s), so walks and table writers agree to the last bit.
inline double columnTotal(const std::vector<std::size_t>& ends, const double* x) {
  double tot = 0.0;
  std::size_t s = 0;
  for (const std::size_t e : ends) {
    double v = 0.0;
    for (; s < e; ++s) v += x[s];
    tot += v;
  }
  return tot;
}

// The state a walk over sources of type Source keeps besides its own tables: the sources laid
// end to end (ends_[g] one past the last source of column g), the history being visited as bits
// and digits, the columns of the last record and the counts.
template <class Source>
class WalkBase {
 protected:
  WalkBase(const std::vector<std::vector<const Source*>>& columns, double threshold, EmitFn emit)
      : thr_(threshold), emit_(emit) {
    for (const auto& col : columns) {
      for (const Source* c : col) src_.push_back(c);
      ends_.push_back(src_.size());
    }
    S_ = src_.size();
    one_ = S_ == 1 && ends_.size() == 1;
    slack_ = 4 * 0x1p-52 * static_cast<double>(S_ + ends_.size() + 2);
    cols_.resize(ends_.size());
    std::fill_n(digits_, sizeof digits_, '0');
  }

  // x[i * S + s] = get(source s, i) for i < count: one table of every source, interleaved.
  template <class Get>
  std::vector<double> interleave(std::size_t count, Get get) const {
    std::vector<double> x(count * S_);
    for (std::size_t s = 0; s < S_; ++s) {
      for (std::size_t i = 0; i < count; ++i) x[i * S_ + s] = get(*src_[s], i);
    }
    return x;
  }

  // The sum the records use of the amounts x of every source. With one column of one source
  // (kOne) that is 0.0 + x.
  template <bool kOne>
  double total(const double* x) const {
    if constexpr (kOne) return 0.0 + x[0];
    return columnTotal(ends_, x);
  }
  double total(const double* x) const { return one_ ? total<true>(x) : total<false>(x); }

  // Whether the amounts x (all >= 0) may add up to more than the threshold, for skipping
  // branches: true whenever total(x) > thr_. Summed in four lanes, which vectorise, where the
  // records' sum is one chain of additions in a fixed order, slow over many sources (a mixture
  // over quadrature nodes); the threshold is lowered by a bound on the two sums' rounding. It may
  // let a branch through that total() would skip, which then holds no record: a record's
  // amounts are these times factors within 0..1, and rounding keeps their sum at most this one's.
  template <bool kOne>
  bool above(const double* x) const {
    if constexpr (kOne) return 0.0 + x[0] > thr_;
    if (S_ < 8) return total<false>(x) > thr_;
    double lane[4] = {0.0, 0.0, 0.0, 0.0};
    std::size_t s = 0;
    for (; s + 4 <= S_; s += 4) {
      for (std::size_t k = 0; k < 4; ++k) lane[k] += x[s + k];
    }
    double sum = (lane[0] + lane[1]) + (lane[2] + lane[3]);
    for (; s < S_; ++s) sum += x[s];
    return sum > thr_ * (1 - slack_);
  }

  // The record of a node whose amounts are a[s] * g[s] (g: the share of careers that end there);
  // emitted when its sum exceeds the threshold. False when emit says stop.
  template <bool kOne>
  bool record(const double* a, const double* g) {
    ++stats_.nodes;
    double tot;
    if constexpr (kOne) {
      tot = cols_[0] = 0.0 + a[0] * g[0];
    } else {
      if (S_ >= 8 && !aboveProducts(a, g)) return true;
      tot = 0.0;
      std::size_t s = 0;
      for (std::size_t c = 0; c < ends_.size(); ++c) {
        double v = 0.0;
        for (; s < ends_[c]; ++s) v += a[s] * g[s];
        cols_[c] = v;
        tot += v;
      }
    }
    if (!(tot > thr_)) return true;
    ++stats_.records;
    return emit_(static_cast<int>(h_), digits_, cols_.data());
  }
  bool record(const double* a, const double* g) { return one_ ? record<true>(a, g) : record<false>(a, g); }

  // above() of the amounts a[s] * g[s].
  bool aboveProducts(const double* a, const double* g) const {
    double lane[4] = {0.0, 0.0, 0.0, 0.0};
    std::size_t s = 0;
    for (; s + 4 <= S_; s += 4) {
      for (std::size_t k = 0; k < 4; ++k) lane[k] += a[s + k] * g[s + k];
    }
    double sum = (lane[0] + lane[1]) + (lane[2] + lane[3]);
    for (; s < S_; ++s) sum += a[s] * g[s];
    return sum > thr_ * (1 - slack_);
  }

  // Capture occasion j (0-based) set or cleared in the history being visited.
  std::uint32_t bit(int j) const { return std::uint32_t{1} << (K_ - 1 - j); }
  void caught(int j) {
    digits_[j] = '1';
    h_ |= bit(j);
  }
  void missed(int j) {
    digits_[j] = '0';
    h_ &= ~bit(j);
  }

  const WalkStats& stats() const { return stats_; }

  double thr_;
  EmitFn emit_;
  int K_ = 0;  // capture occasions: history digits (the walk sets it from its sources)
  std::vector<const Source*> src_;
  std::vector<std::size_t> ends_;
  std::size_t S_ = 0;
  bool one_ = false;  // one column of one source: the sums are 0.0 + x
  double slack_ = 0;  // relative rounding of above()'s sum and total()'s together, at most
  std::vector<double> cols_;
  char digits_[kDigitsRoom];
  std::uint32_t h_ = 0;
  WalkStats stats_;
};

}  // namespace plovanet
