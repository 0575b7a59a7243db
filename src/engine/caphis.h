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
// Adds into tcap, talive, row grp of nx and, where allocated, the truth totals tnew, tmark and
// tlost (counting the pieces it follows).
void caphis(RunState& rs, Stream& rng, int hist, double x, int occ, int mark);

// The same recursion, same draws and same totals, with each ending piece appended to t instead
// of row grp of nx (nx may then be unallocated).
void caphis(RunState& rs, Stream& rng, Tally& t, int hist, double x, int occ, int mark);

}  // namespace plovanet
