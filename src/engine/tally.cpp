#include "engine/tally.h"

#include <algorithm>
#include <climits>

namespace plovanet {

void tallyMerge(Tally& t) {
  auto& v = t.list;
  const auto byHistory = [](const TallyEntry& a, const TallyEntry& b) { return a.h < b.h; };
  const auto mid = v.begin() + static_cast<std::ptrdiff_t>(t.merged);
  // Both steps are stable, so within one history the merged sum comes first, then the
  // additions in the order they were made.
  std::stable_sort(mid, v.end(), byHistory);
  std::inplace_merge(v.begin(), mid, v.end(), byHistory);
  std::size_t out = 0;
  for (std::size_t i = 0; i < v.size();) {
    const int h = v[i].h;
    double sum = 0.0;
    for (; i < v.size() && v[i].h == h; ++i) sum += v[i].x;
    if (sum != 0) v[out++] = {h, sum};
  }
  v.resize(out);
  t.merged = out;
}

void tallyClear(Tally& t) {
  t.list.clear();
  t.merged = 0;
}

std::span<const TallyEntry> tallyHistories(Tally& t) {
  if (t.merged != t.list.size()) tallyMerge(t);
  return t.list;
}

bool walkTallies(const std::vector<Tally*>& columns, int nper, double threshold, EmitFn emit) {
  std::vector<std::span<const TallyEntry>> lists;
  lists.reserve(columns.size());
  for (Tally* t : columns) lists.push_back(tallyHistories(*t));
  std::vector<std::size_t> at(lists.size(), 0);
  std::vector<double> cols(lists.size());
  char digits[kDigitsRoom];
  for (;;) {
    int h = INT_MAX;
    for (std::size_t g = 0; g < lists.size(); ++g) {
      if (at[g] < lists[g].size()) h = std::min(h, lists[g][at[g]].h);
    }
    if (h == INT_MAX) return true;
    double sum = 0.0;
    for (std::size_t g = 0; g < lists.size(); ++g) {
      const bool here = at[g] < lists[g].size() && lists[g][at[g]].h == h;
      cols[g] = here ? lists[g][at[g]++].x : 0.0;
      sum += cols[g];
    }
    if (h == 0 || !(sum > threshold)) continue;
    for (int k = 0; k < nper; ++k) digits[k] = (h >> (nper - 1 - k) & 1) != 0 ? '1' : '0';
    if (!emit(h, digits, cols.data())) return false;
  }
}

}  // namespace plovanet
