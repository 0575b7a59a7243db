// Sparse history table for stochastic runs: the additions the recursion makes are appended to a
// list and merged now and then, so memory follows the animals followed rather than 2^nper.
// Merging keeps the exact sums a dense row forms: equal histories are added in call order,
// starting from 0.0. A history is kept under a key whose order is the records' order: its bits
// (Tally), or its characters (StateTally, engine/multistate).
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

#include "engine/state.h"

namespace plovanet {

template <class Key>
struct TallyEntryOf {
  Key h;     // capture history
  double x;  // careers added under it
};

template <class Key>
struct TallyOf {
  std::vector<TallyEntryOf<Key>> list;  // list[0, merged): ascending, one entry per history; then additions
  std::size_t merged = 0;
  std::size_t minMerge = std::size_t{1} << 16;  // list size below which no merge is made
};

using TallyEntry = TallyEntryOf<int>;
using Tally = TallyOf<int>;

// Merges the additions into the sorted part. Entries whose sum is exactly 0 are dropped: a row
// entry of 0.0 reads the same as an absent one, and a later addition starts again from 0.0.
template <class Key>
void tallyMerge(TallyOf<Key>& t) {
  auto& v = t.list;
  const auto byHistory = [](const TallyEntryOf<Key>& a, const TallyEntryOf<Key>& b) { return a.h < b.h; };
  const auto mid = v.begin() + static_cast<std::ptrdiff_t>(t.merged);
  // Both steps are stable, so within one history the merged sum comes first, then the
  // additions in the order they were made.
  std::stable_sort(mid, v.end(), byHistory);
  std::inplace_merge(v.begin(), mid, v.end(), byHistory);
  std::size_t out = 0;
  for (std::size_t i = 0; i < v.size();) {
    const Key h = v[i].h;
    double sum = 0.0;
    for (; i < v.size() && v[i].h == h; ++i) sum += v[i].x;
    if (sum != 0) v[out++] = {h, sum};
  }
  v.resize(out);
  t.merged = out;
}

// Adds x careers under history h; an exact zero never changes a sum and is not stored.
template <class Key>
void tallyAdd(TallyOf<Key>& t, Key h, double x) {
  if (x == 0) return;
  t.list.push_back({h, x});
  // Merge when the additions outnumber the merged entries: amortised O(log n) per addition.
  if (t.list.size() >= t.minMerge && t.list.size() >= 2 * t.merged) tallyMerge(t);
}

// Empties the table (a new data set or group), keeping its memory.
template <class Key>
void tallyClear(TallyOf<Key>& t) {
  t.list.clear();
  t.merged = 0;
}

// Every history with a nonzero sum, ascending; merges first.
template <class Key>
std::span<const TallyEntryOf<Key>> tallyHistories(TallyOf<Key>& t) {
  if (t.merged != t.list.size()) tallyMerge(t);
  return t.list;
}

// The records of several tallies, one column each, as the dense rows give them: ascending
// histories, a column reading 0.0 where its tally has no entry, and a history emitted when
// 0.0 + col0 + col1 + ... is > threshold; the history of key 0 (never caught) is not. spell
// writes a key's characters into digits and returns the history bits a record passes on.
// Returns false when emit stopped.
template <class Key, class Spell>
bool walkTalliesOf(const std::vector<TallyOf<Key>*>& columns, double threshold, Spell spell, EmitFn emit) {
  std::vector<std::span<const TallyEntryOf<Key>>> lists;
  lists.reserve(columns.size());
  for (TallyOf<Key>* t : columns) lists.push_back(tallyHistories(*t));
  std::vector<std::size_t> at(lists.size(), 0);
  std::vector<double> cols(lists.size());
  char digits[kDigitsRoom];
  for (;;) {
    bool any = false;
    Key h{};
    for (std::size_t g = 0; g < lists.size(); ++g) {
      if (at[g] < lists[g].size() && (!any || lists[g][at[g]].h < h)) {
        h = lists[g][at[g]].h;
        any = true;
      }
    }
    if (!any) return true;
    double sum = 0.0;
    for (std::size_t g = 0; g < lists.size(); ++g) {
      const bool here = at[g] < lists[g].size() && lists[g][at[g]].h == h;
      cols[g] = here ? lists[g][at[g]++].x : 0.0;
      sum += cols[g];
    }
    if (h == Key{} || !(sum > threshold)) continue;
    if (!emit(spell(h, digits), digits, cols.data())) return false;
  }
}

bool walkTallies(const std::vector<Tally*>& columns, int nper, double threshold, EmitFn emit);

}  // namespace plovanet
