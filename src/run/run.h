// The types of a run: the state of one run of the program, from the parsed command line (fixed)
// through the data sets it reads to the files it writes. One value, passed explicitly.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/pooled.h"
#include "engine/state.h"
#include "engine/stream.h"
#include "output/blocks.h"
#include "output/writer.h"
#include "run/control.h"
#include "run/named_reader.h"
#include "run/param_reader.h"

namespace plovanet {

// Where the data sets come from: the parameter file, in either format, or for a later replicate
// of a study the data sets the first one read and kept.
struct Source {
  struct Closer {
    void operator()(std::FILE* fp) const noexcept { std::fclose(fp); }
  };
  std::unique_ptr<std::FILE, Closer> file;  // the parameter file, read through in
  ParamReader in;
  NamedFile named;  // the parameter file, when it is in the named format
  DataSet last;     // the last data set as read: what a value that fails to read keeps
  bool keep = false, replay = false;
  std::vector<DataSet> kept;
  std::size_t replayed = 0;
};

struct Run {
  explicit Run(const Control& settings) : ctl(settings) {}
  const Control& ctl;
  Design design;
  Source src;
  Stream rng;
  Writer out;
  Levels lv;                    // pooled expected-value engine, for rates outside 0..1
  std::vector<Column> cols;     // [g]: records of group g, for the groups met so far
  std::FILE* console = stdout;  // the report: usage, echoes, totals
  bool report = true;           // occasion and n= lines (a study prints a line per replicate)
  bool lineOpen = false;        // the console's last line is unfinished (an occasion's line)
  // Where this replicate stands.
  std::string outfile;  // its output file: OUT=, or the replicate's own name in a study
  std::int64_t rep = 1;
  std::uint32_t seed = 0;   // the seed used (SEED=, or the clock's)
  int dataset = 0;          // data sets simulated in this replicate
  int grp = 0;              // group of the current data set, from 0
  int cls = 0;              // heterogeneity class of the current data set, from 0
  int blocks = 0;           // record blocks written in this replicate
  Writer* truth = nullptr;  // TRUTH= file, when asked for
  Writer* csv = nullptr;    // CSV= file, when asked for
  // Expected captures of this replicate's data sets (tcap summed), and the part the records of
  // the output file and of the CSV= file hold (frequency times captures).
  double tcapTotal = 0, outCaptures = 0, csvCaptures = 0;
};

}  // namespace plovanet
