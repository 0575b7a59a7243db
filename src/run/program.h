// The top of a run of the program: the command line, the parameter file's head, the study, and
// the one place where a run ends, with its exit status.
#pragma once

#include <optional>

#include "engine/state.h"
#include "run/control.h"
#include "run/failure.h"

namespace plovanet {

// What the settings and the design, once the parameter file's head is read, are not run with
// (a multistate or live-dead study with the classic generator or JOLLY, INDIVIDUAL in expected
// values, ...); shared with the R binding, which reads its study the same way.
std::optional<Fault> checkStudy(const Control& ctl, const Design& d);

// Returns the exit status: 0, or 1 when the run failed (its error line shown) or the console
// could not be written.
int runProgram(int argc, char** argv);

}  // namespace plovanet
