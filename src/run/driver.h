// The data-set loop of one replicate: takes each data set from the source, runs its periods
// through its model's simulation with the recruitment of new animals and the console's lines,
// and hands its totals and, block by block, its group's records to the sink.
#pragma once

#include <optional>

#include "run/failure.h"
#include "run/run.h"

namespace plovanet {

// Simulates one data set into its group's column, adding to tot (zero, with the data set's
// entrants in tot.n): every period with its totals line, recruits drawn when asked; a sink, when
// given, may end it after any period.
std::optional<Fault> simulate(const RunConfig& cfg, Replicate& r, Column& col, const DataSet& ds, Totals& tot,
                              Console& con, Workspace& work, StudySink* sink = nullptr);

// Every data set of the source, up to the group table. Returns what ends the run early: too many
// data sets for GROUPS=, a fault of the source or the sink, a replicate that drew past its block.
std::optional<Fault> runDataSets(const RunConfig& cfg, Replicate& r, DataSource& data, Console& con,
                                 StudySink& sink, Workspace& work);

// Every replicate of the study (the one of a single run): begin, its data sets, end, each from
// the first data set again. Returns what ended the run early.
std::optional<Fault> runStudy(const RunConfig& cfg, DataSource& data, Console& con, StudySink& sink);

}  // namespace plovanet
