// Run set-up, in the order a run needs it: the command line, the head of the parameter file,
// then, from the open output stream on, the mode line and the output header. Files are opened
// by the program's top (run/files.h); every step here works on given streams, so tests and the
// fuzzers drive the real set-up on in-memory files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#include "run/control.h"
#include "run/failure.h"
#include "run/run.h"

namespace plovanet {

// The seed of a run without SEED=: the clock to the nanosecond (as far as it goes) mixed with the
// process id, so that runs started together differ. Never kClockSeed, which as SEED= means the clock.
std::uint32_t clockSeed(std::uint64_t nanos, std::uint32_t pid);

// Prints the usage text on console, then applies and echoes every argument after the program
// name. A study without RNG= draws from PCG32.
std::optional<Fault> applyArguments(Control& ctl, int argc, const char* const* argv, std::FILE* console);

// Reads the number of occasions from the open parameter file (run.src.in) and sets the design.
// A file in the named format is read and checked whole here.
std::optional<Fault> readHead(Run& run);

// The long-run warning and the mode line.
void announceRun(const Run& run);

// Everything from the open output stream to the data-set loop: the header (flushed, so a run that
// fails later keeps it); a later replicate starts again from empty groups.
std::optional<Fault> prepareRun(Run& run, std::FILE* out);

// The groups' records checked against the memory the process may use, once before the first
// replicate writes anything, so that a run refused for it leaves every earlier file as it was.
std::optional<Fault> checkGroupMemory(const Run& run);

// Bytes a group's records may need up front, whatever its data: checked against the memory the
// process may use before anything is written.
std::size_t groupBytes(int nper);

}  // namespace plovanet
