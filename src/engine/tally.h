// Sparse history table for stochastic runs: the additions the recursion makes are appended to a
// list and merged now and then, so memory follows the animals followed rather than 2^nper.
// Merging keeps the exact sums a dense row forms: equal histories are added in call order,
// starting from 0.0.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "engine/state.h"

namespace plovanet {

struct TallyEntry {
  int h;     // capture history
  double x;  // careers added under it
};

struct Tally {
  std::vector<TallyEntry> list;  // list[0, merged): ascending, one entry per history; then additions
  std::size_t merged = 0;
  std::size_t minMerge = std::size_t{1} << 16;  // list size below which no merge is made
};

// Merges the additions into the sorted part. Entries whose sum is exactly 0 are dropped: a row
// entry of 0.0 reads the same as an absent one, and a later addition starts again from 0.0.
void tallyMerge(Tally& t);

// Adds x careers under history h; an exact zero never changes a sum and is not stored.
inline void tallyAdd(Tally& t, int h, double x) {
  if (x == 0) return;
  t.list.push_back({h, x});
  // Merge when the additions outnumber the merged entries: amortised O(log n) per addition.
  if (t.list.size() >= t.minMerge && t.list.size() >= 2 * t.merged) tallyMerge(t);
}

// Empties the table (a new data set or group), keeping its memory.
void tallyClear(Tally& t);

// Every history with a nonzero sum, ascending; merges first.
std::span<const TallyEntry> tallyHistories(Tally& t);

// The records of several tallies, one column each, as the dense rows give them: ascending
// histories 1..2^nper-1, a column reading 0.0 where its tally has no entry, and a history
// emitted when 0.0 + col0 + col1 + ... is > threshold. Returns false when emit stopped.
bool walkTallies(const std::vector<Tally*>& columns, int nper, double threshold, EmitFn emit);

}  // namespace plovanet
