// The multistate history walk (see engine/walk.h for what every walk shares): depth first over
// the history prefixes that end with a capture. A node is the last capture L with the amounts
// tagged in each state there; its children are the captures at each later occasion j, reached
// after missing L+1..j-1 (carried as one amount per state), one child per character. Every
// (data set, state) pair is a source of the shared walk, so one loop serves all of them.
#include <algorithm>
#include <cstddef>
#include <vector>

#include "engine/multistate/multistate.h"

namespace plovanet {

namespace {

struct StateSource {
  const MultiCohorts* c;
  int s;
};

// The sources of the walk, (data set, state) for every data set of every column, made before
// the walk's base takes pointers to them.
struct Sources {
  explicit Sources(const std::vector<std::vector<const MultiCohorts*>>& columns) {
    std::size_t count = 0;
    for (const auto& col : columns) count += col.size();
    const int S = count > 0 ? statesOf(columns) : 0;
    store.reserve(count * static_cast<std::size_t>(S));
    for (const auto& col : columns) {
      auto& out = cols.emplace_back();
      for (const MultiCohorts* c : col) {
        for (int s = 0; s < S; ++s) {
          store.push_back({c, s});
          out.push_back(&store.back());
        }
      }
    }
  }
  static int statesOf(const std::vector<std::vector<const MultiCohorts*>>& columns) {
    for (const auto& col : columns) {
      if (!col.empty()) return col[0]->r.S;
    }
    return 0;
  }
  std::vector<StateSource> store;
  std::vector<std::vector<const StateSource*>> cols;
};

class Walk : Sources, WalkBase<StateSource> {
 public:
  Walk(const std::vector<std::vector<const MultiCohorts*>>& columns, const Symbols& sym, double threshold,
       EmitFn emit)
      : Sources(columns), WalkBase(cols, threshold, emit), sym_(sym) {
    if (S_ == 0) return;
    const StateTables& r0 = src_[0]->c->r;
    K_ = r0.K;
    nS_ = static_cast<std::size_t>(r0.S);
    const auto K = static_cast<std::size_t>(K_);
    const auto byOccasion = [](const std::vector<double> StateTables::*v) {
      return [v](const StateSource& x, std::size_t k) {
        return (x.c->r.*v)[x.c->r.at(static_cast<int>(k), x.s)];
      };
    };
    p_ = interleave(K, byOccasion(&StateTables::pa));
    c_ = interleave(K, byOccasion(&StateTables::p2));
    obs_ = interleave(K, byOccasion(&StateTables::obs));
    unmarked_ = interleave(K, [](const StateSource& x, std::size_t k) {
      return x.c->unmarked[x.c->r.at(static_cast<int>(k), x.s)];
    });
    keep_ = interleave(K * K, [K](const StateSource& x, std::size_t i) {
      const int f = static_cast<int>(i / K), k = static_cast<int>(i % K);
      return k >= f && k + 1 < x.c->r.K ? x.c->r.keep(k, x.s, f) : 0.0;
    });
    end_ = interleave(K * K, [](const StateSource& x, std::size_t i) {
      return x.c->end[i * static_cast<std::size_t>(x.c->r.S) + static_cast<std::size_t>(x.s)];
    });
    // Moves: [(k * S_ + source) * nS + to].
    mv_.assign(K * S_ * nS_, 0.0);
    for (std::size_t k = 0; k + 1 < K; ++k) {
      for (std::size_t i = 0; i < S_; ++i) {
        for (std::size_t to = 0; to < nS_; ++to) {
          mv_[(k * S_ + i) * nS_ + to] =
              src_[i]->c->r.move(static_cast<int>(k), src_[i]->s, static_cast<int>(to));
        }
      }
    }
    // One scratch level per capture in a history: the rows a node reaches, and a child's amounts.
    rows_.assign(K + 1, std::vector<double>((K + 1) * S_));
    picks_.assign(K + 1, std::vector<double>(S_));
    D_ = S_ / nS_;
    stateOf_.assign(sym_.chars.size(), -1);
    for (std::size_t s = 0; s < nS_; ++s) stateOf_[sym_.code[s]] = static_cast<int>(s);
    uncertain_ = std::any_of(obs_.begin(), obs_.end(), [](double o) { return o < 1; });
    tabulateReach();
  }

  bool run(WalkStats* stats) {
    bool go = true;
    for (int f = K_ - 1; f >= 0 && go; --f) {
      go = captures(f, f, &unmarked_[static_cast<std::size_t>(f) * S_], &p_[static_cast<std::size_t>(f) * S_],
                    0);
    }
    if (stats != nullptr) *stats = stats_;
    return go;
  }

