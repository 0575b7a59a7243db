// The top of a run of the program: the command line, the parameter file's head, the study, and
// the one place where a run ends, with its exit status.
#pragma once

#include <optional>
#include <vector>

#include "engine/state.h"
#include "run/control.h"
#include "run/failure.h"
#include "run/run.h"

namespace plovanet {

// What the settings and the design, once the parameter file's head is read, are not run with
// (a multistate or live-dead study with the classic generator or JOLLY, INDIVIDUAL in expected
// values, ...); shared with the R binding, which reads its study the same way.
std::optional<Fault> checkStudy(const Control& ctl, const Design& d);

// What the arguments rule out or warn of for a study of replicates, once all are applied.
std::optional<Fault> checkReplicates(const Control& ctl);

// What the configured run is not run with, and the warnings of its head (the parameter file's,
// then identical replicates), before anything is written; the clock seed's is the caller's.
std::optional<Fault> checkRun(const RunConfig& cfg, const std::vector<Fault>& headWarnings);

// Returns the exit status: 0, or 1 when the run failed (its error line shown) or the console
// could not be written.
int runProgram(int argc, char** argv);

}  // namespace plovanet
