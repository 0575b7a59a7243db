// Run set-up, in the order a run needs it: the command line, the head of the parameter file,
// then, from the open output stream on, the mode line, the output header and the allocation of
// every array. Files are opened by main (run/files.h); every step here works on given streams,
// so tests and the fuzzers drive the real set-up on in-memory files.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "engine/levels.h"
#include "engine/state.h"
#include "engine/stream.h"
#include "output/writer.h"
#include "run/control.h"
#include "run/failure.h"
#include "run/param_reader.h"

namespace plovanet {

struct Run {
  Control ctl;
  RunState rs;
  Stream rng;
  ParamReader in;
  Writer out;
  Levels lv;                    // pooled expected-value engine, expected-value runs only
  int datasets = 0;             // data sets simulated so far
  std::FILE* console = stdout;  // the report: usage, echoes, totals
};

inline constexpr int kMaxOccasions = 30;  // histories must fit a 32-bit int

// Returns zeroed memory (the table rows are not cleared again before their first use).
using AllocFn = Array (*)(std::size_t);

// Prints the usage text, then applies and echoes every argument after the program name.
std::optional<Fault> applyArguments(Run& run, int argc, const char* const* argv);

// Reads the number of occasions from the open parameter file (run.in) and sets nper and dim.
std::optional<Fault> readHead(Run& run);

// Everything from the open output stream to the data-set loop: the long-run warning, the mode
// line, the header (flushed, so a run that fails later keeps it) and the allocations.
std::optional<Fault> prepareRun(Run& run, std::FILE* out, AllocFn alloc = allocArray);

// The allocation steps alone (nper, dim and mxgrps already set).
std::optional<Fault> allocateRun(Run& run, AllocFn alloc);

}  // namespace plovanet
