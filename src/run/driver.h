// The data-set loop: takes each data set (run/data_sets.h), runs its occasions with the
// recruitment of new animals, and writes its records (one group) or keeps them for the group
// table. Records are kept per group in the form its engine gives: the per-occasion state of the
// closed-form engine, a table row, or the stochastic tally.
#pragma once

#include <optional>
#include <vector>

#include "run/failure.h"
#include "run/run.h"

namespace plovanet {

// Simulates one data set into its group's column, adding to tot (zero, with the data set's
// entrants in tot.n): every occasion with its totals line, recruits drawn when asked. The
// engine follows the mode and the rates: the closed form, the pooled engine (expected values
// with rates outside 0..1) or the recursion.
std::optional<Fault> simulate(Run& run, Column& col, const DataSet& ds, Totals& tot);

// The whole loop up to the last data set. Returns what ends the run early: too many data sets for
// GROUPS=, a CAPTURE count too large, a failed read or write, a warning under STRICT.
std::optional<Fault> runDataSets(Run& run);

// Group table, trailers, closing the output file. Returns the failure when a write or the
// close of the output file failed.
std::optional<Fault> finishRun(Run& run);

// Share of the expected captures that the output file may leave out without a warning.
inline constexpr double kLeftOutShare = 0.01;

// In expected-value mode, warns when the histories the output file leaves out (frequency
// 0.00005 or less) hold more than kLeftOutShare of the expected captures, unless the CSV= file
// holds all but that share.
std::optional<Fault> checkLeftOut(const Run& run);

}  // namespace plovanet
