// Joint live-dead studies: marked animals are caught alive at the occasions and, over the
// interval after each, may be found dead and reported (Seber 1970, Burnham 1993) or, with
// Barker's (1997) live resightings, seen alive anywhere. Over occasion k and the interval after
// it: live capture (in the study area only; p unmarked, c marked); survival; an animal that dies
// is reported with r while it carries its tag, and (Barker) one not reported was seen alive
// before it died with R'; a survivor keeps its tag at the retention rate (a loser starts a new,
// unmarked career, as in the ordinary model), a tag keeper is seen alive with R (Barker); a
// survivor in the study area stays with F, one outside comes back with F' (Barker); then
// occasion k + 1's entrants join in the study area. Over the interval after the last occasion
// no tag is lost: no occasion follows at which a loser could be told apart.
//
// A history has 2K characters: occasion k's live capture ('0'/'1') then interval k's encounter,
// '1' reported dead, else '2' resighted alive, else '0' (a dead animal both seen and reported
// shows '1', as MARK codes it). Only the careers of tagged animals are histories.
#pragma once

#include <optional>
#include <vector>

#include "engine/multistate/multistate.h"
#include "engine/state.h"
#include "engine/stream.h"
#include "engine/tally.h"
#include "engine/walk.h"

namespace plovanet {

// The character codes of a history key: two bits each, in the order of their bytes.
inline constexpr unsigned kSeen = 1;     // '1': caught alive, or reported dead
inline constexpr unsigned kSighted = 2;  // '2': resighted alive

// Key of a history of K occasions with character i (0-based, of 2K) set to code; character 0
// is the highest, so that keys sort as the characters do.
inline HistoryKey withEncounter(HistoryKey key, int i, int K, unsigned code) {
  return key | static_cast<HistoryKey>(code) << (2 * (2 * K - 1 - i));
}

// A key's 2K characters into digits; returns its live captures as history bits (occasion 1
// highest), which count the captures of a record.
int spellEncounters(HistoryKey key, int K, char* digits);

// The records of several tallies (one column each) as walkTallies gives them.
bool walkEncounterTallies(const std::vector<StateTally*>& columns, int K, double threshold, EmitFn emit);

// Follows count animals (history key so far; markedAt: their marking occasion, none when
// unmarked) from occasion (1-based) on, in the study area or outside it, adding every ending
// tagged career to t and the pieces followed to tot. The draws, in this fixed order, each
// piece followed before the next is drawn: capture (in the study area only); for the caught,
// then the missed: survival; of the dead, reported (tagged only), then of the rest resighted
// (Barker); of the survivors, tag keepers, then of them resighted (Barker); then for each part
// (resighted, not, tag losers) the stayers (F) or, outside, the returners (F'). Rates of 0 or 1
// draw nothing.
void caphisLiveDead(const Design& d, const DataSet& ds, Totals& tot, Stream& rng, StateTally& t,
                    HistoryKey key, double count, int occasion, bool inside, std::optional<int> markedAt);

// Closed-form expected values of one data set: the unmarked animals and the tagged ones of each
// marking occasion, in the study area and outside it, evolve apart from the histories, so the
// walk over history prefixes carries two amounts (inside, outside) per data set.
struct LiveDeadCohorts {
  LiveDeadCohorts(const Design& d, const DataSet& ds);
  int K = 0;
  bool thetaflg = false, barker = false;
  DataSet r;                     // the rates as simulated
  std::vector<double> unmarked;  // [k]: unmarked animals in the study area at occasion k, before capture
  std::vector<double> tagged;    // [f * 2 + out]: marked at f, tagged and alive at the next occasion
  double uIn = 0, uOut = 0;      // unmarked animals at the next occasion, inside and outside
  // [(f * K + j) * 2 + out]: the share of animals tagged at f, alive after the capture at j
  // (inside: out 0), whose history shows nothing after it.
  std::vector<double> quiet;
  // Retention over interval j of a tag put on at f.
  double theta(int j, int f) const { return r.th[static_cast<std::size_t>(thetaflg ? j : j - f)]; }
};

// Occasion k (0-based) of the data set with its entrants, occasions in order from 0: adds into
// the totals of k (and of k + 1 what survives into it). Every rate must lie within 0..1.
void liveDeadOccasion(LiveDeadCohorts& c, Totals& tot, int k, double entrants);

// The walk of walkHistories over live-dead data sets (all of one design): ascending histories
// of 2K characters, a history emitted when 0.0 + col0 + col1 + ... is > threshold, branches at
// most the threshold skipped whole.
bool walkLiveDead(const std::vector<std::vector<const LiveDeadCohorts*>>& columns, double threshold,
                  EmitFn emit, WalkStats* stats = nullptr);

}  // namespace plovanet
