// The data sets of a run, one at a time: read from the parameter file in either format (and kept
// when later replicates of a study need them) or replayed from what was kept, with the warnings
// about what was read given once, when it is read.
#pragma once

#include <cstdio>
#include <optional>
#include <span>
#include <vector>

#include "engine/state.h"
#include "run/control.h"
#include "run/failure.h"
#include "run/run.h"

namespace plovanet {

// The data set the run simulates from one as read, by the rules the numeric format has always
// had: with a recruitment option and without USEF1, f[1] is derived from n[2] / n[1] and the
// first entrants are divided by their capture probability (over the first primary's secondaries
// in a robust design); a negative f[1] becomes 0; with RECRUIT=NORMAL, se(f[1]) is se(f[2]).
DataSet adjustDataSet(DataSet d, Recruit recruit, bool usef1, const Design& design);

// Prints label, then " %f" of each value, then a line end.
void echoLine(std::FILE* con, const char* label, std::span<const double> v);

// The echo lines of a data set: its entrants as read, its rates, any movement of a robust design,
// and its recruitment inputs as used.
void echoDataSet(std::FILE* con, const DataSet& read, const DataSet& used, const Design& design,
                 Recruit recruit);

// The next data set of the parameter file, in the file's format, as the run simulates it
// (adjustDataSet), its echo lines printed; none when the file holds no further one. The warnings
// about what was read are nextDataSet's.
std::optional<DataSet> readFileDataSet(Run& run);

// The next data set, or none when the data sets have run out; the fault that ends the run
// instead (a failed read, a warning under STRICT).
std::optional<Fault> nextDataSet(Run& run, std::optional<DataSet>& next);

}  // namespace plovanet
