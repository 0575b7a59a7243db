// The data-set loop: reads each data set, runs its occasions with the recruitment of new
// animals, and writes its records (one group) or moves on to the next group.
#pragma once

#include <optional>

#include "run/failure.h"
#include "run/setup.h"

namespace plovanet {

// Simulates one data set already read: clears row grp, runs every occasion and prints its
// totals line, draws recruits when asked.
void runOccasions(Run& run);

// The whole loop up to the end of the parameter file. Returns what ends the run early: too many
// data sets for GROUPS=, a CAPTURE count too large, a failed read or write.
std::optional<Fault> runDataSets(Run& run);

// Group table, trailers, closing both files. Returns the failure when a write or the close of
// the output file failed.
std::optional<Fault> finishRun(Run& run);

}  // namespace plovanet
