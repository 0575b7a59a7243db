// The top of a run of the program: the command line, the parameter file's head, the study, and
// the one place where a run ends, with its exit status.
#pragma once

namespace plovanet {

// Returns the exit status: 0, or 1 when the run failed (its error line shown) or the console
// could not be written.
int runProgram(int argc, char** argv);

}  // namespace plovanet
