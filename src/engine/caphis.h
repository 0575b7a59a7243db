// The capture-history generator: follows one batch of animals from an occasion to the last one,
// splitting it into captured/uncaptured, surviving/dead and tag keepers/losers, and adds every
// ending career to the history table. History h has bit (nper - k) set when caught at occasion k.
#pragma once

#include "engine/state.h"
#include "engine/stream.h"
#include "engine/tally.h"

namespace plovanet {

// Straightforward recursion, one call per piece, draws in the model's order. Used for
// stochastic runs (where the draw order is observable) and as the reference for the fast
// expected-value engines. mark: -1 unmarked, otherwise the marking occasion (sign tested only).
// Adds every ending career to t and the totals of the pieces it follows to tot.
void caphis(const Design& d, const DataSet& ds, Totals& tot, Stream& rng, Tally& t, int hist, double x, int occ,
            int mark);

}  // namespace plovanet
