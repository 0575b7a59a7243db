// The types of a run as a library: a configuration fixed once the command line and the parameter
// file's head are read (RunConfig), the console it reports on, a value per replicate
// (Replicate), and the two ends a study is given: where its data sets come from (DataSource) and
// what takes its totals and records (StudySink). The command line reads a parameter file and
// writes files; the fuzzers use memory instead; a binding can hand data sets in and take data
// frames out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "engine/model.h"
#include "engine/state.h"
#include "engine/stream.h"
#include "run/control.h"
#include "run/failure.h"

namespace plovanet {

// What a run is: the settings, the design and its model, the seed. Fixed once made.
struct RunConfig {
  // A model that draws only from the exact engine (Model::exactOnly) gets PCG32 unless RNG= says
  // otherwise (the program refuses RNG=CLASSIC for it before).
  RunConfig(const Control& settings, const Design& design, std::uint32_t runSeed)
      : ctl(settings), model(makeModel(design)), seed(runSeed) {
    if (model->exactOnly() && !ctl.rngGiven) ctl.rng = StreamKind::pcg32;
  }
  const Design& design() const { return model->design(); }
  std::size_t memoryAvailable() const { return memoryLimit != nullptr ? memoryLimit() : SIZE_MAX; }
  // Whether the run draws random numbers: the seed then repeats it.
  bool draws() const { return !design().determ || ctl.recruit == Recruit::normal; }

  Control ctl;
  std::shared_ptr<const Model> model;
  std::uint32_t seed;                      // SEED=, or the clock's
  std::size_t (*memoryLimit)() = nullptr;  // the memory the process may use; null: no limit
};

// The report on standard output: usage, echoes, the totals of every occasion.
struct Console {
  std::FILE* fp = stdout;
  bool report = true;     // occasion and n= lines (a study prints a line per replicate instead)
  bool lineOpen = false;  // the last line is unfinished (an occasion's line)
};

// One replicate of a study (the only one of a single run): its stream and what it has done so
// far. Made afresh for each replicate.
struct Replicate {
  Replicate(const RunConfig& cfg, std::int64_t number)
      : rep(number), rng(replicateStream(cfg.ctl.rng, cfg.seed, static_cast<std::uint64_t>(number))) {}
  std::int64_t rep;  // its number; 1 in a single run
  Stream rng;
  int dataset = 0;           // data sets simulated so far
  int grp = 0;               // group of the current data set, from 0
  int cls = 0;               // heterogeneity class of the current data set, from 0
  int blocks = 0;            // record blocks handed on so far
  double tcapTotal = 0;      // expected captures of the data sets (Simulation::addCaptures)
  std::vector<Column> cols;  // [g]: records of group g, for the groups met so far
};

// The data sets of a run, one at a time, each as simulated.
class DataSource {
 public:
  virtual ~DataSource() = default;
  // The next data set into next, or none when they have run out; the fault that ends the run
  // instead.
  virtual std::optional<Fault> next(std::optional<DataSet>& next) = 0;
  // From the first data set again, for the next replicate.
  virtual void rewind() = 0;
};

// What a study hands on, in this order for each replicate: begin, then per data set its totals
// (truth) and, at the end of each record block of a one-group run, the group's records (block),
// or with several groups the table over all of them after the last data set; then end. A fault
// returned ends the run. Records are handed in the form the model keeps them (engine/model.h):
// a sink walks them, and may leave them as they are.
class StudySink {
 public:
  virtual ~StudySink() = default;
  virtual std::optional<Fault> begin(const Replicate& r) = 0;
  virtual std::optional<Fault> truth(const Replicate& r, const Totals& tot) = 0;
  virtual std::optional<Fault> block(const Replicate& r, Column& col) = 0;
  virtual std::optional<Fault> table(const Replicate& r, std::vector<Column>& cols) = 0;
  virtual std::optional<Fault> end(const Replicate& r) = 0;
  // Before each data set is simulated: where its animals are written (ANIMALS=), or none. A
  // failed write shows in the next fault the sink returns.
  virtual AnimalLog* animals(const Replicate&) { return nullptr; }
  // After each period of a data set's simulation: a fault here ends the run (the R binding's, at
  // an interrupt).
  virtual std::optional<Fault> afterPeriod(const Replicate&) { return std::nullopt; }
};

}  // namespace plovanet
