// A study: the replicates of a run (one without REPS=), each with its output file, the TRUTH=
// and CSV= files that span them, and the end of a run that failed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#include "run/control.h"
#include "run/failure.h"
#include "run/files.h"
#include "run/run.h"

namespace plovanet {

// A file written besides the output file (TRUTH=, CSV=), one for the whole study.
struct SideFile {
  OutputFile file;
  Writer out;
  bool open = false;
  std::int64_t mark = -1;  // where the current replicate's rows begin; -1: unknown (not a file)
};

// The resources of one run of the program. Destroyed in reverse: the writers close their streams
// before the temporary files that were not put in place are removed (Windows removes no open
// file).
struct Program {
  Control ctl;  // set by the command line alone; the run sees it const
  OutputFile file;
  Run run{ctl};
  bool opened = false;   // the output file exists (as a temporary file or directly)
  bool writing = false;  // the run has begun to write it
  bool begun = false;    // some replicate has begun to write
  SideFile truth, csv;
  const char* stage = "the command line";  // what a failed allocation was for
};

// Every replicate, from the open parameter file whose head is read, to the side files put in
// place and the closing lines on the console. Returns what ended the run early.
std::optional<Fault> runStudy(Program& p);

// The end of a failed run: the files are closed and put in place or removed, the error line is
// shown; returns the status of the run (1).
int fail(Program& p, const Fault& fault);

// The status of a run whose console may not have taken its lines: 0, or 1 with the message on
// standard error.
int consoleStatus(std::FILE* console);

}  // namespace plovanet
