// What a run is not run with (a multistate or live-dead study with the classic generator or
// JOLLY, INDIVIDUAL in expected values, ...) and the warnings of its settings, asked before
// anything is written, by the command line and the R binding alike.
#pragma once

#include <optional>
#include <vector>

#include "engine/state.h"
#include "run/control.h"
#include "run/failure.h"
#include "run/run.h"

namespace plovanet {

// What the settings and the design, once the parameter file's head is read, are not run with.
std::optional<Fault> checkStudy(const Control& ctl, const Design& d);

// What the arguments rule out or warn of for a study of replicates, once all are applied.
std::optional<Fault> checkReplicates(const Control& ctl);

// What the configured run is not run with, and the warnings of its head (the parameter file's,
// then identical replicates), before anything is written; the clock seed's is the caller's.
std::optional<Fault> checkRun(const RunConfig& cfg, const std::vector<Fault>& headWarnings);

}  // namespace plovanet
