// Multistate studies: every animal lives in one of S states (the design's letters) and is caught,
// survives and keeps its tag at the rates of the state it is in; survivors move between states
// from one occasion to the next. At occasion t, for the animals in state s: capture with p
// (unmarked) or c (marked) of s; a caught animal's state is recorded with observe of s, else its
// history shows 'U' there; then over interval t survival, tag retention (a tag loser that
// survives starts a new, unmarked career) and the move, all at the rates of s; then occasion
// t + 1's entrants join in their states.
//
// A history has one character per occasion: '0' (not caught), the state's letter, or 'U'.
// Records come in the order of their characters' codes ("0" < "A" < ... as bytes), so that a
// study of one state writes its records in the ordinary model's order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/state.h"
#include "engine/stream.h"
#include "engine/tally.h"
#include "engine/walk.h"

namespace plovanet {

// The characters of a multistate design's histories, '0' first, then the letters and 'U' in
// byte order; a history's key holds each occasion's place in this list in four bits, occasion 1
// highest, so that keys sort as the histories' characters do.
__extension__ typedef unsigned __int128 HistoryKey;
using StateTally = TallyOf<HistoryKey>;

struct Symbols {
  explicit Symbols(const std::string& states);
  std::string chars;           // '0', then the letters and 'U' in byte order
  std::vector<unsigned> code;  // [s]: the code of state s's letter
  unsigned unknown = 0;        // the code of 'U'
};

// Key of a history with the code of occasion k (0-based) set; K occasions.
inline HistoryKey withSymbol(HistoryKey key, int k, int K, unsigned code) {
  return key | static_cast<HistoryKey>(code) << (4 * (K - 1 - k));
}

// A key's characters into digits and its caught occasions as history bits.
int spellKey(HistoryKey key, int K, const Symbols& sym, char* digits);

// Walks the records of several tallies (one column each) as walkTallies does.
bool walkStateTallies(const std::vector<StateTally*>& columns, int K, const Symbols& sym, double threshold,
                      EmitFn emit);

// The rates of a data set laid out by occasion and state: [k * S + s], moves [(k * S + s) * S + to]
// with staying filled in.
struct StateTables {
  StateTables(const Design& d, const DataSet& ds);
  int K = 0, S = 0;
  bool thetaflg = false;
  std::vector<double> n, pa, p2, obs, sa, th, mv;
  std::size_t at(int k, int s) const {
    return static_cast<std::size_t>(k) * static_cast<std::size_t>(S) + static_cast<std::size_t>(s);
  }
  // Survival and tag keeping over interval k of an animal in s tagged at occasion f.
  double keep(int k, int s, int f) const { return sa[at(k, s)] * th[at(thetaflg ? k : k - f, s)]; }
  double move(int k, int s, int to) const {
    return mv[at(k, s) * static_cast<std::size_t>(S) + static_cast<std::size_t>(to)];
  }
};

// Follows one batch of animals (all with history key so far) in state s from occasion
// b.occasion (1-based) to the last one, adding every ending career to t and the totals of the
// pieces it follows to the states' totals (tot.states; sumStates gives the sums). markedAt: the occasion of
// marking; none when unmarked. The draws, in this fixed order: capture (binoml with c when marked, else p),
// then of the caught the recorded ones (observe); then for each piece — recorded, unrecorded, missed —
// survival, tag retention (tagged pieces), and the move of the tag keepers, then of the tag losers, as
// successive binomials over the states in order (each given the ones before), each part followed before the
// next is drawn. Rates of 0 draw nothing.
void caphisMultistate(const Design& d, const StateTables& r, const Symbols& sym, Totals& tot, Stream& rng,
                      StateTally& t, HistoryKey key, double count, int occasion, int s,
                      std::optional<int> markedAt);

// Closed-form expected values of one data set: the unmarked animals of each state and the tagged
// animals of each marking occasion and state evolve apart from the histories, so the walk over
// history prefixes carries one amount per state.
struct MultiCohorts {
  explicit MultiCohorts(StateTables tables) : r(std::move(tables)) {}
  StateTables r;
  std::vector<double> unmarked;  // [k * S + s]: unmarked animals in s at occasion k, before capture
  std::vector<double> u;         // [s]: unmarked animals at the next occasion
  std::vector<double> tagged;    // [f * S + s]: marked at f, tagged and alive in s at the next occasion
  std::vector<double> end;       // [(f * K + L) * S + s]: a tagged career in s after its capture at L
                                 // has no further capture
  double captures = 0;           // expected captures of the data set
};

// The totals of occasions from (0-based) on, entrants apart, as the sums of the states' totals:
// the engines add up each state's, and the sums follow from them.
void sumStates(Totals& tot, int from);

// Occasion k (0-based) of the data set, occasions in order from 0: adds into the states' totals
// of k (and of k + 1 what survives into it). Every rate must lie within 0..1.
void multistateOccasion(MultiCohorts& c, Totals& tot, int k);

// The walk of walkHistories over multistate data sets (all of one design): ascending
// histories, a history emitted when 0.0 + col0 + col1 + ... is > threshold, branches at most
// the threshold skipped whole.
bool walkMultistate(const std::vector<std::vector<const MultiCohorts*>>& columns, const Symbols& sym,
                    double threshold, EmitFn emit, WalkStats* stats = nullptr);

}  // namespace plovanet