 private:
  // The captures at occasion j of amounts w (in each state before capture, caught with q), one
  // child per character in ascending order; f: the marking occasion (j itself for the unmarked).
  bool captures(int f, int j, const double* w, const double* q, std::size_t depth) {
    if (!(total(w) > thr_)) return true;
    const std::size_t at = static_cast<std::size_t>(j) * S_;
    const double* obs = &obs_[at];
    double* b = picks_[depth].data();
    for (std::size_t ch = 1; ch < sym_.chars.size(); ++ch) {
      const int t = stateOf_[ch];
      if (t < 0 && !uncertain_) continue;
      for (std::size_t i = 0; i < S_; i += nS_) {
        for (std::size_t s = 0; s < nS_; ++s) {
          const double caught = w[i + s] * q[i + s];
          b[i + s] =
              t < 0 ? caught * (1 - obs[i + s]) : (static_cast<int>(s) == t ? caught * obs[i + s] : 0.0);
        }
      }
      if (!(total(b) > thr_)) continue;
      digits_[j] = sym_.chars[ch];
      h_ |= bit(j);
      if (!node(f, j, t, b, depth + 1)) return false;
    }
    missed(j);
    return true;
  }

  // The children of a node in state s (known) from the table: at each later occasion j, missed
  // before, caught there.
  bool knownChildren(int f, int L, int s, const double* a, std::size_t depth) {
    const std::size_t base = reachAt(f, L, s);
    const std::size_t row = (1 + 2 * nS_) * D_;
    int last = L;
    for (int j = L + 1; j < K_; ++j) {
      const double* m = &reach_[base + static_cast<std::size_t>(j) * row];
      double bound = 0.0;
      for (std::size_t d = 0; d < D_; ++d) bound += a[d * nS_ + static_cast<std::size_t>(s)] * m[d];
      if (!(bound > thr_)) break;
      last = j;
    }
    double* b = picks_[depth].data();
    const auto us = static_cast<std::size_t>(s);
    for (int j = last; j > L; --j) {
      const double* g = &reach_[base + static_cast<std::size_t>(j) * row + D_];
      for (std::size_t ch = 1; ch < sym_.chars.size(); ++ch) {
        const int t = stateOf_[ch];
        if (t < 0) {
          if (!uncertain_) continue;
          for (std::size_t to = 0; to < nS_; ++to) {
            const double* gu = g + (nS_ + to) * D_;
            for (std::size_t d = 0; d < D_; ++d) b[d * nS_ + to] = a[d * nS_ + us] * gu[d];
          }
          if (!(total(b) > thr_)) continue;
        } else {
          // One state's amounts: their sum is the record's sum, so most children are tried on it alone.
          const double* gt = g + static_cast<std::size_t>(t) * D_;
          if (!(knownTotal(a, us, gt) > thr_)) continue;
          std::fill_n(b, S_, 0.0);
          for (std::size_t d = 0; d < D_; ++d)
            b[d * nS_ + static_cast<std::size_t>(t)] = a[d * nS_ + us] * gt[d];
        }
        digits_[j] = sym_.chars[ch];
        h_ |= bit(j);
        if (!node(f, j, t, b, depth + 1)) return false;
      }
      missed(j);
    }
    return true;
  }

  // The sum the records use of amounts a[d * S + s] * g[d], the others 0: the same as total()
  // of them in full, since adding 0.0 changes no sum.
  double knownTotal(const double* a, std::size_t s, const double* g) const {
    if (D_ == 1) return 0.0 + a[s] * g[0];
    double tot = 0.0;
    std::size_t d = 0;
    for (const std::size_t e : ends_) {
      double v = 0.0;
      for (; d < e / nS_; ++d) v += a[d * nS_ + s] * g[d];
      tot += v;
    }
    return tot;
  }

  std::size_t reachAt(int f, int L, int s) const {
    const auto K = static_cast<std::size_t>(K_);
    return ((static_cast<std::size_t>(f) * K + static_cast<std::size_t>(L)) * nS_ +
            static_cast<std::size_t>(s)) *
           K * (1 + 2 * nS_) * D_;
  }

