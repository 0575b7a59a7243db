// The live-dead recursion, for stochastic runs and as the reference of expected values: a batch
// followed through capture, survival, reports, tag retention, resightings and the move out of or
// back into the study area, every split drawn in a fixed order.
#include <optional>

#include "engine/livedead/livedead.h"
#include "engine/variates.h"

namespace plovanet {

int spellEncounters(HistoryKey key, int K, char* digits) {
  int bits = 0;
  for (int i = 0; i < 2 * K; ++i) {
    const auto code = static_cast<unsigned>(key >> (2 * (2 * K - 1 - i))) & 3U;
    digits[i] = static_cast<char>('0' + code);
    if (i % 2 == 0) bits = bits << 1 | (code != 0 ? 1 : 0);
  }
  return bits;
}

bool walkEncounterTallies(const std::vector<StateTally*>& columns, int K, double threshold, EmitFn emit) {
  const auto spell = [K](HistoryKey key, char* digits) { return spellEncounters(key, K, digits); };
  return walkTalliesOf(columns, threshold, spell, emit);
}

namespace {

class Recursion {
 public:
  Recursion(const Design& d, const DataSet& ds, Totals& tot, Stream& rng, StateTally& t)
      : rng_(rng),
        mode_(modeOf(d)),
        K_(d.nper),
        thetaflg_(d.thetaflg),
        barker_(d.encounters == Encounters::barker),
        ds_(ds),
        tot_(tot),
        t_(t) {}

  // count animals at occasion k (0-based) before capture there.
  void follow(HistoryKey key, double count, int k, bool inside, std::optional<int> markedAt) {
    const auto uk = static_cast<std::size_t>(k);
    if (markedAt) tot_.tmark[uk] += count;
    const double caught = inside ? draw(count, markedAt ? ds_.p2[uk] : ds_.pa[uk]) : 0.0;
    tot_.tcap[uk] += caught;
    if (!markedAt) tot_.tnew[uk] += caught;
    interval(withEncounter(key, 2 * k, K_, kSeen), caught, k, inside, markedAt.value_or(k));
    interval(key, count - caught, k, inside, markedAt);
  }

 private:
  double draw(double n, double p) { return n > 0 ? binoml(rng_, mode_, n, p) : 0.0; }

  void add(HistoryKey key, double x) {
    if (key != 0) tallyAdd(t_, key, x);
  }

  // A piece over interval k (0-based) after the capture at k.
  void interval(HistoryKey key, double x, int k, bool inside, std::optional<int> markedAt) {
    if (!(x > 0)) return;
    const auto uk = static_cast<std::size_t>(k);
    const double alive = draw(x, ds_.sa[uk]);
    const double dead = x - alive;
    tot_.died[uk] += dead;
    const HistoryKey sighted = withEncounter(key, 2 * k + 1, K_, kSighted);
    if (markedAt && dead > 0) {
      const double reported = draw(dead, ds_.rr[uk]);
      tot_.reported[uk] += reported;
      add(withEncounter(key, 2 * k + 1, K_, kSeen), reported);
      const double seen = barker_ ? draw(dead - reported, ds_.rsd[uk]) : 0.0;
      add(sighted, seen);
      add(key, dead - reported - seen);
    }
    if (k + 1 < K_) tot_.talive[uk + 1] += alive;
    if (!markedAt) {
      if (k + 1 < K_) move(0, alive, k, inside, std::nullopt);
      return;
    }
    const double kept = k + 1 < K_ ? draw(alive, retention(k, *markedAt)) : alive;
    const double seen = barker_ ? draw(kept, ds_.rs[uk]) : 0.0;
    if (k + 1 >= K_) {
      add(sighted, seen);
      add(key, kept - seen);
      return;
    }
    add(key, alive - kept);
    move(sighted, seen, k, inside, markedAt);
    move(key, kept - seen, k, inside, markedAt);
    // A tag loser starts again unmarked where it is.
    if (alive > kept) {
      tot_.tlost[uk + 1] += alive - kept;
      move(0, alive - kept, k, inside, std::nullopt);
    }
  }

  // Survivors of interval k: those in the study area stay with F, those outside come back with F'.
  void move(HistoryKey key, double x, int k, bool inside, std::optional<int> markedAt) {
    if (!(x > 0)) return;
    const auto uk = static_cast<std::size_t>(k);
    const double in = draw(x, inside ? ds_.fid[uk] : barker_ ? ds_.ret[uk] : 0.0);
    if (inside) tot_.emigrated[uk] += x - in;
    if (in > 0) follow(key, in, k + 1, true, markedAt);
    if (x > in) follow(key, x - in, k + 1, false, markedAt);
  }

  // Retention over interval k of a tag put on at occasion marked (both 0-based).
  double retention(int k, int marked) const {
    return ds_.th[static_cast<std::size_t>(thetaflg_ ? k : k - marked)];
  }

  Stream& rng_;
  Mode mode_;
  int K_;
  bool thetaflg_, barker_;
  const DataSet& ds_;
  Totals& tot_;
  StateTally& t_;
};

}  // namespace

void caphisLiveDead(const Design& d, const DataSet& ds, Totals& tot, Stream& rng, StateTally& t,
                    HistoryKey key, double count, int occasion, bool inside, std::optional<int> markedAt) {
  if (count > 0) Recursion(d, ds, tot, rng, t).follow(key, count, occasion - 1, inside, markedAt);
}

}  // namespace plovanet
