// Run set-up: the usage text, the command line, both files, the number of occasions, the mode
// line, the output header and the allocation of every array, in that order. Each step returns
// the message that ends the run instead of exiting, so the whole set-up can be tested.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "engine/levels.h"
#include "engine/state.h"
#include "engine/stream.h"
#include "output/writer.h"
#include "run/control.h"
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
  bool reference = false;       // follow every piece with caphis also in expected-value mode
  std::FILE* console = stdout;  // where the console text goes
  std::string con;              // console text not yet written
};

inline constexpr int kMaxOccasions = 30;  // histories must fit a 32-bit int

// Returns zeroed memory (the table rows are not cleared again before their first use).
using AllocFn = Array (*)(std::size_t);

void emit(Run& run);

// Everything up to the data-set loop. On failure returns the whole message to print (it has
// its own line end where the program's texts have one); con may hold earlier text.
std::optional<std::string> setUp(Run& run, int argc, const char* const* argv, AllocFn alloc = allocArray);

// The allocation steps alone (nper, dim and mxgrps already set).
std::optional<std::string> allocateRun(Run& run, AllocFn alloc);

// Largest table accepted: the machine's physical memory.
std::size_t memoryLimit();

}  // namespace plovanet
