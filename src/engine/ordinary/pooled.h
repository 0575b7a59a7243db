// Fast expected-value engine. In expected-value mode every split is n * p, so what becomes of a
// batch is linear in its size, and a batch's mark state follows from its history (history 0 is
// unmarked; otherwise it was marked at the occasion of its first capture). All batches that
// reach an occasion with the same history can therefore be pooled and split once: the work per
// data set is O(2^nper) whatever the tag-retention rates. Only pieces greater than 0 enter a
// pool, exactly the pieces the recursion would follow, so the results agree with caphis up to
// the rounding of sums.
#pragma once

#include <cstddef>

#include "engine/state.h"

namespace plovanet {

struct Levels {
  Array pool;  // pool[c]: animals reaching the current occasion with compact history c
  std::size_t size = 0;
};

// Pool entries needed for nper occasions: 2^(nper-2), a quarter of a table row.
std::size_t levelsSize(int nper);
// Sizes the pool for nper occasions; false when memory runs out.
bool levelsAllocate(Levels& lv, int nper);

// Runs occasion occ (1-based) of the current data set: adds the entrants (when > 0) to the
// unmarked pool, splits every pooled batch, and adds into the totals (tnew, tmark, tlost: the
// pieces the recursion would follow) and the history row nx (2^nper entries). Occasions must be run in
// order 1..nper; occasion 1 starts a new data set.
void levelsOccasion(Levels& lv, const Design& d, const DataSet& ds, Totals& tot, int occ, double entrants,
                    double* nx);

}  // namespace plovanet
