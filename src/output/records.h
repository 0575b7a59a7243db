// The output file's header lines for the JOLLY, CAPTURE and MARK layouts and its history
// records: a record block per data set of a one-group run, or one table over all groups.
#pragma once

#include "engine/state.h"
#include "output/writer.h"

namespace plovanet {

struct Layouts {
  int jollyflg = 0, captflg = 0, markflg = 0;
};

// Only frequencies strictly above this are written.
inline constexpr double kThreshold = 5e-05;

// groups (at least 1) is the number of MARK groups: one glabel line each.
void writeHeaders(Writer& w, const Layouts& lay, int nper, int dim, int groups);
// Records of row grp, with CAPTURE identifiers and replicate lines when captflg is set. Returns 0,
// or the history whose replicate count does not fit an int (the block then stops there).
int writeRecordBlock(Writer& w, int captflg, const RunState& rs);
// One line per history over all groups, a frequency column per group.
void writeGroupTable(Writer& w, const RunState& rs);

}  // namespace plovanet
