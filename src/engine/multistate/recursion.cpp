// The multistate recursion, for stochastic runs: a batch followed through capture, recording,
// survival, tag retention and the move at each occasion, every split drawn in a fixed order.
#include <optional>

#include "engine/multistate/multistate.h"
#include "engine/variates.h"

namespace plovanet {

namespace {

class Recursion {
 public:
  Recursion(const Design& d, const StateTables& r, const Symbols& sym, Totals& tot, Stream& rng,
            StateTally& t)
      : rng_(rng), mode_(modeOf(d)), r_(r), sym_(sym), tot_(tot), t_(t) {}

  // count animals in state s at occasion k (0-based) with history key, before capture there.
  void follow(HistoryKey key, double count, int k, int s, std::optional<int> markedAt);

 private:
  // The survivors of interval k in state s, moving: to each state in order, given the ones before.
  void move(HistoryKey key, double count, int k, int s, std::optional<int> markedAt) {
    double left = count;
    for (int to = 0; to < r_.S && left > 0; ++to) {
      const double m = r_.move(k, s, to);
      double rest = 0;  // summed, not subtracted, so that the last state with a move takes all left
      for (int t = to; t < r_.S; ++t) rest += r_.move(k, s, t);
      const double n = to + 1 == r_.S ? left : binoml(rng_, mode_, left, rest > 0 ? m / rest : 0);
      left -= n;
      if (!(n > 0)) continue;
      Totals& ts = tot_.states[static_cast<std::size_t>(to)];
      ts.talive[static_cast<std::size_t>(k) + 1] += n;
      if (to != s) ts.movedIn[static_cast<std::size_t>(k) + 1] += n;
      if (!markedAt && key != 0) ts.tlost[static_cast<std::size_t>(k) + 1] += n;  // tag losers
      follow(markedAt ? key : 0, n, k + 1, to, markedAt);
    }
  }

  // A piece at occasion k after capture: its career ends there or goes on.
  void onward(HistoryKey key, double x, int k, int s, std::optional<int> markedAt) {
    if (!(x > 0)) return;
    if (k + 1 >= r_.K) {
      if (key != 0) tallyAdd(t_, key, x);
      return;
    }
    const std::size_t i = r_.at(k, s);
    const double alive = binoml(rng_, mode_, x, r_.sa[i]);
    const double kept =
        markedAt ? binoml(rng_, mode_, alive, r_.th[r_.at(r_.thetaflg ? k : k - *markedAt, s)]) : alive;
    if (key != 0) tallyAdd(t_, key, x - kept);
    move(key, kept, k, s, markedAt);
    // A tag loser starts again unmarked; the key it passes on only says that it lost one.
    if (alive > kept) move(key, alive - kept, k, s, std::nullopt);
  }

  Stream& rng_;
  Mode mode_;
  const StateTables& r_;
  const Symbols& sym_;
  Totals& tot_;
  StateTally& t_;
};

void Recursion::follow(HistoryKey key, double count, int k, int s, std::optional<int> markedAt) {
  const auto uk = static_cast<std::size_t>(k);
  const std::size_t i = r_.at(k, s);
  Totals& ts = tot_.states[static_cast<std::size_t>(s)];
  if (markedAt) ts.tmark[uk] += count;
  const double caught = binoml(rng_, mode_, count, markedAt ? r_.p2[i] : r_.pa[i]);
  const double seen = binoml(rng_, mode_, caught, r_.obs[i]);
  ts.tcap[uk] += caught;
  if (!markedAt) ts.tnew[uk] += caught;
  const std::optional<int> m = markedAt ? markedAt : std::optional<int>(k);
  onward(withSymbol(key, k, r_.K, sym_.code[static_cast<std::size_t>(s)]), seen, k, s, m);
  onward(withSymbol(key, k, r_.K, sym_.unknown), caught - seen, k, s, m);
  onward(key, count - caught, k, s, markedAt);
}

}  // namespace

void caphisMultistate(const Design& d, const StateTables& r, const Symbols& sym, Totals& tot, Stream& rng,
                      StateTally& t, HistoryKey key, double count, int occasion, int s,
                      std::optional<int> markedAt) {
  Recursion(d, r, sym, tot, rng, t).follow(key, count, occasion - 1, s, markedAt);
}

}  // namespace plovanet
