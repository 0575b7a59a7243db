// The ordinary model's closed-form expected-value engine. When every rate lies within 0..1, the unmarked
// animals present at each occasion and the tagged animals of each marking occasion evolve apart from the
// histories, so a data set is O(nper^2) numbers. A history first caught at f, last at L, then has the
// frequency
//   first(f) * prod_{j=f+1..L} [ sa(j-1) theta(j-1, f) (p2(j) if caught at j, else 1 - p2(j)) ] * end(L, f)
// with first(f) the unmarked animals caught at f, theta(i, f) the retention over interval i of a
// tag put on at f, and end(L, f) the share of tagged animals whose career ends after the capture
// decision at L with no further capture. The history records are produced by a depth-first walk
// in ascending history order that never visits a branch whose amount is at most the threshold,
// so its work follows the records written, not 2^nper.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/state.h"
#include "engine/walk.h"

namespace plovanet {

// Whether a data set may use this engine: pa and p2 entries 0..nper-1, sa and th entries
// 0..nper-2 all within 0..1 (NaN is not). Otherwise the pooled engine must run it.
bool cohortsEligible(const Design& d, const DataSet& ds);

// One data set (a source of the walk). [k-1] belongs to occasion or interval k throughout.
struct Cohorts {
  int nper = 0;
  int occ = 0;  // last occasion run
  bool thetaflg = false;
  double unmarked = 0;                 // unmarked animals present at occasion occ+1 before its entrants
  double never = 0;                    // careers ended with history 0 (never caught)
  std::vector<double> pa, p2, sa, th;  // the rates, taken at occasion 1
  std::vector<double> first;           // [f-1]: unmarked animals caught at f
  std::vector<double> tagged;          // [f-1]: marked at f, still tagged, alive at occasion occ+1
  std::vector<double> keep;            // [(f-1)*nper + i-1]: sa(i) * theta(i, f), i = f..nper-1
  std::vector<double> end;             // [(f-1)*nper + L-1]: end(L, f) within 0..1, L = f..nper
};

// Runs occasion occ (1-based) of the data set, with the contract of levelsOccasion: occasions in
// order 1..nper, occasion 1 starts the data set and takes its rates from ds; the entrants (when
// > 0) join the unmarked animals; adds into tcap[occ-1], talive[occ] (not at the last occasion),
// tnew[occ-1], tmark[occ-1] and tlost[occ] of tot. The data set must be eligible. No history
// table is touched: after occasion nper, c is ready for the walk.
void cohortsOccasion(Cohorts& c, const Design& d, const DataSet& ds, Totals& tot, int occ, double entrants);

// Walks the histories 1..2^nper-1 in ascending order over several columns, column g being the
// sum of the data sets columns[g] (all complete, same nper). The value of a column is 0.0 plus
// its sources in order; a history is emitted when 0.0 + col0 + col1 + ... is > threshold. A
// branch whose summed amount is <= threshold holds no such history and is skipped whole;
// threshold 0 emits every history with a nonzero value. History 0 is never emitted (see
// Cohorts::never). Returns false when emit stopped the walk.
bool walkHistories(const std::vector<std::vector<const Cohorts*>>& columns, double threshold, EmitFn emit,
                   WalkStats* stats = nullptr);

}  // namespace plovanet
