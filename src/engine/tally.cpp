#include "engine/tally.h"

#include <algorithm>

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

}  // namespace plovanet
