// Run set-up, in the order a run needs it: the command line, the head of the parameter file,
// then, from the open output stream on, the mode line, the output header and the allocation of
// every array. Files are opened by main (run/files.h); every step here works on given streams,
// so tests and the fuzzers drive the real set-up on in-memory files.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include <cstdint>
#include <vector>

#include "engine/closed_form.h"
#include "engine/pooled.h"
#include "engine/robust.h"
#include "engine/state.h"
#include "engine/stream.h"
#include "engine/tally.h"
#include "output/blocks.h"
#include "output/writer.h"
#include "run/control.h"
#include "run/failure.h"
#include "run/named_reader.h"
#include "run/param_reader.h"

namespace plovanet {

// A data set as read, kept for the later replicates of a study.
struct DataSet {
  std::vector<double> n, sa, th, pa, p2, f, sef, em, ro;  // em, ro: a robust design's only
};

struct Run {
  Control ctl;
  RunState rs;
  Stream rng;
  ParamReader in;
  NamedFile named;  // the parameter file, when it is in the named format
  Writer out;
  Levels lv;                    // pooled expected-value engine, for rates outside 0..1
  std::vector<Column> cols;     // [g]: records of group g, for the groups met so far
  std::FILE* console = stdout;  // the report: usage, echoes, totals
  bool report = true;           // occasion and n= lines (a study prints a line per replicate)
  bool lineOpen = false;        // the console's last line is unfinished (an occasion's line)
  // Data sets: read from the parameter file (and kept when later replicates need them), or
  // replayed from what was kept.
  bool keep = false, replay = false;
  std::vector<DataSet> kept;
  std::size_t replayed = 0;
  // Where this replicate stands.
  std::int64_t rep = 1;
  std::uint32_t seed = 0;   // the seed used (SEED=, or the clock's)
  int dataset = 0;          // data sets simulated in this replicate
  int cls = 0;              // heterogeneity class of the current data set, from 0
  int blocks = 0;           // record blocks written in this replicate
  Writer* truth = nullptr;  // TRUTH= file, when asked for
  Writer* csv = nullptr;    // CSV= file, when asked for
  // Expected captures of this replicate's data sets (tcap summed), and the part the records of
  // the output file and of the CSV= file hold (frequency times captures).
  double tcapTotal = 0, outCaptures = 0, csvCaptures = 0;
};

inline constexpr int kMaxOccasions = 30;  // histories must fit a 32-bit int

// The seed of a run without SEED=: the clock to the nanosecond (as far as it goes) mixed with the
// process id, so that runs started together differ. Never 12345, which as SEED= means the clock.
std::uint32_t clockSeed(std::uint64_t nanos, std::uint32_t pid);

// Prints the usage text, then applies and echoes every argument after the program name. A study
// without RNG= draws from PCG32.
std::optional<Fault> applyArguments(Run& run, int argc, const char* const* argv);

// Reads the number of occasions from the open parameter file (run.in) and sets nper and dim.
// A file in the named format is read and checked whole here.
std::optional<Fault> readHead(Run& run);

// The next data set from the parameter file, in the file's format (see readDataSet).
bool readFileDataSet(Run& run);

// The long-run warning and the mode line.
void announceRun(const Run& run);

// Everything from the open output stream to the data-set loop: the groups' memory checked, the
// header (flushed, so a run that fails later keeps it), the arrays allocated on the first call;
// a later replicate starts again from empty groups.
std::optional<Fault> prepareRun(Run& run, std::FILE* out);

// The groups' records checked against the memory the process may use (prepareRun's first step),
// so that a run refused for it can be refused before its files are touched.
std::optional<Fault> checkGroupMemory(const Run& run);

// The allocation steps alone (nper, dim and mxgrps already set).
std::optional<Fault> allocateRun(Run& run);

// Bytes a group's records may need up front, whatever its data: checked against the memory the
// process may use before anything is written.
std::size_t groupBytes(int nper);

}  // namespace plovanet
