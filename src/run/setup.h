// Run set-up, in the order a run needs it: the command line, the seed, then, once the output file
// is open, the mode line and the check that the groups' records fit in memory. Files are opened
// by the program's top (run/files.h); every step here works on given streams, so tests and the
// fuzzers drive the real set-up on in-memory files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#include "engine/state.h"
#include "run/control.h"
#include "run/failure.h"

namespace plovanet {

// The seed of a run without SEED=: the clock to the nanosecond (as far as it goes) mixed with the
// process id, so that runs started together differ. Never kClockSeed, which as SEED= means the clock.
std::uint32_t clockSeed(std::uint64_t nanos, std::uint32_t pid);

// Prints the usage text on console, then applies and echoes every argument after the program
// name. A study without RNG= draws from PCG32.
std::optional<Fault> applyArguments(Control& ctl, int argc, const char* const* argv, std::FILE* console);

// The long-run warning and the mode line.
void announceRun(std::FILE* console, const Design& d);

// The groups' records checked against the memory the process may use (limit bytes), once before
// the first replicate writes anything, so that a run refused for it leaves every earlier file as
// it was.
std::optional<Fault> checkGroupMemory(int mxgrps, const Design& d, std::size_t limit);

// Bytes a group's records may need up front, whatever its data: checked against the memory the
// process may use before anything is written.
std::size_t groupBytes(int nper);

}  // namespace plovanet