  // For every marking occasion f, capture L and state s there: at each later occasion j, the
  // share of a tagged animal that is alive, tagged and missed in between (its sum over the
  // states: [0]) and then caught in state t recorded ([1 + t]) or not ([1 + S + t]), per data
  // set. Made when it fits kReachCells: a node whose state is known then finds its children's
  // amounts by one product each.
  void tabulateReach() {
    const auto K = static_cast<std::size_t>(K_);
    const std::size_t row = (1 + 2 * nS_) * D_;
    if (K * K * nS_ * K * row > kReachCells) return;
    reach_.assign(K * K * nS_ * K * row, 0.0);
    std::vector<double> w(nS_), next(nS_);
    for (std::size_t d = 0; d < D_; ++d) {
      const StateTables& r = src_[d * nS_]->c->r;
      for (int f = 0; f < K_; ++f) {
        for (int L = f; L + 1 < K_; ++L) {
          for (int s = 0; s < r.S; ++s) {
            const std::size_t base = reachAt(f, L, s);
            std::fill(w.begin(), w.end(), 0.0);
            const double keep = r.keep(L, s, f);
            for (int to = 0; to < r.S; ++to) w[static_cast<std::size_t>(to)] = keep * r.move(L, s, to);
            for (int j = L + 1; j < K_; ++j) {
              double* e = &reach_[base + static_cast<std::size_t>(j) * row];
              double mass = 0.0;
              for (int t = 0; t < r.S; ++t) {
                const auto ut = static_cast<std::size_t>(t);
                const std::size_t i = r.at(j, t);
                mass += w[ut];
                e[(1 + ut) * D_ + d] = w[ut] * r.p2[i] * r.obs[i];
                e[(1 + nS_ + ut) * D_ + d] = w[ut] * r.p2[i] * (1 - r.obs[i]);
              }
              e[d] = mass;
              if (j + 1 >= K_) break;
              std::fill(next.begin(), next.end(), 0.0);
              for (int t = 0; t < r.S; ++t) {
                const double v = w[static_cast<std::size_t>(t)] * (1 - r.p2[r.at(j, t)]) * r.keep(j, t, f);
                for (int to = 0; to < r.S; ++to) next[static_cast<std::size_t>(to)] += v * r.move(j, t, to);
              }
              w.swap(next);
            }
          }
        }
      }
    }
  }

  // A history prefix whose last capture is at L, amounts a (tagged, in each state at L; all in
  // state s when it is known, s < 0 otherwise): its record, then its children by descending next
  // capture.
  bool node(int f, int L, int s, const double* a, std::size_t depth) {
    const std::size_t fK = static_cast<std::size_t>(f) * static_cast<std::size_t>(K_);
    if (!record(a, &end_[(fK + static_cast<std::size_t>(L)) * S_])) return false;
    if (L + 1 >= K_) return true;
    if (s >= 0 && !reach_.empty()) return knownChildren(f, L, s, a, depth);
    const int last = reachable(fK, L, a, depth);
    for (int j = last; j > L; --j) {
      const double* w = rows_[depth].data() + static_cast<std::size_t>(j - L - 1) * S_;
      if (!captures(f, j, w, &c_[static_cast<std::size_t>(j) * S_], depth)) return false;
    }
    return true;
  }

  // Row j - L - 1 of the node's scratch: the amounts in each state at j, missed at L+1..j-1, up
  // to the last occasion where a child can still exceed the threshold (every factor lies within
  // 0..1), which is returned (L when none).
  int reachable(std::size_t fK, int L, const double* a, std::size_t depth) {
    double* rows = rows_[depth].data();
    double* w = rows + static_cast<std::size_t>(K_) * S_;  // the last row: scratch for the carry
    carry(fK, L, a, nullptr, w);
    int last = L;
    for (int j = L + 1; j < K_; ++j) {
      double bound = 0.0;
      for (std::size_t i = 0; i < S_; ++i) bound += w[i];
      if (!(bound > thr_)) break;
      double* row = rows + static_cast<std::size_t>(j - L - 1) * S_;
      std::copy_n(w, S_, row);
      last = j;
      if (j + 1 >= K_) break;
      carry(fK, j, row, &c_[static_cast<std::size_t>(j) * S_], w);
    }
    return last;
  }

  // Into out: amounts x in each state at k, missed there with miss (none: after a capture),
  // surviving with their tags over interval k and moving.
  void carry(std::size_t fK, int k, const double* x, const double* miss, double* out) const {
    const auto uk = static_cast<std::size_t>(k);
    const double* keep = &keep_[(fK + uk) * S_];
    std::fill_n(out, S_, 0.0);
    for (std::size_t i = 0; i < S_; ++i) {
      const double v = x[i] * keep[i] * (miss != nullptr ? 1 - miss[i] : 1.0);
      if (v == 0) continue;
      const double* m = &mv_[(uk * S_ + i) * nS_];
      double* o = out + (i - i % nS_);
      for (std::size_t to = 0; to < nS_; ++to) o[to] += v * m[to];
    }
  }

  static constexpr std::size_t kReachCells = std::size_t{1} << 22;  // 32 MiB

  const Symbols& sym_;
  std::size_t nS_ = 0;        // states
  std::size_t D_ = 0;         // data sets
  std::vector<int> stateOf_;  // [code]: the state a character records; -1 for 'U' and '0'
  bool uncertain_ = false;    // some state is not always recorded: 'U' children are tried
  std::vector<double> reach_;
  std::vector<double> p_, c_, obs_, unmarked_, keep_, end_, mv_;
  std::vector<std::vector<double>> rows_, picks_;
};

}  // namespace

bool walkMultistate(const std::vector<std::vector<const MultiCohorts*>>& columns, const Symbols& sym,
                    double threshold, EmitFn emit, WalkStats* stats) {
  Walk w(columns, sym, threshold, emit);
  return w.run(stats);
}

}  // namespace plovanet
