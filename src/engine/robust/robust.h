// The robust design: primary periods, open to survival, tag loss, entry and temporary emigration
// between them, each made of secondary occasions over which the population is closed. An
// animal inside the study area is caught at a secondary occasion with p when it has not been
// caught earlier in the same primary and with c when it has; an animal outside is not caught.
// Between primaries i and i+1 an animal alive at both that was inside at i is outside at i+1
// with emigrate[i]; one that was outside stays out with remain_out[i]. Entrants start inside;
// a tag loser keeps its place and starts a new, unmarked career at the next primary.
//
// The capture history has one digit per secondary occasion, primary 1's first; a history's
// bit (nper - g) belongs to capture occasion g (1-based over all secondaries).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/state.h"
#include "engine/stream.h"
#include "engine/tally.h"
#include "engine/walk.h"

namespace plovanet {

// Follows one batch from primary b.occasion (1-based) to the last one, adding every ending career
// to t and the totals of the pieces it follows to tot. markedAt: the primary of marking; none when
// unmarked. inside: in the study area at that primary. The draws, in this fixed order: at each
// secondary of the primary, in order, the batch not yet split is divided into caught and missed
// (binoml with c when caught earlier in the primary, else p), caught part first; then each piece
// of that split, caught ones first, draws survival, tag retention (tagged pieces only) and, for
// the tag keepers then the tag losers, the move (binoml with emigrate inside, remain_out
// outside), following the inside part before the outside part. Rates of 0 draw nothing.
void caphisRobust(const Design& d, const DataSet& ds, Totals& tot, Stream& rng, Tally& t, Batch b,
                  std::optional<int> markedAt, bool inside);

// [i]: the capture occasion (0-based) of primary i + 1's first secondary.
std::vector<int> firstSecondaries(const std::vector<int>& sec);

// Closed-form expected values of one data set. When every rate lies within 0..1, the unmarked
// animals inside and outside and the tagged animals of each marking primary, inside and
// outside, evolve apart from the histories. A tagged animal caught at primary L is inside
// there, so a history prefix that ends with a capture is one number per data set; between two
// captures the amount is carried as (inside, outside) through the primaries missed.
struct RobustCohorts {
  int nper = 0;   // capture occasions (all secondaries)
  int nprim = 0;  // primaries
  bool thetaflg = false;
  std::vector<int> sec, first;  // [i]: secondaries of primary i+1 and the index of its first
  std::vector<double> pa, p2, sa, th, em, ro;
  double uin = 0, uout = 0;        // unmarked animals inside / outside at the next primary
  double never = 0;                // careers ended never caught
  double captures = 0;             // expected captures (over secondary occasions) of the data set
  std::vector<double> unmarkedIn;  // [i]: unmarked animals inside at primary i+1 (with entrants)
  std::vector<double> tin, tout;   // [f]: marked at primary f+1, tagged and alive at the next primary
  std::vector<double> keep;        // [f * nprim + i]: sa(i) * theta(i, f)
  std::vector<double> end;         // [f * nprim + L]: a tagged career inside after its capture at L
                                   // ends with no further capture
};

// Runs primary prim (1-based) of the data set with the contract of cohortsOccasion: primaries in
// order, primary 1 takes the rates from ds; adds into tcap[prim-1], talive[prim] and the other
// totals of tot. Every rate must lie within 0..1.
void robustOccasion(RobustCohorts& c, const Design& d, const DataSet& ds, Totals& tot, int prim,
                    double entrants);

// Probability that an animal inside at primary prim (0-based) is never caught in it, and the
// captures it is expected to give there.
double robustMissAll(const RobustCohorts& c, int prim0);
double robustMeanCaptures(const RobustCohorts& c, int prim0);

// The walk of walkHistories over robust-design data sets (all of one design): ascending
// histories, a history emitted when 0.0 + col0 + col1 + ... is > threshold, branches at most
// the threshold skipped whole.
bool walkRobust(const std::vector<std::vector<const RobustCohorts*>>& columns, double threshold, EmitFn emit,
                WalkStats* stats = nullptr);

}  // namespace plovanet
