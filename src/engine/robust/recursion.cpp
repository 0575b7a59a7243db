// The robust design's recursion, for stochastic runs: a batch followed through the secondaries
// of each primary and the moves between primaries, with every split drawn in a fixed order.
#include <optional>
#include <vector>

#include "engine/robust/robust.h"
#include "engine/variates.h"

namespace plovanet {

namespace {

class Recursion {
 public:
  Recursion(const Design& d, const DataSet& ds, Totals& tot, Stream& rng, Tally& t)
      : rng_(rng), mode_(modeOf(d)), d_(d), ds_(ds), tot_(tot), t_(t), first_(firstSecondaries(d.sec)) {}

  void follow(Batch b, std::optional<int> markedAt, bool inside);

 private:
  struct Piece {
    int bits;  // the primary's captures, as history bits
    double x;
  };

  // Splits y animals over secondaries g..end-1 of one primary, caught part first at each.
  void split(int g, int end, bool caught, int bits, double y, std::vector<Piece>& out) {
    if (!(y > 0)) return;
    if (g == end) {
      out.push_back({bits, y});
      return;
    }
    const auto ug = static_cast<std::size_t>(g);
    const double n = binoml(rng_, mode_, y, caught ? ds_.p2[ug] : ds_.pa[ug]);
    split(g + 1, end, true, bits | 1 << (d_.nper - 1 - g), n, out);
    split(g + 1, end, caught, bits, y - n, out);
  }

  // Survivors of interval b.occasion (1-based) moving to the next primary.
  void move(Batch b, std::optional<int> markedAt, bool inside) {
    if (!(b.count > 0)) return;
    const auto k = static_cast<std::size_t>(b.occasion - 1);
    const double out = binoml(rng_, mode_, b.count, inside ? ds_.em[k] : ds_.ro[k]);
    const double in = b.count - out;
    if (in > 0) follow({b.history, in, b.occasion + 1}, markedAt, true);
    if (out > 0) follow({b.history, out, b.occasion + 1}, markedAt, false);
  }

  Stream& rng_;
  Mode mode_;
  const Design& d_;
  const DataSet& ds_;
  Totals& tot_;
  Tally& t_;
  std::vector<int> first_;  // [i]: the first secondary of primary i + 1
};

void Recursion::follow(Batch b, std::optional<int> markedAt, bool inside) {
  const int prim = b.occasion;
  const auto k = static_cast<std::size_t>(prim - 1);
  if (markedAt) tot_.tmark[k] += b.count;
  if (inside) tot_.tin[k] += b.count;
  std::vector<Piece> pieces;
  if (inside) {
    split(first_[k], first_[k] + d_.sec[k], false, 0, b.count, pieces);
  } else {
    pieces.push_back({0, b.count});
  }
  for (const Piece& pc : pieces) {
    if (pc.bits == 0) continue;
    tot_.tcap[k] += pc.x;
    if (!markedAt) tot_.tnew[k] += pc.x;
  }
  for (const Piece& pc : pieces) {
    const int h = b.history | pc.bits;
    const std::optional<int> m = pc.bits != 0 && !markedAt ? std::optional<int>(prim) : markedAt;
    if (prim >= d_.nprim) {
      tallyAdd(t_, h, pc.x);
      continue;
    }
    const double s = binoml(rng_, mode_, pc.x, ds_.sa[k]);
    tot_.talive[k + 1] += s;
    const double kept =
        m ? binoml(rng_, mode_, s, d_.thetaflg ? ds_.th[k] : ds_.th[static_cast<std::size_t>(prim - *m)]) : s;
    const double lost = s - kept;
    tallyAdd(t_, h, pc.x - kept);
    move({h, kept, prim}, m, inside);
    if (lost > 0) {
      tot_.tlost[k + 1] += lost;
      move({0, lost, prim}, std::nullopt, inside);
    }
  }
}

}  // namespace

void caphisRobust(const Design& d, const DataSet& ds, Totals& tot, Stream& rng, Tally& t, Batch b,
                  std::optional<int> markedAt, bool inside) {
  Recursion(d, ds, tot, rng, t).follow(b, markedAt, inside);
}

}  // namespace plovanet
