// A whole run: the command line, the replicates of a study (one replicate without REPS=), the
// side files and the end of the run.
#pragma once

namespace plovanet {

// Returns the exit status of a completed run (0, or 1 when the console could not be written);
// a failure prints its message and ends the process with status 1.
int runStudy(int argc, char** argv);

}  // namespace plovanet
